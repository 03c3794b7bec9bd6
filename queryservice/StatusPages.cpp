#include "queryservice/StatusPages.h"

#include <algorithm>

namespace utq::queryservice::pages {
namespace {

constexpr auto kStyle = R"(
body { background: #001537; color: #fff; font: 13px Tahoma, "DejaVu Sans", sans-serif; margin: 10px; }
h1 { font-size: 18px; margin: 0 0 6px; color: #e0a020; }
h2 { font-size: 14px; margin: 12px 0 4px; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: 2px 6px; border-bottom: 1px solid #24406e; }
th { color: #9fb6dd; }
.facts td:first-child { color: #9fb6dd; width: 9em; }
.note { color: #9fb6dd; font-size: 11px; }
a { color: #78beff; }
.warn { color: #ffb050; }
)";

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

QByteArray document(const QString& title, const QString& body) {
    return (QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\"><title>") +
            escaped(title) + QStringLiteral("</title><style>") + QLatin1String(kStyle) +
            QStringLiteral("</style></head><body>") + body + QStringLiteral("</body></html>"))
        .toUtf8();
}

QString number(const std::optional<int>& value) {
    return value ? QString::number(*value) : QStringLiteral("?");
}

} // namespace

QByteArray errorPage(const QString& title, const QString& explanation) {
    return document(title, QStringLiteral("<h1>") + escaped(title) + QStringLiteral("</h1><p>") +
                               escaped(explanation) + QStringLiteral("</p>"));
}

QByteArray textPage(const QString& title, const QStringList& paragraphs) {
    QString body = QStringLiteral("<h1>") + escaped(title) + QStringLiteral("</h1>");
    for (const QString& paragraph : paragraphs)
        body += QStringLiteral("<p>") + escaped(paragraph) + QStringLiteral("</p>");
    return document(title, body);
}

QByteArray statusPage(const ServerStatus& status, const StatusView& view) {
    const QString name = status.name.isEmpty() ? view.address : status.name;
    QString body = QStringLiteral("<h1>") + escaped(name) + QStringLiteral("</h1>");
    if (view.partial)
        body += QStringLiteral(
            "<p class=\"warn\">Part of the server's answer did not arrive; this is what came.</p>");
    body += QStringLiteral("<table class=\"facts\">");
    const auto fact = [&body](const QString& label, const QString& value) {
        body += QStringLiteral("<tr><td>") + escaped(label) + QStringLiteral("</td><td>") +
                escaped(value) + QStringLiteral("</td></tr>");
    };
    fact(QStringLiteral("Address"), view.address);
    fact(QStringLiteral("Map"), status.map);
    fact(QStringLiteral("Game type"), status.gameType);
    fact(QStringLiteral("Players"),
         number(status.players) + QStringLiteral(" / ") + number(status.maxPlayers));
    body += QStringLiteral("</table>");

    QList<PlayerStatus> players = status.playerList;
    std::stable_sort(players.begin(), players.end(),
                     [](const PlayerStatus& a, const PlayerStatus& b) {
                         return a.score.value_or(0) > b.score.value_or(0);
                     });
    body += QStringLiteral("<h2>Players</h2>");
    if (players.isEmpty()) {
        body += QStringLiteral("<p class=\"note\">Nobody is playing.</p>");
    } else {
        body +=
            QStringLiteral("<table><tr><th>Name</th><th>Score</th><th>Ping</th><th>Team</th></tr>");
        for (const PlayerStatus& p : players)
            body += QStringLiteral("<tr><td>") + escaped(p.name) + QStringLiteral("</td><td>") +
                    number(p.score) + QStringLiteral("</td><td>") + number(p.ping) +
                    QStringLiteral("</td><td>") + escaped(p.team) + QStringLiteral("</td></tr>");
        body += QStringLiteral("</table>");
    }
    if (!status.rules.isEmpty()) {
        body += QStringLiteral("<h2>Rules</h2><table class=\"facts\">");
        for (const auto& [key, value] : status.rules)
            fact(key, value);
        body += QStringLiteral("</table>");
    }
    body += QStringLiteral("<p class=\"note\">%1 game server, asked at %2")
                .arg(escaped(view.game),
                     view.queriedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (view.roundTripMs >= 0)
        body += QStringLiteral(", answered in %1 ms").arg(view.roundTripMs);
    body += QStringLiteral(". <a href=\"") + escaped(view.refreshTarget) +
            QStringLiteral("\">Refresh</a></p>");
    return document(name, body);
}

} // namespace utq::queryservice::pages
