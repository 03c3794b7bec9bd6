// The built-in status service over real HTTP on 127.0.0.1, querying a fake UT99 server on
// loopback: start pages, status pages, escaping and the error pages.
#include "EventLoopWait.h"
#include "FakeGameServer.h"

#include "queryservice/StatusService.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

using namespace utq::queryservice;

namespace {

struct Page {
    int status = 0;
    QByteArray body;
    QByteArray policy;
};

class Client {
public:
    explicit Client(quint16 port) : base_(QStringLiteral("http://127.0.0.1:%1").arg(port)) {}

    Page get(const QString& target) {
        QNetworkReply* reply = network_.get(QNetworkRequest(QUrl(base_ + target)));
        waitUntil([reply] { return reply->isFinished(); }, 10000);
        Page page{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                  reply->readAll(), reply->rawHeader("Content-Security-Policy")};
        reply->deleteLater();
        return page;
    }

private:
    QString base_;
    QNetworkAccessManager network_;
};

FakeGameServer::Answer ut99Answer(const QByteArray& name) {
    return [name](const QByteArray&, int) {
        return QList<QByteArray>{
            "\\hostname\\" + name +
            "\\mapname\\DM-Morpheus\\gametype\\DeathMatchPlus\\numplayers\\2\\maxplayers\\12"
            "\\player_0\\Low\\frags_0\\1\\ping_0\\ 20\\player_1\\High\\frags_1\\9\\ping_1\\ 30"
            "\\timelimit\\15\\queryid\\1.1\\final\\"};
    };
}

} // namespace

class TestStatusService : public QObject {
    Q_OBJECT
    StatusService service_{QueryTiming{300, 1}};
    std::unique_ptr<Client> client_;

private slots:
    void initTestCase() {
        QVERIFY(service_.listen() != 0);
        client_ = std::make_unique<Client>(service_.port());
    }

    void startPageAndItsPolicy() {
        const Page page = client_->get("/php/UTstats/lobby2.html");
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("Begin Query"));
        QVERIFY(page.policy.contains("default-src 'none'"));
    }

    void aUt99StatusPage() {
        FakeGameServer server(ut99Answer("Fragfest"));
        const Page page = client_->get(
            QStringLiteral("/php/UTstats/index.php?txtip=127.0.0.1&portnum=%1").arg(server.port()));
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<h1>Fragfest</h1>"));
        QVERIFY(page.body.contains("DM-Morpheus"));
        QVERIFY(page.body.contains("2 / 12"));
        QVERIFY(page.body.indexOf("High") < page.body.indexOf("Low")); // by score
        QVERIFY(page.body.contains("timelimit"));
        QVERIFY(page.body.contains("Refresh"));
        QCOMPARE(server.requests, QList<QByteArray>({"\\status\\"}));
    }

    void keysInAnotherOrderAndNamesThatResolve() {
        FakeGameServer server(ut99Answer("Ordered"));
        const Page page =
            client_->get(QStringLiteral("/php/UTstats/index.php?portnum=%1&extra=1&txtip=localhost")
                             .arg(server.port()));
        QVERIFY(page.body.contains("<h1>Ordered</h1>"));
    }

    void serverTextIsEscaped() {
        FakeGameServer server(ut99Answer("<script>alert(1)</script><img src=x onerror=alert(2)>"));
        const Page page = client_->get(
            QStringLiteral("/php/UTstats/index.php?txtip=127.0.0.1&portnum=%1").arg(server.port()));
        QVERIFY(!page.body.contains("<script>"));
        QVERIFY(!page.body.contains("<img"));
        QVERIFY(page.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
    }

    void errorPages_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("not a port")
            << "/php/UTstats/index.php?txtip=127.0.0.1&portnum=Query%20Port" << 200 << "not a port";
        QTest::newRow("port too big")
            << "/php/UTstats/index.php?txtip=127.0.0.1&portnum=70000" << 200 << "not a port";
        QTest::newRow("no server")
            << "/php/UTstats/index.php?txtip=&portnum=7778" << 200 << "No server given";
        QTest::newRow("unknown page") << "/nowhere.php" << 404 << "Not found";
    }

    void errorPages() {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Page page = client_->get(target);
        QCOMPARE(page.status, status);
        QVERIFY2(page.body.contains(says.toUtf8()), page.body.constData());
    }

    void silenceGivesTheNoAnswerPage() {
        FakeGameServer server([](const QByteArray&, int) { return QList<QByteArray>{}; });
        const Page page = client_->get(
            QStringLiteral("/php/UTstats/index.php?txtip=127.0.0.1&portnum=%1").arg(server.port()));
        QVERIFY(page.body.contains("No answer"));
        QVERIFY(page.body.contains("game port plus 1"));
        QCOMPARE(server.requests.size(), 2);
    }

    void aClientThatLeavesBeforeTheAnswer() {
        FakeGameServer server([](const QByteArray&, int) { return QList<QByteArray>{}; });
        QNetworkAccessManager network;
        QNetworkReply* reply = network.get(QNetworkRequest(QUrl(
            QStringLiteral("http://127.0.0.1:%1/php/UTstats/index.php?txtip=127.0.0.1&portnum=%2")
                .arg(service_.port())
                .arg(server.port()))));
        keepRunningFor(100);
        reply->abort();
        reply->deleteLater();
        keepRunningFor(900); // the query ends and its page finds nobody to take it
        QVERIFY(client_->get("/php/UTstats/lobby2.html").body.contains("Begin Query"));
    }

    void manyPagesAtOnce() {
        FakeGameServer server(ut99Answer("Crowded"));
        QNetworkAccessManager network;
        QList<QNetworkReply*> replies;
        for (int i = 0; i < 40; ++i)
            replies << network.get(QNetworkRequest(
                QUrl(QStringLiteral(
                         "http://127.0.0.1:%1/php/UTstats/index.php?txtip=127.0.0.1&portnum=%2")
                         .arg(service_.port())
                         .arg(server.port()))));
        waitUntil(
            [&] {
                return std::all_of(replies.begin(), replies.end(),
                                   [](auto* r) { return r->isFinished(); });
            },
            15000);
        for (QNetworkReply* reply : replies) {
            QVERIFY(reply->isFinished());
            QVERIFY(reply->readAll().contains("Crowded"));
            reply->deleteLater();
        }
    }
};

QTEST_GUILESS_MAIN(TestStatusService)
#include "tst_status_service.moc"
