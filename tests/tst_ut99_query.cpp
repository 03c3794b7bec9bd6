// UT99 status queries over real UDP on loopback, against a fake server that answers whole,
// split and shuffled, in part, from the wrong port, or not at all.
#include "EventLoopWait.h"
#include "FakeGameServer.h"
#include "QueryRun.h"

#include "protocols/Ut99Query.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QTest>
#include <QTimer>

using namespace utq::protocols;
using Kind = QueryOutcome::Kind;

namespace {

const QueryTiming kQuick{300, 1};

QueryOutcome runQuery(const FakeGameServer& server, QueryTiming timing = kQuick,
                      qint64* tookMs = nullptr) {
    return runQueryAgainst(&queryUt99, server, timing, tookMs);
}

} // namespace

class TestUt99Query : public QObject {
    Q_OBJECT
private slots:
    void aWholeReply() {
        FakeGameServer server([](const QByteArray&, int) {
            return QList<QByteArray>{
                "\\hostname\\Local DM\\mapname\\DM-Deck16][\\numplayers\\1\\maxplayers\\8"
                "\\player_0\\Ann\\frags_0\\4\\ping_0\\ 9\\queryid\\1.1\\final\\"};
        });
        const QueryOutcome outcome = runQuery(server);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(outcome.status.name, "Local DM");
        QCOMPARE(outcome.status.playerList.value(0).name, "Ann");
        QVERIFY(outcome.roundTripMs >= 0 && outcome.roundTripMs < 300);
        QCOMPARE(server.requests, QList<QByteArray>({"\\status\\"}));
    }

    void splitShuffledAndRepeated() {
        FakeGameServer server([](const QByteArray&, int) {
            return QList<QByteArray>{
                "\\maxplayers\\8\\queryid\\7.2", "\\numplayers\\0\\queryid\\7.3\\final\\",
                "\\maxplayers\\8\\queryid\\7.2", "\\hostname\\Parts\\queryid\\7.1"};
        });
        const QueryOutcome outcome = runQuery(server);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(outcome.status.name, "Parts");
        QCOMPARE(outcome.status.maxPlayers, 8);
    }

    void aMissingPartIsAskedForAgainThenShownAsFarAsItCame() {
        FakeGameServer server([](const QByteArray&, int) {
            return QList<QByteArray>{"\\hostname\\Lossy\\queryid\\2.1",
                                     "\\player_0\\X\\queryid\\2.3\\final\\"};
        });
        qint64 took = 0;
        const QueryOutcome outcome = runQuery(server, kQuick, &took);
        QCOMPARE(outcome.kind, Kind::Partial);
        QCOMPARE(outcome.status.name, "Lossy");
        QCOMPARE(server.requests.size(), 2); // one retry
        QVERIFY2(took >= 600 && took < 2000, qPrintable(QString::number(took)));
    }

    void theRetryCanSucceed() {
        FakeGameServer server([](const QByteArray&, int number) {
            return number == 1 ? QList<QByteArray>{}
                               : QList<QByteArray>{"\\hostname\\Second\\queryid\\3.1\\final\\"};
        });
        const QueryOutcome outcome = runQuery(server);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(outcome.status.name, "Second");
        QCOMPARE(server.requests.size(), 2);
    }

    void silenceIsNoAnswerInBoundedTime() {
        FakeGameServer server([](const QByteArray&, int) { return QList<QByteArray>{}; });
        qint64 took = 0;
        const QueryOutcome outcome = runQuery(server, kQuick, &took);
        QCOMPARE(outcome.kind, Kind::NoAnswer);
        QCOMPARE(server.requests.size(), 2);
        QVERIFY2(took >= 600 && took < 2000, qPrintable(QString::number(took)));
    }

    void aClosedPortIsNoAnswerWithoutWaiting() {
        QUdpSocket closed;
        closed.bind(FakeGameServer::address(), 0);
        const quint16 port = closed.localPort();
        closed.close();
        QElapsedTimer clock;
        clock.start();
        QFuture<QueryOutcome> future = queryUt99(FakeGameServer::address(), port, {5000, 1});
        waitUntil([&] { return future.isFinished(); }, 15000);
        QCOMPARE(future.result().kind, Kind::NoAnswer);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void repliesFromAnotherPortDoNotCount() {
        FakeGameServer server([](const QByteArray&, int) {
            return QList<QByteArray>{"\\hostname\\Impostor\\queryid\\1.1\\final\\"};
        });
        server.answerFromAnotherPort = true;
        QCOMPARE(runQuery(server).kind, Kind::NoAnswer);
    }

    void garbageAndTruncatedRepliesDoNotCount() {
        FakeGameServer server([](const QByteArray&, int) {
            return QList<QByteArray>{"no backslash at all", QByteArray(1, '\\'),
                                     QByteArray("\\hostname\\Cut\\quer"), QByteArray(3000, '\\')};
        });
        const QueryOutcome outcome = runQuery(server);
        QVERIFY(outcome.kind != Kind::Answered);
    }

    void anEndlessReplyIsCutAtItsBoundsAndShownAsFarAsItCame() {
        // Part after part of one reply, rising in number, never a final one: at most 3000
        // parts of a kilobyte, a few each millisecond, while the query runs.
        int sent = 0;
        QTimer flood;
        flood.setInterval(1);
        FakeGameServer server([&flood](const QByteArray&, int) {
            flood.start();
            return QList<QByteArray>{};
        });
        connect(&flood, &QTimer::timeout, &server, [&] {
            for (int i = 0; i < 20 && sent < 3000; ++i, ++sent)
                server.sendToLastClient(
                    (sent == 0 ? QByteArray("\\hostname\\Flood") : QByteArray()) + "\\filler" +
                    QByteArray::number(sent) + '\\' + QByteArray(900, 'f') + "\\queryid\\1." +
                    QByteArray::number(sent + 1));
        });
        const QueryOutcome outcome = runQuery(server);
        flood.stop();
        QCOMPARE(outcome.kind, Kind::Partial);
        QCOMPARE(outcome.status.name, "Flood");
        QVERIFY2(outcome.status.rules.size() <= 64, qPrintable(QString::number(sent)));
        QVERIFY2(sent < 3000, "the query ends at its bounds, not after waiting out its tries");
    }

    void manyAtOnce() {
        FakeGameServer server([](const QByteArray&, int n) {
            return QList<QByteArray>{"\\hostname\\Busy " + QByteArray::number(n) +
                                     "\\queryid\\1.1\\final\\"};
        });
        QList<QFuture<QueryOutcome>> futures;
        for (int i = 0; i < 50; ++i)
            futures.append(queryUt99(FakeGameServer::address(), server.port(), kQuick));
        waitUntil(
            [&] {
                return std::all_of(futures.begin(), futures.end(),
                                   [](const auto& f) { return f.isFinished(); });
            },
            10000);
        for (const auto& future : futures) {
            QVERIFY(future.isFinished());
            QCOMPARE(future.result().kind, Kind::Answered);
        }
    }
};

QTEST_GUILESS_MAIN(TestUt99Query)
#include "tst_ut99_query.moc"
