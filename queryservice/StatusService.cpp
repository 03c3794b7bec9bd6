#include "queryservice/StatusService.h"

#include "launch/LaunchAddress.h"
#include "platform/ProcessFigures.h"
#include "queryservice/ForwardedClient.h"
#include "queryservice/ListedServers.h"
#include "queryservice/ServiceResponses.h"
#include "queryservice/pages/Assets.h"
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/ListJson.h"
#include "queryservice/pages/ListPages.h"
#include "queryservice/pages/StatusJson.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

namespace utq::queryservice {
namespace {

http::Response unknownGameResponse() {
    return apiResponse(
        {{QStringLiteral("error"), QStringLiteral("game must be ut99, ut2004 or ut3")}}, 400);
}

http::Response serversResponse(const QString& game, const QList<QJsonObject>& rows) {
    QJsonArray servers;
    for (const QJsonObject& row : rows)
        servers.append(row);
    return apiResponse({{QStringLiteral("game"), game}, {QStringLiteral("servers"), servers}});
}

// The value of `key` in the request's query, percent-decoded; the order of keys does not matter.
QString valueOf(const http::Request& request, const char* key) {
    return request.query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
}

// How often stopping looks whether what is being answered has been.
constexpr int kStopTickMs = 20;
// What was answered before the end has this long to be sent.
constexpr qint64 kLastSendMs = 1000;

// A list opened in the program older than this is asked afresh.
constexpr qint64 kListFreshMs = 60000;
// A list's JSON serves the polls that come within this long of it.
constexpr qint64 kListAnswerReuseMs = 500;

} // namespace

// One request and its answer: the answer goes out once, or nowhere when the client has gone,
// and the log line is written then.
class StatusService::Exchange {
public:
    Exchange(const http::Request& request, const QHostAddress& client, http::Reply reply,
             StatusService& service, QString route)
        : reply_(std::move(reply)), service_(service.alive_), client_(client),
          method_(QString::fromLatin1(request.method)),
          target_(QString::fromLatin1(request.target)), route_(std::move(route)) {
        clock_.start();
        service.exchanges_.insert(this);
    }
    ~Exchange() {
        if (const auto alive = service_.lock())
            (*alive)->exchanges_.remove(this);
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    bool asJson = false;
    QHostAddress client() const { return client_; }
    // The page's own address on this service, for its refresh link.
    QString target() const { return target_; }

    void respond(const http::Response& response) {
        const auto alive = service_.lock();
        if (answered_ || !alive)
            return;
        StatusService& service = **alive;
        answered_ = true;
        service.exchanges_.remove(this);
        if (asJson && service.settings_.apiForAnyOrigin) {
            http::Response forAnySite = response;
            forAnySite.setHeader("Access-Control-Allow-Origin", "*");
            reply_.send(forAnySite);
        } else {
            reply_.send(response); // nowhere, when the client has gone
        }
        service.metrics_.requests.add({route_, QString::number(response.status)});
        if (service.settings_.log)
            service.settings_.log(
                requestLine({client_, method_, target_, response.status, clock_.elapsed()},
                            service.settings_.logStyle));
    }

private:
    http::Reply reply_;
    std::weak_ptr<StatusService*> service_;
    QHostAddress client_;
    QString method_;
    QString target_;
    QString route_;
    QElapsedTimer clock_;
    bool answered_ = false;
};

StatusService::StatusService(ServiceSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)),
      http_(
          settings_.http,
          [this](const http::Request& request, const QHostAddress& client,
                 const http::Reply& reply) { handle(request, client, reply); },
          [this](int status, const QHostAddress& client) {
              metrics_.requests.add({QStringLiteral("-"), QString::number(status)});
              metrics_.refusals.add({refusalReason(status)});
              if (settings_.log)
                  settings_.log(
                      requestLine({client, QStringLiteral("-"), QStringLiteral("-"), status, 0},
                                  settings_.logStyle));
              return refusalResponse(status);
          },
          this),
      finder_(settings_, this), listTimer_(this), stopTick_(this),
      alive_(std::make_shared<StatusService*>(this)) {
    http_.onConnectionRefused([this] { metrics_.refusals.add({QStringLiteral("connections")}); });
    finder_.countInto(&metrics_);
    QStringList clanNames;
    for (const auto& servers : std::as_const(settings_.clanServers))
        for (const pages::ListedServer& server : servers)
            clanNames.append(server.host);
    finder_.keepLastGood(clanNames);
    clock_.start();
    addRoutes();
    for (const GameKind kind : kGameKinds) {
        lists_[kind] = new ServerList(kind, settings_.lists, finder_, this);
        lists_[kind]->countInto(&metrics_);
    }
    history_ = new ServerHistory(
        settings_.history, finder_,
        [settings = &settings_] {
            // The servers a start page lists are the ones watched: the clan's and the favourites.
            QList<WatchedServer> watched;
            for (const GameKind kind : kGameKinds)
                for (const pages::ListedServer& server : listedServers(
                         kind, settings->clanServers.value(kind), settings->favouritesFolder))
                    watched.append({&describe(kind), server.host, server.port, server.webPort});
            return watched;
        },
        this);
    connect(&stopTick_, &QTimer::timeout, this, [this] { finishStopping(); });
    if (settings_.listSeconds > 0) {
        listTimer_.setInterval(settings_.listSeconds * 1000);
        connect(&listTimer_, &QTimer::timeout, this, &StatusService::refreshLists);
    }
}

void StatusService::refreshLists() {
    for (const auto& [kind, list] : lists_)
        list->refresh();
}

http::Response StatusService::listPage(GameKind game) {
    ServerList& list = *lists_.at(game);
    if (settings_.listSeconds == 0) { // the program's own service asks when a user looks
        if (list.sinceRefreshMs() < 0 || list.sinceRefreshMs() > kListFreshMs)
            list.refresh();
        else
            list.searchLan();
    }
    pages::ListView view = list.view();
    view.sparklines = history_->sparklinesByAddress();
    if (describe(game).joinPort.favouriteField >= 0)
        view.joinTemplate = launch::launchAddress(QLatin1String(pages::kHostPlaceHolder),
                                                  QLatin1String(pages::kPortPlaceHolder));
    return htmlResponse(pages::listPage(view), 200, pages::kStartPagePolicy);
}

StatusService::~StatusService() = default;

quint16 StatusService::listen(const QHostAddress& address, quint16 port) {
    port_ = http_.listen(address, port);
    if (port_ && !historyStarted_) {
        historyStarted_ = true;
        history_->start();
    }
    if (port_ && settings_.listSeconds > 0 && !listTimer_.isActive()) {
        refreshLists(); // first at start-up, then on the timer
        listTimer_.start();
    }
    return port_;
}

void StatusService::addRoutes() {
    for (const GameKind kind : kGameKinds) {
        const GameDescription& game = describe(kind);
        pages_.insert(QLatin1String(game.startPagePath), [this, kind] { return startPage(kind); });
        statusPages_.insert(QLatin1String(game.statusPage.path), &game);
        if (game.favouritesPagePath)
            statusPages_.insert(QLatin1String(game.favouritesPagePath), &game);
    }
    pages_.insert(QLatin1String(games::kVoicePagePath), [voice = settings_.voiceHost] {
        return htmlResponse(pages::voiceServerPage(voice));
    });
    pages_.insert(QLatin1String(pages::kLiveScriptPath),
                  [] { return scriptResponse(pages::assets::liveScript()); });
    pages_.insert(QLatin1String(pages::kListScriptPath),
                  [] { return scriptResponse(pages::assets::listScript()); });
    pages_.insert(QLatin1String(pages::kHistoryScriptPath),
                  [] { return scriptResponse(pages::assets::historyScript()); });
    for (const GameKind kind : kGameKinds)
        pages_.insert(QLatin1String(describe(kind).listPagePath),
                      [this, kind] { return listPage(kind); });
}

http::Response StatusService::startPage(GameKind kind) const {
    QList<pages::ListedServer> servers =
        listedServers(kind, settings_.clanServers.value(kind), settings_.favouritesFolder);
    for (pages::ListedServer& server : servers)
        server.sparkline =
            history_->sparkline(historyKey(describe(kind), server.host, server.port.toInt()));
    return htmlResponse(pages::startPage(kind, servers), 200, pages::kStartPagePolicy);
}

bool StatusService::fromOwnViews(const http::Request& request) const {
    const QByteArray port = QByteArray::number(port_);
    const auto isOurs = [&port](const QByteArray& hostAndPort) {
        return hostAndPort == "127.0.0.1:" + port || hostAndPort == "localhost:" + port;
    };
    // A name that points here but is not ours is a page elsewhere rebinding its name to us.
    if (!isOurs(request.header("host").value_or(QByteArray()).toLower()))
        return false;
    // A page elsewhere that links or posts to us.
    if (const auto origin = request.header("origin");
        origin && !(origin->toLower().startsWith("http://") && isOurs(origin->toLower().mid(7))))
        return false;
    const auto site = request.header("sec-fetch-site");
    return !site || *site == "same-origin" || *site == "none";
}

QString StatusService::routeOf(const QString& path) const {
    // Only paths the service serves: any other would let clients grow the figures at will.
    static const QStringList others{QLatin1String(pages::kApiStatusPath),
                                    QLatin1String(pages::kApiServersPath),
                                    QLatin1String(pages::kApiListPath),
                                    QLatin1String(pages::kHistoryPath),
                                    QLatin1String(pages::kApiHistoryPath),
                                    QLatin1String(kHealthPath),
                                    QLatin1String(kMetricsPath)};
    if (pages_.contains(path) || statusPages_.contains(path) || others.contains(path))
        return path;
    return QStringLiteral("other");
}

http::Response StatusService::health() const {
    if (stopping_)
        return textResponse("stopping\n", 503);
    const QString why = history_->whyNotWritable();
    if (!why.isEmpty())
        return textResponse("unhealthy: history: " + why.toUtf8() + '\n', 503);
    return textResponse("ok: serving on port " + QByteArray::number(port_) +
                            (history_->on() ? "; history on" : "") + '\n',
                        200);
}

http::Response StatusService::metricsPage() const {
    ScrapedFigures figures;
    figures.pagesInFlight = static_cast<int>(exchanges_.size()) - 1; // not this scrape
    figures.queriesInFlight = finder_.inFlight();
    figures.historyOn = history_->on();
    const history::WriteCounts written = history_->writeCounts();
    figures.historyWrites = written.batches;
    figures.historyWriteFailures = written.failures;
    figures.historySamplesWritten = written.samples;
    figures.historySamplesWaiting = written.waiting;
    figures.historySamplesDropped = written.dropped;
    figures.residentBytes = platform::residentBytes();
    figures.openFiles = platform::openFileCount();
    return textResponse(metrics_.exposition(figures), 200, kExpositionType);
}

void StatusService::stop(int graceMs, std::function<void()> done) {
    if (stopping_)
        return;
    stopping_ = true;
    stopped_ = std::move(done);
    stopGraceMs_ = graceMs;
    stopStartedMs_ = clock_.elapsed();
    http_.stopListening();
    listTimer_.stop();
    stopTick_.start(kStopTickMs);
    finishStopping();
}

void StatusService::finishStopping() {
    const qint64 waited = clock_.elapsed() - stopStartedMs_;
    if (!exchanges_.isEmpty() && waited < stopGraceMs_)
        return;
    const QSet<Exchange*> unanswered = exchanges_;
    for (Exchange* exchange : unanswered)
        exchange->respond(errorResponse(
            QStringLiteral("Stopping"),
            QStringLiteral("The service stopped before this page was ready. Try again in a "
                           "moment."),
            503));
    // What was answered is sent before the end, but a client that does not read is not
    // waited for long.
    if (http_.sending() && waited < stopGraceMs_ + kLastSendMs)
        return;
    stopTick_.stop();
    if (const auto done = std::exchange(stopped_, {}))
        done();
}

void StatusService::handle(const http::Request& request, const QHostAddress& peer,
                           const http::Reply& reply) {
    // Behind the operator's reverse proxy, each client is counted and logged for itself.
    const QHostAddress client = forwardedClient(request, peer, settings_.trustedProxies);
    const auto exchange =
        std::make_shared<Exchange>(request, client, reply, *this, routeOf(request.path));
    const auto refuse = [this](const char* reason) {
        metrics_.refusals.add({QLatin1String(reason)});
    };
    if (stopping_)
        return exchange->respond(
            errorResponse(QStringLiteral("Stopping"),
                          QStringLiteral("The service is stopping. Try again in a moment."), 503));
    if (settings_.ownViewsOnly && !fromOwnViews(request)) {
        refuse("own_views");
        return exchange->respond(errorResponse(
            QStringLiteral("Not served here"),
            QStringLiteral("This service serves only UT Server Query's own pages."), 403));
    }
    // 421 Misdirected Request: the request names a site this service is not.
    if (!settings_.hostNames.serves(request.header("host"))) {
        refuse("host");
        return exchange->respond(
            errorResponse(QStringLiteral("Not served under this name"),
                          QStringLiteral("This service does not serve the site named in the "
                                         "request. Use its own address."),
                          421));
    }
    if (request.method != "GET" && request.method != "HEAD") {
        http::Response refused =
            errorResponse(QStringLiteral("Not allowed"),
                          QStringLiteral("These pages can only be read (GET or HEAD)."), 405);
        refused.setHeader("Allow", "GET, HEAD");
        return exchange->respond(refused);
    }
    if (request.path == QLatin1String(kHealthPath) || request.path == QLatin1String(kMetricsPath)) {
        if (!inAnyRange(plainAddress(client), settings_.metricsFrom)) {
            refuse("metrics_from");
            return exchange->respond(errorResponse(
                QStringLiteral("Not served to you"),
                QStringLiteral("The service's health and figures are for its operators."), 403));
        }
        return exchange->respond(request.path == QLatin1String(kHealthPath) ? health()
                                                                            : metricsPage());
    }
    if (const auto page = pages_.constFind(request.path); page != pages_.cend())
        return exchange->respond(page.value()());
    if (const auto game = statusPages_.constFind(request.path); game != statusPages_.cend())
        return answerStatus(request, exchange, *game.value());
    if (request.path == QLatin1String(pages::kApiStatusPath))
        return answerApiStatus(request, exchange);
    if (request.path == QLatin1String(pages::kApiServersPath))
        return answerApiServers(request, exchange);
    if (request.path == QLatin1String(pages::kHistoryPath) ||
        request.path == QLatin1String(pages::kApiHistoryPath))
        return answerHistory(request, exchange);
    if (request.path == QLatin1String(pages::kApiListPath)) {
        exchange->asJson = true;
        const GameDescription* game = pages::gameOfApiName(valueOf(request, "game"));
        if (!game)
            return exchange->respond(unknownGameResponse());
        ListAnswer& kept = listAnswers_[game->kind];
        if (kept.atMs < 0 || clock_.elapsed() - kept.atMs > kListAnswerReuseMs)
            kept = {clock_.elapsed(), apiResponse(pages::listJson(lists_.at(game->kind)->view()))};
        return exchange->respond(kept.response);
    }
    exchange->respond(errorResponse(QStringLiteral("Not found"),
                                    QStringLiteral("There is no page at this address."), 404));
}

void StatusService::answerStatus(const http::Request& request,
                                 const std::shared_ptr<Exchange>& exchange,
                                 const GameDescription& game) {
    const StatusPage& page = game.statusPage;
    finder_.find(game, valueOf(request, page.hostKey), valueOf(request, page.portKey),
                 page.webPortKey ? valueOf(request, page.webPortKey) : QString(),
                 exchange->client(),
                 [exchange, withHistory = history_->on()](const Finding& finding) {
                     exchange->respond(findingPage(finding, exchange->target(), withHistory));
                 });
}

void StatusService::answerApiStatus(const http::Request& request,
                                    const std::shared_ptr<Exchange>& exchange) {
    exchange->asJson = true;
    const GameDescription* game = pages::gameOfApiName(valueOf(request, "game"));
    if (!game)
        return exchange->respond(unknownGameResponse());
    finder_.find(*game, valueOf(request, "host"), valueOf(request, "port"),
                 valueOf(request, "webPort"), exchange->client(),
                 [exchange](const Finding& finding) { exchange->respond(findingJson(finding)); });
}

void StatusService::answerApiServers(const http::Request& request,
                                     const std::shared_ptr<Exchange>& exchange) {
    exchange->asJson = true;
    const GameDescription* game = pages::gameOfApiName(valueOf(request, "game"));
    if (!game)
        return exchange->respond(unknownGameResponse());
    // Every server at once; the answer goes out when the last has its finding, which its own
    // deadline bounds.
    struct Collected {
        std::shared_ptr<Exchange> whole;
        QString game;
        QList<pages::ListedServer> servers;
        QList<QJsonObject> rows;
        qsizetype left = 0;
        void put(qsizetype index, const Finding& finding) {
            const pages::ListedServer& server = servers[index];
            QJsonObject row = pages::statusJson(finding);
            row.insert(QStringLiteral("source"),
                       server.favourite ? QStringLiteral("favourite") : QStringLiteral("clan"));
            row.insert(QStringLiteral("row"), server.row);
            row.insert(QStringLiteral("label"), pages::withoutControls(server.label));
            rows[index] = row;
            if (--left == 0)
                whole->respond(serversResponse(game, rows));
        }
    };
    auto collected = std::make_shared<Collected>();
    collected->whole = exchange;
    collected->game = pages::apiName(*game);
    collected->servers = listedServers(game->kind, settings_.clanServers.value(game->kind),
                                       settings_.favouritesFolder);
    collected->rows.resize(collected->servers.size());
    collected->left = collected->servers.size();
    if (collected->servers.isEmpty())
        return exchange->respond(serversResponse(collected->game, {}));
    for (qsizetype index = 0; index < collected->servers.size(); ++index) {
        const pages::ListedServer& server = collected->servers[index];
        finder_.find(
            *game, server.host, server.port, server.webPort, exchange->client(),
            [collected, index](const Finding& finding) { collected->put(index, finding); });
    }
}

void StatusService::answerHistory(const http::Request& request,
                                  const std::shared_ptr<Exchange>& exchange) {
    exchange->asJson = request.path == QLatin1String(pages::kApiHistoryPath);
    const auto refuse = [&exchange](const QString& why, int status) {
        if (exchange->asJson)
            return exchange->respond(apiResponse({{QStringLiteral("error"), why}}, status));
        exchange->respond(errorResponse(QStringLiteral("No such history"), why, status));
    };
    const GameDescription* game = pages::gameOfApiName(valueOf(request, "game"));
    if (!game)
        return refuse(QStringLiteral("game must be ut99, ut2004 or ut3"), 400);
    const QString host = valueOf(request, "host").trimmed();
    bool portIsNumber = false;
    const int port = valueOf(request, "port").toInt(&portIsNumber);
    if (host.isEmpty() || host.size() > 255 || !portIsNumber || port < 1 || port > 65535)
        return refuse(QStringLiteral("host and port must name a server"), 400);
    const QString rangeText = valueOf(request, "range");
    const auto range =
        rangeText.isEmpty() ? pages::HistoryRange::Day : pages::rangeOfName(rangeText);
    if (!range)
        return refuse(QStringLiteral("range must be 24h, 7d, 30d or 1y"), 400);
    const bool asked =
        history_->view(*game, host, port, *range, [exchange](const pages::HistoryView& view) {
            if (exchange->asJson) {
                http::Response response = apiResponse({});
                response.body = pages::historyJson(view);
                return exchange->respond(response);
            }
            exchange->respond(
                htmlResponse(pages::historyPage(view), 200, pages::kHistoryPagePolicy));
        });
    if (!asked)
        refuse(QStringLiteral("Too many histories are being read; try again in a moment."), 503);
}

} // namespace utq::queryservice
