#pragma once

// One-shot requests from chosen loopback client addresses at chosen times, each on a
// connection of its own, driven by one thread: the clients of an attack and the bystanders
// whose pages it slows, side by side. A group of requests may be held to a number in flight
// and a least gap between starts, as a client that keeps within a service's limits.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct FetchGroup {
    int mostInFlight = 0; // 0: no bound
    double leastGapMs = 0;
};

struct PlannedFetch {
    double atMs = 0; // not before this, from the run's start
    int group = 0;   // its requests start in their order in the plan
    uint32_t source = 0;
    std::string target;
    int timeoutMs = 10000; // from its start to its answer's end
};

struct FetchResult {
    bool started = false;
    double startedMs = -1; // from the run's start
    bool answered = false;
    int status = 0;
    size_t bytes = 0; // of the body
    double ms = -1;   // from the request's start to the answer's end
    int mark = -1;    // the first of the run's marks the body holds
    std::string why;  // when not answered
};

struct FetchRun {
    uint16_t port = 0;
    std::vector<FetchGroup> groups;
    std::vector<PlannedFetch> fetches;
    std::vector<std::string> marks;
    // Once every request of this group has ended, no other request starts (-1: none leads).
    int leadingGroup = -1;
    double lastStartMs = 60000; // nothing starts later
    double mostMs = 90000;      // the whole run's bound
    // Called about every `tickMs`; the run ends early when it returns false.
    std::function<bool(double elapsedMs)> tick;
    int tickMs = 100;
};

std::vector<FetchResult> runFetches(const FetchRun& run);

// The failure of a request that never got an answer, in a few words: "reset", "closed",
// "refused", "no answer" or "not started".
std::string failureKind(const FetchResult& result);

} // namespace bench
