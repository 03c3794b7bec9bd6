// UT3 status queries over real UDP on loopback: the challenge handshake, then the full
// statistics whole, split, shuffled and repeated, in part, for another session, from the wrong
// port, or not at all.
#include "EventLoopWait.h"
#include "FakeServers.h"
#include "QueryRun.h"

#include "protocols/Ut3Query.h"

#include <QElapsedTimer>
#include <QTest>

using namespace utq::protocols;
using Kind = QueryOutcome::Kind;

namespace {

const QueryTiming kQuick{300, 1};

QueryOutcome runQuery(const FakeGameServer& server, qint64* tookMs = nullptr) {
    return runQueryAgainst(&queryUt3, server, kQuick, tookMs);
}

// The session id a request carries.
quint32 sessionOf(const QByteArray& request) {
    return request.size() >= 7 ? qFromBigEndian<quint32>(request.constData() + 3) : 0;
}

} // namespace

class TestUt3Query : public QObject {
    Q_OBJECT
private slots:
    void theHandshakeThenTheWholeReply() {
        FakeGameServer server(fakeservers::ut3(fakeservers::ut3TwoPlayers()));
        const QueryOutcome outcome = runQuery(server);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(server.requests.size(), 2);
        QCOMPARE(server.requests[0].left(3), QByteArray("\xfe\xfd\x09", 3));
        QCOMPARE(server.requests[1].left(3), QByteArray("\xfe\xfd\x00", 3));
        QCOMPARE(sessionOf(server.requests[0]), sessionOf(server.requests[1]));
        QCOMPARE(outcome.status.name, "Fake UT3");
        QCOMPARE(outcome.status.map, "DM-Deck");
        QCOMPARE(outcome.status.players, 2);
        QCOMPARE(outcome.status.playerList.size(), 2);
        QCOMPARE(outcome.status.teams.size(), 2);
        QVERIFY(outcome.roundTripMs >= 0 && outcome.roundTripMs < 300);
    }

    void splitShuffledAndRepeated() {
        const auto answer = fakeservers::ut3(fakeservers::ut3TwoPlayers(), 3);
        FakeGameServer server([answer](const QByteArray& request, int number) {
            QList<QByteArray> datagrams = answer(request, number);
            if (datagrams.size() == 3)
                return QList<QByteArray>{datagrams[2], datagrams[0], datagrams[2], datagrams[1]};
            return datagrams;
        });
        const QueryOutcome outcome = runQuery(server);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(outcome.status.playerList.size(), 2);
        QCOMPARE(outcome.status.teams.size(), 2);
    }

    void aLostPartIsAskedForAgainThenShownAsFarAsItCame() {
        const auto answer = fakeservers::ut3(fakeservers::ut3TwoPlayers(), 2);
        FakeGameServer server([answer](const QByteArray& request, int number) {
            QList<QByteArray> datagrams = answer(request, number);
            if (datagrams.size() == 2)
                datagrams.removeLast(); // the teams never arrive
            return datagrams;
        });
        qint64 took = 0;
        const QueryOutcome outcome = runQuery(server, &took);
        QCOMPARE(outcome.kind, Kind::Partial);
        QCOMPARE(outcome.status.name, "Fake UT3"); // the server's keys still show
        QCOMPARE(outcome.status.playerList.size(), 2);
        QCOMPARE(server.requests.size(), 4); // a second handshake and request
        QVERIFY2(took >= 600 && took < 2000, qPrintable(QString::number(took)));
    }

    void repliesForAnotherSessionOrFromAnotherPortDoNotCount() {
        const auto answer = fakeservers::ut3(fakeservers::ut3TwoPlayers());
        FakeGameServer otherSession([answer](const QByteArray& request, int number) {
            QByteArray changed = request;
            if (changed.size() >= 7)
                changed[6] = static_cast<char>(changed[6] ^ 0x5A);
            return answer(changed, number);
        });
        QCOMPARE(runQuery(otherSession).kind, Kind::NoAnswer);

        FakeGameServer impostor(answer);
        impostor.answerFromAnotherPort = true;
        QCOMPARE(runQuery(impostor).kind, Kind::NoAnswer);
    }

    void malformedRepliesAndSilenceEndInBoundedTime() {
        FakeGameServer garbage([](const QByteArray& request, int) {
            const QByteArray session = request.mid(3, 4);
            return QList<QByteArray>{QByteArray("\x09", 1) + session + "not a number",
                                     QByteArray("\x00", 1) + session + "splitnum",
                                     QByteArray(2000, '\xff'), QByteArray()};
        });
        qint64 took = 0;
        QCOMPARE(runQuery(garbage, &took).kind, Kind::NoAnswer);
        QVERIFY2(took < 2000, qPrintable(QString::number(took)));

        FakeGameServer silent([](const QByteArray&, int) { return QList<QByteArray>{}; });
        QCOMPARE(runQuery(silent, &took).kind, Kind::NoAnswer);
        QCOMPARE(silent.requests.size(), 2); // the challenge asked for twice
        QVERIFY2(took >= 600 && took < 2000, qPrintable(QString::number(took)));
    }
};

QTEST_GUILESS_MAIN(TestUt3Query)
#include "tst_ut3_query.moc"
