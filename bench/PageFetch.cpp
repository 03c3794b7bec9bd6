#include "PageFetch.h"

#include "HttpConnection.h"

#include <poll.h>

#include <chrono>
#include <memory>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 50;

double msSince(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

} // namespace

std::vector<FetchedPage> fetchTogether(uint16_t port, const std::vector<std::string>& targets,
                                       int timeoutMs, const std::function<bool()>& tick) {
    std::vector<FetchedPage> pages(targets.size());
    std::vector<std::unique_ptr<HttpConnection>> connections;
    const auto begun = Clock::now();
    for (size_t index = 0; index < targets.size(); ++index) {
        connections.push_back(std::make_unique<HttpConnection>());
        HttpConnection& connection = *connections.back();
        if (!connection.open(port, 2000))
            pages[index].why = "could not connect";
        else if (!connection.send(getRequest(port, targets[index])))
            pages[index].why = "broke while sending (" + connection.failure() + ")";
    }

    auto nextTick = Clock::now();
    while (msSince(begun) < timeoutMs) {
        std::vector<pollfd> waits;
        std::vector<size_t> owners;
        for (size_t index = 0; index < connections.size(); ++index) {
            if (!connections[index]->isOpen() || pages[index].answered)
                continue;
            const short events =
                static_cast<short>(POLLIN | (connections[index]->wantsWrite() ? POLLOUT : 0));
            waits.push_back({connections[index]->fd(), events, 0});
            owners.push_back(index);
        }
        if (waits.empty())
            break;
        if (Clock::now() >= nextTick) {
            nextTick = Clock::now() + std::chrono::milliseconds(kTickMs);
            if (tick && !tick())
                break;
        }
        if (::poll(waits.data(), waits.size(), kTickMs) <= 0)
            continue;
        for (size_t w = 0; w < waits.size(); ++w) {
            HttpConnection& connection = *connections[owners[w]];
            FetchedPage& page = pages[owners[w]];
            const auto event = connection.onPolled(waits[w].revents);
            if (event == HttpConnection::Event::Answered) {
                page.answered = true;
                page.status = connection.answer().status;
                page.bytes = connection.answer().body.size();
                page.ms = msSince(begun);
                connection.close();
            } else if (event == HttpConnection::Event::Broken) {
                page.why = "connection broke (" + connection.failure() + ")";
            }
        }
    }
    for (FetchedPage& page : pages)
        if (!page.answered && page.why.empty())
            page.why = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
    return pages;
}

} // namespace bench
