// The status service against clients that misbehave, over raw TCP on loopback: clients that
// give up, heads that never end, bodies, pipelines, idle and crowding connections, slow
// readers, many addresses of one IPv6 network (in a network namespace of the test's own), and
// pages elsewhere that try to use the program's own service.
#include "EventLoopWait.h"
#include "FakeServers.h"
#include "NetworkNamespace.h"

#include "queryservice/StatusService.h"
#include "queryservice/http/Request.h"
#include "queryservice/http/Server.h"

#include <QTcpSocket>
#include <QTest>

#include <algorithm>

using namespace utq::protocols;
using namespace utq::queryservice;

namespace {

// One connection that sends whatever the test writes and collects what comes back.
class RawClient {
public:
    explicit RawClient(quint16 port, const QHostAddress& from = {},
                       const QHostAddress& at = QHostAddress::LocalHost) {
        if (!from.isNull())
            socket_.bind(from);
        socket_.connectToHost(at, port);
        QObject::connect(&socket_, &QTcpSocket::readyRead,
                         [this] { received_ += socket_.readAll(); });
        QObject::connect(&socket_, &QTcpSocket::disconnected, [this] { closed_ = true; });
        // A connection refused at once may never be seen connected.
        waitUntil([this] { return socket_.state() == QAbstractSocket::ConnectedState || closed_; },
                  5000);
    }

    void send(const QByteArray& bytes) { socket_.write(bytes); }
    void giveUp() { socket_.abort(); }
    bool waitClosed(int ms = 5000) {
        return waitUntil([this] { return closed_; }, ms);
    }
    // Waits until `count` whole answers came (a HEAD answer's length is not followed by a body
    // when `headOnly`), and gives them.
    QList<QByteArray> answers(int count, bool headOnly = false, int ms = 5000) {
        QList<QByteArray> whole;
        waitUntil(
            [&] {
                whole = split(headOnly);
                return whole.size() >= count || closed_;
            },
            ms);
        return whole;
    }
    const QByteArray& received() const { return received_; }
    bool isOpen() const { return !closed_; }

private:
    QList<QByteArray> split(bool headOnly) const {
        QList<QByteArray> whole;
        for (qsizetype at = 0;;) {
            const qsizetype headEnd = received_.indexOf("\r\n\r\n", at);
            if (headEnd < 0)
                return whole;
            const QByteArray head = received_.mid(at, headEnd - at);
            const qsizetype lengthAt = head.indexOf("Content-Length: ");
            const qsizetype length =
                headOnly || lengthAt < 0 ? 0 : head.mid(lengthAt + 16).split('\r')[0].toLongLong();
            if (received_.size() < headEnd + 4 + length)
                return whole;
            whole.append(received_.mid(at, headEnd + 4 + length - at));
            at = headEnd + 4 + length;
        }
    }

    QTcpSocket socket_;
    QByteArray received_;
    bool closed_ = false;
};

QByteArray get(const QByteArray& target, const QByteArray& extraHeaders = {}) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}

QByteArray ut99Page(quint16 port) {
    return "/php/UTstats/index.php?txtip=127.0.0.1&portnum=" + QByteArray::number(port);
}

FakeGameServer::Answer silent() {
    return [](const QByteArray&, int) {
        return QList<QByteArray>{};
    };
}

ServiceSettings quickSettings() {
    ServiceSettings settings;
    settings.timing = {150, 1};
    return settings;
}

} // namespace

class TestHostileClients : public QObject {
    Q_OBJECT
private slots:
    void clientsThatGiveUpBeforeTheAnswer() {
        StatusService service(quickSettings());
        const quint16 port = service.listen();
        FakeGameServer quiet(silent());
        // Each client asks for a page that takes the query's whole wait, then leaves: as a web
        // view does when the user asks for another server meanwhile.
        for (int round = 0; round < 2; ++round) {
            std::vector<std::unique_ptr<RawClient>> clients;
            for (int i = 0; i < 100; ++i) {
                clients.push_back(std::make_unique<RawClient>(port));
                clients.back()->send(get(ut99Page(quiet.port())));
            }
            keepRunningFor(50);
            for (auto& client : clients)
                client->giveUp();
            keepRunningFor(400); // every query ends, its page for nobody
        }
        RawClient after(port);
        after.send(get("/php/UTstats/lobby2.html"));
        const auto answers = after.answers(1);
        QCOMPARE(answers.size(), 1);
        QVERIFY(answers[0].startsWith("HTTP/1.1 200 OK"));
    }

    void aHeadThatNeverEndsIsRefusedEarly() {
        ServiceSettings settings = quickSettings();
        StatusService service(settings);
        RawClient client(service.listen());
        // 16 MB of one header: the service reads no more than its limit, says so and closes.
        client.send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: ");
        const QByteArray chunk(64 * 1024, 'a');
        for (int i = 0; i < 256; ++i)
            client.send(chunk);
        QVERIFY(client.waitClosed(10000));
        QVERIFY2(client.received().startsWith("HTTP/1.1 431 "), client.received().left(80));
        QVERIFY(client.received().contains("Connection: close"));
    }

    void whatIsNotAPlainReadIsRefused() {
        StatusService service(quickSettings());
        const quint16 port = service.listen();
        RawClient post(port);
        post.send("POST /php/UTstats/lobby2.html HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\n"
                  "hello");
        QVERIFY(post.waitClosed());
        QVERIFY(post.received().startsWith("HTTP/1.1 413 "));

        RawClient chunked(port);
        chunked.send("GET / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n");
        QVERIFY(chunked.waitClosed());
        QVERIFY(chunked.received().startsWith("HTTP/1.1 413 "));

        RawClient other(port);
        other.send("DELETE /php/UTstats/lobby2.html HTTP/1.1\r\nHost: a\r\n\r\n");
        const auto refused = other.answers(1);
        QCOMPARE(refused.size(), 1);
        QVERIFY(refused[0].startsWith("HTTP/1.1 405 "));
        QVERIFY(refused[0].contains("\r\nAllow: GET, HEAD\r\n"));

        RawClient garbled(port);
        garbled.send("GET /a b HTTP/1.1\r\n\r\n");
        QVERIFY(garbled.waitClosed());
        QVERIFY(garbled.received().startsWith("HTTP/1.1 400 "));
    }

    void headPipelinesAndClose() {
        StatusService service(quickSettings());
        const quint16 port = service.listen();
        FakeGameServer quiet(silent());

        // HEAD gives the length a GET would have, and no body: the next answer follows at once.
        RawClient head(port);
        head.send("HEAD /qEl/04query.html HTTP/1.1\r\nHost: a\r\n\r\n" + get("/qEl/04query.html"));
        const auto both = head.answers(2, true);
        QCOMPARE(both.size(), 2);
        QVERIFY(both[0].startsWith("HTTP/1.1 200 OK"));
        QVERIFY(!both[0].contains("<html"));
        QVERIFY(both[1].startsWith("HTTP/1.1 200 OK"));

        // Pipelined requests are answered in order, however long the first one takes.
        RawClient pipeline(port);
        pipeline.send(get(ut99Page(quiet.port())) + get("/qEl/ut3query.html") + get("/nowhere"));
        const auto three = pipeline.answers(3);
        QCOMPARE(three.size(), 3);
        QVERIFY(three[0].contains("No answer"));
        QVERIFY(three[1].startsWith("HTTP/1.1 200 OK"));
        QVERIFY(three[2].startsWith("HTTP/1.1 404 "));

        // "Connection: close", and HTTP/1.0 without keep-alive, end the connection after it.
        RawClient closing(port);
        closing.send(get("/qEl/04query.html", "Connection: close\r\n"));
        QVERIFY(closing.waitClosed());
        QVERIFY(closing.received().contains("\r\nConnection: close\r\n"));
        RawClient old(port);
        old.send("GET /qEl/04query.html HTTP/1.0\r\n\r\n");
        QVERIFY(old.waitClosed());
        QVERIFY(old.received().startsWith("HTTP/1.1 200 OK"));
    }

    void idleAndCrowdingConnectionsAreClosed() {
        ServiceSettings settings = quickSettings();
        settings.http.idleMs = 300;
        settings.http.connectionsPerClient = 3;
        StatusService service(settings);
        const quint16 port = service.listen();

        RawClient silentOne(port), slowOne(port), third(port);
        slowOne.send("GET / HTTP/1.1\r\n"); // a head that trickles in counts as idle
        RawClient fourth(port);
        QVERIFY(fourth.waitClosed(2000)); // one too many for this client
        QVERIFY(fourth.received().isEmpty());
        QVERIFY(silentOne.waitClosed(3000));
        QVERIFY(slowOne.waitClosed(3000));

        // Room again once those went.
        third.giveUp();
        keepRunningFor(50);
        RawClient next(port);
        next.send(get("/qEl/04query.html"));
        QCOMPARE(next.answers(1).size(), 1);
    }

    void nearTheLimitTheBiggestHolderGivesWay() {
        ServiceSettings settings = quickSettings();
        settings.timing = {1000, 1};
        settings.http.maxConnections = 10;
        StatusService service(settings);
        const quint16 port = service.listen();
        FakeGameServer quiet(silent());
        const QHostAddress many(QStringLiteral("127.0.2.1")), few(QStringLiteral("127.0.2.2"));
        std::vector<std::unique_ptr<RawClient>> held;
        for (int i = 0; i < 10; ++i)
            held.push_back(std::make_unique<RawClient>(port, i < 8 ? many : few));
        held[0]->send(get(ut99Page(quiet.port()))); // busy: not the one to give way
        keepRunningFor(50);
        RawClient more(port, many); // the biggest holder wanting more is the one refused
        QVERIFY(more.waitClosed(2000));
        QVERIFY(more.received().isEmpty());

        RawClient newcomer(port, QHostAddress(QStringLiteral("127.0.2.3")));
        newcomer.send(get("/qEl/04query.html"));
        QCOMPARE(newcomer.answers(1).size(), 1);
        const auto open = [&held](int from, int to) {
            return std::count_if(held.begin() + from, held.begin() + to,
                                 [](const auto& client) { return client->isOpen(); });
        };
        UTQ_TRY_COMPARE(open(0, 8), 7, 2000); // one idle connection of the biggest holder
        QCOMPARE(open(8, 10), 2);
        QVERIFY(held[0]->isOpen());
        QCOMPARE(held[0]->answers(1).size(), 1);
    }

    void aSlowReaderHasATotalTimeToReadItsAnswer() {
        http::Response big;
        big.contentType = "application/octet-stream";
        big.body = QByteArray(8 * 1024 * 1024, 'x'); // far more than both ends' buffers
        http::Limits limits;
        limits.idleMs = 300;
        limits.sendMs = 1500;
        http::Server server(
            limits,
            [&big](const http::Request&, const QHostAddress&, const http::Reply& reply) {
                reply.send(big);
            },
            [](int status, const QHostAddress&) {
                return http::Response{status, {}, {}, {}};
            });
        const quint16 port = server.listen(QHostAddress::LocalHost, 0);

        // Reads 4 KiB every 50 ms: always some progress, never the whole answer in time.
        QTcpSocket slow;
        slow.bind(QHostAddress::LocalHost, 0);
        slow.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        slow.setReadBufferSize(4096);
        slow.connectToHost(QHostAddress::LocalHost, port);
        slow.write(get("/big"));
        qint64 taken = 0;
        for (int turn = 0; turn < 200 && slow.state() != QAbstractSocket::UnconnectedState;
             ++turn) {
            keepRunningFor(50);
            taken += slow.read(4096).size();
        }
        QCOMPARE(slow.state(), QAbstractSocket::UnconnectedState);
        QVERIFY2(taken > 0 && taken < big.body.size(), QByteArray::number(taken));

        // A reader that keeps up gets all of it.
        RawClient fast(port);
        fast.send(get("/big"));
        const auto whole = fast.answers(1, false, 10000);
        QCOMPARE(whole.size(), 1);
        QVERIFY(whole[0].endsWith(big.body));
    }

    void aSixtyFourBitNetworkIsOneClient() {
        QList<QStringList> addresses;
        for (int i = 1; i <= 20; ++i)
            addresses.append({"ip", "addr", "add", QStringLiteral("2001:db8:1::%1/64").arg(i),
                              "dev", "lo", "nodad"});
        NetworkNamespace ns(addresses);
        if (!ns.isReady())
            QSKIP(qPrintable(ns.whyNot()));
        NetworkNamespace::Inside inside(ns);
        QVERIFY(inside.entered());
        ServiceSettings settings = quickSettings();
        settings.maxQueriesPerClientPerSecond = 5;
        settings.http.connectionsPerClient = 8;
        StatusService service(settings);
        const quint16 port = service.listen(QHostAddress::LocalHostIPv6);
        FakeGameServer server(fakeservers::ut99("Counted"));

        std::vector<std::unique_ptr<RawClient>> clients;
        for (int i = 1; i <= 20; ++i)
            clients.push_back(std::make_unique<RawClient>(
                port, QHostAddress(QStringLiteral("2001:db8:1::%1").arg(i)),
                QHostAddress::LocalHostIPv6));
        for (const auto& client : clients)
            client->send(get(ut99Page(server.port())));
        int served = 0, refused = 0;
        for (const auto& client : clients) {
            const auto answers = client->answers(1);
            served += answers.value(0).contains("Counted") ? 1 : 0;
            refused += answers.isEmpty() ? 1 : 0;
        }
        QCOMPARE(refused, 12); // connections past the network's 8
        QCOMPARE(served, 5);   // its pages in one second; the rest are told to slow down
    }

    void onlyTheProgramsOwnPagesMayAsk() {
        ServiceSettings settings = quickSettings();
        settings.ownViewsOnly = true;
        StatusService service(settings);
        const quint16 port = service.listen();
        const QByteArray ours = "127.0.0.1:" + QByteArray::number(port);
        const auto status = [port](const QByteArray& request) {
            RawClient client(port);
            client.send(request);
            const auto answers = client.answers(1);
            return answers.isEmpty() ? QByteArray() : answers[0].left(12);
        };
        const QByteArray page = "GET /qEl/04query.html HTTP/1.1\r\n";
        QCOMPARE(status(page + "Host: " + ours + "\r\n\r\n"), "HTTP/1.1 200");
        QCOMPARE(status(page + "Host: localhost:" + QByteArray::number(port) +
                        "\r\nSec-Fetch-Site: same-origin\r\n\r\n"),
                 "HTTP/1.1 200");
        // A name of a page elsewhere that was made to point here (DNS rebinding).
        QCOMPARE(status(page + "Host: evil.example:" + QByteArray::number(port) + "\r\n\r\n"),
                 "HTTP/1.1 403");
        QCOMPARE(status(page + "Host: 127.0.0.1\r\n\r\n"), "HTTP/1.1 403");
        // A page elsewhere that links or submits here.
        QCOMPARE(status(page + "Host: " + ours + "\r\nSec-Fetch-Site: cross-site\r\n\r\n"),
                 "HTTP/1.1 403");
        QCOMPARE(status(page + "Host: " + ours + "\r\nOrigin: http://evil.example\r\n\r\n"),
                 "HTTP/1.1 403");
        QCOMPARE(status(page + "Host: " + ours + "\r\nOrigin: http://" + ours + "\r\n\r\n"),
                 "HTTP/1.1 200");
    }

    void aNameThatIsNeverFoundHoldsNoSlotPastTheDeadline() {
        ServiceSettings settings = quickSettings();
        settings.pageDeadlineMs = 300;
        settings.maxQueriesInFlight = 1;
        settings.resolve = [](const QString&, QObject*, auto) {
        }; // a look-up that never ends
        StatusService service(settings);
        const quint16 port = service.listen();
        RawClient slow(port);
        slow.send(get("/php/UTstats/index.php?txtip=slow.example&portnum=7778"));
        const auto answer = slow.answers(1);
        QCOMPARE(answer.size(), 1);
        QVERIFY(answer[0].contains("could not be looked up in time"));
        FakeGameServer server(fakeservers::ut99("Free Again"));
        RawClient next(port);
        next.send(get(ut99Page(server.port())));
        QVERIFY(next.answers(1).value(0).contains("Free Again"));
    }

    void aBurstOfReloadsAsksTheServerOnce() {
        ServiceSettings settings = quickSettings();
        settings.reuseMs = 1500;
        StatusService service(settings);
        const quint16 port = service.listen();
        FakeGameServer server(fakeservers::ut99("Asked Once"));
        RawClient client(port);
        for (int i = 0; i < 5; ++i)
            client.send(get(ut99Page(server.port())));
        const auto pages = client.answers(5);
        QCOMPARE(pages.size(), 5);
        for (const QByteArray& page : pages)
            QVERIFY(page.contains("Asked Once"));
        QCOMPARE(server.requests.size(), 1);
    }

    void theLogKeepsTheTargetAsSent() {
        QStringList lines;
        ServiceSettings settings = quickSettings();
        settings.log = [&lines](const QString& line) {
            lines.append(line);
        };
        StatusService service(settings);
        RawClient client(service.listen());
        client.send(get("/no%41where%2520?x=%31%1"));
        QCOMPARE(client.answers(1).size(), 1);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains(" 127.0.0.1 GET /no%41where%2520?x=%31%1 404 "),
                 qPrintable(lines[0]));
    }

    void requestHeadsAreReadStrictly() {
        using utq::queryservice::http::parseRequest;
        using Kind = utq::queryservice::http::ParseResult::Kind;
        const auto statusOf = [](const QByteArray& head) {
            const auto result = parseRequest(head, 16 * 1024);
            return result.kind == Kind::Ready      ? 200
                   : result.kind == Kind::NeedMore ? 0
                                                   : result.status;
        };
        QCOMPARE(statusOf("GET /a?b=%20c HTTP/1.1\nHost: x\n\n"), 200); // bare line ends
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\nHost: x\r\n"), 0);
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\n\r\n"), 400); // HTTP/1.1 names its host
        QCOMPARE(statusOf("GET /a HTTP/1.0\r\n\r\n"), 200);
        QCOMPARE(statusOf("GET http://x/a HTTP/1.1\r\nHost: x\r\n\r\n"), 400);
        QCOMPARE(statusOf("GET /a HTTP/2.0\r\nHost: x\r\n\r\n"), 505);
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n"), 400);
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\nHost : x\r\n\r\n"), 400);
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n"), 400);
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n"), 200);
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\nHost: x\r\nContent-Length: -1\r\n\r\n"), 400);
        QCOMPARE(statusOf("GET /a HTTP/1.1\r\nHost: x\r\nX: a\x01\r\n\r\n"), 400);
        QByteArray many = "GET /a HTTP/1.1\r\nHost: x\r\n";
        for (int i = 0; i < 200; ++i)
            many += "X: y\r\n";
        QCOMPARE(statusOf(many + "\r\n"), 431);
        const QByteArray twoRequests = "GET /a%20b?k=v%26w HTTP/1.1\r\nHOST:  x \r\n"
                                       "Connection: Keep-Alive, close\r\n\r\nGET /next";
        const auto request = parseRequest(twoRequests, 16 * 1024);
        QCOMPARE(request.request.path, QStringLiteral("/a b"));
        QCOMPARE(request.request.query.queryItemValue("k", QUrl::FullyDecoded), "v&w");
        QCOMPARE(request.request.header("host"), QByteArray("x"));
        QVERIFY(!request.request.keepAlive);
        QCOMPARE(request.consumed, twoRequests.indexOf("GET /next"));
    }
};

QTEST_GUILESS_MAIN(TestHostileClients)
#include "tst_hostile_clients.moc"
