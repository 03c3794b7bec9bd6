#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// Waiting that keeps the event loop running the whole time. QTest::qWait and the QTRY_
// macros sleep between rounds of events, which slows the web engine (it needs many quick
// turns of the loop) from a fraction of a second to several seconds.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // Deletions asked for by a handler (a window closed with WA_DeleteOnClose) are only
        // carried out from here, outside every event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
        if (clock.elapsed() >= timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// Runs the event loop for `ms` milliseconds, to show that nothing more happens meanwhile.
inline void keepRunningFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits until `actual == expected` holds or the time is up, then compares them.
#define UTQ_TRY_COMPARE(actual, expected, timeoutMs)                                               \
    do {                                                                                           \
        waitUntil([&] { return (actual) == (expected); }, timeoutMs);                              \
        QCOMPARE(actual, expected);                                                                \
    } while (false)

#define UTQ_TRY_VERIFY(condition, timeoutMs)                                                       \
    do {                                                                                           \
        waitUntil([&] { return static_cast<bool>(condition); }, timeoutMs);                        \
        QVERIFY(condition);                                                                        \
    } while (false)
