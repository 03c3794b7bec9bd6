// UT2004 status queries over real UDP on loopback: info, rules and players asked for at once,
// answered whole, shuffled and repeated, in part, short of players, from the wrong port, or not
// at all.
#include "EventLoopWait.h"
#include "FakeGameServer.h"
#include "QueryRun.h"
#include "Ut2004Replies.h"

#include "protocols/Ut2004Query.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace utq::protocols;
using namespace ut2004replies;
using Kind = QueryOutcome::Kind;

namespace {

const QueryTiming kQuick{300, 1};

QueryOutcome runQuery(const FakeGameServer& server, qint64* tookMs = nullptr) {
    return runQueryAgainst(&queryUt2004, server, kQuick, tookMs);
}

char typeAsked(const QByteArray& request) { return request.size() == 5 ? request[4] : '?'; }

// A server with two players, a coloured name and rules over two datagrams.
QList<QByteArray> fullAnswer(const QByteArray& request) {
    switch (typeAsked(request)) {
    case 0:
        return {infoReply(str("\x1b\xf8\x40\x40Red \x1b\x40\x40\xf8"
                              "Blue"))};
    case 1:
        return {rulesReply({{"ServerMode", "dedicated"}, {"Mutator", "MutInstaGib"}}),
                rulesReply({{"mutator", "MutQuadJump"}, {"GoalScore", "25"}})};
    case 2:
        return {playersReply({{1, str("Alice"), 40, 12, kRed},
                              {2, wide(QString::fromUtf8("J\u00f6rg \u65e5")), 55, 30, kBlue}})};
    }
    return {};
}

} // namespace

class TestUt2004Query : public QObject {
    Q_OBJECT
private slots:
    void aWholeAnswerToThreeRequests() {
        FakeGameServer server([](const QByteArray& request, int) { return fullAnswer(request); });
        qint64 took = 0;
        const QueryOutcome outcome = runQuery(server, &took);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(server.requests.size(), 3);
        QCOMPARE(typeAsked(server.requests[0]), 0);
        QCOMPARE(typeAsked(server.requests[1]), 1);
        QCOMPARE(typeAsked(server.requests[2]), 2);
        // The name comes without its colour codes, and in its colours for the page to show.
        QCOMPARE(outcome.status.name, "Red Blue");
        QCOMPARE(outcome.status.nameRuns,
                 (TextRuns{{"Red ", Rgb{0xf8, 0x40, 0x40}}, {"Blue", Rgb{0x40, 0x40, 0xf8}}}));
        QCOMPARE(outcome.status.map, "DM-Rankin");
        QCOMPARE(outcome.status.players, 2);
        QCOMPARE(outcome.status.maxPlayers, 16);
        QCOMPARE(outcome.status.playerList.size(), 2);
        QCOMPARE(outcome.status.playerList[1].name, QString::fromUtf8("J\u00f6rg \u65e5"));
        QCOMPARE(outcome.status.playerList[1].team, "blue");
        const auto rules = outcome.status.rules;
        QVERIFY(rules.contains(QPair<QString, QString>("GoalScore", "25")));
        QVERIFY(rules.contains(QPair<QString, QString>("Mutators", "MutInstaGib, MutQuadJump")));
        QVERIFY2(took < 300, qPrintable(QString::number(took))); // no wait for more
        QVERIFY(outcome.roundTripMs >= 0 && outcome.roundTripMs < 300);
    }

    void shuffledAndRepeatedDatagramsCountOnce() {
        FakeGameServer server([](const QByteArray& request, int number) {
            if (number < 3)
                return QList<QByteArray>{}; // answers everything after the last request
            QList<QByteArray> all = fullAnswer(QByteArray("\x79\0\0\0\x02", 5)) +
                                    fullAnswer(QByteArray("\x79\0\0\0\x01", 5)) +
                                    fullAnswer(QByteArray("\x79\0\0\0\x00", 5));
            Q_UNUSED(request);
            return all + all;
        });
        const QueryOutcome outcome = runQuery(server);
        QVERIFY(outcome.kind == Kind::Answered);
        QCOMPARE(outcome.status.playerList.size(), 2);
        QCOMPARE(outcome.status.rules.size(), 3); // two rules and the mutators, each once
    }

    void missingPlayersAreAskedForAgainAloneThenShownWithout() {
        FakeGameServer server([](const QByteArray& request, int) {
            return typeAsked(request) == 2 ? QList<QByteArray>{} : fullAnswer(request);
        });
        qint64 took = 0;
        const QueryOutcome outcome = runQuery(server, &took);
        QCOMPARE(outcome.kind, Kind::Partial);
        QCOMPARE(outcome.status.map, "DM-Rankin"); // the server's info still shows
        QCOMPARE(server.requests.size(), 4);
        QCOMPARE(typeAsked(server.requests[3]), 2);
        QVERIFY2(took >= 600 && took < 2000, qPrintable(QString::number(took)));
    }

    void fewerPlayersThanTheCountOrAnEmptyServerEndSoon() {
        FakeGameServer shortList([](const QByteArray& request, int) {
            return typeAsked(request) == 2
                       ? QList<QByteArray>{playersReply({{1, str("Only"), 40, 1, 0}})}
                       : fullAnswer(request);
        });
        qint64 took = 0;
        QueryOutcome outcome = runQuery(shortList, &took);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(outcome.status.playerList.size(), 1);
        QVERIFY2(took < 300, qPrintable(QString::number(took)));

        FakeGameServer empty([](const QByteArray& request, int) {
            switch (typeAsked(request)) {
            case 0:
                return QList<QByteArray>{infoReply(str("Empty"), "DM-Deck", 0, 8)};
            case 1:
                return QList<QByteArray>{rulesReply({{"ServerMode", "dedicated"}})};
            }
            return QList<QByteArray>{}; // no players, no datagram
        });
        outcome = runQuery(empty, &took);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(outcome.status.players, 0);
        QVERIFY(outcome.status.playerList.isEmpty());
        QVERIFY2(took < 300, qPrintable(QString::number(took)));
    }

    void playersSplitOverDatagramsAreWaitedForPastTheCount() {
        // Three players counted; the rows come in three datagrams, the last one, with a row
        // beyond the count, a little later.
        FakeGameServer server([&server](const QByteArray& request, int) {
            if (typeAsked(request) == 0)
                return QList<QByteArray>{infoReply(str("Split"), "DM-Rankin", 3, 16)};
            if (typeAsked(request) != 2)
                return fullAnswer(request);
            QTimer::singleShot(50, &server, [&server] {
                server.sendToLastClient(playersReply({{4, str("Late"), 70, 1, 0}}));
            });
            return QList<QByteArray>{
                playersReply({{1, str("Ann"), 40, 9, 0}, {2, str("Bob"), 50, 8, 0}}),
                playersReply({{3, str("Cy"), 60, 7, 0}})};
        });
        const QueryOutcome outcome = runQuery(server);
        QCOMPARE(outcome.kind, Kind::Answered);
        QCOMPARE(outcome.status.playerList.size(), 4);
        QCOMPARE(outcome.status.playerList.last().name, "Late");
    }

    void malformedTruncatedAndForeignDatagrams() {
        FakeGameServer server([](const QByteArray& request, int) {
            QList<QByteArray> answer = fullAnswer(request);
            for (QByteArray& datagram : answer)
                datagram.chop(datagram.size() / 3); // every datagram cut short
            answer.append("\\hostname\\not ut2004\\final\\");
            answer.append(QByteArray(4, '\x80'));
            answer.append(QByteArray("\x80\0\0\0\x07", 5) + QByteArray(1500, '\xff'));
            return answer;
        });
        const QueryOutcome outcome = runQuery(server);
        QVERIFY(outcome.kind != Kind::NoAnswer);
        QVERIFY(outcome.status.playerList.size() <= 2);

        FakeGameServer impostor([](const QByteArray& request, int) { return fullAnswer(request); });
        impostor.answerFromAnotherPort = true;
        QCOMPARE(runQuery(impostor).kind, Kind::NoAnswer);
    }

    void silenceIsNoAnswerAfterOneRetry() {
        FakeGameServer server([](const QByteArray&, int) { return QList<QByteArray>{}; });
        qint64 took = 0;
        QCOMPARE(runQuery(server, &took).kind, Kind::NoAnswer);
        QCOMPARE(server.requests.size(), 6);
        QVERIFY2(took >= 600 && took < 2000, qPrintable(QString::number(took)));
    }
};

QTEST_GUILESS_MAIN(TestUt2004Query)
#include "tst_ut2004_query.moc"
