// The built-in status service on its own thread, over real HTTP on 127.0.0.1, querying fake
// UT99, UT2004 and UT3 servers on loopback: start pages, status pages, escaping, error pages,
// limits and the request log.
#include "EventLoopWait.h"
#include "FakeServers.h"

#include "platform/HostLookup.h"
#include "query/StatusPages.h"
#include "queryservice/BackgroundStatusService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace utq::protocols;
using namespace utq::queryservice;

namespace {

struct Page {
    int status = 0;
    QByteArray body;
    QByteArray policy;
    QByteArray type;
    QByteArray anyOrigin; // Access-Control-Allow-Origin
};

class Client {
public:
    explicit Client(quint16 port) : base_(QStringLiteral("http://127.0.0.1:%1").arg(port)) {}

    QNetworkReply* start(const QString& target) {
        return network_.get(QNetworkRequest(QUrl(base_ + target)));
    }

    static Page finish(QNetworkReply* reply) {
        waitUntil([reply] { return reply->isFinished(); }, 10000);
        Page page{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                  reply->readAll(), reply->rawHeader("Content-Security-Policy"),
                  reply->rawHeader("Content-Type"),
                  reply->rawHeader("Access-Control-Allow-Origin")};
        reply->deleteLater();
        return page;
    }

    Page get(const QString& target) { return finish(start(target)); }

private:
    QString base_;
    QNetworkAccessManager network_;
};

// Knows one made-up name and reads only "localhost" from the system's hosts file, so no test
// looks a name up on the network.
Resolver testResolver() {
    return [](const QString& host, QObject* context,
              std::function<void(const QList<QHostAddress>&)> done) {
        QMetaObject::invokeMethod(context, [host, done = std::move(done)] {
            if (host == QLatin1String("localhost"))
                return done(
                    utq::platform::HostLookup::inHostsFile(host).value_or(QList<QHostAddress>{}));
            done(host == QLatin1String("fake.test")
                     ? QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.1"))}
                     : QList<QHostAddress>{});
        });
    };
}

ServiceSettings testSettings() {
    ServiceSettings settings;
    settings.timing = {300, 1};
    settings.voiceHost = QStringLiteral("voice.qel.example");
    settings.clanServers[utq::GameKind::UT99] = {
        {QStringLiteral("{qEl} US"), QStringLiteral("us.qel.example"), QStringLiteral("7778")}};
    settings.resolve = testResolver();
    return settings;
}

QString ut99Target(const QString& host, quint16 port) {
    return QStringLiteral("/php/UTstats/index.php?txtip=%1&portnum=%2").arg(host).arg(port);
}
QString ut2004Target(const QString& host, int gamePort) {
    return QStringLiteral("/phpnuke/html/SQuery/index.php?ip=%1&port=%2&game=UT2004&block=1")
        .arg(host)
        .arg(gamePort);
}
QString ut3Target(const QString& host, const QString& port, int webPort = 0,
                  const QString& path = QStringLiteral("/qEl/UT3Query/ut3query.php")) {
    return QStringLiteral("%1?serverip=%2&serverqport=%3&serverwport=%4")
        .arg(path, host, port)
        .arg(webPort);
}

FakeGameServer::Answer silent() {
    return [](const QByteArray&, int) {
        return QList<QByteArray>{};
    };
}

// A UT2004 server that answers with far more than any game holds: 1,896 players whose names
// are 50 colour runs each and 280 long rules, about 570 KiB of datagrams. The players come a
// datagram at a time, so that they reach the query rather than overflow its socket.
FakeGameServer::Answer colourBomb(FakeGameServer*& self) {
    using namespace ut2004replies;
    QByteArray name;
    for (int run = 0; run < 50; ++run)
        name += "\x1b" + QByteArray(3, static_cast<char>(0x40 + run)) + 'x';
    QList<QPair<QByteArray, QByteArray>> rules;
    for (int rule = 0; rule < 280; ++rule)
        rules.append({"Rule" + QByteArray::number(rule), QByteArray(200, 'v')});
    QList<QByteArray> players;
    for (quint32 id = 1; players.size() < 8;) {
        QList<Player> rows;
        while (rows.size() < 237)
            rows.append({id++, str(name), 50, 1, kRed});
        players.append(playersReply(rows));
    }
    return [&self, name, rules, players](const QByteArray& request, int) {
        switch (request.size() == 5 ? request[4] : -1) {
        case 0:
            return QList<QByteArray>{infoReply(str(name), "DM-Bomb", 1896, 2000)};
        case 1:
            return QList<QByteArray>{rulesReply(rules)};
        case 2:
            for (int later = 1; later < players.size(); ++later)
                QTimer::singleShot(5 * later, self, [&self, datagram = players[later]] {
                    self->sendToLastClient(datagram);
                });
            return QList<QByteArray>{players.first()};
        }
        return QList<QByteArray>{};
    };
}

// Valid UTF-8 that parses as JSON and holds no escaped surrogate, which only a lone surrogate
// becomes: what strict readers (jq, Python) take.
bool isStrictJson(const QByteArray& body) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(body);
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    static const QRegularExpression surrogateEscape(QStringLiteral("\\\\u[dD][89a-fA-F]"));
    return !utf8.hasError() && error.error == QJsonParseError::NoError &&
           !text.contains(surrogateEscape);
}

} // namespace

class TestStatusService : public QObject {
    Q_OBJECT
    QMutex logLock_;
    QStringList log_;
    std::unique_ptr<BackgroundStatusService> service_;
    std::unique_ptr<Client> client_;

private slots:
    void initTestCase() {
        ServiceSettings settings = testSettings();
        settings.log = [this](const QString& line) {
            QMutexLocker lock(&logLock_);
            log_.append(line);
        };
        service_ = std::make_unique<BackgroundStatusService>(settings);
        const quint16 port = service_->start();
        QVERIFY(port != 0);
        QCOMPARE(service_->hostAndPort(), QStringLiteral("127.0.0.1:%1").arg(port));
        client_ = std::make_unique<Client>(port);
    }

    void startPages() {
        Page page = client_->get("/php/UTstats/lobby2.html");
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("Begin Query"));
        QVERIFY(page.body.contains(
            "href=\"/php/UTstats/index.php?txtip=us.qel.example&amp;portnum=7778\""));
        QVERIFY(page.policy.contains("default-src 'none'"));
        QCOMPARE(page.type, "text/html; charset=utf-8");
        QVERIFY(client_->get("/qEl/TS3/index.php").body.contains("voice.qel.example"));
        QVERIFY(client_->get("/qEl/04query.html").body.contains("game port"));
        QVERIFY(client_->get("/qEl/ut3query.html").body.contains("6500"));
    }

    void aUt99StatusPage() {
        FakeGameServer server(fakeservers::ut99("Fragfest"));
        const Page page = client_->get(ut99Target("127.0.0.1", server.port()));
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<h1>Fragfest</h1>"));
        QVERIFY(page.body.contains("DM-Morpheus"));
        QVERIFY(page.body.contains("2 / 12"));
        QVERIFY(page.body.indexOf("High") < page.body.indexOf("Low")); // by score
        QVERIFY(page.body.contains("timelimit"));
        QVERIFY(page.body.contains("Refresh"));
        QCOMPARE(server.requests, QList<QByteArray>({"\\status\\"}));
    }

    void aUt2004StatusPageAsksThePortAfterTheGamePort() {
        using namespace ut2004replies;
        FakeGameServer server(
            fakeservers::ut2004(str("\x1b\x01\x01\xf0"
                                    "Dark \x1b\xff\xff\x20"
                                    "Yellow"),
                                {{1, str("Alice"), 40, 12, kRed},
                                 {2, wide(QString::fromUtf8("J\u00f6rg")), 55, 30, kBlue}}));
        const Page page = client_->get(ut2004Target("127.0.0.1", server.port() - 1));
        QVERIFY2(page.body.contains("<span style=\"color:#ffff20\">Yellow</span>"),
                 page.body.constData());
        // Too dark for the page: lifted, the hue kept.
        QVERIFY(!page.body.contains("color:#0101f0"));
        QVERIFY(page.body.contains("<title>Dark Yellow</title>"));
        QVERIFY(page.body.contains(QString::fromUtf8("J\u00f6rg").toUtf8()));
        QVERIFY(page.body.indexOf("rg") < page.body.indexOf("Alice"));
        QVERIFY(page.body.contains("MutInstaGib, MutQuadJump"));
        QVERIFY(page.body.contains("UT2004 game server"));
    }

    void aUt3StatusPageOnBothPathsWithItsWebLink() {
        FakeGameServer server(fakeservers::ut3(fakeservers::ut3TwoPlayers("Fake UT3"), 2));
        Page page = client_->get(ut3Target("127.0.0.1", QString::number(server.port()), 8080));
        QVERIFY2(page.body.contains("<h1>Fake UT3</h1>"), page.body.constData());
        QVERIFY(page.body.contains("DM-Deck"));
        QVERIFY(page.body.indexOf("Bob") < page.body.indexOf("Alice"));
        QVERIFY(page.body.contains("Teams"));
        QVERIFY(page.body.contains("Blue"));
        QVERIFY(page.body.contains("href=\"http://127.0.0.1:8080/\""));

        page = client_->get(ut3Target("127.0.0.1", QString::number(server.port()), 0,
                                      QStringLiteral("/UT3Query/ut3query.php")));
        QVERIFY(page.body.contains("<h1>Fake UT3</h1>"));
        QVERIFY(!page.body.contains("web statistics"));
    }

    // Both ends read one description of each game: every address the window builds reaches
    // the page that answers it.
    void theWindowsAddressesReachTheirPages() {
        FakeGameServer ut99(fakeservers::ut99("Classic"));
        FakeGameServer ut2004(fakeservers::ut2004(ut2004replies::str("Modern"), {}));
        FakeGameServer ut3(fakeservers::ut3(fakeservers::ut3TwoPlayers("Newest"), 2));
        const QString host = service_->hostAndPort();
        const QString ut3Port = QString::number(ut3.port());
        const QList<std::pair<QString, QByteArray>> asked = {
            {utq::query::ut99StatusAddress(host, "127.0.0.1", QString::number(ut99.port())),
             "Classic"},
            {utq::query::ut2004StatusAddress(host, "127.0.0.1", QString::number(ut2004.port() - 1)),
             "Modern"},
            {utq::query::ut3QuickStatusAddress(host, "127.0.0.1", ut3Port, "0"), "Newest"},
            {utq::query::ut3FavouritesStatusAddress(host, "127.0.0.1", ut3Port, "0"), "Newest"}};
        for (const auto& [address, name] : asked) {
            const Page page =
                client_->get(QUrl(address).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority));
            QVERIFY2(page.body.contains("<h1>" + name + "</h1>"), qPrintable(address));
        }
        for (const char* path : {utq::query::kLobbyStartPath, utq::query::kUt2004StartPath,
                                 utq::query::kUt3StartPath, utq::query::kVoiceStartPath})
            QCOMPARE(client_->get(path).status, 200);
    }

    // A UT99 game port typed where the query port belongs: the port after it answers, and the
    // page says so. The game port itself takes no queries.
    void aUt99GamePortIsFollowedByItsQueryPort() {
        std::unique_ptr<FakeGameServer> gamePort, queryPort;
        for (int attempt = 0; attempt < 20 && !(queryPort && queryPort->bound()); ++attempt) {
            gamePort = std::make_unique<FakeGameServer>(silent());
            queryPort = std::make_unique<FakeGameServer>(fakeservers::ut99("Next Door"),
                                                         gamePort->port() + 1);
        }
        QVERIFY(queryPort->bound());
        const Page page = client_->get(ut99Target("127.0.0.1", gamePort->port()));
        QVERIFY2(page.body.contains("<h1>Next Door</h1>"), page.body.constData());
        QVERIFY(page.body.contains(QStringLiteral("Answered on query port %1 \u2014 use that "
                                                  "port next time.")
                                       .arg(queryPort->port())
                                       .toUtf8()));
        QVERIFY(!gamePort->requests.isEmpty());

        // Both silent: the page names the port that was typed.
        queryPort.reset();
        queryPort = std::make_unique<FakeGameServer>(silent(), gamePort->port() + 1);
        QVERIFY(queryPort->bound());
        const Page none = client_->get(ut99Target("127.0.0.1", gamePort->port()));
        QVERIFY(none.body.contains(QByteArray::number(gamePort->port()) + ". Is the server up"));
        QVERIFY(!queryPort->requests.isEmpty());
    }

    // A UT2004 query port typed where the game port belongs: the port after it is asked first,
    // then the port typed.
    void aUt2004QueryPortTypedAsTheGamePortIsFound() {
        FakeGameServer server(fakeservers::ut2004(ut2004replies::str("Right Here"), {}));
        const Page page = client_->get(ut2004Target("127.0.0.1", server.port()));
        QVERIFY2(page.body.contains("Right Here"), page.body.constData());
        QVERIFY(page.body.contains(
            QStringLiteral("Answered on query port %1").arg(server.port()).toUtf8()));
    }

    // The JSON API answers for each game with the same findings as the pages.
    void theApiTellsEachGamesServer() {
        FakeGameServer ut99(fakeservers::ut99("Classic"));
        FakeGameServer ut2004(fakeservers::ut2004(ut2004replies::str("\x1b\xf8\x40\x40Red"),
                                                  {{1, ut2004replies::str("Alice"), 40, 12, 0}}));
        FakeGameServer ut3(fakeservers::ut3(fakeservers::ut3TwoPlayers("Newest"), 2));
        const auto api = [this](const QString& query) {
            const Page page = client_->get("/api/v1/status?" + query);
            return std::pair{page, QJsonDocument::fromJson(page.body).object()};
        };
        auto [page, json] =
            api(QStringLiteral("game=ut99&host=127.0.0.1&port=%1").arg(ut99.port()));
        QCOMPARE(page.type, "application/json; charset=utf-8");
        QCOMPARE(json["state"].toString(), "up");
        QCOMPARE(json["game"].toString(), "ut99");
        QCOMPARE(json["name"].toString(), "Classic");
        QCOMPARE(json["map"].toString(), "DM-Morpheus");
        QCOMPARE(json["playersNow"].toInt(), 2);
        QCOMPARE(json["playersMax"].toInt(), 12);
        QCOMPARE(json["players"].toArray().size(), 2);
        QCOMPARE(json["rules"].toObject()["timelimit"].toString(), "15");
        QCOMPARE(json["queryPort"].toInt(), ut99.port());
        QVERIFY(QDateTime::fromString(json["askedAt"].toString(), Qt::ISODateWithMs).isValid());

        std::tie(page, json) =
            api(QStringLiteral("game=ut2004&host=127.0.0.1&port=%1").arg(ut2004.port() - 1));
        QCOMPARE(json["name"].toString(), "Red");
        QCOMPARE(json["queryPort"].toInt(), ut2004.port());
        QCOMPARE(json["nameRuns"].toArray().first().toObject()["colour"].toString(), "#f84040");
        QCOMPARE(json["players"].toArray().first().toObject()["name"].toString(), "Alice");

        std::tie(page, json) =
            api(QStringLiteral("game=ut3&host=127.0.0.1&port=%1").arg(ut3.port()));
        QCOMPARE(json["name"].toString(), "Newest");

        // What went wrong is a state, as the pages tell it.
        QCOMPARE(api("game=ut99&host=127.0.0.1&port=x").second["state"].toString(), "bad-port");
        QCOMPARE(api("game=ut99&host=nowhere.test&port=1").second["state"].toString(),
                 "unknown-host");
        QCOMPARE(api("game=ut99&host=&port=1").second["state"].toString(), "unknown-host");
        const Page unknownGame = client_->get("/api/v1/status?game=quake&host=h&port=1");
        QCOMPARE(unknownGame.status, 400);
        QVERIFY(QJsonDocument::fromJson(unknownGame.body).isObject());
    }

    // Whatever a server puts in its name comes out as valid JSON, as text.
    void theApiCarriesAnyNameAsText() {
        FakeGameServer server(fakeservers::ut99("\"quoted\" <b>con\x01trol</b> \xe9"));
        const Page page = client_->get(
            QStringLiteral("/api/v1/status?game=ut99&host=127.0.0.1&port=%1").arg(server.port()));
        QJsonParseError error;
        const QJsonObject json = QJsonDocument::fromJson(page.body, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(json["name"].toString(),
                 QString::fromUtf8("\"quoted\" <b>control</b> \u00e9")); // the control gone
        QVERIFY(page.anyOrigin.isEmpty()); // only utquery-statusd lets other sites read it
    }

    // A server that answers with megabytes of players, colour runs and rules gets a page and
    // an API answer of bounded size: its first 256 players, 16 runs a name, 256 rules.
    void aHostileServersAnswerIsBounded() {
        FakeGameServer* self = nullptr;
        FakeGameServer server(colourBomb(self));
        self = &server;
        const Page page =
            client_->get(QStringLiteral("/api/v1/status?game=ut2004&host=127.0.0.1&port=%1")
                             .arg(server.port() - 1));
        const QJsonObject json = QJsonDocument::fromJson(page.body).object();
        // Whether the query's byte bound cut it short depends on when the datagrams came.
        QVERIFY(json["state"] == "up" || json["state"] == "partial");
        QCOMPARE(json["playersNow"].toInt(), 1896);
        const QJsonArray players = json["players"].toArray();
        QVERIFY2(players.size() > 0 && players.size() <= 256,
                 qPrintable(QString::number(players.size())));
        QVERIFY(json["rules"].toObject().size() <= 256);
        QCOMPARE(json["nameRuns"].toArray().size(), 16);
        // Past the last run its colour goes on: nothing of the name is lost.
        QCOMPARE(json["name"].toString(), QString(50, u'x'));
        QCOMPARE(json["nameRuns"].toArray().last().toObject()["text"].toString(),
                 QString(35, u'x'));
        for (const QJsonValue& player : players)
            QVERIFY(player.toObject()["nameRuns"].toArray().size() <= 16);
        QVERIFY2(page.body.size() < 256 * 1024, qPrintable(QString::number(page.body.size())));
        const Page html = client_->get(ut2004Target("127.0.0.1", server.port() - 1));
        QVERIFY(html.body.contains("DM-Bomb"));
        QVERIFY2(html.body.size() < 256 * 1024, qPrintable(QString::number(html.body.size())));
    }

    // Lone surrogates in a UT2004 server's UCS-2 texts, in a favourites file read as UTF-16
    // and in a request's percent-encoded UTF-8 come out as U+FFFD: every answer strict JSON.
    void loneSurrogatesBecomeReplacementCharacters() {
        using namespace ut2004replies;
        const QString lone =
            QStringLiteral("a") + QChar(0xD800) + u'b' + QChar(0xDFFF) + QChar(0xDBFF);
        const QString replaced = QStringLiteral("a\uFFFDb\uFFFD\uFFFD");
        FakeGameServer server([&lone](const QByteArray& request, int) {
            switch (request.size() == 5 ? request[4] : -1) {
            case 0:
                return QList<QByteArray>{infoReply(wide(lone), "DM-Rankin", 1)};
            case 1:
                return QList<QByteArray>{header(1) + wide(lone) + wide(lone)};
            case 2:
                return QList<QByteArray>{playersReply({{1, wide(lone), 40, 12, kRed}})};
            }
            return QList<QByteArray>{};
        });
        QTemporaryDir folder;
        QFile file(folder.filePath("ut04servers.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QString ini =
            QStringLiteral("[SERVER]\r\nServerName=") + lone +
            QStringLiteral("\r\nServerIP=127.0.0.1\r\nServerPort=%1\r\n").arg(server.port() - 1);
        file.write("\xFF\xFE");
        for (const QChar c : ini)
            file.write(QByteArray(1, static_cast<char>(c.unicode() & 0xFF)) +
                       static_cast<char>(c.unicode() >> 8));
        file.close();
        ServiceSettings settings = testSettings();
        settings.favouritesFolder = folder.path();
        BackgroundStatusService service(settings);
        Client client(service.start());

        const Page one =
            client.get(QStringLiteral("/api/v1/status?game=ut2004&host=127.0.0.1&port=%1")
                           .arg(server.port() - 1));
        QVERIFY2(isStrictJson(one.body), one.body.constData());
        const QJsonObject json = QJsonDocument::fromJson(one.body).object();
        QCOMPARE(json["name"].toString(), replaced);
        QCOMPARE(json["players"].toArray().first().toObject()["name"].toString(), replaced);
        QCOMPARE(json["rules"].toObject()[replaced].toString(), replaced);

        const Page all = client.get("/api/v1/servers?game=ut2004");
        QVERIFY2(isStrictJson(all.body), all.body.constData());
        const QJsonObject row =
            QJsonDocument::fromJson(all.body).object()["servers"].toArray().first().toObject();
        QCOMPARE(row["label"].toString(), replaced);
        QCOMPARE(row["name"].toString(), replaced);

        const Page typed = client.get("/api/v1/status?game=ut2004&host=%ED%A0%80%ED%BF%BFx&port=1");
        QVERIFY2(isStrictJson(typed.body), typed.body.constData());
    }

    // Every server a game's start page lists, at once: the clan's, then the favourites' rows
    // from the real file, each with its own finding.
    void theApiListsAGamesServers() {
        FakeGameServer up(fakeservers::ut99("Row Two"));
        FakeGameServer silentOne(silent());
        QTemporaryDir folder;
        QFile file(folder.filePath("utservers.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[SERVER]\r\nServerName2=Mine\r\nServerIP2=127.0.0.1\r\n"
                                  "QueryPort2=%1\r\nServerName5=Quiet\r\nServerIP5=127.0.0.1\r\n"
                                  "QueryPort5=%2\r\n")
                       .arg(up.port())
                       .arg(silentOne.port())
                       .toLatin1());
        file.close();
        ServiceSettings settings = testSettings();
        settings.favouritesFolder = folder.path();
        BackgroundStatusService service(settings);
        Client client(service.start());
        const Page page = client.get("/api/v1/servers?game=ut99");
        const QJsonObject json = QJsonDocument::fromJson(page.body).object();
        QCOMPARE(json["game"].toString(), "ut99");
        const QJsonArray servers = json["servers"].toArray();
        QCOMPARE(servers.size(), 3);
        const auto field = [&servers](int i, const char* key) {
            return servers[i].toObject().value(QLatin1String(key)); // a copy, not a reference
        };
        QCOMPARE(field(0, "source").toString(), "clan");
        QCOMPARE(field(0, "state").toString(), "unknown-host"); // a made-up clan host
        QCOMPARE(field(1, "source").toString(), "favourite");
        QCOMPARE(field(1, "row").toInt(), 2);
        QCOMPARE(field(1, "label").toString(), "Mine");
        QCOMPARE(field(1, "state").toString(), "up");
        QCOMPARE(field(1, "name").toString(), "Row Two");
        QCOMPARE(field(2, "row").toInt(), 5);
        QCOMPARE(field(2, "state").toString(), "no-answer");
        QCOMPARE(client.get("/api/v1/servers?game=ut2004").body,
                 R"({"game":"ut2004","servers":[]})");
    }

    // On the service's own thread a page whose server name is never looked up (a resolver that
    // hangs) is still answered at its deadline.
    void aLookUpThatHangsIsAnsweredAtTheDeadline() {
        QList<std::function<void(const QList<QHostAddress>&)>> neverCalled;
        QMutex lock;
        ServiceSettings settings = testSettings();
        settings.pageDeadlineMs = 300;
        settings.resolve = [&](const QString&, QObject*, auto done) {
            QMutexLocker locked(&lock);
            neverCalled.append(std::move(done));
        };
        BackgroundStatusService service(settings);
        Client client(service.start());
        QElapsedTimer clock;
        clock.start();
        const Page page = client.get(ut99Target("slow.test", 7778));
        QVERIFY2(page.body.contains("could not be looked up in time"), page.body.constData());
        QVERIFY(clock.elapsed() < 5000);
    }

    void keysInAnyOrderDecodedAndResolved() {
        FakeGameServer server(fakeservers::ut99("Ordered"));
        QVERIFY(
            client_
                ->get(QStringLiteral("/php/UTstats/index.php?portnum=%1&extra=1&txtip=%6Cocalhost")
                          .arg(server.port()))
                .body.contains("<h1>Ordered</h1>"));
        QVERIFY(
            client_->get(ut99Target("fake.test", server.port())).body.contains("<h1>Ordered</h1>"));
    }

    void serverTextIsEscapedOnEveryPage() {
        const QByteArray hostile = "<script>alert(1)</script><img src=x onerror=alert(2)>";
        FakeGameServer ut99(fakeservers::ut99(hostile));
        FakeGameServer ut2004(
            fakeservers::ut2004(ut2004replies::str(hostile), {{1, hostile, 10, 1, 0}}));
        FakeGameServer ut3(fakeservers::ut3(fakeservers::ut3TwoPlayers(hostile)));
        const QList<Page> pages = {
            client_->get(ut99Target("127.0.0.1", ut99.port())),
            client_->get(ut2004Target("127.0.0.1", ut2004.port() - 1)),
            client_->get(ut3Target("127.0.0.1", QString::number(ut3.port())))};
        for (const Page& page : pages) {
            QVERIFY(!page.body.contains("<script>"));
            QVERIFY(!page.body.contains("<img"));
            QVERIFY2(page.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;"),
                     page.body.constData());
        }
        // The address typed comes back escaped too.
        const Page typed =
            client_->get("/php/UTstats/index.php?txtip=127.0.0.1&portnum=%3Cb%3Ebold%3C%2Fb%3E");
        QVERIFY(typed.body.contains("&lt;b&gt;bold"));
    }

    void errorPages_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("ut99 not a port")
            << "/php/UTstats/index.php?txtip=127.0.0.1&portnum=Query%20Port" << 200 << "not a port";
        QTest::newRow("ut99 port too big")
            << "/php/UTstats/index.php?txtip=127.0.0.1&portnum=70000" << 200 << "not a port";
        QTest::newRow("ut99 no server")
            << "/php/UTstats/index.php?txtip=&portnum=7778" << 200 << "No server given";
        QTest::newRow("ut2004 last port")
            << ut2004Target("127.0.0.1", 65535) << 200 << "not a port";
        QTest::newRow("ut3 default texts")
            << ut3Target("Server IP", "Query Port") << 200 << "most often 6500";
        QTest::newRow("unknown name")
            << ut99Target("nowhere.test", 7778) << 200 << "Unknown server";
        QTest::newRow("not a name")
            << ut2004Target("Server%20Closed", 7777) << 200 << "Unknown server";
        QTest::newRow("unknown page") << "/nowhere.php" << 404 << "Not found";
    }

    void errorPages() {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Page page = client_->get(target);
        QCOMPARE(page.status, status);
        QVERIFY2(page.body.contains(says.toUtf8()), page.body.constData());
        QVERIFY(page.policy.contains("default-src 'none'"));
    }

    void silenceGivesTheNoAnswerPageWithTheGamesHint() {
        FakeGameServer ut99(silent()), ut2004(silent()), ut3(silent());
        QNetworkReply* a = client_->start(ut99Target("127.0.0.1", ut99.port()));
        QNetworkReply* b = client_->start(ut2004Target("127.0.0.1", ut2004.port() - 1));
        QNetworkReply* c = client_->start(ut3Target("127.0.0.1", QString::number(ut3.port())));
        const Page pages[] = {Client::finish(a), Client::finish(b), Client::finish(c)};
        QVERIFY(pages[0].body.contains("No answer"));
        QVERIFY(pages[0].body.contains("game port plus 1"));
        QVERIFY(pages[1].body.contains("the port after"));
        QVERIFY(pages[2].body.contains("6500"));
        QCOMPARE(ut99.requests.size(), 2); // one retry each
        QCOMPARE(ut3.requests.size(), 2);
    }

    void aClientThatLeavesBeforeTheAnswer() {
        FakeGameServer server(silent());
        QNetworkReply* reply = client_->start(ut99Target("127.0.0.1", server.port()));
        keepRunningFor(100);
        reply->abort();
        reply->deleteLater();
        keepRunningFor(900); // the query ends and its page finds nobody to take it
        QVERIFY(client_->get("/php/UTstats/lobby2.html").body.contains("Begin Query"));
    }

    void manyPagesAtOnce() {
        FakeGameServer ut99(fakeservers::ut99("Crowded"));
        FakeGameServer ut3(fakeservers::ut3(fakeservers::ut3TwoPlayers("Crowded 3"), 3));
        QList<QNetworkReply*> replies;
        for (int i = 0; i < 40; ++i)
            replies << client_->start(i % 2 ? ut99Target("127.0.0.1", ut99.port())
                                            : ut3Target("127.0.0.1", QString::number(ut3.port())));
        for (QNetworkReply* reply : replies)
            QVERIFY(Client::finish(reply).body.contains("Crowded"));
    }

    void oneLogLinePerRequest() {
        {
            QMutexLocker lock(&logLock_);
            log_.clear();
        }
        client_->get("/qEl/04query.html");
        client_->get("/nowhere");
        QMutexLocker lock(&logLock_);
        QCOMPARE(log_.size(), 2);
        QVERIFY2(log_[0].contains(" 127.0.0.1 GET /qEl/04query.html 200 "), qPrintable(log_[0]));
        QVERIFY(log_[1].contains("GET /nowhere 404"));
        QVERIFY(log_[1].endsWith(" ms"));
    }

    void limitsOnQueriesInFlightAndPerClient() {
        ServiceSettings settings = testSettings();
        settings.maxQueriesInFlight = 1;
        settings.maxQueriesPerClientPerSecond = 2;
        BackgroundStatusService limited(settings);
        Client client(limited.start());
        FakeGameServer quiet(silent()), quick(fakeservers::ut99("Quick"));

        QNetworkReply* waiting = client.start(ut99Target("127.0.0.1", quiet.port()));
        keepRunningFor(100);
        Page busy = client.get(ut99Target("127.0.0.1", quick.port()));
        QCOMPARE(busy.status, 503);
        QVERIFY(Client::finish(waiting).body.contains("No answer"));

        keepRunningFor(1000); // a new second
        QVERIFY(client.get(ut99Target("127.0.0.1", quick.port())).body.contains("Quick"));
        QVERIFY(client.get(ut99Target("127.0.0.1", quick.port())).body.contains("Quick"));
        QCOMPARE(client.get(ut99Target("127.0.0.1", quick.port())).status, 429);
        // Start pages are not queries and are never held back.
        QCOMPARE(client.get("/php/UTstats/lobby2.html").status, 200);
    }
};

QTEST_GUILESS_MAIN(TestStatusService)
#include "tst_status_service.moc"
