#pragma once

// Many keep-alive HTTP/1.1 connections to 127.0.0.1 driven by one thread over epoll, each
// sending its next request as soon as the last answer is in: closed-loop load whose pace is
// the server's. Every answer is timed and checked for its page's mark.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct PageKind {
    std::string label;
    std::string target; // path and query
    std::string mark;   // in every good page of this kind
};

struct LoadPlan {
    uint16_t port = 0;
    std::vector<PageKind> kinds;
    std::vector<int> mix; // indexes into kinds, taken in turn by all connections together
    int connections = 32;
    double seconds = 60;
    int drainMs = 10000; // for the answers still due when the time is up
};

struct KindFigures {
    std::vector<float> ms; // each good answer's time from the request's start
    long long good = 0;
    long long failed = 0; // not 200, no mark, a part missing, or the connection broke
};

struct LoadFigures {
    std::vector<KindFigures> kinds;
    double seconds = 0; // from the first request to the last answer
    long long unanswered = 0;
    long long reconnections = 0;
    bool serverEnded = false;
    double serverEndedAfter = 0;           // seconds into the run
    std::map<std::string, long long> whys; // failures by reason
    std::string firstFailedPage;           // what the first bad page said, to see why

    long long good() const;
    long long failed() const;
    std::vector<float> allMs() const;
};

// Runs `plan`; `serverAlive` is asked a few times a second, and the run ends early when false.
LoadFigures runLoad(const LoadPlan& plan, const std::function<bool()>& serverAlive);

// Nearest rank `p` (0..1) of `values`; -1 when there are none.
double percentile(std::vector<float> values, double p);

} // namespace bench
