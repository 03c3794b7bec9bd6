// UT3's GameSpy v4 query: the requests, the challenge, and full-stats replies whole, split,
// out of order, incomplete, cut short, hostile, and with the quirks of real UT3 servers.
#include "protocols/Ut3Protocol.h"

#include "Ut3Replies.h"

#include <QRandomGenerator>
#include <QTest>

using namespace utq::protocols;
using namespace utq::protocols::ut3;

namespace {

constexpr quint32 kSession = 1;

QByteArray bytes(const char* data, qsizetype size) { return QByteArray(data, size); }
#define BYTES(literal) bytes(literal, sizeof(literal) - 1)

// The single-datagram reply as the protocol notes spell it out, byte for byte.
const QByteArray kExample = BYTES("\x00\x00\x00\x00\x01"
                                  "splitnum\0\x80\x00"
                                  "hostname\0Fake UT3\0hostport\0"
                                  "7777\0numplayers\0"
                                  "2\0maxplayers\0"
                                  "16\0gamemode\0openplaying\0"
                                  "p1073741825\0DM-Deck\0p1073741826\0UTGame.UTDeathmatch\0"
                                  "s32779\0"
                                  "1\0"
                                  "\0"
                                  "\x01player_\0\0"
                                  "Alice\0"
                                  "Bob\0\0"
                                  "score_\0\0"
                                  "12\0"
                                  "3\0\0"
                                  "ping_\0\0"
                                  "40\0"
                                  "55\0\0"
                                  "team_\0\0"
                                  "0\0"
                                  "1\0\0"
                                  "\0"
                                  "\x02team_t\0\0Red\0"
                                  "Blue\0\0score_t\0\0"
                                  "1\0"
                                  "0\0\0"
                                  "\0");

ut3replies::Server exampleServer() {
    ut3replies::Server server;
    server.extraKeys = {{"s32779", "1"}};
    server.players = {{"Alice", 12, 40, 0}, {"Bob", 3, 55, 1}};
    server.teams = {{"Red", 1}, {"Blue", 0}};
    return server;
}

ServerStatus statusOf(const QList<QByteArray>& datagrams, quint32 session = kSession) {
    ReplyAssembly reply(session);
    for (const QByteArray& datagram : datagrams)
        reply.add(datagram);
    return statusFrom(reply);
}

// One line per fact, so that whole statuses compare and differences show.
QStringList facts(const ServerStatus& status) {
    QStringList lines = {"name " + status.name, "map " + status.map, "type " + status.gameType,
                         "players " + QString::number(status.players.value_or(-1)),
                         "max " + QString::number(status.maxPlayers.value_or(-1))};
    const auto number = [](std::optional<int> n) {
        return n ? QString::number(*n) : "-";
    };
    for (const PlayerStatus& p : status.playerList)
        lines += QStringList{"player", p.name, number(p.score), number(p.ping), p.team}.join('/');
    for (const TeamScore& t : status.teams)
        lines += "team " + t.team + "/" + number(t.score);
    for (const auto& [key, value] : status.rules)
        lines += "rule " + key + "=" + value;
    return lines;
}

QByteArray datagram(const QByteArray& payload, int index = 0, bool last = true, char section = 0) {
    return ut3replies::header(kSession, index, last, section) + payload;
}

} // namespace

class TestUt3Protocol : public QObject {
    Q_OBJECT
private slots:
    void requests() {
        QCOMPARE(challengeRequest(0x10203040), BYTES("\xFE\xFD\x09\x10\x20\x30\x40"));
        QCOMPARE(fullStatsRequest(0x10203040, -1287574694),
                 BYTES("\xFE\xFD\x00\x10\x20\x30\x40\xB3\x41\x2B\x5A\xFF\xFF\xFF\x01"));
        QCOMPARE(fullStatsRequest(1, 258),
                 BYTES("\xFE\xFD\x00\x00\x00\x00\x01\x00\x00\x01\x02\xFF\xFF\xFF\x01"));
        // No challenge, or 0: the server wants none, and the four bytes go.
        const QByteArray without = BYTES("\xFE\xFD\x00\x00\x00\x00\x01\xFF\xFF\xFF\x01");
        QCOMPARE(fullStatsRequest(1, std::nullopt), without);
        QCOMPARE(fullStatsRequest(1, 0), without);
    }

    void challenges_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("challenge");
        const QByteArray head = BYTES("\x09\x00\x00\x00\x01");
        QTest::newRow("negative, padded")
            << ut3replies::challengeReply(1, -1287574694) << true << -1287574694;
        QTest::newRow("positive, unpadded") << head + "123456" << true << 123456;
        QTest::newRow("zero") << ut3replies::challengeReply(1, 0) << true << 0;
        QTest::newRow("largest") << head + "2147483647" << true << 2147483647;
        QTest::newRow("smallest") << head + "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("leading zeros") << head + "000000000042" << true << 42;
        QTest::newRow("one beyond") << head + "2147483648" << false << 0;
        QTest::newRow("one below") << head + "-2147483649" << false << 0;
        QTest::newRow("huge") << head + "99999999999999999999" << false << 0;
        QTest::newRow("no text") << head << false << 0;
        QTest::newRow("only padding") << head + BYTES("\0\0\0\0\0\0\0\0\0\0\0\0") << false << 0;
        QTest::newRow("too short for the id") << BYTES("\x09\x00\x00\x01") << false << 0;
        QTest::newRow("empty") << QByteArray() << false << 0;
        QTest::newRow("letters") << head + "12a4" << false << 0;
        QTest::newRow("blank first") << head + " 1234" << false << 0;
        QTest::newRow("sign only") << head + "-" << false << 0;
        QTest::newRow("another session") << ut3replies::challengeReply(2, 1234) << false << 0;
        QTest::newRow("another type") << BYTES("\x00\x00\x00\x00\x01"
                                               "1234")
                                      << false << 0;
    }

    void challenges() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        QFETCH(int, challenge);
        const std::optional<qint32> parsed = parseChallenge(reply, kSession);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, challenge);
    }

    void theExampleReply() {
        const QList<QByteArray> built = ut3replies::fullStatsReply(kSession, exampleServer());
        QCOMPARE(built.size(), 1);
        QCOMPARE(built[0], kExample);
        ReplyAssembly reply(kSession);
        QVERIFY(reply.isEmpty());
        QVERIFY(reply.add(kExample));
        QVERIFY(!reply.isEmpty());
        QVERIFY(reply.isComplete());
        const ServerStatus status = statusFrom(reply);
        QCOMPARE(status.name, "Fake UT3");
        QCOMPARE(status.map, "DM-Deck");
        QCOMPARE(status.gameType, "UTGame.UTDeathmatch");
        QCOMPARE(status.players, 2);
        QCOMPARE(status.maxPlayers, 16);
        // Some servers flag a reply of one datagram with FF.
        QByteArray flaggedFF = kExample;
        flaggedFF[14] = '\xFF';
        ReplyAssembly ff(kSession);
        QVERIFY(ff.add(flaggedFF));
        QVERIFY(ff.isComplete());
        QCOMPARE(facts(statusFrom(ff)), facts(status));
        QCOMPARE(facts(status).mid(5),
                 (QStringList{"player/Alice/12/40/Red", "player/Bob/3/55/Blue", "team Red/1",
                              "team Blue/0", "rule hostport=7777", "rule gamemode=openplaying",
                              "rule Game mode=1"}));
    }

    void splitRepliesInAnyOrderAndTwice() {
        const QStringList whole = facts(statusOf({kExample}));
        const QList<QByteArray> two = ut3replies::fullStatsReply(kSession, exampleServer(), 2);
        QCOMPARE(two.size(), 2);
        QCOMPARE(two[1].at(16), '\x02'); // the second begins with the teams
        ReplyAssembly reply(kSession);
        QVERIFY(reply.add(two[1]));
        QVERIFY(!reply.isComplete());
        QVERIFY(reply.add(two[1])); // repeated
        QVERIFY(!reply.isComplete());
        QVERIFY(reply.add(two[0]));
        QVERIFY(reply.isComplete());
        QVERIFY(reply.add(two[0]));
        QCOMPARE(reply.parts().size(), 2);
        QCOMPARE(facts(statusFrom(reply)), whole);

        const QList<QByteArray> three = ut3replies::fullStatsReply(kSession, exampleServer(), 3);
        QCOMPARE(facts(statusOf({three[2], three[0], three[1]})), whole);
        // The payload may also start right in its section, with the section byte only in the
        // header.
        QByteArray bare = three[2];
        bare.remove(16, 1);
        QCOMPARE(facts(statusOf({three[0], three[1], bare})), whole);
        // And a header naming the server keys for a part that continues elsewhere.
        QByteArray misnamed = three[1];
        misnamed.remove(16, 1);
        misnamed[15] = '\0';
        QCOMPARE(facts(statusOf({three[0], misnamed, three[2]})), whole);
    }

    void aMissingPartLeavesTheRestReadable() {
        const QList<QByteArray> three = ut3replies::fullStatsReply(kSession, exampleServer(), 3);
        ReplyAssembly noPlayers(kSession);
        QVERIFY(noPlayers.add(three[0]));
        QVERIFY(noPlayers.add(three[2]));
        QVERIFY(!noPlayers.isComplete());
        ServerStatus status = statusFrom(noPlayers);
        QCOMPARE(status.name, "Fake UT3");
        QCOMPARE(status.map, "DM-Deck");
        QCOMPARE(status.players, 2); // the count still came, the players did not
        QVERIFY(status.playerList.isEmpty());
        QCOMPARE(status.teams.size(), 2);

        ReplyAssembly noKeys(kSession);
        QVERIFY(noKeys.add(three[1]));
        QVERIFY(noKeys.add(three[2]));
        QVERIFY(!noKeys.isComplete());
        status = statusFrom(noKeys);
        QVERIFY(status.name.isEmpty());
        QCOMPARE(status.players, std::nullopt);
        QCOMPARE(facts(status).mid(5, 2),
                 (QStringList{"player/Alice/12/40/Red", "player/Bob/3/55/Blue"}));

        // Only the last part: nothing is known about the others, so the reply is incomplete.
        ReplyAssembly onlyLast(kSession);
        QVERIFY(onlyLast.add(three[2]));
        QVERIFY(!onlyLast.isComplete());
    }

    void ut3Quirks() {
        ut3replies::Server server;
        server.extraKeys = {
            {"mapname", "OwningPlayerId=830,NumPublicConnections=12,p1073741825=DM-Deck,"
                        "p1073741826=UTGame.UTDeathmatch"},
            {"OwningPlayerName", "Fake UT3"},
            {"EngineVersion", "3810"},
            {"s32779", "1"},
            {"s0", "3"},
            {"s1", "0"},
            {"s6", "1"},
            {"s7", "0"},
            {"s8", "0"},
            {"s9", "0"},
            {"s10", "1"},
            {"s11", "0"},
            {"s14", "0"},
            {"p1073741827", "Come and play"},
            {"p1073741828", "MyMutators.Vampire\x1c"
                            "MyMutators.Jumper"},
            {"p1073741829", "UTGame.UTMutator_Instagib\x1cUTGame.UTMutator_LowGrav"},
            {"p268435703", "2"},
            {"p268435704", "20"},
            {"p268435705", "15"},
            {"p268435706", "0"},
            {"p268435717", "UTGame.UTMutator_LowGrav"},
            {"p268435968", "0"},
            {"p268435969", "0"}};
        ServerStatus status = statusOf(ut3replies::fullStatsReply(kSession, server));
        QCOMPARE(status.map, "DM-Deck");
        QCOMPARE(status.gameType, "UTGame.UTDeathmatch");
        QCOMPARE(status.name, "Fake UT3"); // the host name, with a description too
        const QList<QPair<QString, QString>> rules = {
            {"hostport", "7777"},
            {"gamemode", "openplaying"},
            {"OwningPlayerName", "Fake UT3"},
            {"EngineVersion", "3810"},
            {"Game mode", "1"},
            {"Bot skill", "3"},
            {"Pure server", "1"},
            {"Password", "0"},
            {"Versus bots", "0"},
            {"Forced respawn", "1"},
            {"Description", "Come and play"},
            {"Mutators", "MyMutators.Vampire, MyMutators.Jumper, UTGame.UTMutator_Instagib, "
                         "UTGame.UTMutator_LowGrav"},
            {"Bots", "2"},
            {"Frag limit", "20"},
            {"Time limit", "15"}};
        QCOMPARE(status.rules, rules);

        // Without a host name the description names the server.
        server.name.clear();
        status = statusOf(ut3replies::fullStatsReply(kSession, server));
        QCOMPARE(status.name, "Come and play");
        // Without mutators the rule says so.
        server.extraKeys = {{"p1073741828", ""}, {"p1073741829", "\x1c"}};
        status = statusOf(ut3replies::fullStatsReply(kSession, server));
        QVERIFY(status.rules.contains(QPair<QString, QString>("Mutators", "")));
    }

    void keysWithoutValues() {
        const QByteArray players = BYTES("\x01player_\0\0Zed\0\0score_\0\0"
                                         "7\0\0\0");
        // A p key without a value, followed by another key.
        ServerStatus status =
            statusOf({datagram(BYTES("hostname\0Srv\0p268435717\0p1073741825\0DM-Gateway\0"
                                     "numplayers\0"
                                     "1\0p268435704\0\0\0") +
                               players)});
        QCOMPARE(status.name, "Srv");
        QCOMPARE(status.map, "DM-Gateway");
        QCOMPARE(status.players, 1);
        QVERIFY(status.rules.contains(QPair<QString, QString>("Mutators", "")));
        QVERIFY(status.rules.contains(QPair<QString, QString>("Frag limit", "")));
        QCOMPARE(facts(status).mid(5, 1), QStringList{"player/Zed/7/-/"});
        // The last key without a value, and the section byte right after it: the terminator
        // was read as the value.
        status = statusOf({datagram(BYTES("hostname\0Srv\0p268435703\0") + players)});
        QCOMPARE(status.rules, (QList<QPair<QString, QString>>{{"Bots", ""}}));
        QCOMPARE(status.playerList.size(), 1);
        // Or taken as its value.
        status = statusOf({datagram(BYTES("hostname\0Srv\0p268435703\0\0") + players)});
        QCOMPARE(status.rules, (QList<QPair<QString, QString>>{{"Bots", ""}}));
        QCOMPARE(status.playerList.size(), 1);
    }

    void emptyServersAndEmptyValues() {
        ut3replies::Server empty;
        ServerStatus status = statusOf(ut3replies::fullStatsReply(kSession, empty));
        QCOMPARE(status.players, 0);
        QVERIFY(status.playerList.isEmpty());
        QVERIFY(status.teams.isEmpty());
        QCOMPARE(status.name, "Fake UT3");

        // One player and two bots: each field lists the player and two empty values.
        status = statusOf({datagram(BYTES("numplayers\0"
                                          "1\0\0"
                                          "\x01player_\0\0Sierra Vasquez\0\0\0\0"
                                          "score_\0\0"
                                          "4\0\0\0\0"
                                          "ping_\0\0"
                                          "30\0\0\0\0\0"))});
        QCOMPARE(facts(status).mid(3),
                 (QStringList{"players 1", "max -1", "player/Sierra Vasquez/4/30/"}));
        // Bots before and between the players: their empty values keep the columns in line.
        status = statusOf({datagram(BYTES("numplayers\0"
                                          "2\0\0"
                                          "\x01player_\0\0\0\0Ann\0\0Bob\0\0"
                                          "score_\0\0\0\0"
                                          "4\0\0"
                                          "7\0\0"
                                          "ping_\0\0\0\0"
                                          "30\0\0"
                                          "40\0\0"
                                          "team_\0\0\0\0"
                                          "1\0\0"
                                          "0\0\0\0"
                                          "\x02team_t\0\0Red\0Blue\0\0\0"))});
        QCOMPARE(facts(status).mid(5), (QStringList{"player/Ann/4/30/Blue", "player/Bob/7/40/Red",
                                                    "team Red/-", "team Blue/-"}));
    }

    void teamsByNameOrNumber() {
        ut3replies::Server server = exampleServer();
        server.players.append({"Carl", 0, 20, 5}); // a team the server did not list
        server.teams = {};
        ServerStatus status = statusOf(ut3replies::fullStatsReply(kSession, server));
        QCOMPARE(facts(status).mid(5, 3),
                 (QStringList{"player/Alice/12/40/0", "player/Bob/3/55/1", "player/Carl/0/20/5"}));
        // Scores of teams without names go under their number.
        status = statusOf({datagram(BYTES("\0\x02score_t\0\0"
                                          "9\0"
                                          "8\0\0\0"))});
        QCOMPARE(facts(status).mid(5), (QStringList{"team 0/9", "team 1/8"}));
    }

    void textIsUtf8OrWindows1252() {
        ut3replies::Server server;
        server.name = "Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac";
        server.players = {{"\x80uro caf\xe9", 1, 2, 0}};
        const ServerStatus status = statusOf(ut3replies::fullStatsReply(kSession, server));
        QCOMPARE(status.name, QString::fromUtf8("Caf\u00e9 \u65e5\u672c"));
        QCOMPARE(status.playerList.value(0).name, QString::fromUtf8("\u20acuro caf\u00e9"));
    }

    void cutShortAtEveryLength() {
        const ServerStatus whole = statusOf({kExample});
        for (qsizetype cut = 0; cut < kExample.size(); ++cut) {
            ReplyAssembly reply(kSession);
            QCOMPARE(reply.add(kExample.left(cut)), cut >= 16);
            const ServerStatus status = statusFrom(reply);
            // Never a cut-off string nor a player, team or rule beyond those sent; team names
            // may not have come yet, leaving the team numbers.
            for (const auto& rule : status.rules)
                QVERIFY2(whole.rules.contains(rule), qPrintable(QString::number(cut)));
            QVERIFY(status.teams.size() <= whole.teams.size());
            for (qsizetype i = 0; i < status.teams.size(); ++i) {
                const TeamScore& team = status.teams[i];
                QVERIFY(team.team == whole.teams[i].team || team.team == QString::number(i));
                QVERIFY(!team.score || team.score == whole.teams[i].score);
            }
            QVERIFY(status.name.isEmpty() || status.name == whole.name);
            QVERIFY(status.map.isEmpty() || status.map == whole.map);
            QVERIFY(status.gameType.isEmpty() || status.gameType == whole.gameType);
            QVERIFY(!status.players || status.players == whole.players);
            QVERIFY(!status.maxPlayers || status.maxPlayers == whole.maxPlayers);
            for (qsizetype i = 0; i < status.playerList.size(); ++i) {
                const PlayerStatus& player = status.playerList[i];
                QCOMPARE(player.name, whole.playerList[i].name);
                QVERIFY(!player.score || player.score == whole.playerList[i].score);
                QVERIFY(!player.ping || player.ping == whole.playerList[i].ping);
                QVERIFY(player.team.isEmpty() || player.team == whole.playerList[i].team ||
                        player.team == QString::number(i));
            }
        }
        // Only the last terminator missing: nothing is lost.
        QCOMPARE(facts(statusOf({kExample.left(kExample.size() - 1)})), facts(whole));
    }

    void hostileReplies() {
        // Strings beyond the cap are cut; players and rules beyond theirs are dropped.
        ut3replies::Server server;
        server.name = QByteArray(60000, 'x');
        ServerStatus status = statusOf(ut3replies::fullStatsReply(kSession, server));
        QCOMPARE(status.name, QString(kMaxText, 'x'));
        server.name = "Crowded";
        for (int i = 0; i < 300; ++i)
            server.players.append({"P" + QByteArray::number(i), i, i, 0});
        for (int i = 0; i < 300; ++i)
            server.extraKeys.append({"k" + QByteArray::number(i), "v"});
        server.extraKeys[0].second = QByteArray(5000, 'v');
        status = statusOf(ut3replies::fullStatsReply(kSession, server, 3));
        QCOMPARE(status.playerList.size(), kMaxEntries);
        QCOMPARE(status.playerList.last().name, "P255");
        QCOMPARE(status.rules.size(), kMaxRules);
        QCOMPARE(status.rules[2], (QPair<QString, QString>("k0", QString(kMaxText, 'v'))));

        // A field that starts far along, past the cap.
        status = statusOf({datagram(BYTES("\x01player_\0\xFA"
                                          "a\0b\0c\0d\0e\0f\0g\0h\0\0"))});
        QCOMPARE(status.playerList.size(), 6);

        // Part indexes: up to the cap, and never past the last part.
        ReplyAssembly parts(kSession);
        QVERIFY(!parts.add(datagram("x", ReplyAssembly::kMaxParts, false)));
        QVERIFY(!parts.add(datagram("x", 0x7E, true)));
        QVERIFY(parts.add(datagram("x", ReplyAssembly::kMaxParts - 1, false)));
        QVERIFY(!parts.add(datagram("x", 3, true))); // a lower last part than one received
        QVERIFY(parts.add(datagram("x", 5, false)));
        QVERIFY(parts.isEmpty() == false);
        ReplyAssembly lastFirst(kSession);
        QVERIFY(lastFirst.add(datagram("x", 2, true)));
        QVERIFY(!lastFirst.add(datagram("x", 3, false)));
        QVERIFY(!lastFirst.add(datagram("x", 1, true))); // a second last part
        QVERIFY(lastFirst.add(datagram("x", 1, false)));
        QVERIFY(lastFirst.add(datagram("x", 0, false)));
        QVERIFY(lastFirst.isComplete());
        QCOMPARE(lastFirst.parts().size(), 3);
        ReplyAssembly huge(kSession);
        QVERIFY(!huge.add(datagram(QByteArray(ReplyAssembly::kMaxDatagram, 'x'))));

        // Random bytes after a valid header, in every section: bounded, whatever they say.
        QRandomGenerator random(4711);
        for (int round = 0; round < 3000; ++round) {
            QByteArray payload(random.bounded(1, 400), '\0');
            for (char& c : payload)
                c = static_cast<char>(random.bounded(0, 4) == 0 ? random.bounded(0, 3)
                                                                : random.bounded(0, 256));
            const ServerStatus noise =
                statusOf({datagram(payload, 0, true, static_cast<char>(round % 4))});
            QVERIFY(noise.playerList.size() <= kMaxEntries);
        }
    }

    void foreignDatagrams() {
        ReplyAssembly reply(kSession);
        QVERIFY(!reply.add(ut3replies::fullStatsReply(2, exampleServer()).first()));
        QVERIFY(!reply.add(ut3replies::challengeReply(kSession, 1234)));
        // A reply to a key-list request has no splitnum header.
        QVERIFY(!reply.add(BYTES("\x00\x00\x00\x00\x01"
                                 "Fake UT3\0"
                                 "dm\0DM-Deck\0"
                                 "2\0"
                                 "16\0"
                                 "7777\0")));
        QVERIFY(!reply.add(kExample.left(15)));
        QByteArray misspelt = kExample;
        misspelt[6] = 'P';
        QVERIFY(!reply.add(misspelt));
        QVERIFY(reply.isEmpty());
        QVERIFY(!reply.isComplete());
        QCOMPARE(facts(statusFrom(reply)), facts(ServerStatus()));
    }
};

QTEST_APPLESS_MAIN(TestUt3Protocol)
#include "tst_ut3_protocol.moc"
