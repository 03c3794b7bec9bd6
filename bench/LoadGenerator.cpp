#include "LoadGenerator.h"

#include "HttpConnection.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOpenTimeoutMs = 2000;
constexpr auto kAliveCheckEvery = std::chrono::milliseconds(200);
constexpr int kWaitMs = 20; // the longest the loop sleeps, so its clock checks stay timely
// A status page with this was made from part of the server's answer.
constexpr char kPartialMark[] = "did not arrive";

struct Slot {
    HttpConnection connection;
    int kind = -1; // whose answer it waits for; -1 when none
    Clock::time_point sentAt;
    bool registered = false;
};

// What a page says it is: its heading, or its first bytes when it has none.
std::string headingOf(const std::string& page) {
    const size_t start = page.find("<h1>");
    const size_t end = start == std::string::npos ? start : page.find("</h1>", start);
    if (end == std::string::npos)
        return page.substr(0, 120);
    return page.substr(start + 4, end - start - 4);
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

long long LoadFigures::good() const {
    long long sum = 0;
    for (const KindFigures& kind : kinds)
        sum += kind.good;
    return sum;
}

long long LoadFigures::failed() const {
    long long sum = 0;
    for (const KindFigures& kind : kinds)
        sum += kind.failed;
    return sum;
}

std::vector<float> LoadFigures::allMs() const {
    std::vector<float> all;
    for (const KindFigures& kind : kinds)
        all.insert(all.end(), kind.ms.begin(), kind.ms.end());
    return all;
}

double percentile(std::vector<float> values, double p) {
    if (values.empty())
        return -1;
    const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
    const size_t index = std::clamp<size_t>(rank, 1, values.size()) - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return values[index];
}

LoadFigures runLoad(const LoadPlan& plan, const std::function<bool()>& serverAlive) {
    LoadFigures figures;
    figures.kinds.resize(plan.kinds.size());
    std::vector<std::string> requests;
    for (const PageKind& kind : plan.kinds)
        requests.push_back(getRequest(plan.port, kind.target));

    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<std::unique_ptr<Slot>> slots;
    std::vector<size_t> idle; // slots whose connection could not be opened yet
    size_t turn = 0;
    long long outstanding = 0, opened = 0;

    const auto watch = [&](size_t index, bool write) {
        Slot& slot = *slots[index];
        epoll_event event{};
        event.events = EPOLLIN | (write ? EPOLLOUT : 0u);
        event.data.u64 = index;
        ::epoll_ctl(epoll, slot.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, slot.connection.fd(),
                    &event);
        slot.registered = true;
    };
    const auto fail = [&](Slot& slot, const std::string& why) {
        ++figures.kinds[static_cast<size_t>(slot.kind)].failed;
        ++figures.whys[why];
        slot.kind = -1;
        --outstanding;
    };
    // Sends the mix's next request on the slot; false when it has no connection for it.
    const auto issue = [&](size_t index) {
        Slot& slot = *slots[index];
        if (!slot.connection.isOpen()) {
            slot.registered = false; // a closed socket leaves the epoll set by itself
            if (!slot.connection.open(plan.port, kOpenTimeoutMs))
                return false;
            if (++opened > plan.connections)
                ++figures.reconnections;
            watch(index, false);
        }
        slot.kind = plan.mix[turn++ % plan.mix.size()];
        slot.sentAt = Clock::now();
        ++outstanding;
        if (!slot.connection.send(requests[static_cast<size_t>(slot.kind)])) {
            fail(slot, "connection broke while sending (" + slot.connection.failure() + ")");
            return false;
        }
        if (slot.connection.wantsWrite())
            watch(index, true);
        return true;
    };
    const auto judge = [&](Slot& slot, Clock::time_point now) {
        const HttpAnswer& answer = slot.connection.answer();
        const PageKind& kind = plan.kinds[static_cast<size_t>(slot.kind)];
        std::string why;
        if (answer.status != 200)
            why = "status " + std::to_string(answer.status);
        else if (answer.body.find(kind.mark) == std::string::npos)
            why = "status 200 without the page's mark";
        else if (answer.body.find(kPartialMark) != std::string::npos)
            why = "status 200, part of the server's answer missing";
        if (!why.empty()) {
            if (figures.firstFailedPage.empty())
                figures.firstFailedPage =
                    kind.label + ", " + why + ": \"" + headingOf(answer.body) + "\"";
            return fail(slot, why);
        }
        KindFigures& figuresOfKind = figures.kinds[static_cast<size_t>(slot.kind)];
        figuresOfKind.ms.push_back(static_cast<float>(msBetween(slot.sentAt, now)));
        ++figuresOfKind.good;
        slot.kind = -1;
        --outstanding;
    };

    const auto begun = Clock::now();
    const auto end = begun + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(plan.seconds));
    auto lastAnswer = begun, nextAliveCheck = begun + kAliveCheckEvery;
    auto drainEnd = end;
    bool stopping = false;
    for (int index = 0; index < plan.connections; ++index) {
        slots.push_back(std::make_unique<Slot>());
        if (!issue(slots.size() - 1))
            idle.push_back(slots.size() - 1);
    }

    epoll_event events[128];
    for (;;) {
        const auto now = Clock::now();
        if (!stopping && now >= end) {
            stopping = true;
            drainEnd = now + std::chrono::milliseconds(plan.drainMs);
        }
        if (stopping && (outstanding == 0 || now >= drainEnd))
            break;
        if (now >= nextAliveCheck) {
            nextAliveCheck = now + kAliveCheckEvery;
            if (!serverAlive()) {
                figures.serverEnded = true;
                figures.serverEndedAfter = msBetween(begun, now) / 1000;
                break;
            }
        }
        if (!stopping)
            std::erase_if(idle, [&](size_t index) { return issue(index); });

        const int count = ::epoll_wait(epoll, events, 128, kWaitMs);
        for (int e = 0; e < count; ++e) {
            const auto index = static_cast<size_t>(events[e].data.u64);
            Slot& slot = *slots[index];
            if (!slot.connection.isOpen())
                continue; // closed earlier in this batch
            auto event = HttpConnection::Event::None;
            if (events[e].events & EPOLLOUT) {
                event = slot.connection.onWritable();
                if (event == HttpConnection::Event::None && !slot.connection.wantsWrite())
                    watch(index, false);
            }
            if (event == HttpConnection::Event::None &&
                (events[e].events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
                event = slot.connection.onReadable();
            if (event == HttpConnection::Event::None)
                continue;

            const auto at = Clock::now();
            if (event == HttpConnection::Event::Answered && slot.kind >= 0) {
                lastAnswer = at;
                judge(slot, at);
                if (slot.connection.answer().closeAfter)
                    slot.connection.close();
            } else if (event == HttpConnection::Event::Broken && slot.kind >= 0) {
                fail(slot, "connection broke (" + slot.connection.failure() + ")");
            }
            if (!slot.connection.isOpen())
                slot.registered = false;
            if (!stopping && slot.kind < 0 && !issue(index))
                idle.push_back(index);
        }
    }

    for (const auto& slot : slots)
        if (slot->kind >= 0)
            ++figures.whys["no answer when the time was up"];
    figures.unanswered = outstanding;
    figures.seconds = msBetween(begun, lastAnswer) / 1000;
    slots.clear(); // closes the connections
    ::close(epoll);
    return figures;
}

} // namespace bench
