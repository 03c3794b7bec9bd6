#include "queryservice/pages/StartPages.h"

#include "base/Games.h"
#include "queryservice/pages/Assets.h"
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StatusJson.h"
#include "queryservice/pages/StatusPages.h"

#include <algorithm>

namespace utq::queryservice::pages {
namespace {

struct StartText {
    const char* title;
    const char* intro;
    const char* allServers; // what the list page holds
};

StartText startText(GameKind game) {
    switch (game) {
    case GameKind::UT99:
        return {"UT99 Server Query",
                "Type a server's name or IP address and its query port, or pick a preset, then "
                "press \"Begin Query\". The query port is most often the game port plus 1: "
                "server port 7777 would be 7778. The server's name, map, players and rules will "
                "show here.",
                "lists every server the master servers know and those on your network."};
    case GameKind::UT2004:
        return {"UT2004 Server Query",
                "Type the server's name or IP address and its game port (most often 7777), then "
                "press \"Begin Query\". The query goes to the port after the game port. On the "
                "favourites tab, pick a row first: its server is the one asked.",
                "would list the servers on your network; searching them is not available for "
                "UT2004."};
    case GameKind::UT3:
        return {"UT3 Server Query",
                "Type the server's name or IP address and its query port (most often 6500), then "
                "press \"Begin Query\". Give a web port as well to get a link to the server's own "
                "web statistics; leave it 0 otherwise. On the favourites tab, pick a row first: "
                "its server is the one asked.",
                "lists the servers on your network."};
    }
    return {"", "", ""}; // not reached: the switch names every game
}

// A watched server's last day and a link to its history; the service drew the chart.
QString historyCell(const GameDescription& game, const ListedServer& server) {
    QString html = QStringLiteral("<td class=\"history\">");
    if (!server.sparkline.isEmpty())
        html += QString::fromUtf8(server.sparkline) + QStringLiteral(" <a href=\"") +
                escapedText(historyTarget(game, server.host, server.port.toInt())) +
                QStringLiteral("\">history</a>");
    return html + QStringLiteral("</td>");
}

// One row: the label links to the server's status page; the cells after it stay empty until
// the script fills them. The row carries what the script asks the service for. `charts`: the
// table has a column of the servers' last day.
QString rowHtml(const GameDescription& game, const ListedServer& server, bool charts) {
    const QString link = statusTarget(game.statusPage, game.statusPage.path, server.host,
                                      server.port, server.webPort);
    QString html = QStringLiteral("<tr data-game=\"") + escapedText(apiName(game)) +
                   QStringLiteral("\" data-host=\"") + escapedText(server.host) +
                   QStringLiteral("\" data-port=\"") + escapedText(server.port) + u'"';
    if (!server.webPort.isEmpty())
        html += QStringLiteral(" data-web-port=\"") + escapedText(server.webPort) + u'"';
    html += QStringLiteral("><td class=\"label\" title=\"") +
            escapedText(server.host + u':' + server.port) + QStringLiteral("\"><a href=\"") +
            escapedText(link) + QStringLiteral("\">") + escapedText(server.label) +
            QStringLiteral("</a></td><td class=\"name\"></td><td class=\"map\"></td>"
                           "<td class=\"players\"></td>");
    if (charts)
        html += historyCell(game, server);
    html += QStringLiteral("<td class=\"ping\"></td><td class=\"state\"></td>");
    if (game.joinPort.favouriteField >= 0) {
        html += QStringLiteral("<td class=\"join\">");
        if (!server.joinAddress.isEmpty())
            html += QStringLiteral("<a href=\"") + escapedText(server.joinAddress) +
                    QStringLiteral("\">Join</a>");
        html += QStringLiteral("</td>");
    }
    return html + QStringLiteral("</tr>");
}

} // namespace

QByteArray startPage(GameKind game, const QList<ListedServer>& servers) {
    const GameDescription& description = describe(game);
    const StartText text = startText(game);
    QString body = QStringLiteral("<h1>") + escapedText(QLatin1String(text.title)) +
                   QStringLiteral("</h1><p>") + escapedText(QLatin1String(text.intro)) +
                   QStringLiteral("</p><p><a class=\"all\" href=\"") +
                   escapedText(QLatin1String(description.listPagePath)) +
                   QStringLiteral("\">All servers</a> ") +
                   escapedText(QLatin1String(text.allServers)) + QStringLiteral("</p>");
    if (servers.isEmpty()) {
        body += QStringLiteral("<p class=\"note\">Servers saved on the Favorite Servers tab "
                               "show here, with their status.</p>");
    } else {
        const bool charts = std::any_of(servers.begin(), servers.end(), [](const ListedServer& s) {
            return !s.sparkline.isEmpty();
        });
        body += QStringLiteral("<table class=\"servers") +
                (charts ? QStringLiteral(" charts") : QString()) +
                QStringLiteral("\"><tr><th>Server</th><th>Name</th>"
                               "<th>Map</th><th class=\"number\">Players</th>");
        if (charts)
            body += QStringLiteral("<th class=\"history\">Last day</th>");
        body += QStringLiteral("<th class=\"number\">Ping</th><th>Status</th>");
        if (description.joinPort.favouriteField >= 0)
            body += QStringLiteral("<th></th>");
        body += QStringLiteral("</tr>");
        for (const ListedServer& server : servers)
            body += rowHtml(description, server, charts);
        body += QStringLiteral("</table><p class=\"note\">A server's name opens its full status. "
                               "The list is asked again every 30 s while it is shown. "
                               "<a href=\"") +
                escapedText(QLatin1String(description.startPagePath)) +
                QStringLiteral("\">Reload</a></p>");
    }
    return scriptedPage(QLatin1String(text.title), body, assets::startPageStyle(), kLiveScriptPath);
}

QByteArray voiceServerPage(const QString& voiceHost) {
    return textPage(
        QStringLiteral("Voice server"),
        {QStringLiteral("Our TeamSpeak 3 server is at %1, on the default port 9987.")
             .arg(voiceHost.isEmpty() ? QStringLiteral("(not set)") : voiceHost),
         QStringLiteral("To talk with us: start TeamSpeak 3, choose Connections, then Connect, "
                        "type the address above as the server address, pick a nickname and "
                        "press Connect.")});
}

} // namespace utq::queryservice::pages
