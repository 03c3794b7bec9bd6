#include "queryservice/ServiceResponses.h"

#include "queryservice/pages/Assets.h"
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StartPages.h"
#include "queryservice/pages/StatusJson.h"

namespace utq::queryservice {

using pages::Finding;

http::Response htmlResponse(const QByteArray& html, int status, const char* policy) {
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

http::Response scriptResponse(const QByteArray& script) {
    http::Response response;
    response.contentType = "text/javascript; charset=utf-8";
    response.body = script;
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Cache-Control", "no-store");
    return response;
}

http::Response errorResponse(const QString& title, const QString& explanation, int status) {
    return htmlResponse(pages::errorPage(title, explanation), status);
}

http::Response apiResponse(const QJsonObject& json, int status) {
    http::Response response;
    response.status = status;
    response.contentType = "application/json; charset=utf-8";
    response.body = pages::jsonText(json);
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Cache-Control", "no-store");
    return response;
}

http::Response textResponse(const QByteArray& text, int status, const QByteArray& type) {
    http::Response response;
    response.status = status;
    response.contentType = type;
    response.body = text;
    response.setHeader("Cache-Control", "no-store");
    return response;
}

QLatin1String refusalReason(int status) {
    switch (status) {
    case 413:
        return QLatin1String("body");
    case 431:
        return QLatin1String("head_too_large");
    case 505:
        return QLatin1String("http_version");
    default:
        return QLatin1String("bad_request");
    }
}

http::Response refusalResponse(int status) {
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

http::Response findingPage(const Finding& finding, const QString& refreshTarget, bool withHistory) {
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
        if (withHistory)
            view.historyTarget = pages::historyTarget(game, host, finding.port);
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

http::Response findingJson(const Finding& finding) {
    return apiResponse(pages::statusJson(finding), httpStatusOf(finding.state));
}

} // namespace utq::queryservice
