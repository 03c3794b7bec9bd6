// The real utquery-statusd in a network namespace of the test's own, whose only name server
// never answers: a flood of made-up names from several client addresses must not stop the
// names the machine knows from being found.
#include "EventLoopWait.h"
#include "FakeNameServer.h"
#include "FakeServers.h"
#include "NamespaceEtc.h"
#include "NetworkNamespace.h"
#include "StatusdChild.h"

#include "queryservice/StatusdOptions.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr quint16 kServicePort = 8080;

QByteArray apiStatus(const QString& host, quint16 port) {
    return QStringLiteral("/api/v1/status?game=ut99&host=%1&port=%2").arg(host).arg(port).toUtf8();
}

} // namespace

class TestStatusdNames : public QObject {
    Q_OBJECT
private slots:
    void theLookUpBoundsAreOptions() {
        QString error;
        const auto defaults = utq::parseStatusdOptions({}, error);
        QVERIFY(defaults);
        QCOMPARE(defaults->maxLookups, 16);
        QCOMPARE(defaults->lookupsPerClient, 2);
        const auto given =
            utq::parseStatusdOptions({"--max-lookups", "40", "--lookups-per-client", "3"}, error);
        QVERIFY2(given, qPrintable(error));
        QCOMPARE(given->maxLookups, 40);
        QCOMPARE(given->lookupsPerClient, 3);
        QVERIFY(!utq::parseStatusdOptions({"--max-lookups", "0"}, error));
        const QByteArray usage(utq::kStatusdUsage);
        QVERIFY(usage.contains("--max-lookups N") && usage.contains("--lookups-per-client N"));
    }

    void knownNamesAreFoundThroughAFloodOfUnknownOnes() {
        NetworkNamespace ns;
        if (!ns.isReady())
            QSKIP(qPrintable(ns.whyNot()));
        // The system's resolver would wait long on this name server: 30 s a try, three tries.
        const NamespaceEtc etc(ns.name(), "nameserver 127.0.0.53\noptions timeout:30 attempts:3\n",
                               "127.0.0.1 localhost\n127.0.0.9 gameserver.lan\n");
        QVERIFY(etc.ok());
        NetworkNamespace::Inside inside(ns);
        QVERIFY(inside.entered());
        const FakeNameServer silent(QHostAddress(QStringLiteral("127.0.0.53")), 53);
        QVERIFY(silent.bound());
        FakeGameServer game(fakeservers::ut99("Known By Name"), 0,
                            QHostAddress(QStringLiteral("127.0.0.9")));
        QProcess statusd;
        statusd.start(QStringLiteral("ip"),
                      QStringList{"netns", "exec", ns.name(), QStringLiteral(UTQ_STATUSD),
                                  QStringLiteral("127.0.0.1:%1").arg(kServicePort), "--allow",
                                  "127.0.0.0/8"} +
                          kNoMasters);
        QVERIFY(statusd.waitForStarted(5000));
        QVERIFY(waitUntil([&] { return statusd.canReadLine(); }, 10000));
        QVERIFY(statusd.readLine().contains("serving on"));

        // Six clients, each asking for a made-up name twice a second.
        std::vector<std::unique_ptr<QTcpSocket>> flood;
        int sent = 0;
        QTimer pace;
        QObject::connect(&pace, &QTimer::timeout, [&] {
            for (int client = 2; client <= 7; ++client) {
                auto& socket = flood.emplace_back(std::make_unique<QTcpSocket>());
                socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(client)));
                socket->connectToHost(QHostAddress::LocalHost, kServicePort);
                socket->write(apiStatus(QStringLiteral("x%1.flood.example")
                                            .arg(QRandomGenerator::global()->generate()),
                                        7778)
                                  .prepend("GET ")
                                  .append(" HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
                ++sent;
            }
        });
        pace.start(500);
        keepRunningFor(2500);
        const QHostAddress user(QStringLiteral("127.0.0.1"));
        const QByteArray during = fetch(QHostAddress::LocalHost, kServicePort,
                                        apiStatus("gameserver.lan", game.port()), user);
        keepRunningFor(3000);
        pace.stop();
        const QByteArray after = fetch(QHostAddress::LocalHost, kServicePort,
                                       apiStatus("gameserver.lan", game.port()), user);
        QVERIFY(sent >= 60);
        QVERIFY(silent.questions() > 0); // the flood's names did go to the name server
        QVERIFY2(during.contains("\"state\":\"up\"") && during.contains("Known By Name"),
                 during.constData());
        QVERIFY2(after.contains("\"state\":\"up\""), after.constData());
        flood.clear();
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestStatusdNames)
#include "tst_statusd_names.moc"
