#include "queryservice/pages/ListPages.h"

#include "queryservice/pages/Assets.h"
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StatusJson.h"
#include "queryservice/pages/StatusPages.h"

#include <QLocale>

#include <algorithm>

namespace utq::queryservice::pages {
namespace {

QString count(qsizetype number) { return QLocale(QLocale::English).toString(number); }

// What a row not answered shows where its map would be.
QString stateText(const QString& state) {
    if (state == QLatin1String("waiting"))
        return QStringLiteral("waiting");
    if (state == QLatin1String("no-answer"))
        return QStringLiteral("no answer");
    if (state == QLatin1String("refused"))
        return QStringLiteral("not asked from here");
    if (state == QLatin1String("busy"))
        return QStringLiteral("service busy");
    return state;
}

QString cell(const char* kind, const QString& html) {
    return QStringLiteral("<td class=\"") + QLatin1String(kind) + QStringLiteral("\">") + html +
           QStringLiteral("</td>");
}

// A watched server's last day, a link to its history; empty for a server not watched.
QString historyHtml(const ListView& view, const QString& host, int queryPort) {
    const auto sparkline = view.sparklines.constFind(host + u':' + QString::number(queryPort));
    if (sparkline == view.sparklines.cend())
        return {};
    return QStringLiteral("<a href=\"") +
           escapedText(historyTarget(*view.game, host, queryPort - view.game->queryPortOffset)) +
           QStringLiteral("\">") + QString::fromUtf8(*sparkline) + QStringLiteral("</a>");
}

constexpr qsizetype kRowsPerTable = 100;
constexpr int kRowPx = 21; // a row of one line, as list-page.css draws it

QString rowHtml(const ListView& view, const ListRow& row) {
    const GameDescription& game = *view.game;
    const bool answered = row.state == QLatin1String("up") || row.state == QLatin1String("partial");
    const QString address = row.host + u':' + QString::number(row.queryPort);
    const QString link = statusTarget(game.statusPage, game.statusPage.path, row.host,
                                      QString::number(row.queryPort - game.queryPortOffset));
    QString html = QStringLiteral("<tr class=\"") +
                   (answered ? QStringLiteral("up") : QStringLiteral("down")) +
                   QStringLiteral("\" data-host=\"") + escapedText(row.host) +
                   QStringLiteral("\" data-port=\"") + QString::number(row.queryPort) +
                   QStringLiteral("\">");
    html += cell("name",
                 QStringLiteral("<a href=\"") + escapedText(link) + QStringLiteral("\" title=\"") +
                     escapedText(address) + QStringLiteral("\">") +
                     escapedText(row.name.isEmpty() ? address : row.name) + QStringLiteral("</a>"));
    html += cell("map", answered ? escapedText(row.map) : escapedText(stateText(row.state)));
    html += cell("type", escapedText(row.gameType));
    html += cell("players", row.playersNow ? QString::number(*row.playersNow) + u'/' +
                                                 (row.playersMax ? QString::number(*row.playersMax)
                                                                 : QStringLiteral("?"))
                                           : QString());
    if (!view.sparklines.isEmpty())
        html += cell("history", historyHtml(view, row.host, row.queryPort));
    html += cell("ping", row.roundTripMs >= 0 ? QString::number(row.roundTripMs) : QString());
    html += cell("sources", escapedText(row.sources.join(QStringLiteral(", "))));
    if (!view.joinTemplate.isEmpty()) {
        QString join;
        if (row.gamePort)
            join = QStringLiteral("<a href=\"") +
                   escapedText(QString(view.joinTemplate)
                                   .replace(QLatin1String(kHostPlaceHolder), row.host)
                                   .replace(QLatin1String(kPortPlaceHolder),
                                            QString::number(*row.gamePort))) +
                   QStringLiteral("\">Join</a>");
        html += cell("join", join);
    }
    return html + QStringLiteral("</tr>");
}

QString sourceHtml(const ListSource& source) {
    return QStringLiteral("<span class=\"source ") + escapedText(source.state) +
           QStringLiteral("\">") + escapedText(source.name) + QStringLiteral(": ") +
           escapedText(source.text) + QStringLiteral("</span>");
}

} // namespace

QByteArray listPage(const ListView& view) {
    const GameDescription& game = *view.game;
    const QString title = QLatin1String(game.name) + QStringLiteral(" servers");
    QStringList sources;
    for (const ListSource& master : view.masters)
        sources.append(sourceHtml(master));
    sources.append(sourceHtml(view.lan));
    QString body = QStringLiteral("<h1>") + escapedText(title) +
                   QStringLiteral("</h1><p class=\"sources\" id=\"sources\">") +
                   sources.join(QStringLiteral(" &middot; ")) + QStringLiteral("</p>");
    for (const QString& entry : view.malformedMasters)
        body += QStringLiteral("<p class=\"warn\">The settings name \"") + escapedText(entry) +
                QStringLiteral("\" as a master, which is no HOST:PORT; it was skipped.</p>");

    qsizetype asked = 0, answered = 0, withPlayers = 0;
    for (const ListRow& row : view.rows) {
        asked += row.state != QLatin1String("waiting");
        const bool up = row.state == QLatin1String("up") || row.state == QLatin1String("partial");
        answered += up;
        withPlayers += up && row.playersNow.value_or(0) > 0;
    }
    body += QStringLiteral("<p class=\"note\" id=\"progress\">") + count(view.rows.size()) +
            QStringLiteral(" servers: ") + count(asked) + QStringLiteral(" asked, ") +
            count(answered) + QStringLiteral(" answered, ") + count(withPlayers) +
            QStringLiteral(" with players.") +
            (view.complete ? QString() : QStringLiteral(" Asking\u2026")) + QStringLiteral("</p>");
    body += QStringLiteral(
        "<p id=\"filters\" hidden><label><input type=\"checkbox\" id=\"hide-empty\"> Hide "
        "empty</label> <label><input type=\"checkbox\" id=\"hide-full\"> Hide full</label> "
        "<input type=\"search\" id=\"filter-text\" placeholder=\"Name, map or game type\"></p>");
    const QString statusTemplate =
        statusTarget(game.statusPage, game.statusPage.path, QLatin1String(kHostPlaceHolder),
                     QLatin1String(kPortPlaceHolder));
    const bool charts = !view.sparklines.isEmpty();
    body += QStringLiteral("<table class=\"list heads") +
            (charts ? QStringLiteral(" charts") : QString()) + QStringLiteral("\" data-game=\"") +
            escapedText(apiName(game)) + QStringLiteral("\" data-port-offset=\"") +
            QString::number(game.queryPortOffset) + QStringLiteral("\" data-status=\"") +
            escapedText(statusTemplate) + QStringLiteral("\" data-join=\"") +
            escapedText(view.joinTemplate) +
            QStringLiteral("\"><thead><tr><th data-key=\"name\">Name</th>"
                           "<th data-key=\"map\">Map</th><th data-key=\"gameType\">Game type</th>"
                           "<th data-key=\"players\" class=\"number\">Players</th>");
    if (charts)
        body += QStringLiteral("<th class=\"history\">Last day</th>");
    body += QStringLiteral("<th data-key=\"ping\" class=\"number\">Ping</th>"
                           "<th data-key=\"sources\">Found by</th>");
    if (!view.joinTemplate.isEmpty())
        body += QStringLiteral("<th class=\"join\"></th>");
    // The rows stand in tables of a hundred under the heads' table, each in a box that the
    // engine lays out and paints only near the view (list-page.css), its height told ahead.
    body += QStringLiteral("</tr></thead></table><div class=\"chunks\">");
    for (qsizetype first = 0; first < view.rows.size(); first += kRowsPerTable) {
        const qsizetype count = std::min(kRowsPerTable, view.rows.size() - first);
        body += QStringLiteral("<div style=\"contain-intrinsic-height: %1px\"><table class=\"list")
                    .arg(count * kRowPx) +
                (charts ? QStringLiteral(" charts") : QString()) + QStringLiteral("\"><tbody>");
        for (const ListRow& row : view.rows.mid(first, count))
            body += rowHtml(view, row);
        body += QStringLiteral("</tbody></table></div>");
    }
    body += QStringLiteral("</div>");
    // What the script puts in a row's history cell: the service's own markup, never the API's.
    QStringList watched = view.sparklines.keys();
    watched.sort();
    for (const QString& server : watched) {
        const qsizetype colon = server.lastIndexOf(u':');
        body += QStringLiteral("<template data-server=\"") + escapedText(server) +
                QStringLiteral("\">") +
                historyHtml(view, server.left(colon), server.mid(colon + 1).toInt()) +
                QStringLiteral("</template>");
    }
    body += QStringLiteral("<p class=\"note\">A server's name opens its full "
                           "status. <a href=\"") +
            escapedText(QLatin1String(game.startPagePath)) +
            QStringLiteral("\">Back to the start page</a></p>");
    return scriptedPage(title, body, assets::listPageStyle(), kListScriptPath);
}

} // namespace utq::queryservice::pages
