#pragma once

#include "EventLoopWait.h"
#include "FakeGameServer.h"

#include "queryservice/QueryOutcome.h"

#include <QElapsedTimer>
#include <QFuture>

// Runs one game's status query against a fake server to its end, keeping the event loop
// turning, and tells how long it took.
using QueryFunction = QFuture<utq::queryservice::QueryOutcome> (*)(const QHostAddress&, quint16,
                                                                   utq::queryservice::QueryTiming);

inline utq::queryservice::QueryOutcome runQueryAgainst(QueryFunction query,
                                                       const FakeGameServer& server,
                                                       utq::queryservice::QueryTiming timing,
                                                       qint64* tookMs = nullptr) {
    QElapsedTimer clock;
    clock.start();
    QFuture<utq::queryservice::QueryOutcome> future =
        query(FakeGameServer::address(), server.port(), timing);
    waitUntil([&] { return future.isFinished(); }, 10000);
    if (tookMs)
        *tookMs = clock.elapsed();
    return future.isFinished() ? future.result() : utq::queryservice::QueryOutcome{};
}
