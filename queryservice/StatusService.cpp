#include "queryservice/StatusService.h"

#include "queryservice/Finding.h"
#include "queryservice/ForwardedClient.h"

#include "queryservice/GameQueries.h"
#include "queryservice/StartPages.h"
#include "queryservice/StatusJson.h"
#include "queryservice/StatusPages.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace utq::queryservice {
namespace {

// How often passed deadlines are looked for: one timer for all pages, not one each.
constexpr int kDeadlineTickMs = 50;
// Less time than this left in a page is not worth asking a further port.
constexpr qint64 kLeastQueryMs = 200;

http::Response htmlResponse(const QByteArray& html, int status = 200,
                            const char* policy = pages::kContentSecurityPolicy) {
    http::Response response;
    response.status = status;
    response.contentType = "text/html; charset=utf-8";
    response.body = html;
    response.setHeader("Content-Security-Policy", policy);
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Cache-Control", "no-store");
    return response;
}

// The start pages' script; never taken for anything but script.
http::Response scriptResponse() {
    http::Response response;
    response.contentType = "text/javascript; charset=utf-8";
    response.body = pages::liveScript();
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Cache-Control", "no-store");
    return response;
}

http::Response errorResponse(const QString& title, const QString& explanation, int status = 200) {
    return htmlResponse(pages::errorPage(title, explanation), status);
}

// The request log's line: time, client, method, target, status, milliseconds.
QString logLine(const QHostAddress& client, const QString& methodAndTarget, int status, qint64 ms) {
    return QStringList{QDateTime::currentDateTime().toString(Qt::ISODate),
                       client.toString(),
                       methodAndTarget,
                       QString::number(status),
                       QString::number(ms),
                       QStringLiteral("ms")}
        .join(u' ');
}

// What a request refused before it was read whole is told.
http::Response refusal(int status) {
    switch (status) {
    case 413:
        return errorResponse(QStringLiteral("Nothing to send"),
                             QStringLiteral("This service takes no request bodies."), status);
    case 431:
        return errorResponse(QStringLiteral("Request too large"),
                             QStringLiteral("The request's head is too large."), status);
    case 505:
        return errorResponse(QStringLiteral("Unknown HTTP version"),
                             QStringLiteral("This service speaks HTTP/1.0 and HTTP/1.1."), status);
    default:
        return errorResponse(QStringLiteral("Bad request"),
                             QStringLiteral("The request could not be read."), status);
    }
}

std::optional<int> numberFrom(const QString& text) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

bool isPort(int number) { return number >= 1 && number <= 65535; }

// Letters, digits, hyphens and dots: anything else is no name to look up.
bool looksLikeHostName(const QString& host) {
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]{0,252})$"));
    return name.match(host).hasMatch();
}

// A finding as the status service's pages show it.
http::Response pageResponse(const Finding& finding, const QString& refreshTarget) {
    using State = Finding::State;
    const GameDescription& game = *finding.game;
    const QString& host = finding.host;
    switch (finding.state) {
    case State::Up:
    case State::Partial: {
        pages::StatusView view;
        view.game = QLatin1String(game.name);
        view.address = host + u':' + QString::number(finding.queryPort);
        view.refreshTarget = refreshTarget;
        view.partial = finding.state == State::Partial;
        view.roundTripMs = finding.roundTripMs;
        view.queriedAt = finding.askedAt;
        view.webStatistics = finding.webStatistics;
        view.note = finding.note;
        return htmlResponse(pages::statusPage(finding.status, view));
    }
    case State::NoAnswer:
        return errorResponse(
            QStringLiteral("No answer"),
            QStringLiteral("%1 did not answer on port %2. Is the server up, and "
                           "is this its query port? %3")
                .arg(host, QString::number(finding.queryPort), QLatin1String(game.portHint)));
    case State::UnknownHost:
        return errorResponse(QStringLiteral("Unknown server"),
                             QStringLiteral("The name \"%1\" could not be found. Check its "
                                            "spelling, or type its IP address.")
                                 .arg(host));
    case State::LateLookUp:
        return errorResponse(QStringLiteral("Unknown server"),
                             QStringLiteral("The name \"%1\" could not be looked up in time. "
                                            "Try again, or type its IP address.")
                                 .arg(host));
    case State::NoHost:
        return errorResponse(QStringLiteral("No server given"),
                             QStringLiteral("Type the server's name or address first."));
    case State::BadPort:
        return errorResponse(QStringLiteral("That is not a port"),
                             QStringLiteral("\"%1\" is not a port number from 1 to 65535. %2")
                                 .arg(finding.portText, QLatin1String(game.portHint)));
    case State::Busy:
        return errorResponse(QStringLiteral("Busy"),
                             QStringLiteral("Too many servers are being asked right now. Try "
                                            "again in a moment."),
                             httpStatusOf(finding.state));
    case State::TooFast:
        return errorResponse(QStringLiteral("Slow down"),
                             QStringLiteral("Too many queries from your address in one second. "
                                            "Try again in a moment."),
                             httpStatusOf(finding.state));
    case State::ClientBusy:
        return errorResponse(QStringLiteral("Slow down"),
                             QStringLiteral("Too many pages for your address are still being "
                                            "made. Try again when they are done."),
                             httpStatusOf(finding.state));
    case State::NotAskedHere:
        return errorResponse(QStringLiteral("Not asked from here"),
                             QStringLiteral("This service does not ask servers at local, private "
                                            "or other special addresses, and %1 is one.")
                                 .arg(host),
                             httpStatusOf(finding.state));
    }
    return errorResponse(QStringLiteral("No answer"), QString()); // not reached
}

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

} // namespace

// One request and the answer it waits for: the answer goes out once, or nowhere when the
// client has gone, and the log line is written then.
class StatusService::Exchange {
public:
    Exchange(const http::Request& request, const QHostAddress& client, http::Reply reply,
             std::weak_ptr<StatusService*> service)
        : reply_(std::move(reply)), service_(std::move(service)), client_(client),
          method_(QString::fromLatin1(request.method)),
          target_(QString::fromLatin1(request.target)) {
        clock_.start();
    }
    // One server of a request about several: its finding goes to `sink`, not to a client.
    Exchange(const Exchange& whole, std::function<void(const Finding&)> sink)
        : service_(whole.service_), client_(whole.client_), method_(whole.method_),
          target_(whole.target_), sink_(std::move(sink)) {
        clock_.start();
    }

    // Whatever happens to the page, it is answered: when its deadline passes, or when nothing
    // is left to answer it (a look-up that dropped it).
    ~Exchange() { expire(); }
    void expire() {
        if (!answered_ && holdsSlot_)
            tell(resolving ? Finding::State::LateLookUp : Finding::State::NoAnswer);
        nameWait.giveUp(); // a look-up that no page waits for any more stops
    }

    // What the request asked and what became of it, and how the answer is written.
    Finding finding;
    bool asJson = false;
    void tell(Finding::State state) {
        finding.state = state;
        if (sink_) {
            StatusService* service = this->service();
            if (answered_ || !service)
                return;
            answered_ = true;
            if (holdsSlot_)
                service->limits_.done(client_);
            return sink_(finding);
        }
        respond(asJson ? jsonResponse(finding) : pageResponse(finding, target_));
    }

    QHostAddress client() const { return client_; }
    // The page's own address on this service, for its refresh link.
    QString target() const { return target_; }
    qint64 elapsedMs() const { return clock_.elapsed(); }
    bool answered() const { return answered_; }
    // The service, while it still exists.
    StatusService* service() const {
        const auto alive = service_.lock();
        return alive ? *alive : nullptr;
    }
    // The page counts against the service's limits, and waits for its deadline, until it is
    // answered.
    void holdSlot() { holdsSlot_ = true; }
    bool resolving = false; // the server's name is being looked up
    NameLookups::Ticket nameWait;

    void respond(const http::Response& response) {
        StatusService* service = this->service();
        if (answered_ || !service)
            return;
        answered_ = true;
        if (holdsSlot_)
            service->limits_.done(client_);
        if (asJson && service->settings_.apiForAnyOrigin) {
            http::Response forAnySite = response;
            forAnySite.setHeader("Access-Control-Allow-Origin", "*");
            reply_.send(forAnySite);
        } else {
            reply_.send(response); // nowhere, when the client has gone
        }
        if (service->settings_.log)
            service->settings_.log(
                logLine(client_, method_ + u' ' + target_, response.status, clock_.elapsed()));
    }

private:
    http::Reply reply_;
    std::weak_ptr<StatusService*> service_;
    QHostAddress client_;
    QString method_;
    QString target_;
    QElapsedTimer clock_;
    bool answered_ = false;
    bool holdsSlot_ = false;
    std::function<void(const Finding&)> sink_;
};

StatusService::StatusService(ServiceSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)),
      http_(
          settings_.http,
          [this](const http::Request& request, const QHostAddress& client,
                 const http::Reply& reply) { handle(request, client, reply); },
          [this](int status, const QHostAddress& client) {
              if (settings_.log)
                  settings_.log(logLine(client, QStringLiteral("- -"), status, 0));
              return refusal(status);
          },
          this),
      limits_(settings_.maxQueriesInFlight, settings_.maxQueriesPerClientPerSecond,
              settings_.maxQueriesPerClient),
      recent_(settings_.reuseMs), names_(settings_.lookups, this), deadlineTick_(this),
      alive_(std::make_shared<StatusService*>(this)) {
    clock_.start();
    QStringList clanNames;
    for (const auto& servers : std::as_const(settings_.clanServers))
        for (const pages::ListedServer& server : servers)
            clanNames.append(server.host);
    names_.keepLastGood(clanNames);
    deadlineTick_.setInterval(kDeadlineTickMs);
    connect(&deadlineTick_, &QTimer::timeout, this, &StatusService::passDeadlines);
    addRoutes();
}

void StatusService::passDeadlines() {
    // Deadlines are all the same length, so the queue is in their order.
    const qint64 now = clock_.elapsed();
    while (!deadlines_.empty() &&
           (deadlines_.front().first <= now || deadlines_.front().second.expired())) {
        const auto exchange = deadlines_.front().second.lock();
        deadlines_.pop_front();
        if (exchange)
            exchange->expire();
    }
    if (deadlines_.empty())
        deadlineTick_.stop();
}

StatusService::~StatusService() = default;

quint16 StatusService::listen(const QHostAddress& address, quint16 port) {
    port_ = http_.listen(address, port);
    return port_;
}

void StatusService::addRoutes() {
    for (const GameKind kind : kGameKinds) {
        const GameDescription& game = describe(kind);
        pages_.insert(QLatin1String(game.startPagePath), [kind, settings = &settings_] {
            return htmlResponse(pages::startPage(kind, settings->clanServers.value(kind),
                                                 settings->favouritesFolder),
                                200, pages::kStartPagePolicy);
        });
        statusPages_.insert(QLatin1String(game.statusPage.path), &game);
        if (game.favouritesPagePath)
            statusPages_.insert(QLatin1String(game.favouritesPagePath), &game);
    }
    pages_.insert(QLatin1String(games::kVoicePagePath), [voice = settings_.voiceHost] {
        return htmlResponse(pages::voiceServerPage(voice));
    });
    pages_.insert(QLatin1String(pages::kLiveScriptPath), scriptResponse);
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

void StatusService::handle(const http::Request& request, const QHostAddress& peer,
                           const http::Reply& reply) {
    // Behind the operator's reverse proxy, each client is counted and logged for itself.
    const QHostAddress client = forwardedClient(request, peer, settings_.trustedProxies);
    // Not make_shared: a deadline's weak pointer would keep the whole page's memory.
    const std::shared_ptr<Exchange> exchange(new Exchange(request, client, reply, alive_));
    if (settings_.ownViewsOnly && !fromOwnViews(request))
        return exchange->respond(errorResponse(
            QStringLiteral("Not served here"),
            QStringLiteral("This service serves only UT Server Query's own pages."), 403));
    // 421 Misdirected Request: the request names a site this service is not.
    if (!settings_.hostNames.serves(request.header("host")))
        return exchange->respond(
            errorResponse(QStringLiteral("Not served under this name"),
                          QStringLiteral("This service does not serve the site named in the "
                                         "request. Use its own address."),
                          421));
    if (request.method != "GET" && request.method != "HEAD") {
        http::Response refused =
            errorResponse(QStringLiteral("Not allowed"),
                          QStringLiteral("These pages can only be read (GET or HEAD)."), 405);
        refused.setHeader("Allow", "GET, HEAD");
        return exchange->respond(refused);
    }
    if (const auto page = pages_.constFind(request.path); page != pages_.cend())
        return exchange->respond(page.value()());
    if (const auto game = statusPages_.constFind(request.path); game != statusPages_.cend())
        return answerStatus(request, exchange, *game.value());
    if (request.path == QLatin1String(kApiStatusPath))
        return answerApiStatus(request, exchange);
    if (request.path == QLatin1String(kApiServersPath))
        return answerApiServers(request, exchange);
    exchange->respond(errorResponse(QStringLiteral("Not found"),
                                    QStringLiteral("There is no page at this address."), 404));
}

void StatusService::answerStatus(const http::Request& request,
                                 const std::shared_ptr<Exchange>& exchange,
                                 const GameDescription& game) {
    const StatusPage& page = game.statusPage;
    findStatus(exchange, game, valueOf(request, page.hostKey), valueOf(request, page.portKey),
               page.webPortKey ? valueOf(request, page.webPortKey) : QString());
}

void StatusService::answerApiStatus(const http::Request& request,
                                    const std::shared_ptr<Exchange>& exchange) {
    exchange->asJson = true;
    const GameDescription* game = gameOfApiName(valueOf(request, "game"));
    if (!game)
        return exchange->respond(unknownGameResponse());
    findStatus(exchange, *game, valueOf(request, "host"), valueOf(request, "port"),
               valueOf(request, "webPort"));
}

void StatusService::answerApiServers(const http::Request& request,
                                     const std::shared_ptr<Exchange>& exchange) {
    exchange->asJson = true;
    const GameDescription* game = gameOfApiName(valueOf(request, "game"));
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
            QJsonObject row = statusJson(finding);
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
    collected->game = apiName(*game);
    collected->servers = pages::listedServers(game->kind, settings_.clanServers.value(game->kind),
                                              settings_.favouritesFolder);
    collected->rows.resize(collected->servers.size());
    collected->left = collected->servers.size();
    if (collected->servers.isEmpty())
        return exchange->respond(serversResponse(collected->game, {}));
    for (qsizetype index = 0; index < collected->servers.size(); ++index) {
        const pages::ListedServer& server = collected->servers[index];
        const auto one =
            std::make_shared<Exchange>(*exchange, [collected, index](const Finding& finding) {
                collected->put(index, finding);
            });
        findStatus(one, *game, server.host, server.port, server.webPort);
    }
}

void StatusService::findStatus(const std::shared_ptr<Exchange>& exchange,
                               const GameDescription& game, const QString& givenHost,
                               const QString& portText, const QString& webPortText) {
    Finding& finding = exchange->finding;
    finding.game = &game;
    finding.host = givenHost.trimmed();
    finding.portText = portText;
    const QString& host = finding.host;
    const auto given = numberFrom(portText);
    if (!given || !isPort(*given) || !isPort(*given + game.queryPortOffset))
        return exchange->tell(Finding::State::BadPort);
    finding.port = *given;
    if (host.isEmpty())
        return exchange->tell(Finding::State::NoHost);
    QHostAddress literal;
    const bool isAddress = literal.setAddress(host);
    if (!isAddress && !looksLikeHostName(host)) // such as the UT2004 preset's "Server Closed"
        return exchange->tell(Finding::State::UnknownHost);
    const auto webPort = numberFrom(webPortText);
    const quint16 shownWebPort = webPort && isPort(*webPort) ? static_cast<quint16>(*webPort) : 0;

    switch (limits_.admit(exchange->client(), clock_.elapsed())) {
    case QueryLimits::Verdict::Go:
        break;
    case QueryLimits::Verdict::Busy:
        return exchange->tell(Finding::State::Busy);
    case QueryLimits::Verdict::TooFast:
        return exchange->tell(Finding::State::TooFast);
    case QueryLimits::Verdict::ClientBusy:
        return exchange->tell(Finding::State::ClientBusy);
    }
    exchange->holdSlot();

    const auto port = static_cast<quint16>(*given + game.queryPortOffset);
    finding.queryPort = port;
    // One deadline for the whole page: a slow name or a slow server frees its slot in time.
    deadlines_.push_back({clock_.elapsed() + settings_.pageDeadlineMs, exchange});
    if (!deadlineTick_.isActive())
        deadlineTick_.start();
    if (isAddress)
        return ask(exchange, literal, port, shownWebPort);
    lookUp(exchange, port, shownWebPort);
}

void StatusService::lookUp(const std::shared_ptr<Exchange>& exchange, quint16 port,
                           quint16 webPort) {
    exchange->resolving = true;
    using Kind = NameLookups::Answer::Kind;
    const auto answered = [this, exchange, port, webPort](const NameLookups::Answer& answer) {
        exchange->resolving = false;
        if (exchange->answered())
            return;
        switch (answer.kind) {
        case Kind::Found:
            return ask(exchange, answer.address, port, webPort);
        case Kind::Unknown:
            return exchange->tell(Finding::State::UnknownHost);
        case Kind::Late:
            return exchange->tell(Finding::State::LateLookUp);
        case Kind::Busy:
            return exchange->tell(Finding::State::Busy);
        case Kind::ClientBusy:
            return exchange->tell(Finding::State::ClientBusy);
        }
    };
    if (settings_.resolve) {
        // The context is this service: the answer of a look-up that outlives it is dropped.
        return settings_.resolve(exchange->finding.host, this,
                                 [answered](const QList<QHostAddress>& found) {
                                     for (const QHostAddress& address : found)
                                         if (address.protocol() == QAbstractSocket::IPv4Protocol)
                                             return answered({Kind::Found, address});
                                     answered({Kind::Unknown, {}});
                                 });
    }
    // The look-up has the time the page has left; a page that gives up lets go of it.
    exchange->nameWait = names_.lookUp(exchange->finding.host, exchange->client(),
                                       settings_.pageDeadlineMs - exchange->elapsedMs(), answered);
}

void StatusService::ask(const std::shared_ptr<Exchange>& exchange, const QHostAddress& given,
                        quint16 port, quint16 webPort, quint16 silentPort) {
    const GameDescription& game = *exchange->finding.game;
    const QHostAddress address = plainAddress(given);
    if (!settings_.targets.allows(address))
        return exchange->tell(Finding::State::NotAskedHere);
    // A silent port is followed by the game's usual query port, once, within the same page.
    const int usual = game.usualQueryPort(port - game.queryPortOffset);
    const bool usualNext = !silentPort && usual != port && isPort(usual);
    // The query ends before the page's deadline, whatever the name's look-up took, and leaves
    // the usual port as much time as it took itself.
    QueryTiming timing = settings_.timing;
    const qint64 left =
        (settings_.pageDeadlineMs - exchange->elapsedMs() - 100) / (usualNext ? 2 : 1);
    timing.waitMs = static_cast<int>(std::min<qint64>(
        settings_.timing.waitMs, std::max<qint64>(left / (timing.retries + 1), 50)));

    const QString server =
        QLatin1String(game.name) + u' ' + address.toString() + u' ' + QString::number(port);
    recent_.ask(
        server, clock_.elapsed(),
        [kind = game.kind, address, port, timing] { return queryFor(kind)(address, port, timing); },
        [this, exchange, address, port, webPort, silentPort,
         usual = usualNext ? static_cast<quint16>(usual)
                           : quint16(0)](const RecentAnswers::Answer& answer) {
            const QueryOutcome& outcome = answer.outcome;
            if (outcome.kind == QueryOutcome::Kind::NoAnswer) {
                if (usual && !exchange->answered() &&
                    exchange->elapsedMs() + kLeastQueryMs < settings_.pageDeadlineMs)
                    return ask(exchange, address, usual, webPort, port);
                return exchange->tell(Finding::State::NoAnswer);
            }
            Finding& finding = exchange->finding;
            finding.queryPort = port;
            finding.status = outcome.status;
            finding.roundTripMs = outcome.roundTripMs;
            finding.askedAt = answer.askedAt;
            if (silentPort)
                finding.note =
                    QStringLiteral("Answered on query port %1 \u2014 use that port next time.")
                        .arg(port);
            if (webPort) {
                QUrl statistics;
                statistics.setScheme(QStringLiteral("http"));
                statistics.setHost(finding.host);
                statistics.setPort(webPort);
                statistics.setPath(QStringLiteral("/"));
                if (statistics.isValid())
                    finding.webStatistics = statistics.toString();
            }
            exchange->tell(outcome.kind == QueryOutcome::Kind::Partial ? Finding::State::Partial
                                                                       : Finding::State::Up);
        },
        this, [this] { return clock_.elapsed(); });
}

} // namespace utq::queryservice
