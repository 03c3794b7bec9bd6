#pragma once

#include "EventLoopWait.h"
#include "FakeGameServer.h"

#include "protocols/QueryOutcome.h"

#include <QElapsedTimer>
#include <QFuture>

// Runs one game's status query against a fake server to its end, keeping the event loop
// turning, and tells how long it took.
using QueryFunction = QFuture<utq::protocols::QueryOutcome> (*)(const QHostAddress&, quint16,
                                                                utq::protocols::QueryTiming);

inline utq::protocols::QueryOutcome runQueryAgainst(QueryFunction query,
                                                    const FakeGameServer& server,
                                                    utq::protocols::QueryTiming timing,
                                                    qint64* tookMs = nullptr) {
    QElapsedTimer clock;
    clock.start();
    QFuture<utq::protocols::QueryOutcome> future =
        query(FakeGameServer::address(), server.port(), timing);
    waitUntil([&] { return future.isFinished(); }, 10000);
    if (tookMs)
        *tookMs = clock.elapsed();
    return future.isFinished() ? future.result() : utq::protocols::QueryOutcome{};
}
