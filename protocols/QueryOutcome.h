#pragma once

#include "protocols/ServerStatus.h"

// What one status query of a game server came to, and how long it may take.
namespace utq::protocols {

struct QueryOutcome {
    enum class Kind {
        Answered, // the whole reply came
        Partial,  // some parts came, the rest did not in time
        NoAnswer, // nothing came in time, or the port refused
    };
    Kind kind = Kind::NoAnswer;
    ServerStatus status;
    qint64 roundTripMs = -1; // from the request that was answered to its first datagram
};

struct QueryTiming {
    int waitMs = 2000; // for each try
    int retries = 1;   // the request is sent again once when nothing complete came
};

} // namespace utq::protocols
