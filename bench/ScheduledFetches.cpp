#include "ScheduledFetches.h"

#include "HttpConnection.h"

#include <poll.h>

#include <chrono>
#include <memory>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectMs = 1000;
constexpr int kMostPollMs = 10;

double msSince(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

struct GroupState {
    std::vector<size_t> order; // the group's fetches, in plan order
    size_t next = 0;
    int inFlight = 0;
    double lastStartMs = -1e9;
    int unfinished = 0;
};

} // namespace

std::string failureKind(const FetchResult& result) {
    if (!result.started)
        return "not started";
    if (result.why.find("reset") != std::string::npos)
        return "reset";
    if (result.why.find("refused") != std::string::npos ||
        result.why.find("could not connect") != std::string::npos)
        return "refused";
    if (result.why.find("closed") != std::string::npos)
        return "closed";
    return "no answer";
}

std::vector<FetchResult> runFetches(const FetchRun& run) {
    std::vector<FetchResult> results(run.fetches.size());
    std::vector<std::unique_ptr<HttpConnection>> connections(run.fetches.size());
    std::vector<GroupState> groups(run.groups.size());
    for (size_t index = 0; index < run.fetches.size(); ++index) {
        GroupState& group = groups.at(static_cast<size_t>(run.fetches[index].group));
        group.order.push_back(index);
        ++group.unfinished;
    }
    std::vector<size_t> open; // started and waiting for their answer
    const auto begun = Clock::now();
    double nextTickMs = 0;

    const auto finish = [&](size_t index) {
        connections[index].reset();
        GroupState& group = groups[static_cast<size_t>(run.fetches[index].group)];
        --group.inFlight;
        --group.unfinished;
    };
    const auto leaderDone = [&] {
        return run.leadingGroup >= 0 &&
               groups.at(static_cast<size_t>(run.leadingGroup)).unfinished == 0;
    };

    while (msSince(begun) < run.mostMs) {
        const double now = msSince(begun);
        if (now >= nextTickMs) {
            nextTickMs = now + run.tickMs;
            if (run.tick && !run.tick(now))
                break;
        }
        // Start what is due.
        const bool mayStart = now < run.lastStartMs && !leaderDone();
        for (size_t g = 0; g < groups.size() && mayStart; ++g) {
            GroupState& group = groups[g];
            const FetchGroup& bounds = run.groups[g];
            while (group.next < group.order.size()) {
                const size_t index = group.order[group.next];
                const PlannedFetch& fetch = run.fetches[index];
                const double at = msSince(begun);
                if (at < fetch.atMs ||
                    (bounds.mostInFlight > 0 && group.inFlight >= bounds.mostInFlight) ||
                    at - group.lastStartMs < bounds.leastGapMs)
                    break;
                ++group.next;
                ++group.inFlight;
                group.lastStartMs = at;
                FetchResult& result = results[index];
                result.started = true;
                result.startedMs = at;
                auto connection = std::make_unique<HttpConnection>();
                if (!connection->open(run.port, kConnectMs, fetch.source)) {
                    result.why = "could not connect";
                    finish(index);
                } else if (!connection->send(getRequest(run.port, fetch.target))) {
                    result.why = "broke while sending (" + connection->failure() + ")";
                    connections[index] = std::move(connection);
                    finish(index);
                } else {
                    connections[index] = std::move(connection);
                    open.push_back(index);
                }
            }
        }
        // Nothing left to start or wait for.
        bool pending = !open.empty();
        for (size_t g = 0; g < groups.size() && !pending; ++g)
            pending = mayStart && groups[g].next < groups[g].order.size();
        if (!pending)
            break;

        std::vector<pollfd> waits;
        for (const size_t index : open) {
            HttpConnection& connection = *connections[index];
            waits.push_back({connection.fd(),
                             static_cast<short>(POLLIN | (connection.wantsWrite() ? POLLOUT : 0)),
                             0});
        }
        if (::poll(waits.data(), waits.size(), kMostPollMs) < 0)
            continue;
        std::vector<size_t> stillOpen;
        for (size_t w = 0; w < waits.size(); ++w) {
            const size_t index = open[w];
            HttpConnection& connection = *connections[index];
            FetchResult& result = results[index];
            const auto event = connection.onPolled(waits[w].revents);
            const double ms = msSince(begun) - result.startedMs;
            if (event == HttpConnection::Event::Answered) {
                result.answered = true;
                result.status = connection.answer().status;
                result.bytes = connection.answer().body.size();
                result.ms = ms;
                for (size_t mark = 0; mark < run.marks.size() && result.mark < 0; ++mark)
                    if (connection.answer().body.find(run.marks[mark]) != std::string::npos)
                        result.mark = static_cast<int>(mark);
                finish(index);
            } else if (event == HttpConnection::Event::Broken) {
                result.why = "connection broke (" + connection.failure() + ")";
                result.ms = ms;
                finish(index);
            } else if (ms >= run.fetches[index].timeoutMs) {
                result.why =
                    "no answer within " + std::to_string(run.fetches[index].timeoutMs) + " ms";
                finish(index);
            } else {
                stillOpen.push_back(index);
            }
        }
        open.swap(stillOpen);
    }
    for (const size_t index : open)
        results[index].why = "no answer when the run ended";
    return results;
}

} // namespace bench
