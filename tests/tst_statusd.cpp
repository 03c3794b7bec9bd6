// The stand-alone status service: its command line, and the real program as a child process
// serving pages on 127.0.0.1 with one log line per request.
#include "EventLoopWait.h"
#include "FakeServers.h"

#include "app/StatusdOptions.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

using namespace utq;

namespace {

quint16 freeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

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

        options =
            parseStatusdOptions({"[::1]:9000", "--max-queries", "3", "--per-client", "9"}, error);
        QVERIFY(options);
        QCOMPARE(options->address, QHostAddress(QStringLiteral("::1")));
        QCOMPARE(options->port, 9000);
        QCOMPARE(options->maxQueriesInFlight, 3);
        QCOMPARE(options->maxQueriesPerClientPerSecond, 9);

        const QList<QStringList> wrong = {
            {"8080"},          {"host.example:80"},   {"1.2.3.4:0"}, {"1.2.3.4:70000"},
            {"--max-queries"}, {"--per-client", "0"}, {"--verbose"}, {"1.2.3.4:1", "1.2.3.4:2"}};
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
        statusd.setArguments({QStringLiteral("127.0.0.1:%1").arg(port), "--per-client", "50"});
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

        QByteArray log;
        waitUntil(
            [&] {
                log += statusd.readAllStandardOutput();
                return log.count('\n') >= 3;
            },
            5000);
        const QList<QByteArray> lines = log.trimmed().split('\n');
        QCOMPARE(lines.size(), 3); // one line per request
        QVERIFY(lines[0].contains(" 127.0.0.1 GET /php/UTstats/lobby2.html 200 "));
        QVERIFY(lines[1].contains("GET /php/UTstats/index.php?txtip=127.0.0.1&portnum="));
        QVERIFY(lines[2].contains("GET /missing 404"));
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }

    void aBusyPortIsAClearFailure() {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        QProcess statusd;
        statusd.start(QStringLiteral(UTQ_STATUSD),
                      {QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())});
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
