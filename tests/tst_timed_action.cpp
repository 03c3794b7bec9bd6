// The fill-then-act mechanism behind every "Begin Query" and "Save Changes" button.
#include "app/TimedAction.h"

#include <QElapsedTimer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace utq;

namespace {

struct Rig {
    QTimer timer;
    QProgressBar bar;
    QStringList log;
    QStringList failures;
    bool failNext = false;
    TimedAction action{&timer, &bar,
                       [this] {
                           log << QStringLiteral("action at %1").arg(bar.value());
                           if (failNext)
                               throw Failure(QStringLiteral("could not write utservers.ini"));
                       },
                       [this] { log << QStringLiteral("completion at %1").arg(bar.value()); },
                       [this](const QString& message) {
                           failures << message;
                       }};

    Rig() {
        timer.setInterval(100);
        bar.setRange(0, 100);
        bar.setValue(0);
    }
};

} // namespace

class TestTimedAction : public QObject {
    Q_OBJECT
private slots:
    void decisionOfOneTick() {
        QCOMPARE(decideTick(0).runsAction, false);
        QCOMPARE(decideTick(0).nextBarValue, 10.0f);
        // At exactly 90 the bar still grows to 100 before anything runs.
        QCOMPARE(decideTick(90).runsAction, false);
        QCOMPARE(decideTick(90).nextBarValue, 100.0f);
        QCOMPARE(decideTick(90.5f).runsAction, true);
        QCOMPARE(decideTick(100).runsAction, true);
        QCOMPARE(decideTick(100).nextBarValue, 0.0f);
        QCOMPARE(decideTick(5).nextBarValue, 15.0f);
    }

    void pressOnlyEnablesTheTimer() {
        Rig rig;
        rig.bar.setValue(40);
        rig.action.press();
        QVERIFY(rig.timer.isActive());
        QCOMPARE(rig.bar.value(), 40);
        QVERIFY(rig.log.isEmpty());
    }

    void eleventhTickActsOnceThenEmptiesTheBar() {
        Rig rig;
        QSignalSpy values(&rig.bar, &QProgressBar::valueChanged);
        rig.action.press();
        for (int tick = 1; tick <= 10; ++tick) {
            rig.action.tick();
            QCOMPARE(rig.bar.value(), tick * 10);
        }
        QVERIFY(rig.log.isEmpty());
        rig.action.tick();
        QCOMPARE(rig.log, QStringList({"action at 100", "completion at 0"}));
        QVERIFY(!rig.timer.isActive());
        QCOMPARE(rig.bar.value(), 0);
        QList<int> seen;
        for (const auto& args : values)
            seen << args.at(0).toInt();
        QCOMPARE(seen, QList<int>({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0}));
    }

    void pressWhileFillingKeepsTheBarAndActsOnce() {
        Rig rig;
        rig.action.press();
        for (int tick = 0; tick < 5; ++tick)
            rig.action.tick();
        rig.action.press();
        QCOMPARE(rig.bar.value(), 50);
        for (int tick = 0; tick < 6; ++tick)
            rig.action.tick();
        QCOMPARE(rig.log, QStringList({"action at 100", "completion at 0"}));
    }

    void failedActionIsReportedAndTheButtonReturnsToIdle() {
        Rig rig;
        rig.failNext = true;
        rig.action.press();
        for (int tick = 0; tick < 11; ++tick)
            rig.action.tick();
        QCOMPARE(rig.failures, QStringList({"could not write utservers.ini"}));
        QCOMPARE(rig.log, QStringList({"action at 100"})); // no completion after a failure
        QVERIFY(!rig.timer.isActive());
        QCOMPARE(rig.bar.value(), 0);
        // The next press works as usual.
        rig.failNext = false;
        rig.action.press();
        for (int tick = 0; tick < 11; ++tick)
            rig.action.tick();
        QCOMPARE(rig.log.size(), 3);
    }

    void realTimerFillsInAboutElevenTicks() {
        Rig rig;
        QObject::connect(&rig.timer, &QTimer::timeout, [&rig] { rig.action.tick(); });
        QElapsedTimer clock;
        clock.start();
        rig.action.press();
        QTRY_COMPARE_WITH_TIMEOUT(rig.log.size(), 2, 5000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 1000, qPrintable(QString::number(elapsed)));
        QVERIFY(!rig.timer.isActive());
        QTest::qWait(300);
        QCOMPARE(rig.log.size(), 2);
    }
};

QTEST_MAIN(TestTimedAction)
#include "tst_timed_action.moc"
