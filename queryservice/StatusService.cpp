#include "queryservice/StatusService.h"

#include "queryservice/StartPages.h"
#include "queryservice/StatusPages.h"
#include "queryservice/Ut2004Query.h"
#include "queryservice/Ut3Query.h"
#include "queryservice/Ut99Query.h"

#include <QDateTime>
#include <QHostInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QUrlQuery>

namespace utq::queryservice {
namespace {

using StatusCode = QHttpServerResponse::StatusCode;

QHttpServerResponse htmlResponse(const QByteArray& html, StatusCode code = StatusCode::Ok) {
    QHttpServerResponse response("text/html; charset=utf-8", html, code);
    response.setHeader("Content-Security-Policy", pages::kContentSecurityPolicy);
    response.setHeader("Cache-Control", "no-store");
    return response;
}

QHttpServerResponse errorResponse(const QString& title, const QString& explanation,
                                  StatusCode code = StatusCode::Ok) {
    return htmlResponse(pages::errorPage(title, explanation), code);
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

QHttpServerResponse unknownServer(const QString& host) {
    return errorResponse(QStringLiteral("Unknown server"),
                         QStringLiteral("The name \"%1\" could not be found. Check its spelling, "
                                        "or type its IP address.")
                             .arg(host));
}

// The value of `key` in the request's query, percent-decoded; the order of keys does not matter.
QString valueOf(const QHttpServerRequest& request, const char* key) {
    return request.query().queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
}

QString methodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QStringLiteral("GET");
    case QHttpServerRequest::Method::Head:
        return QStringLiteral("HEAD");
    case QHttpServerRequest::Method::Post:
        return QStringLiteral("POST");
    default:
        return QStringLiteral("OTHER");
    }
}

const StatusService::Game kUt99{
    QStringLiteral("UT99"),
    "txtip",
    "portnum",
    0,
    &queryUt99,
    QStringLiteral("The query port of a UT99 server is most often its game port plus 1: server "
                   "port 7777 would be 7778.")};
const StatusService::Game kUt2004{
    QStringLiteral("UT2004"),
    "ip",
    "port",
    1,
    &queryUt2004,
    QStringLiteral("Give the server's game port, most often 7777; the query goes to the port after "
                   "it."),
    nullptr,
    true};
const StatusService::Game kUt3{
    QStringLiteral("UT3"),
    "serverip",
    "serverqport",
    0,
    &queryUt3,
    QStringLiteral("The query port of a UT3 server is most often 6500, whatever its game port."),
    "serverwport"};

} // namespace

Resolver systemResolver() {
    return [](const QString& host, QObject* context,
              std::function<void(const QList<QHostAddress>&)> done) {
        QHostInfo::lookupHost(host, context, [done = std::move(done)](const QHostInfo& info) {
            done(info.addresses());
        });
    };
}

// One request and the answer it waits for; it writes the log line when the answer goes out.
class StatusService::Exchange {
public:
    Exchange(const QHttpServerRequest& request, QHttpServerResponder&& responder,
             std::function<void(const QString&)> log, std::weak_ptr<StatusService*> service)
        : responder_(std::move(responder)), log_(std::move(log)), service_(std::move(service)),
          client_(request.remoteAddress()), method_(request.method()),
          target_(request.url().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority)) {
        clock_.start();
    }

    QHostAddress client() const { return client_; }
    // The page's own address on this service, for its refresh link.
    QString target() const { return target_; }
    // The service, while it still exists.
    StatusService* service() const {
        const auto alive = service_.lock();
        return alive ? *alive : nullptr;
    }

    void respond(QHttpServerResponse&& response) {
        if (answered_ || !service())
            return;
        answered_ = true;
        const int code = static_cast<int>(response.statusCode());
        response.write(std::move(responder_));
        if (log_)
            log_(QStringLiteral("%1 %2 %3 %4 %5 %6 ms")
                     .arg(QDateTime::currentDateTime().toString(Qt::ISODate), client_.toString(),
                          methodName(method_), target_)
                     .arg(code)
                     .arg(clock_.elapsed()));
    }

private:
    QHttpServerResponder responder_;
    std::function<void(const QString&)> log_;
    std::weak_ptr<StatusService*> service_;
    QHostAddress client_;
    QHttpServerRequest::Method method_;
    QString target_;
    QElapsedTimer clock_;
    bool answered_ = false;
};

StatusService::StatusService(ServiceSettings settings, QObject* parent)
    : QObject(parent), http_(this), settings_(std::move(settings)),
      limits_(settings_.maxQueriesInFlight, settings_.maxQueriesPerClientPerSecond),
      alive_(std::make_shared<StatusService*>(this)) {
    clock_.start();
    addRoutes();
}

StatusService::~StatusService() = default;

quint16 StatusService::listen(const QHostAddress& address, quint16 port) {
    port_ = http_.listen(address, port);
    return port_;
}

void StatusService::addRoutes() {
    addPage(QStringLiteral("/php/UTstats/lobby2.html"),
            [presets = settings_.ut99Presets] { return pages::ut99StartPage(presets); });
    addPage(QStringLiteral("/qEl/04query.html"), &pages::ut2004StartPage);
    addPage(QStringLiteral("/qEl/ut3query.html"), &pages::ut3StartPage);
    addPage(QStringLiteral("/qEl/TS3/index.php"),
            [voice = settings_.voiceHost] { return pages::voiceServerPage(voice); });
    addStatusPage(QStringLiteral("/php/UTstats/index.php"), kUt99);
    addStatusPage(QStringLiteral("/phpnuke/html/SQuery/index.php"), kUt2004);
    addStatusPage(QStringLiteral("/qEl/UT3Query/ut3query.php"), kUt3);
    addStatusPage(QStringLiteral("/UT3Query/ut3query.php"), kUt3);
    http_.setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            Exchange(request, std::move(responder), settings_.log, alive_)
                .respond(errorResponse(QStringLiteral("Not found"),
                                       QStringLiteral("There is no page at this address."),
                                       StatusCode::NotFound));
        });
}

void StatusService::addPage(const QString& path, std::function<QByteArray()> page) {
    http_.route(path, [this, page = std::move(page)](const QHttpServerRequest& request,
                                                     QHttpServerResponder&& responder) {
        Exchange(request, std::move(responder), settings_.log, alive_)
            .respond(htmlResponse(page()));
    });
}

void StatusService::addStatusPage(const QString& path, const Game& game) {
    http_.route(path, [this, &game](const QHttpServerRequest& request,
                                    QHttpServerResponder&& responder) {
        // The answer goes out when the query is done; the exchange waits for it.
        answerStatus(
            request,
            std::make_shared<Exchange>(request, std::move(responder), settings_.log, alive_), game);
    });
}

void StatusService::answerStatus(const QHttpServerRequest& request,
                                 const std::shared_ptr<Exchange>& exchange, const Game& game) {
    const QString host = valueOf(request, game.hostKey).trimmed();
    const QString portText = valueOf(request, game.portKey);
    const auto given = numberFrom(portText);
    if (!given || !isPort(*given) || !isPort(*given + game.portOffset))
        return exchange->respond(
            errorResponse(QStringLiteral("That is not a port"),
                          QStringLiteral("\"%1\" is not a port number from 1 to 65535. %2")
                              .arg(portText, game.portHint)));
    if (host.isEmpty())
        return exchange->respond(
            errorResponse(QStringLiteral("No server given"),
                          QStringLiteral("Type the server's name or address first.")));
    QHostAddress literal;
    const bool isAddress = literal.setAddress(host);
    if (!isAddress && !looksLikeHostName(host)) // such as the UT2004 preset's "Server Closed"
        return exchange->respond(unknownServer(host));
    const auto webPort = game.webPortKey ? numberFrom(valueOf(request, game.webPortKey)) : 0;
    const quint16 shownWebPort = webPort && isPort(*webPort) ? static_cast<quint16>(*webPort) : 0;

    switch (limits_.admit(exchange->client(), clock_.elapsed())) {
    case QueryLimits::Verdict::Go:
        break;
    case QueryLimits::Verdict::Busy:
        return exchange->respond(errorResponse(
            QStringLiteral("Busy"),
            QStringLiteral("Too many servers are being asked right now. Try again in a moment."),
            StatusCode::ServiceUnavailable));
    case QueryLimits::Verdict::TooFast:
        return exchange->respond(errorResponse(
            QStringLiteral("Slow down"),
            QStringLiteral("Too many queries from your address in one second. Try again in a "
                           "moment."),
            StatusCode::TooManyRequests));
    }

    const auto port = static_cast<quint16>(*given + game.portOffset);
    if (isAddress)
        return ask(exchange, game, host, literal, port, shownWebPort);
    // The context is this service: the answer of a look-up that outlives it is dropped.
    settings_.resolve(
        host, this,
        [this, exchange, &game, host, port, shownWebPort](const QList<QHostAddress>& addresses) {
            for (const QHostAddress& address : addresses)
                if (address.protocol() == QAbstractSocket::IPv4Protocol)
                    return ask(exchange, game, host, address, port, shownWebPort);
            limits_.done();
            exchange->respond(unknownServer(host));
        });
}

void StatusService::ask(const std::shared_ptr<Exchange>& exchange, const Game& game,
                        const QString& host, const QHostAddress& address, quint16 port,
                        quint16 webPort) {
    game.query(address, port, settings_.timing)
        .then([exchange, &game, host, port, webPort](const QueryOutcome& outcome) {
            StatusService* service = exchange->service();
            if (!service)
                return;
            service->limits_.done();
            if (outcome.kind == QueryOutcome::Kind::NoAnswer)
                return exchange->respond(errorResponse(
                    QStringLiteral("No answer"),
                    QStringLiteral("%1 did not answer on port %2. Is the server up, and is this "
                                   "its query port? %3")
                        .arg(host)
                        .arg(port)
                        .arg(game.portHint)));
            pages::StatusView view;
            view.game = game.name;
            view.address = host + u':' + QString::number(port);
            view.refreshTarget = exchange->target();
            view.partial = outcome.kind == QueryOutcome::Kind::Partial;
            view.roundTripMs = outcome.roundTripMs;
            view.queriedAt = QDateTime::currentDateTime();
            view.colourCodes = game.colourCodes;
            if (webPort) {
                QUrl statistics;
                statistics.setScheme(QStringLiteral("http"));
                statistics.setHost(host);
                statistics.setPort(webPort);
                statistics.setPath(QStringLiteral("/"));
                if (statistics.isValid())
                    view.webStatistics = statistics.toString();
            }
            exchange->respond(htmlResponse(pages::statusPage(outcome.status, view)));
        });
}

} // namespace utq::queryservice
