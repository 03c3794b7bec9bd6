// The servers' lists as the service serves them: several fake masters on loopback, one of them
// hostile and one unknown, merged and asked; and utquery-statusd, which asks its masters on
// its own timer only, never because of a request, and never asks a listed address its policy
// refuses.
#include "EventLoopWait.h"
#include "FakeGameServer.h"
#include "FakeMaster.h"
#include "FakeServers.h"
#include "NamesOnly.h"
#include "StatusdChild.h"

#include "queryservice/StatusService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace utq;
using namespace utq::queryservice;

namespace {

QByteArray entry(quint16 port) { return "\\ip\\127.0.0.1:" + QByteArray::number(port); }

QByteArray body(const QByteArray& answer) { return answer.mid(answer.indexOf("\r\n\r\n") + 4); }

QJsonObject listOf(quint16 port) {
    return QJsonDocument::fromJson(
               body(fetch(QHostAddress::LocalHost, port, "/api/v1/list?game=ut99")))
        .object();
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
};

QTEST_GUILESS_MAIN(TestServerLists)
#include "tst_server_lists.moc"
