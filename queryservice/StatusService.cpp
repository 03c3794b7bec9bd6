#include "queryservice/StatusService.h"

#include "queryservice/StatusPages.h"

#include <QDateTime>
#include <QHostInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrlQuery>

namespace utq::queryservice {
namespace {

QHttpServerResponse
htmlResponse(const QByteArray& html,
             QHttpServerResponse::StatusCode code = QHttpServerResponse::StatusCode::Ok) {
    QHttpServerResponse response("text/html; charset=utf-8", html, code);
    response.setHeader("Content-Security-Policy", pages::kContentSecurityPolicy);
    response.setHeader("Cache-Control", "no-store");
    return response;
}

std::optional<quint16> portFrom(const QString& text) {
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? std::optional<quint16>(static_cast<quint16>(port))
                                            : std::nullopt;
}

// The value of `key` in the request's query, percent-decoded; the order of keys does not matter.
QString valueOf(const QHttpServerRequest& request, const char* key) {
    return request.query().queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
}

} // namespace

StatusService::StatusService(QueryTiming timing, QObject* parent)
    : QObject(parent), timing_(timing) {
    addRoutes();
}

quint16 StatusService::listen() {
    port_ = http_.listen(QHostAddress::LocalHost, 0);
    return port_;
}

void StatusService::addRoutes() {
    http_.route(QStringLiteral("/php/UTstats/lobby2.html"), [] {
        return htmlResponse(pages::textPage(
            QStringLiteral("UT99 Server Query"),
            {QStringLiteral("Type a server's address and its query port (most often the game port "
                            "plus 1), or pick "
                            "a preset, then press \"Begin Query\"."),
             QStringLiteral("The server's name, map, players and rules appear here.")}));
    });
    http_.route(QStringLiteral("/php/UTstats/index.php"),
                [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                    // The answer goes out when the query is done; the responder waits for it.
                    auto waiting = std::make_shared<QHttpServerResponder>(std::move(responder));
                    const Respond respond = [waiting](QHttpServerResponse&& response) {
                        response.write(std::move(*waiting));
                    };
                    answerUt99(request, respond);
                });
    http_.setMissingHandler([](const QHttpServerRequest&, QHttpServerResponder&& responder) {
        htmlResponse(pages::errorPage(QStringLiteral("Not found"),
                                      QStringLiteral("There is no page at this address.")),
                     QHttpServerResponse::StatusCode::NotFound)
            .write(std::move(responder));
    });
}

void StatusService::answerUt99(const QHttpServerRequest& request, const Respond& respond) {
    const QString host = valueOf(request, "txtip").trimmed();
    const QString portText = valueOf(request, "portnum");
    const QString self = request.url().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    const auto port = portFrom(portText);
    if (!port)
        return respond(htmlResponse(pages::errorPage(
            QStringLiteral("That is not a port"),
            QStringLiteral("\"%1\" is not a port number from 1 to 65535. The query port of a UT99 "
                           "server is most "
                           "often its game port plus 1: server port 7777 would be 7778.")
                .arg(portText))));
    if (host.isEmpty())
        return respond(htmlResponse(
            pages::errorPage(QStringLiteral("No server given"),
                             QStringLiteral("Type the server's name or address first."))));

    const QueryTiming timing = timing_;
    const auto ask = [respond, host, port = *port, self, timing](const QHostAddress& address) {
        queryUt99(address, port, timing)
            .then([respond, host, port, self](const QueryOutcome& outcome) {
                if (outcome.kind == QueryOutcome::Kind::NoAnswer) {
                    respond(htmlResponse(pages::errorPage(
                        QStringLiteral("No answer"),
                        QStringLiteral("%1 did not answer on port %2. Is the server up, and is "
                                       "this its query port? For "
                                       "UT99 that is most often the game port plus 1.")
                            .arg(host)
                            .arg(port))));
                    return;
                }
                const pages::StatusView view{QStringLiteral("UT99"),
                                             host + u':' + QString::number(port),
                                             self,
                                             outcome.kind == QueryOutcome::Kind::Partial,
                                             outcome.roundTripMs,
                                             QDateTime::currentDateTime()};
                respond(htmlResponse(pages::statusPage(outcome.status, view)));
            });
    };
    QHostAddress literal;
    if (literal.setAddress(host))
        return ask(literal);
    QHostInfo::lookupHost(host, this, [respond, host, ask](const QHostInfo& info) {
        for (const QHostAddress& address : info.addresses())
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                return ask(address);
        respond(htmlResponse(pages::errorPage(
            QStringLiteral("Unknown server"),
            QStringLiteral(
                "The name \"%1\" could not be found. Check its spelling, or type its IP address.")
                .arg(host))));
    });
}

} // namespace utq::queryservice
