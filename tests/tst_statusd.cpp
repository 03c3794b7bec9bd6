// The stand-alone status service: its command line, and the real program as a child process
// serving pages on 127.0.0.1 with one log line per request.
#include "EventLoopWait.h"
#include "FakeServers.h"

#include "NetworkNamespace.h"
#include "StatusdChild.h"

#include "queryservice/StatusdOptions.h"
#include "queryservice/TargetPolicy.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

using namespace utq;

namespace {

QByteArray get(QNetworkAccessManager& network, const QString& address, int* status = nullptr) {
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(address)));
    waitUntil([reply] { return reply->isFinished(); }, 10000);
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

} // namespace

class TestStatusd : public QObject {
    Q_OBJECT
private slots:
    void commandLine() {
        QString error;
        auto options = parseStatusdOptions({}, error);
        QVERIFY(options);
        QCOMPARE(options->address, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(options->port, 8080);
        QCOMPARE(options->sendSeconds, 30);

        options =
            parseStatusdOptions({"[::1]:9000", "--max-queries", "3", "--per-client", "9"}, error);
        QVERIFY(options);
        QCOMPARE(options->address, QHostAddress(QStringLiteral("::1")));
        QCOMPARE(options->port, 9000);
        QCOMPARE(options->maxQueriesInFlight, 3);
        QCOMPARE(options->maxQueriesPerClientPerSecond, 9);
        options = parseStatusdOptions({"--send-seconds", "20", "--server-name", "Status.MyClan.org",
                                       "--server-name", "[::1]", "--trusted-proxy", "127.0.0.1/32"},
                                      error);
        QVERIFY2(options, qPrintable(error));
        QCOMPARE(options->sendSeconds, 20);
        QCOMPARE(options->serverNames, QStringList({"status.myclan.org", "::1"}));
        QCOMPARE(options->trustedProxies.size(), 1);

        options = parseStatusdOptions({"--queries-per-client", "2", "--connections-per-client", "3",
                                       "--max-connections", "40", "--idle-seconds", "7",
                                       "--max-head", "4096", "--page-seconds", "3", "--reuse-ms",
                                       "0", "--allow", "127.0.0.1/32", "--allow", "fd00::/8"},
                                      error);
        QVERIFY2(options, qPrintable(error));
        QCOMPARE(options->maxQueriesPerClient, 2);
        QCOMPARE(options->connectionsPerClient, 3);
        QCOMPARE(options->maxConnections, 40);
        QCOMPARE(options->idleSeconds, 7);
        QCOMPARE(options->maxHeadBytes, 4096);
        QCOMPARE(options->pageSeconds, 3);
        QCOMPARE(options->reuseMs, 0);
        QCOMPARE(options->allowed.size(), 2);
        QVERIFY(QHostAddress("127.0.0.1").isInSubnet(options->allowed[0]));

        // The masters given replace the defaults, each once.
        QCOMPARE(options->masters.size(), 4);
        QVERIFY(!options->lan);
        options = parseStatusdOptions({"--master", "Master.Example.org:28900", "--lan", "--master",
                                       "127.0.0.1:28901", "--master", "master.example.org:28900",
                                       "--list-seconds", "600"},
                                      error);
        QVERIFY2(options, qPrintable(error));
        QCOMPARE(options->masters.size(), 2);
        QCOMPARE(options->masters[0].text(), "master.example.org:28900");
        QCOMPARE(options->masters[1].text(), "127.0.0.1:28901");
        QVERIFY(options->lan);
        QCOMPARE(options->listSeconds, 600);

        const QList<QStringList> wrong = {{"8080"},
                                          {"host.example:80"},
                                          {"1.2.3.4:0"},
                                          {"1.2.3.4:70000"},
                                          {"--max-queries"},
                                          {"--per-client", "0"},
                                          {"--verbose"},
                                          {"1.2.3.4:1", "1.2.3.4:2"},
                                          {"--allow", "127.0.0.1/33"},
                                          {"--allow", "nowhere"},
                                          {"--max-head", "10"},
                                          {"--reuse-ms", "-1"},
                                          {"--send-seconds", "0"},
                                          {"--server-name"},
                                          {"--server-name", "a b"},
                                          {"--server-name", "x.org:80"},
                                          {"--trusted-proxy", "10.0.0.0/40"},
                                          {"--master"},
                                          {"--master", "master.example.org"},
                                          {"--master", "1.2.3:28900"},
                                          {"--master", "bad_name!:28900"},
                                          {"--list-seconds", "5"},
                                          {"--metrics-from", "everyone"},
                                          {"--log-format", "xml"},
                                          {"--log-format"}};
        for (const QStringList& arguments : wrong) {
            error.clear();
            QVERIFY2(!parseStatusdOptions(arguments, error), qPrintable(arguments.join(' ')));
            QVERIFY(!error.isEmpty());
        }
    }

    void theProgramServesAndLogs() {
        const quint16 port = freeTcpPort();
        QProcess statusd;
        statusd.setProgram(QStringLiteral(UTQ_STATUSD));
        statusd.setArguments(QStringList{QStringLiteral("127.0.0.1:%1").arg(port), "--per-client",
                                         "50", "--allow", "127.0.0.0/8"} +
                             kNoMasters);
        statusd.start();
        QVERIFY(statusd.waitForStarted(5000));
        waitUntil([&] { return statusd.canReadLine(); }, 10000);
        QVERIFY(statusd.readLine().contains(
            QStringLiteral("serving on 127.0.0.1:%1").arg(port).toUtf8()));

        FakeGameServer server(fakeservers::ut99("Standalone"));
        QNetworkAccessManager network;
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        QVERIFY(get(network, base + "/php/UTstats/lobby2.html").contains("Begin Query"));
        QVERIFY(
            get(network, base + QStringLiteral("/php/UTstats/index.php?txtip=127.0.0.1&portnum=%1")
                                    .arg(server.port()))
                .contains("<h1>Standalone</h1>"));
        int status = 0;
        get(network, base + "/missing", &status);
        QCOMPARE(status, 404);
        // The API, which clan web sites' own pages may read; the pages stay for this service.
        QNetworkReply* api = network.get(QNetworkRequest(QUrl(
            base +
            QStringLiteral("/api/v1/status?game=ut99&host=127.0.0.1&port=%1").arg(server.port()))));
        waitUntil([api] { return api->isFinished(); }, 10000);
        QCOMPARE(api->rawHeader("Access-Control-Allow-Origin"), "*");
        QVERIFY(api->readAll().contains("\"name\":\"Standalone\""));
        api->deleteLater();

        QByteArray log;
        waitUntil(
            [&] {
                log += statusd.readAllStandardOutput();
                return log.count('\n') >= 4;
            },
            5000);
        const QList<QByteArray> lines = log.trimmed().split('\n');
        QCOMPARE(lines.size(), 4); // one line per request
        QVERIFY(lines[0].contains(" 127.0.0.1 GET /php/UTstats/lobby2.html 200 "));
        QVERIFY(lines[1].contains("GET /php/UTstats/index.php?txtip=127.0.0.1&portnum="));
        QVERIFY(lines[2].contains("GET /missing 404"));
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }

    void specialPurposeAddressesInEverySpelling() {
        using utq::queryservice::isSpecialPurpose;
        for (const char* special :
             {"127.0.0.1", "10.1.2.3", "172.31.0.1", "192.168.1.1", "169.254.9.9", "224.0.0.1",
              "255.255.255.255", "0.0.0.0", "100.64.0.1", "::1", "::", "fe80::1", "fd12::1",
              "ff02::1", "::ffff:127.0.0.1", "::ffff:192.168.0.1",
              "2002:7f00:1::", "64:ff9b::a00:1",
              // documentation, benchmarking, AS112, AMT, the old 6to4 relays, protocol assignments
              "192.0.2.1", "198.51.100.7", "203.0.113.255", "198.18.0.1", "198.19.255.254",
              "192.31.196.1", "192.175.48.6", "192.52.193.1", "192.88.99.1", "192.0.0.170",
              "::ffff:203.0.113.9", "2001:db8::1", "3fff::1", "3fff:fff:ffff::1", "2001:2::1",
              "2001::1", "2001:0:4136:e378::1", "2001:10::1", "2001:20::1", "2001:1ff::1", "100::1",
              "64:ff9b::808:808", "64:ff9b:1::1", "2002:808:808::1", "2620:4f:8000::1", "5f00::1",
              "fec0::1", "fe80::1%1"})
            QVERIFY2(isSpecialPurpose(QHostAddress(QString::fromLatin1(special))), special);
        for (const char* open :
             {"8.8.8.8", "1.1.1.1", "192.0.3.1", "198.20.0.1", "100.128.0.1", "203.0.114.1",
              "::ffff:8.8.4.4", "2001:4860:4860::8888", "2001:200::1", "2620:4f:8001::1",
              "2a00:1450:4001::1", "2c0f:f248::1"})
            QVERIFY2(!isSpecialPurpose(QHostAddress(QString::fromLatin1(open))), open);
    }

    void twoHundredClientsThatGiveUp() {
        const quint16 port = freeTcpPort();
        QProcess statusd;
        QVERIFY(
            startServing(statusd, QStringList{QStringLiteral(UTQ_STATUSD),
                                              QStringLiteral("127.0.0.1:%1").arg(port),
                                              "--max-queries", "1000", "--allow", "127.0.0.0/8"} +
                                      kNoMasters));
        FakeGameServer quiet([](const QByteArray&, int) { return QList<QByteArray>{}; });
        const QByteArray request = "GET /php/UTstats/index.php?txtip=127.0.0.1&portnum=" +
                                   QByteArray::number(quiet.port()) +
                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        // From 50 addresses, 4 each: within every per-client bound, so each page is made.
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 200; ++i) {
            auto& client = clients.emplace_back(std::make_unique<QTcpSocket>());
            client->bind(QHostAddress(QStringLiteral("127.0.1.%1").arg(1 + i / 4)));
            client->connectToHost(QHostAddress::LocalHost, port);
            client->write(request);
        }
        waitUntil([&] { return quiet.requests.size() > 0; }, 5000);
        keepRunningFor(200);
        clients.clear(); // each gives up before its answer
        // The queries end (two tries of 2 s) with nobody left to answer.
        waitUntil([&] { return statusd.state() != QProcess::Running; }, 5000);
        QCOMPARE(statusd.state(), QProcess::Running);
        QVERIFY(fetch(QHostAddress::LocalHost, port, "/php/UTstats/lobby2.html")
                    .startsWith("HTTP/1.1 200 OK"));
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }

    void sixtyFourAddressesCannotLockOthersOut() {
        const quint16 port = freeTcpPort();
        QProcess statusd;
        QVERIFY(startServing(statusd, QStringList{QStringLiteral(UTQ_STATUSD),
                                                  QStringLiteral("127.0.0.1:%1").arg(port)} +
                                          kNoMasters));
        // 16 idle connections from each of 64 addresses, each within its own bound: more than
        // the 1,000 the service holds in all.
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 64 * 16; ++i) {
            auto& socket = idle.emplace_back(std::make_unique<QTcpSocket>());
            socket->bind(QHostAddress(QStringLiteral("127.0.2.%1").arg(1 + i / 16)));
            socket->connectToHost(QHostAddress::LocalHost, port);
        }
        QVERIFY(waitUntil(
            [&] {
                return std::none_of(idle.begin(), idle.end(), [](const auto& socket) {
                    return socket->state() == QAbstractSocket::ConnectingState;
                });
            },
            10000));
        keepRunningFor(500);
        // Newcomers are served, one after another, while the crowd stays.
        for (int i = 1; i <= 3; ++i)
            QVERIFY(fetch(QHostAddress::LocalHost, port, "/php/UTstats/lobby2.html",
                          QHostAddress(QStringLiteral("127.0.3.%1").arg(i)))
                        .startsWith("HTTP/1.1 200 OK"));
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }

    void aPublicServiceAsksNoLocalAddress() {
        NetworkNamespace ns;
        if (!ns.isReady())
            QSKIP(qPrintable(ns.whyNot()));
        // A "public" address of the namespace's own, on its loopback interface: it leads nowhere.
        QVERIFY(ns.exec({"ip", "addr", "add", "10.213.0.1/32", "dev", "lo"}));
        const QHostAddress listenAt(QStringLiteral("10.213.0.1"));
        NetworkNamespace::Inside inside(ns);
        QVERIFY(inside.entered());
        FakeGameServer local(fakeservers::ut99("On this machine"));
        const QString portnum = QString::number(local.port());
        const QStringList inNamespace = QStringList{"ip",
                                                    "netns",
                                                    "exec",
                                                    ns.name(),
                                                    QStringLiteral(UTQ_STATUSD),
                                                    "10.213.0.1:8080",
                                                    "--per-client",
                                                    "100"} +
                                        kNoMasters;

        QProcess strict;
        QVERIFY(startServing(strict, inNamespace));
        for (const char* spelling : {"127.0.0.1", "127.1", "0x7f.0.0.1", "2130706433", "0177.0.0.1",
                                     "::ffff:127.0.0.1", "localhost", "10.213.0.1"}) {
            const QByteArray page =
                fetch(listenAt, 8080,
                      QStringLiteral("/php/UTstats/index.php?txtip=%1&portnum=%2")
                          .arg(QString::fromLatin1(spelling), portnum)
                          .toUtf8(),
                      listenAt);
            QVERIFY2(page.startsWith("HTTP/1.1 403 ") && page.contains("Not asked from here"),
                     qPrintable(spelling + QString::fromUtf8(page)));
        }
        QVERIFY(local.requests.isEmpty());
        strict.terminate();
        QVERIFY(strict.waitForFinished(5000));

        QProcess allowing;
        QVERIFY(startServing(allowing, inNamespace + QStringList{"--allow", "127.0.0.1/32"}));
        QVERIFY(fetch(listenAt, 8080,
                      "/php/UTstats/index.php?txtip=127.0.0.1&portnum=" + portnum.toUtf8(),
                      listenAt)
                    .contains("On this machine"));
        allowing.terminate();
        QVERIFY(allowing.waitForFinished(5000));
    }

    void aBusyPortIsAClearFailure() {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        QProcess statusd;
        statusd.start(QStringLiteral(UTQ_STATUSD),
                      QStringList{QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())} +
                          kNoMasters);
        QVERIFY(statusd.waitForFinished(10000));
        QCOMPARE(statusd.exitCode(), 1);
        QVERIFY(statusd.readAllStandardError().contains("cannot listen"));

        statusd.start(QStringLiteral(UTQ_STATUSD), {"nonsense"});
        QVERIFY(statusd.waitForFinished(10000));
        QCOMPARE(statusd.exitCode(), 2);
        QVERIFY(statusd.readAllStandardError().contains("Usage:"));
    }
};

QTEST_GUILESS_MAIN(TestStatusd)
#include "tst_statusd.moc"
