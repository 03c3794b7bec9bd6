// A list of many servers is asked at a pace: a bound on questions under way and an even
// spacing of new ones, whatever the servers do (answer at once, never, or all together).
#include "EventLoopWait.h"

#include "queryservice/PacedAsking.h"

#include <QTest>

using utq::queryservice::PacedAsking;

class TestPacedAsking : public QObject {
    Q_OBJECT
private slots:
    void evenlySpacedAndBoundInFlight() {
        PacedAsking asking({4, 10});
        QList<qint64> starts;
        QList<std::function<void()>> open;
        qint64 now = 0;
        for (int i = 0; i < 50; ++i)
            asking.add([&](std::function<void()> done) {
                starts.append(now);
                open.append(std::move(done));
            });
        // Servers that never answer hold their places: four start, spaced 101 ms.
        for (; now <= 2000; now += 1)
            asking.pump(now);
        QCOMPARE(starts, QList<qint64>({0, 101, 202, 303}));
        // All four answer at once: no burst follows, the pace goes on.
        for (auto& done : open)
            done();
        open.first()(); // a second end of one question counts once
        open.clear();
        for (; now <= 4000; now += 1) {
            asking.pump(now);
            for (auto& done : open)
                done();
            open.clear();
        }
        QCOMPARE(starts.size(), 4 + 20);
        // After the first, which may take up to a tick of the time spent waiting.
        for (qsizetype i = 6; i < starts.size(); ++i)
            QCOMPARE(starts[i] - starts[i - 1], 101);
        QVERIFY(asking.mostInOneSecond() <= 10);
        QCOMPARE(asking.mostInFlight(), 4);
        asking.clear();
        asking.pump(now + 1000);
        QCOMPARE(starts.size(), 24);
        QCOMPARE(asking.waiting(), 0);
    }

    // Its clock counts whole milliseconds: the 41st start of 40 a second comes more than
    // 1,000 ms after the first, or the network may see 41 within one second.
    void fortyStartsSpanMoreThanASecond() {
        PacedAsking asking({100, 40});
        QList<qint64> starts;
        qint64 now = 0;
        for (int i = 0; i < 200; ++i)
            asking.add([&](std::function<void()> done) {
                starts.append(now);
                done();
            });
        for (; now <= 6000; ++now)
            asking.pump(now);
        QCOMPARE(starts.size(), 200);
        for (qsizetype i = 40; i < starts.size(); ++i)
            QVERIFY2(starts[i] - starts[i - 40] > 1000, qPrintable(QString::number(i)));
    }

    // The timer drives it: a hundred questions answered at once are all asked, at no more
    // than the bound a second, and the timer stops when the queue is empty.
    void realTime() {
        PacedAsking asking({8, 100});
        int answered = 0;
        for (int i = 0; i < 100; ++i)
            asking.add([&answered](std::function<void()> done) {
                ++answered;
                done();
            });
        QVERIFY(waitUntil([&] { return answered == 100; }, 5000));
        QVERIFY(asking.mostInOneSecond() <= 100);
        QCOMPARE(asking.inFlight(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPacedAsking)
#include "tst_paced_asking.moc"
