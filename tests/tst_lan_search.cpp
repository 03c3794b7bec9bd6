// Searching the local network for UT99 and UT3 servers, for real: two network namespaces of the
// test's own joined by a veth pair, the search on 10.213.0.1, fake beacons on 10.213.0.2 (and
// more addresses) answering, with garbage, huge answers, a flood, answers from beyond the
// network and UT3 replies that lie among them.
#include "EventLoopWait.h"
#include "NetworkNamespace.h"
#include "UdkReplies.h"

#include "protocols/LanSearch.h"

#include <QMap>
#include <QNetworkDatagram>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <functional>
#include <memory>

#include <unistd.h>

using namespace utq::protocols;
using State = LanSearchResult::State;

namespace {

// 10.213.0.1/24 in `searcher`, 10.213.0.2/24 in `servers`, and 10.213.1.2 there too: a host
// beyond the network that the searcher reaches through it.
struct Lan {
    NetworkNamespace servers;
    NetworkNamespace searcher{{{"ip", "link", "add", "lanA", "type", "veth", "peer", "name", "lanB",
                                "netns", servers.name()},
                               {"ip", "addr", "add", "10.213.0.1/24", "brd", "+", "dev", "lanA"},
                               {"ip", "link", "set", "lanA", "up"},
                               {"ip", "route", "add", "10.213.1.0/24", "dev", "lanA"}}};
    bool ready = searcher.isReady() &&
                 servers.exec({"ip", "addr", "add", "10.213.0.2/24", "brd", "+", "dev", "lanB"}) &&
                 servers.exec({"ip", "addr", "add", "10.213.1.2/32", "dev", "lanB"}) &&
                 servers.exec({"ip", "link", "set", "lanB", "up"});
};

// A beacon on `port` of every address of the namespace it is made in.
class FakeBeacon : public QObject {
public:
    using Answer = std::function<void(const QNetworkDatagram& request, QUdpSocket& socket)>;
    FakeBeacon(quint16 port, Answer answer) : answer_(std::move(answer)) {
        socket_.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress);
        connect(&socket_, &QUdpSocket::readyRead, this, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QNetworkDatagram request = socket_.receiveDatagram();
                requests.append(request.data());
                answer_(request, socket_);
            }
        });
    }
    QByteArrayList requests;

private:
    Answer answer_;
    QUdpSocket socket_;
};

std::unique_ptr<FakeBeacon> beaconIn(const NetworkNamespace& ns, quint16 port,
                                     FakeBeacon::Answer answer) {
    const NetworkNamespace::Inside inside(ns);
    return inside.entered() ? std::make_unique<FakeBeacon>(port, std::move(answer)) : nullptr;
}

FakeBeacon::Answer replying(const QByteArrayList& datagrams) {
    return [datagrams](const QNetworkDatagram& request, QUdpSocket& socket) {
        for (const QByteArray& datagram : datagrams)
            socket.writeDatagram(datagram, request.senderAddress(), request.senderPort());
    };
}

// A UT3 beacon answering a query with `replies(nonce)`, to the sender or broadcast to 14001.
FakeBeacon::Answer ut3Replying(std::function<QByteArrayList(quint64)> replies,
                               bool broadcast = false) {
    return [replies, broadcast](const QNetworkDatagram& request, QUdpSocket& socket) {
        if (request.data().size() != 16 || request.data()[7] != 'Q')
            return; // its own reply, broadcast
        for (const QByteArray& reply : replies(qFromBigEndian<quint64>(request.data().data() + 8)))
            if (broadcast)
                socket.writeDatagram(reply, QHostAddress("10.213.0.255"), udk::kBeaconPort);
            else
                socket.writeDatagram(reply, request.senderAddress(), request.senderPort());
    };
}

// The fake beacons answer from this test's own event loop: the wait leaves room for a machine
// busy with other tests (300 ms once missed a broadcast answer there).
std::optional<LanSearchResult> search(const NetworkNamespace& ns, LanGame game, int waitMs = 1000) {
    QFuture<LanSearchResult> future;
    {
        const NetworkNamespace::Inside inside(ns);
        if (!inside.entered())
            return std::nullopt;
        future = searchLan(game, waitMs);
    }
    waitUntil([&] { return future.isFinished(); }, 10000);
    return future.isFinished() ? std::optional(future.result()) : std::nullopt;
}

QList<quint16> queryPortsOf(const LanSearchResult& result) {
    QList<quint16> ports;
    for (const LanServer& server : result.servers)
        ports.append(server.queryPort);
    std::sort(ports.begin(), ports.end());
    return ports;
}

const QHostAddress kServerAddress("10.213.0.2");

} // namespace

#define REQUIRE_LAN(lan)                                                                           \
    QVERIFY2((lan).ready, qPrintable((lan).searcher.whyNot() + (lan).servers.whyNot()))

class TestLanSearch : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (::geteuid() != 0)
            QSKIP("needs root to make network namespaces");
    }

    void ut99ServersAnswerWithTheirQueryPorts() {
        Lan lan;
        REQUIRE_LAN(lan);
        const auto first = beaconIn(lan.servers, 8777, replying({"ut 7778"}));
        const auto last = beaconIn(lan.servers, 8786, replying({"ut 7788", "ut 7788"}));
        const auto result = search(lan.searcher, LanGame::UT99);
        QVERIFY(result && first && last);
        QCOMPARE(first->requests, QByteArrayList{"REPORTQUERY"});
        QCOMPARE(result->state, State::Searched);
        QCOMPARE(result->networksAsked, 1);
        QCOMPARE(queryPortsOf(*result), (QList<quint16>{7778, 7788}));
        QCOMPARE(result->servers[0].address, kServerAddress);
        QCOMPARE(result->ignored, 0);
        QCOMPARE(result->summary(), "LAN: 2 found");
    }

    void ut3ServersAnswer_data() {
        QTest::addColumn<bool>("broadcast");
        QTest::addColumn<bool>("beaconPortTaken");
        QTest::addColumn<int>("found");
        QTest::newRow("to the sender") << false << false << 1;
        QTest::newRow("broadcast to 14001") << true << false << 1;
        QTest::newRow("to the sender, 14001 taken here") << false << true << 1;
        QTest::newRow("broadcast to 14001, taken here") << true << true << 0;
    }
    void ut3ServersAnswer() {
        QFETCH(bool, broadcast);
        QFETCH(bool, beaconPortTaken);
        QFETCH(int, found);
        Lan lan;
        REQUIRE_LAN(lan);
        const auto beacon = beaconIn(
            lan.servers, udk::kBeaconPort,
            ut3Replying([](quint64 nonce) { return QByteArrayList{udkreplies::reply({}, nonce)}; },
                        broadcast));
        QUdpSocket taker;
        if (beaconPortTaken) {
            const NetworkNamespace::Inside inside(lan.searcher);
            QVERIFY(
                taker.bind(QHostAddress::AnyIPv4, udk::kBeaconPort, QUdpSocket::DontShareAddress));
        }
        const auto result = search(lan.searcher, LanGame::UT3);
        QVERIFY(result && beacon);
        QCOMPARE(result->heardBeaconPort, !beaconPortTaken);
        QCOMPARE(result->servers.size(), found);
        QCOMPARE(result->ignored, 0); // its own query, heard on 14001, is no answer
        if (found == 0)
            return;
        const LanServer& server = result->servers[0];
        QCOMPARE(server.address, kServerAddress);
        QVERIFY(server.beacon);
        QCOMPARE(server.beacon->gamePort, 7777);
        QCOMPARE(server.beacon->ownerName, "Fake UT3 LAN");
        QCOMPARE(server.beacon->map, "WAR-Torlan");
    }

    void garbageHugeAndForeignAnswersAreIgnored() {
        Lan lan;
        REQUIRE_LAN(lan);
        const auto honest = beaconIn(lan.servers, 8777, replying({"ut 7778"}));
        const auto garbage = beaconIn(lan.servers, 8778,
                                      replying({"hello", "ut", "ut 0", "ut 65536", "ut 77x",
                                                "ut 7790" + QByteArray(60000, '\0')}));
        const auto foreign =
            beaconIn(lan.servers, 8779, [&lan](const QNetworkDatagram& request, QUdpSocket&) {
                const NetworkNamespace::Inside inside(lan.servers);
                QUdpSocket beyond;
                beyond.bind(QHostAddress("10.213.1.2"), 0);
                beyond.writeDatagram("ut 7799", request.senderAddress(), request.senderPort());
            });
        const auto result = search(lan.searcher, LanGame::UT99);
        QVERIFY(result && honest && garbage && foreign);
        QCOMPARE(queryPortsOf(*result), QList<quint16>{7778});
        QCOMPARE(result->ignored, 7);
    }

    void aFloodOfAnswersIsBounded() {
        Lan lan;
        REQUIRE_LAN(lan);
        for (int host = 10; host < 30; ++host)
            QVERIFY(lan.servers.exec(
                {"ip", "addr", "add", QString("10.213.0.%1/24").arg(host), "dev", "lanB"}));
        QObject pacing;
        // 20 hosts answer 20 times each, each answer from a port of its own, a host every 5 ms.
        const auto flood =
            beaconIn(lan.servers, 8777, [&](const QNetworkDatagram& request, QUdpSocket&) {
                for (int host = 10; host < 30; ++host)
                    QTimer::singleShot(5 * (host - 10), &pacing, [&lan, host, request] {
                        const NetworkNamespace::Inside inside(lan.servers);
                        for (int server = 0; server < 20; ++server) {
                            QUdpSocket from;
                            from.bind(QHostAddress(QString("10.213.0.%1").arg(host)), 0);
                            from.writeDatagram("ut " + QByteArray::number(7000 + server),
                                               request.senderAddress(), request.senderPort());
                        }
                    });
            });
        const auto result = search(lan.searcher, LanGame::UT99, 1500);
        QVERIFY(result && flood);
        QCOMPARE(result->servers.size(), kMaxLanServers);
        QMap<QString, int> perAddress;
        for (const LanServer& server : result->servers)
            ++perAddress[server.address.toString()];
        QCOMPARE(perAddress.size(), kMaxLanServers / kMaxLanServersPerAddress);
        for (int count : perAddress)
            QCOMPARE(count, kMaxLanServersPerAddress);
        QVERIFY(result->moreThanKept);
    }

    void ut3RepliesThatLieAreIgnored() {
        Lan lan;
        REQUIRE_LAN(lan);
        const auto beacon =
            beaconIn(lan.servers, udk::kBeaconPort, ut3Replying([](quint64 nonce) {
                         udkreplies::Server name, settings, string;
                         name.nameLength = 0x7fffffff;
                         settings.settingsCount = 0x7fffffff;
                         string.properties.append({1, 4, udkreplies::be32(0x7ffffff0) + "DM"});
                         return QByteArrayList{
                             udkreplies::reply(string, nonce), udkreplies::reply(settings, nonce),
                             udkreplies::reply(name, nonce), udkreplies::reply({}, nonce)};
                     }));
        const auto result = search(lan.searcher, LanGame::UT3);
        QVERIFY(result && beacon);
        QCOMPARE(result->servers.size(), 1);
        QCOMPARE(result->ignored, 3);
    }

    void aMachineWithoutANetworkSaysSo() {
        const NetworkNamespace alone;
        QVERIFY2(alone.isReady(), qPrintable(alone.whyNot()));
        const auto result = search(alone, LanGame::UT99);
        QVERIFY(result);
        QCOMPARE(result->state, State::NoNetwork);
        QCOMPARE(result->networksAsked, 0);
        QCOMPARE(result->summary(), "LAN: no network to search");
    }
};

QTEST_GUILESS_MAIN(TestLanSearch)
#include "tst_lan_search.moc"
