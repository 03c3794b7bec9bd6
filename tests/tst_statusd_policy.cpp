// Whom utquery-statusd asks and serves, whatever it listens on: no special-purpose or own
// address unless allowed, only its own Host names, and clients behind a trusted reverse proxy
// counted one by one. The real program as a child process, on loopback or in a namespace.
#include "EventLoopWait.h"
#include "FakeServers.h"
#include "NetworkNamespace.h"
#include "StatusdChild.h"

#include "queryservice/ForwardedClient.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace utq;

namespace {

const QHostAddress kLoopback(QHostAddress::LocalHost);

QByteArray statusPage(const QString& host, quint16 port) {
    return QStringLiteral("/php/UTstats/index.php?txtip=%1&portnum=%2")
        .arg(host)
        .arg(port)
        .toUtf8();
}

void stop(QProcess& statusd) {
    statusd.terminate();
    QVERIFY(statusd.waitForFinished(5000));
}

} // namespace

class TestStatusdPolicy : public QObject {
    Q_OBJECT
private slots:
    void theClientBehindATrustedProxy() {
        using queryservice::forwardedClient;
        const QList<Subnet> trusted = {*parseSubnet("127.0.0.1"), *parseSubnet("10.0.0.0/8")};
        const auto clientOf = [&trusted](const QList<QPair<QByteArray, QByteArray>>& headers,
                                         const char* peer = "127.0.0.1") {
            queryservice::http::Request request;
            request.headers = headers;
            return forwardedClient(request, QHostAddress(QLatin1String(peer)), trusted).toString();
        };
        const QString proxy = QStringLiteral("127.0.0.1");
        QCOMPARE(clientOf({{"x-forwarded-for", "203.0.113.5"}}), "203.0.113.5");
        // The last hop the trusted proxies did not add; what the client wrote itself is no hop.
        QCOMPARE(clientOf({{"x-forwarded-for", "6.6.6.6, 203.0.113.5, 10.1.1.1"}}), "203.0.113.5");
        QCOMPARE(clientOf({{"x-forwarded-for", "6.6.6.6"}, {"x-forwarded-for", "203.0.113.5"}}),
                 "203.0.113.5");
        QCOMPARE(clientOf({{"x-forwarded-for", "[2001:db8::7]:4711"}}), "2001:db8::7");
        QCOMPARE(clientOf({{"forwarded", "for=192.0.2.60;proto=http;by=10.1.1.1"}}), "192.0.2.60");
        QCOMPARE(clientOf({{"forwarded", "For=\"[2001:db8:cafe::17]:4711\", for=10.2.2.2"}}),
                 "2001:db8:cafe::17");
        // Malformed, hidden or missing: the proxy itself.
        for (const char* malformed :
             {"", "nonsense", "203.0.113.5, banana", "::ffff:300.1.1.1", "1.2.3.4:99999"})
            QCOMPARE(clientOf({{"x-forwarded-for", QByteArray(malformed)}}), proxy);
        for (const char* malformed :
             {"for=unknown", "for=_hidden", "for=\"[2001:db8::1", "by=1.2.3.4", "for=\"1.2.3.4"})
            QCOMPARE(clientOf({{"forwarded", QByteArray(malformed)}}), proxy);
        QCOMPARE(clientOf({}), proxy);
        // From anyone else the headers are theirs to make up.
        QCOMPARE(clientOf({{"x-forwarded-for", "203.0.113.5"}}, "127.0.0.2"), "127.0.0.2");
    }

    void aLoopbackServiceAsksNoLocalAddressUnlessAllowed() {
        // In a namespace of its own: what the service would ask stays there.
        NetworkNamespace ns;
        if (!ns.isReady())
            QSKIP(qPrintable(ns.whyNot()));
        NetworkNamespace::Inside inside(ns);
        QVERIFY(inside.entered());
        FakeGameServer local(fakeservers::ut99("On this machine"));
        const QStringList command =
            QStringList{"ip",        "netns",          "exec",         ns.name(),
                        UTQ_STATUSD, "127.0.0.1:8080", "--per-client", "100"} +
            kNoMasters;
        const QByteArray host = "Host: 127.0.0.1:8080\r\n";
        QProcess strict;
        QVERIFY(startServing(strict, command));
        for (const char* special : {"127.0.0.1", "10.1.2.3", "198.51.100.7", "::1"}) {
            const QByteArray page =
                fetch(kLoopback, 8080, statusPage(QLatin1String(special), local.port()), host);
            QVERIFY2(statusOf(page) == 403 && page.contains("Not asked from here"),
                     qPrintable(special + QString::fromUtf8(page.left(300))));
        }
        QVERIFY(local.requests.isEmpty());
        stop(strict);

        QProcess allowing;
        QVERIFY(startServing(allowing, command + QStringList{"--allow", "127.0.0.0/8"}));
        QVERIFY(fetch(kLoopback, 8080, statusPage("127.0.0.1", local.port()), host)
                    .contains("On this machine"));
        QCOMPARE(statusOf(fetch(kLoopback, 8080, statusPage("10.1.2.3", local.port()), host)), 403);
        stop(allowing);
    }

    void ownAddressesAreNotAskedAndAreReadAgain() {
        // The namespace's "public" addresses, on its loopback interface: they lead nowhere else.
        NetworkNamespace ns({{"ip", "addr", "add", "5.44.0.1/32", "dev", "lo"},
                             {"ip", "addr", "add", "2a01:4f8::1/128", "dev", "lo", "nodad"}});
        if (!ns.isReady())
            QSKIP(qPrintable(ns.whyNot()));
        NetworkNamespace::Inside inside(ns);
        QVERIFY(inside.entered());
        const QHostAddress own(QStringLiteral("5.44.0.1"));
        FakeGameServer firewalled(fakeservers::ut99("Firewalled"), 0, own);
        const QStringList command =
            QStringList{"ip",        "netns",        "exec",         ns.name(),
                        UTQ_STATUSD, "0.0.0.0:8080", "--per-client", "100"} +
            kNoMasters;
        // Listening on other than loopback and without --server-name, any Host is served.
        const QByteArray host = "Host: status.example\r\n";
        QProcess statusd;
        QVERIFY(startServing(statusd, command));
        const QByteArray page = fetch(own, 8080, statusPage("5.44.0.1", firewalled.port()), host);
        QVERIFY2(statusOf(page) == 403 && page.contains("Not asked from here"), page.left(300));
        QCOMPARE(
            statusOf(fetch(own, 8080, "/api/v1/status?game=ut99&host=2a01:4f8::1&port=7777", host)),
            403);
        QVERIFY(firewalled.requests.isEmpty());

        // An address the machine gets while the service runs.
        QVERIFY(ns.exec({"ip", "addr", "add", "5.44.0.2/32", "dev", "lo"}));
        FakeGameServer added(fakeservers::ut99("Added"), 0,
                             QHostAddress(QStringLiteral("5.44.0.2")));
        QVERIFY(added.bound());
        const QByteArray addedPage = statusPage("5.44.0.2", added.port());
        QVERIFY(
            waitUntil([&] { return statusOf(fetch(own, 8080, addedPage, host)) == 403; }, 3000));
        stop(statusd);

        // A clan whose game servers run on this machine names its address.
        QProcess allowing;
        QVERIFY(startServing(allowing, command + QStringList{"--allow", "5.44.0.1/32"}));
        QVERIFY(fetch(own, 8080, statusPage("5.44.0.1", firewalled.port()), host)
                    .contains("Firewalled"));
        QCOMPARE(statusOf(fetch(own, 8080, addedPage, host)), 403);
        stop(allowing);
    }

    void onlyItsOwnHostNamesAreServed() {
        const quint16 port = freeTcpPort();
        const QByteArray p = QByteArray::number(port);
        const auto statusWith = [port](const QByteArray& hostLine) {
            return statusOf(fetch(kLoopback, port, "/php/UTstats/lobby2.html", hostLine));
        };
        QProcess loopback;
        QVERIFY(startServing(
            loopback, QStringList{UTQ_STATUSD, "127.0.0.1:" + QString::number(port)} + kNoMasters));
        for (const QByteArray& name : QByteArrayList{"127.0.0.1:" + p, "localhost:" + p,
                                                     "LocalHost", "127.8.9.10", "[::1]:" + p})
            QVERIFY2(statusWith("Host: " + name + "\r\n") == 200, name);
        // A page elsewhere whose name now points here.
        for (const QByteArray& hostLine :
             {"Host: rebind.example:" + p + "\r\n",
              QByteArray("Host: 127.0.0.1.rebind.example\r\n"),
              QByteArray("Host: localhost.rebind.example\r\n"), QByteArray("Host: [::2]\r\n")}) {
            const QByteArray page = fetch(kLoopback, port, "/php/UTstats/lobby2.html", hostLine);
            QVERIFY2(statusOf(page) == 421 && page.contains("Not served under this name"),
                     hostLine);
        }
        stop(loopback);

        QProcess named;
        QVERIFY(startServing(named, QStringList{UTQ_STATUSD, "127.0.0.1:" + QString::number(port),
                                                "--server-name", "status.myclan.org"} +
                                        kNoMasters));
        QCOMPARE(statusWith("Host: status.myclan.org\r\n"), 200);
        QCOMPARE(statusWith("Host: Status.MyClan.org:8080\r\n"), 200);
        QCOMPARE(statusWith("Host: rebind.example\r\n"), 421);
        QCOMPARE(statusWith("Host: 127.0.0.1:" + p + "\r\n"), 421);
        stop(named);
    }

    void clientsBehindATrustedProxyAreCountedApart() {
        const quint16 port = freeTcpPort();
        FakeGameServer server(fakeservers::ut99("Behind the proxy"));
        QProcess statusd;
        QVERIFY(startServing(statusd, QStringList{UTQ_STATUSD, "127.0.0.1:" + QString::number(port),
                                                  "--allow", "127.0.0.0/8", "--trusted-proxy",
                                                  "127.0.0.1/32", "--connections-per-client", "2"} +
                                          kNoMasters));
        const QByteArray page = statusPage("127.0.0.1", server.port());
        const QByteArray host = "Host: 127.0.0.1\r\n";
        const QHostAddress stranger(QStringLiteral("127.0.0.2"));
        const auto statusFrom = [&](const QByteArray& headers, const QHostAddress& from) {
            return statusOf(fetch(kLoopback, port, page, host + headers, from));
        };
        // The proxy carries everyone: its connections are not bound per client.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(kLoopback, port);
            QVERIFY(held.back()->waitForConnected(5000));
        }
        // One client's sixth page in a second is refused, whatever it adds in front; another's
        // is not. Five pages a second per client is the default.
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(
                statusFrom("X-Forwarded-For: 6.6.6." + QByteArray::number(i) + ", 203.0.113.5\r\n",
                           kLoopback),
                i <= 5 ? 200 : 429);
        QCOMPARE(statusFrom("X-Forwarded-For: 198.51.100.9\r\n", kLoopback), 200);
        // From a peer that is no trusted proxy, the headers change nothing.
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(statusFrom("X-Forwarded-For: 198.51.100." + QByteArray::number(i) + "\r\n",
                                stranger),
                     i <= 5 ? 200 : 429);
        QByteArray log;
        waitUntil(
            [&] {
                log += statusd.readAllStandardOutput();
                return log.count('\n') >= 13;
            },
            5000);
        QCOMPARE(log.count(" 203.0.113.5 GET "), 6);
        QCOMPARE(log.count(" 127.0.0.2 GET "), 6);
        stop(statusd);
    }
};

QTEST_GUILESS_MAIN(TestStatusdPolicy)
#include "tst_statusd_policy.moc"
