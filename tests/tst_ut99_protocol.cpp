// Reassembling and reading UT99 status replies: whole, split, out of order, repeated,
// incomplete and broken.
#include "protocols/Ut99Protocol.h"

#include <QTest>

using namespace utq::protocols;
using namespace utq::protocols::ut99;

namespace {

const QByteArray kOneDatagram =
    "\\gamename\\ut\\gamever\\451\\minnetver\\432\\location\\0\\hostname\\Fake UT "
    "Server\\hostport\\7777"
    "\\maptitle\\Deck16\\mapname\\DM-Deck16]["
    "\\gametype\\DeathMatchPlus\\numplayers\\2\\maxplayers\\16"
    "\\gamemode\\openplaying\\gamever\\451\\minnetver\\432\\worldlog\\false\\wantworldlog\\false"
    "\\mutators\\\\listenserver\\False\\password\\False\\timelimit\\20\\fraglimit\\30"
    "\\player_0\\Alice\\frags_0\\12\\ping_0\\ 40\\team_0\\255\\mesh_0\\Male "
    "Commando\\ngsecret_0\\false"
    "\\player_1\\Bob\\frags_1\\3\\ping_1\\ 55\\team_1\\1\\face_1\\\\ngsecret_1\\true"
    "\\queryid\\17.1\\final\\";

} // namespace

class TestUt99Protocol : public QObject {
    Q_OBJECT
private slots:
    void oneDatagramGivesTheWholeStatus() {
        ReplyAssembly reply;
        QVERIFY(reply.add(kOneDatagram));
        QVERIFY(reply.isComplete());
        const ServerStatus status = statusFrom(reply.items());
        QCOMPARE(status.name, "Fake UT Server");
        QCOMPARE(status.map, "DM-Deck16][");
        QCOMPARE(status.mapTitle, "Deck16");
        QCOMPARE(status.gameType, "DeathMatchPlus");
        QCOMPARE(status.players, 2);
        QCOMPARE(status.maxPlayers, 16);
        QCOMPARE(status.gamePort, 7777); // where a list's Join link leads
        QCOMPARE(status.playerList.size(), 2);
        QCOMPARE(status.playerList[0].name, "Alice");
        QCOMPARE(status.playerList[0].score, 12);
        QCOMPARE(status.playerList[0].ping, 40);        // the leading blank is the server's quirk
        QCOMPARE(status.playerList[0].team, QString()); // 255: in no team
        QCOMPARE(status.playerList[1].team, QString()); // a deathmatch has no teams
        QVERIFY(status.spectators.isEmpty());
        QVERIFY(status.rules.contains(QPair<QString, QString>("timelimit", "20")));
        QVERIFY(status.rules.contains(QPair<QString, QString>("mutators", "")));
        for (const auto& [key, value] : status.rules)
            QVERIFY2(!key.startsWith("mesh") && key != "gamename", qPrintable(key));
    }

    void teamGamesNameTheTeamsAndListSpectatorsApart() {
        const QByteArray players = "\\player_0\\Ann\\frags_0\\5\\ping_0\\ 50\\team_0\\1"
                                   "\\mesh_0\\Female Soldier\\player_1\\Watcher\\frags_1\\719"
                                   "\\ping_1\\ 86\\team_1\\255\\mesh_1\\Spectator"
                                   "\\player_2\\Bo\\frags_2\\9\\team_2\\0\\player_3\\Cy"
                                   "\\team_3\\3\\player_4\\Di\\team_4\\2";
        ReplyAssembly ctf;
        QVERIFY(ctf.add("\\maptitle\\Facing Worlds\\mapname\\CTF-Face\\gametype\\CTFGame"
                        "\\maxteams\\2" +
                        players + "\\queryid\\1.1\\final\\"));
        ServerStatus status = statusFrom(ctf.items());
        QCOMPARE(status.map, "CTF-Face");
        QCOMPARE(status.mapTitle, "Facing Worlds");
        QStringList shown;
        for (const PlayerStatus& player : status.playerList)
            shown += player.name + ' ' + player.team;
        QCOMPARE(shown, (QStringList{"Ann Blue", "Bo Red", "Cy Gold", "Di Green"}));
        QCOMPARE(status.spectators.size(), 1);
        QCOMPARE(status.spectators[0].name, "Watcher");
        QCOMPARE(status.spectators[0].ping, 86);

        // A deathmatch: team numbers mean nothing, only the mesh tells a spectator.
        ReplyAssembly dm;
        QVERIFY(dm.add("\\mapname\\DM-Deck16][\\gametype\\DeathMatchPlus" + players +
                       "\\queryid\\1.1\\final\\"));
        status = statusFrom(dm.items());
        QCOMPARE(status.playerList.size(), 4);
        for (const PlayerStatus& player : status.playerList)
            QCOMPARE(player.team, QString());
        QCOMPARE(status.spectators.value(0).name, "Watcher");
        // A team game named by its game type alone; team 255 is a spectator there.
        ReplyAssembly tdm;
        QVERIFY(tdm.add("\\gametype\\TeamGamePlus\\player_0\\Ed\\team_0\\255"
                        "\\player_1\\Flo\\team_1\\1\\queryid\\1.1\\final\\"));
        status = statusFrom(tdm.items());
        QCOMPARE(status.playerList.value(0).name, "Flo");
        QCOMPARE(status.playerList.value(0).team, "Blue");
        QCOMPARE(status.spectators.value(0).name, "Ed");
    }

    void partsMayComeInAnyOrderAndTwice() {
        const QByteArray one = "\\hostname\\Split\\numplayers\\1\\queryid\\5.1";
        const QByteArray two = "\\maxplayers\\8\\player_0\\Zed\\queryid\\5.2";
        const QByteArray three = "\\frags_0\\7\\queryid\\5.3\\final\\";
        ReplyAssembly reply;
        QVERIFY(reply.add(three));
        QVERIFY(!reply.isComplete());
        QVERIFY(reply.add(one));
        QVERIFY(reply.add(one));      // repeated
        QVERIFY(!reply.isComplete()); // part 2 missing
        QVERIFY(reply.add(two));
        QVERIFY(reply.isComplete());
        const ServerStatus status = statusFrom(reply.items());
        QCOMPARE(status.name, "Split");
        QCOMPARE(status.maxPlayers, 8);
        QCOMPARE(status.playerList.size(), 1);
        QCOMPARE(status.playerList[0].name, "Zed");
        QCOMPARE(status.playerList[0].score, 7);
    }

    void aMissingPartLeavesItIncompleteButReadable() {
        ReplyAssembly reply;
        QVERIFY(reply.add("\\hostname\\Half\\queryid\\9.1"));
        QVERIFY(reply.add("\\player_0\\Late\\queryid\\9.3\\final\\"));
        QVERIFY(!reply.isComplete());
        QCOMPARE(statusFrom(reply.items()).name, "Half"); // what came can still be shown
    }

    void finalBeforeTheQueryIdAsOlderServersSendIt() {
        ReplyAssembly reply;
        QVERIFY(reply.add("\\hostname\\Old\\queryid\\3.1"));
        QVERIFY(reply.add("\\numplayers\\0\\final\\\\queryid\\3.2"));
        QVERIFY(reply.isComplete());
        QCOMPARE(statusFrom(reply.items()).players, 0);
    }

    void datagramsOfAnotherReplyOrOfNoReplyAreRefused() {
        ReplyAssembly reply;
        QVERIFY(reply.add("\\hostname\\A\\queryid\\1.1"));
        QVERIFY(!reply.add("\\hostname\\B\\queryid\\2.2\\final\\")); // another query's
        QVERIFY(!reply.add("garbage"));
        QVERIFY(!reply.add(QByteArray()));
        QVERIFY(!reply.add("\\hostname\\C\\queryid\\1.0"));
        QVERIFY(!reply.isComplete());
        // Without numbered parts only a final datagram counts, on its own.
        ReplyAssembly legacy;
        QVERIFY(!legacy.add("\\hostname\\NoId"));
        QVERIFY(legacy.add("\\hostname\\NoId\\final\\"));
        QVERIFY(legacy.isComplete());
    }

    void emptyAndOddServersDoNotBreakTheReading() {
        ReplyAssembly empty;
        QVERIFY(empty.add("\\queryid\\4.1\\final\\"));
        QVERIFY(empty.isComplete());
        const ServerStatus none = statusFrom(empty.items());
        QVERIFY(none.name.isEmpty() && none.playerList.isEmpty() && !none.players);
        // Numbers that are not numbers, a key without value at the end, raw Latin-1 names.
        ReplyAssembly odd;
        QVERIFY(odd.add("\\numplayers\\many\\player_0\\\xb1Sn\xe9ip\xa0\\frags_0\\x\\mapname\\DM-X"
                        "\\queryid\\1.1\\final\\lonely"));
        const ServerStatus status = statusFrom(odd.items());
        QCOMPARE(status.players, std::nullopt);
        QCOMPARE(status.map, "DM-X"); // no title: the package name
        QCOMPARE(status.playerList.value(0).name, QString::fromLatin1("\xb1Sn\xe9ip\xa0"));
        QCOMPARE(status.playerList.value(0).score, std::nullopt);
        // A huge field is cut to a name's length.
        ReplyAssembly big;
        QVERIFY(big.add("\\hostname\\" + QByteArray(60000, 'h') + "\\queryid\\1.1\\final\\"));
        QCOMPARE(statusFrom(big.items()).name, QString(255, u'h'));
        // A key without a value in the middle shifts every pair after it: the datagram loses
        // its query id and is refused rather than misread.
        ReplyAssembly shifted;
        QVERIFY(!shifted.add("\\hostname\\S\\lonely\\queryid\\1.1\\final\\"));
    }
};

QTEST_APPLESS_MAIN(TestUt99Protocol)
#include "tst_ut99_protocol.moc"
