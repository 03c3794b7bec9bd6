// The servers' lists as the service serves them: several fake masters on loopback, one of them
// hostile and one unknown, merged and asked; and utquery-statusd, which asks its masters on
// its own timer only, never because of a request, and never asks a listed address its policy
// refuses; and statusd's search of its LAN, in network namespaces of the test's own.
#include "EventLoopWait.h"
#include "FakeGameServer.h"
#include "FakeMaster.h"
#include "FakeServers.h"
#include "NamesOnly.h"
#include "NetworkNamespace.h"
#include "StatusdChild.h"

#include "queryservice/StatusService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <memory>

#include <unistd.h>

using namespace utq;
using namespace utq::queryservice;

namespace {

QByteArray entry(quint16 port) { return "\\ip\\127.0.0.1:" + QByteArray::number(port); }

QByteArray body(const QByteArray& answer) { return answer.mid(answer.indexOf("\r\n\r\n") + 4); }

QJsonObject listOf(quint16 port, const QByteArray& game = "ut99") {
    return QJsonDocument::fromJson(
               body(fetch(QHostAddress::LocalHost, port, "/api/v1/list?game=" + game)))
        .object();
}

// Each row as "host:port state name sources", sorted.
QStringList rowsOf(const QJsonObject& list) {
    QStringList rows;
    for (const QJsonValue& value : list["servers"].toArray())
        rows.append(QStringLiteral("%1:%2 %3 %4 %5")
                        .arg(value["host"].toString())
                        .arg(value["queryPort"].toInt())
                        .arg(value["state"].toString(), value["name"].toString(),
                             value["sources"].toVariant().toStringList().join(u'+')));
    rows.sort();
    return rows;
}

QString master(const FakeMaster& fake) { return QStringLiteral("127.0.0.1:%1").arg(fake.port()); }

} // namespace

class TestServerLists : public QObject {
    Q_OBJECT
private slots:
    void theMastersListsMergedAskedAndShown() {
        FakeGameServer alive(fakeservers::ut99("Alive"));
        FakeGameServer other(fakeservers::ut99("Other"));
        FakeGameServer silent([](const QByteArray&, int) { return QList<QByteArray>{}; });
        FakeMaster first(entry(alive.port()) + entry(silent.port()) +
                         "\\ip\\999.0.0.1:7778\\ip\\127.0.0.1:0\\final\\");
        FakeMaster second(entry(alive.port()) + entry(other.port()) + "\\final\\");
        FakeMaster garbage;
        garbage.otherChallenge = "HTTP/1.1 400 Bad Request\r\n\r\n";
        ServiceSettings settings;
        settings.resolve = namesOnly();
        settings.pageDeadlineMs = 1000;
        settings.lists.masters = {
            *parseMasterAddress(master(first)), *parseMasterAddress(master(second)),
            *parseMasterAddress(master(garbage)), *parseMasterAddress("nowhere.example:28900")};
        settings.lists.malformedMasters = {"master.example"};
        settings.lists.masterTimeMs = 2000;
        StatusService service(settings);
        const quint16 port = service.listen();

        // Opening the page asks the masters; the API shows the list as it fills.
        QCOMPARE(statusOf(fetch(QHostAddress::LocalHost, port, "/servers/ut99")), 200);
        QJsonObject list;
        QVERIFY(waitUntil([&] { return (list = listOf(port))["complete"].toBool(); }, 10000));
        QStringList masters;
        for (const QJsonValue& value : list["masters"].toArray())
            masters.append(value["state"].toString() + u' ' +
                           QString::number(value["listed"].toInt()));
        QCOMPARE(masters,
                 QStringList({"listed 2", "listed 2", "wrong-challenge 0", "unknown-host 0"}));
        QStringList rows;
        for (const QJsonValue& value : list["servers"].toArray()) {
            QStringList sources = value["sources"].toVariant().toStringList();
            sources.sort();
            rows.append(
                QStringLiteral("%1 %2 %3 %4")
                    .arg(value["queryPort"].toInt())
                    .arg(value["state"].toString(), value["name"].toString(), sources.join(u'+')));
        }
        const QString a = master(first), b = master(second);
        QStringList both = {a, b};
        both.sort();
        QStringList expected = {
            QStringLiteral("%1 up Alive %2").arg(alive.port()).arg(both.join(u'+')),
            QStringLiteral("%1 no-answer  %2").arg(silent.port()).arg(a),
            QStringLiteral("%1 up Other %2").arg(other.port()).arg(b)};
        rows.sort(); // in the order the masters answered
        expected.sort();
        QCOMPARE(rows, expected);

        const QByteArray page = body(fetch(QHostAddress::LocalHost, port, "/servers/ut99"));
        for (const QByteArray& text : {QByteArray("Alive"), QByteArray("no answer"),
                                       QByteArray("unknown name"), QByteArray("master.example")})
            QVERIFY2(page.contains(text), text.constData());
        QCOMPARE(first.listsStarted + second.listsStarted, 2); // fresh for a minute
    }

    // Two masters that each keep under the per-master bound of ports of one address still
    // make no more than 64 of one address together.
    void thePortsOfOneAddressAreBoundAcrossMasters() {
        QByteArray lower, upper;
        for (int port = 20000; port < 20040; ++port) {
            lower += entry(static_cast<quint16>(port));
            upper += entry(static_cast<quint16>(port + 40));
        }
        FakeMaster first(lower + "\\final\\"), second(upper + "\\final\\");
        ServiceSettings settings;
        settings.pageDeadlineMs = 300;
        settings.lists.masters = {*parseMasterAddress(master(first)),
                                  *parseMasterAddress(master(second))};
        settings.lists.pace = {80, 1000};
        StatusService service(settings);
        const quint16 port = service.listen();
        QCOMPARE(statusOf(fetch(QHostAddress::LocalHost, port, "/servers/ut99")), 200);
        QJsonObject list;
        QVERIFY(waitUntil([&] { return (list = listOf(port))["complete"].toBool(); }, 10000));
        QCOMPARE(list["servers"].toArray().size(), 64);
    }

    // A public service asks its masters at start-up and then on its timer; no request starts a
    // master's fetch, and a listed address its policy refuses is never asked.
    void statusdIsNoLever() {
        FakeGameServer local(fakeservers::ut99("Local"));
        FakeMaster fake(entry(local.port()) + "\\final\\");
        const quint16 port = freeTcpPort();
        QProcess statusd;
        QVERIFY(startServing(statusd,
                             {QStringLiteral(UTQ_STATUSD), QStringLiteral("127.0.0.1:%1").arg(port),
                              "--master", master(fake), "--page-seconds", "1"}));
        QJsonObject list;
        QVERIFY(waitUntil([&] { return (list = listOf(port))["complete"].toBool(); }, 10000));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(statusOf(fetch(QHostAddress::LocalHost, port, "/servers/ut99")), 200);
            listOf(port);
        }
        QCOMPARE(fake.listsStarted, 1);
        const QJsonArray servers = list["servers"].toArray();
        QCOMPARE(servers.size(), 1);
        QCOMPARE(servers[0].toObject()["state"].toString(), "refused");
        QCOMPARE(local.requests.size(), 0);
        QCOMPARE(list["lan"].toObject()["state"].toString(), "off");
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }

    // Addresses the policy refuses are refused at once, without waiting for the pace meant
    // for the network: a master listing thousands of them holds up neither the others nor
    // the list's end.
    void refusedAddressesTakeNoTurnOfThePace() {
        FakeGameServer alive(fakeservers::ut99("Alive"));
        QByteArray list;
        for (int host = 2; host < 32; ++host)
            list += "\\ip\\127.0.0." + QByteArray::number(host) + ":7778";
        FakeMaster fake(list + entry(alive.port()) + "\\final\\");
        ServiceSettings settings;
        settings.targets.refuseSpecialPurpose = true;
        settings.targets.allowed = {*parseSubnet(QStringLiteral("127.0.0.1/32"))};
        settings.lists.masters = {*parseMasterAddress(master(fake))};
        settings.lists.pace = {1, 1}; // 31 turns: half a minute
        StatusService service(settings);
        const quint16 port = service.listen();
        QCOMPARE(statusOf(fetch(QHostAddress::LocalHost, port, "/servers/ut99")), 200);
        QJsonObject shown;
        QVERIFY(waitUntil([&] { return (shown = listOf(port))["complete"].toBool(); }, 10000));
        const QStringList rows = rowsOf(shown);
        QCOMPARE(rows.size(), 31);
        QCOMPARE(rows.filter(" refused ").size(), 30);
        QVERIFY(rows.contains(
            QStringLiteral("127.0.0.1:%1 up Alive %2").arg(alive.port()).arg(master(fake))));
    }

    // Each listed server is asked once a refresh: not again when another master's list comes
    // later, nor when the program's list page is opened again and searches only the LAN.
    void eachServerIsAskedOnceARefresh() {
        if (::geteuid() != 0)
            QSKIP("needs root to make network namespaces");
        const NetworkNamespace alone; // the LAN search finds no network there and sends nothing
        const NetworkNamespace::Inside inside(alone);
        QVERIFY2(alone.isReady() && inside.entered(), qPrintable(alone.whyNot()));
        FakeGameServer early(fakeservers::ut99("Early"));
        FakeGameServer both(fakeservers::ut99("Both"));
        FakeGameServer late(fakeservers::ut99("Late"));
        FakeMaster first(entry(early.port()) + entry(both.port()) + "\\final\\");
        FakeMaster second(entry(both.port()) + entry(late.port()) + "\\final\\");
        second.listDelayMs = 1000;
        ServiceSettings settings;
        settings.lists.masters = {*parseMasterAddress(master(first)),
                                  *parseMasterAddress(master(second))};
        settings.lists.searchLan = true;
        StatusService service(settings);
        const quint16 port = service.listen();
        QJsonObject list;
        for (int opening = 0; opening < 2; ++opening) {
            QCOMPARE(statusOf(fetch(QHostAddress::LocalHost, port, "/servers/ut99")), 200);
            QVERIFY(waitUntil([&] { return (list = listOf(port))["complete"].toBool(); }, 10000));
        }
        QCOMPARE(rowsOf(list).filter(" up ").size(), 3);
        QCOMPARE(list["lan"].toObject()["state"].toString(), "no-network");
        QCOMPARE(early.requests.size() + both.requests.size() + late.requests.size(), 3);
    }

    // statusd with --lan in namespace A finds the UT99 server in namespace B by its beacon and
    // asks it; its only master is a closed port of A's own loopback.
    void statusdListsTheLan() {
        if (::geteuid() != 0)
            QSKIP("needs root to make network namespaces");
        NetworkNamespace servers;
        NetworkNamespace service{
            {{"ip", "link", "add", "listA", "type", "veth", "peer", "name", "listB", "netns",
              servers.name()},
             {"ip", "addr", "add", "10.214.0.1/24", "brd", "+", "dev", "listA"},
             {"ip", "link", "set", "listA", "up"}}};
        QVERIFY2(
            service.isReady() &&
                servers.exec({"ip", "addr", "add", "10.214.0.2/24", "brd", "+", "dev", "listB"}) &&
                servers.exec({"ip", "link", "set", "listB", "up"}),
            qPrintable(service.whyNot() + servers.whyNot()));
        std::unique_ptr<FakeGameServer> game;
        QUdpSocket beacon;
        QByteArrayList beaconHeard;
        {
            const NetworkNamespace::Inside inside(servers);
            QVERIFY(inside.entered());
            game = std::make_unique<FakeGameServer>(fakeservers::ut99("On The LAN"), 0,
                                                    QHostAddress(QStringLiteral("10.214.0.2")));
            QVERIFY(game->bound() && beacon.bind(QHostAddress::AnyIPv4, 8777));
        }
        QObject::connect(&beacon, &QUdpSocket::readyRead, [&] {
            while (beacon.hasPendingDatagrams()) {
                const QNetworkDatagram request = beacon.receiveDatagram();
                beaconHeard.append(request.data());
                beacon.writeDatagram("ut " + QByteArray::number(game->port()),
                                     request.senderAddress(), request.senderPort());
            }
        });
        QProcess statusd;
        QVERIFY(startServing(statusd,
                             QStringList{"ip", "netns", "exec", service.name(),
                                         QStringLiteral(UTQ_STATUSD), "127.0.0.1:8080", "--lan",
                                         "--list-seconds", "60", "--allow", "10.214.0.0/24"} +
                                 kNoMasters));
        const auto inService = [&](const auto& what) {
            const NetworkNamespace::Inside inside(service);
            return what();
        };
        QJsonObject list;
        QVERIFY(waitUntil(
            [&] { return inService([&] { return list = listOf(8080); })["complete"].toBool(); },
            10000));
        QCOMPARE(rowsOf(list),
                 QStringList{QStringLiteral("10.214.0.2:%1 up On The LAN LAN").arg(game->port())});
        QCOMPARE(list["lan"].toObject()["state"].toString(), "searched");
        QCOMPARE(list["masters"].toArray().size(), 1); // none of the defaults
        QCOMPARE(list["masters"][0]["address"].toString(), "127.0.0.1:1");
        QCOMPARE(list["masters"][0]["state"].toString(), "refused");
        QCOMPARE(beaconHeard, QByteArrayList{"REPORTQUERY"});
        const QByteArray page =
            inService([] { return body(fetch(QHostAddress::LocalHost, 8080, "/servers/ut99")); });
        QVERIFY2(page.contains("LAN: 1 found") && page.contains("<td class=\"sources\">LAN</td>"),
                 page.constData());
        QCOMPARE(
            inService([] { return listOf(8080, "ut2004"); })["lan"].toObject()["state"].toString(),
            "unavailable");
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestServerLists)
#include "tst_server_lists.moc"
