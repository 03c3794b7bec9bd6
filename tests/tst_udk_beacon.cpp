// UT3's LAN beacon: the query's bytes, a reply read field by field, and replies that are
// another's, cut short, or lie about their counts and lengths.
#include "protocols/UdkBeacon.h"

#include "UdkReplies.h"

#include <QTest>

using namespace utq::protocols::udk;
using udkreplies::Server;

Q_DECLARE_METATYPE(udkreplies::Server)

namespace {
constexpr quint64 kNonce = 0x0102030405060708;
} // namespace

class TestUdkBeacon : public QObject {
    Q_OBJECT
private slots:
    void theQueryCarriesTheNonce() {
        QCOMPARE(beaconQuery(kNonce),
                 QByteArray("\x05\x01\x4D\x57\x07\xDBSQ\x01\x02\x03\x04\x05\x06\x07\x08", 16));
    }

    void aReplyOfAnyPlatformIsRead() {
        Server server;
        server.platform = 16;
        const auto reply = readBeaconReply(udkreplies::reply(server, kNonce), kNonce);
        QVERIFY(reply);
        QCOMPARE(reply->ipv4, 0x0AD50002u);
        QCOMPARE(reply->gamePort, 7777);
        QCOMPARE(reply->players, 4);
        QCOMPARE(reply->maxPlayers, 16);
        QCOMPARE(reply->ownerName, "Fake UT3 LAN");
        QCOMPARE(reply->map, "WAR-Torlan");
        QCOMPARE(reply->gameType, "UTGame.UTOnslaughtGame");
        QCOMPARE(reply->gameMode, "Warfare");
        QVERIFY(reply->password);
    }

    void anotherQuerysOrGamesReplyIsNone() {
        const QByteArray good = udkreplies::reply(Server(), kNonce);
        QVERIFY(!readBeaconReply(good, kNonce + 1));
        for (int at : {0, 2, 5, 7}) { // version, game id, type
            QByteArray other = good;
            other[at] = static_cast<char>(other[at] ^ 1);
            QVERIFY2(!readBeaconReply(other, kNonce), qPrintable(QString::number(at)));
        }
    }

    void everyCutOfAReplyIsNone() {
        const QByteArray good = udkreplies::reply(Server(), kNonce);
        for (qsizetype size = 0; size < good.size(); ++size)
            QVERIFY2(!readBeaconReply(good.left(size), kNonce), qPrintable(QString::number(size)));
    }

    void lies_data() {
        QTest::addColumn<Server>("server");
        Server s;
        s.nameLength = 0x7fffffff;
        QTest::newRow("name length past the end") << s;
        s = {};
        s.nameLength = -2;
        QTest::newRow("negative name length") << s;
        s = {};
        s.settingsCount = 0x7fffffff;
        QTest::newRow("settings past the end") << s;
        s = {};
        s.properties.append({1, 4, udkreplies::be32(4000) + "DM"});
        QTest::newRow("string past the end") << s;
        s = {};
        s.properties.append({1, 9, {}});
        QTest::newRow("unknown data type") << s;
        s = {};
        s.properties = QList<udkreplies::Property>(kMaxProperties + 1, {1, 0, {}});
        QTest::newRow("properties past their bound") << s;
        s = {};
        s.openPublic = 17;
        QTest::newRow("more open slots than slots") << s;
        s = {};
        s.gamePort = 65536;
        QTest::newRow("game port past 65535") << s;
    }
    void lies() {
        QFETCH(Server, server);
        QVERIFY(!readBeaconReply(udkreplies::reply(server, kNonce), kNonce));
    }

    void aReplyPastItsBoundIsNone() {
        QVERIFY(!readBeaconReply(
            udkreplies::reply(Server(), kNonce) + QByteArray(kMaxReplyBytes, '\0'), kNonce));
    }
};

QTEST_APPLESS_MAIN(TestUdkBeacon)
#include "tst_udk_beacon.moc"
