#pragma once

#include "queryservice/ServerStatus.h"

#include <QFuture>
#include <QHostAddress>

// One UT99 status query over UDP, without blocking: the result arrives through a future.
namespace utq::queryservice {

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

// Asks the server at `address`:`queryPort` for its status. Only datagrams from exactly that
// address and port count. Must be called on a thread with an event loop.
QFuture<QueryOutcome> queryUt99(const QHostAddress& address, quint16 queryPort,
                                QueryTiming timing = {});

} // namespace utq::queryservice
