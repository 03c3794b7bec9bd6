#include "queryservice/StatusPages.h"

#include "queryservice/Ut2004Protocol.h"

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

// Control characters (C0, DEL and C1) that a server put in its texts show nothing useful and
// have no place in a page; a tab becomes a blank.
QString withoutControls(const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\t')
            clean += u' ';
        else if (c >= u' ' && (c < u'\x7f' || c > u'\x9f'))
            clean += c;
    }
    return clean;
}

QString escaped(const QString& text) { return withoutControls(text).toHtmlEscaped(); }

QByteArray document(const QString& title, const QString& body) {
    return (QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\"><title>") +
            escaped(title) + QStringLiteral("</title><style>") + QLatin1String(kStyle) +
            QStringLiteral("</style></head><body>") + body + QStringLiteral("</body></html>"))
        .toUtf8();
}

// How bright a colour looks, 0 to 255.
int brightness(const QColor& c) {
    return (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
}

// The colour, made lighter (its hue kept) until it reads on the page's navy.
QColor readableOnNavy(QColor colour) {
    constexpr int kLeast = 110;
    for (int lightness = colour.lightness(); brightness(colour) < kLeast && lightness < 255;) {
        lightness = std::min(255, lightness + 15);
        colour = QColor::fromHsl(colour.hslHue(), colour.hslSaturation(), lightness);
    }
    return colour;
}

// A name as HTML: escaped, and with colour codes (when it has them) as coloured runs. Colours too
// dark for the navy page are lifted so the text stays readable.
QString nameHtml(const QString& name, bool colourCodes) {
    if (!colourCodes)
        return escaped(name);
    QString html;
    for (const ut2004::ColourRun& run : ut2004::colourRuns(name)) {
        const QString text = escaped(run.text);
        if (!run.colour || text.isEmpty()) {
            html += text;
            continue;
        }
        const QColor colour = readableOnNavy(*run.colour);
        html += QStringLiteral("<span style=\"color:%1\">").arg(colour.name()) + text +
                QStringLiteral("</span>");
    }
    return html;
}

QString plainName(const QString& name, bool colourCodes) {
    return withoutControls(colourCodes ? ut2004::withoutColourCodes(name) : name);
}

QString number(const std::optional<int>& value) {
    return value ? QString::number(*value) : QStringLiteral("?");
}

// The map's file name, which players look for, and its title when it says more.
QString mapText(const ServerStatus& status) {
    const QString title = status.mapTitle.trimmed();
    if (title.isEmpty() || title.compare(status.map.trimmed(), Qt::CaseInsensitive) == 0)
        return status.map;
    return status.map + QStringLiteral(" (") + title + QStringLiteral(")");
}

} // namespace

QByteArray errorPage(const QString& title, const QString& explanation) {
    return document(title, QStringLiteral("<h1>") + escaped(title) + QStringLiteral("</h1><p>") +
                               escaped(explanation) + QStringLiteral("</p>"));
}

QByteArray textPage(const QString& title, const QStringList& paragraphs, const QList<Link>& links) {
    QString body = QStringLiteral("<h1>") + escaped(title) + QStringLiteral("</h1>");
    for (const QString& paragraph : paragraphs)
        if (!paragraph.isEmpty())
            body += QStringLiteral("<p>") + escaped(paragraph) + QStringLiteral("</p>");
    if (!links.isEmpty()) {
        body += QStringLiteral("<ul>");
        for (const Link& link : links)
            body += QStringLiteral("<li><a href=\"") + escaped(link.target) +
                    QStringLiteral("\">") + escaped(link.text) + QStringLiteral("</a></li>");
        body += QStringLiteral("</ul>");
    }
    return document(title, body);
}

QByteArray statusPage(const ServerStatus& status, const StatusView& view) {
    const QString plain = plainName(status.name, view.colourCodes);
    const bool named = !plain.trimmed().isEmpty();
    const QString title = named ? plain : view.address;
    QString body = QStringLiteral("<h1>") +
                   (named ? nameHtml(status.name, view.colourCodes) : escaped(view.address)) +
                   QStringLiteral("</h1>");
    if (view.partial)
        body += QStringLiteral(
            "<p class=\"warn\">Part of the server's answer did not arrive; this is what came.</p>");
    body += QStringLiteral("<table class=\"facts\">");
    const auto fact = [&body](const QString& label, const QString& value) {
        body += QStringLiteral("<tr><td>") + escaped(label) + QStringLiteral("</td><td>") +
                escaped(value) + QStringLiteral("</td></tr>");
    };
    fact(QStringLiteral("Address"), view.address);
    fact(QStringLiteral("Map"), mapText(status));
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
    if (players.isEmpty() && status.players.value_or(0) > status.spectators.size()) {
        body += QStringLiteral("<p class=\"note\">The server did not list its players.</p>");
    } else if (players.isEmpty()) {
        body += QStringLiteral("<p class=\"note\">Nobody is playing.</p>");
    } else {
        body +=
            QStringLiteral("<table><tr><th>Name</th><th>Score</th><th>Ping</th><th>Team</th></tr>");
        for (const PlayerStatus& p : players)
            body += QStringLiteral("<tr><td>") + nameHtml(p.name, view.colourCodes) +
                    QStringLiteral("</td><td>") + number(p.score) + QStringLiteral("</td><td>") +
                    number(p.ping) + QStringLiteral("</td><td>") + escaped(p.team) +
                    QStringLiteral("</td></tr>");
        body += QStringLiteral("</table>");
    }
    if (!status.spectators.isEmpty()) {
        body += QStringLiteral("<h2>Spectators</h2><table><tr><th>Name</th><th>Ping</th></tr>");
        for (const PlayerStatus& p : status.spectators)
            body += QStringLiteral("<tr><td>") + nameHtml(p.name, view.colourCodes) +
                    QStringLiteral("</td><td>") + number(p.ping) + QStringLiteral("</td></tr>");
        body += QStringLiteral("</table>");
    }
    if (!status.teams.isEmpty()) {
        body += QStringLiteral("<h2>Teams</h2><table class=\"facts\">");
        for (const TeamScore& team : status.teams)
            fact(team.team, number(team.score));
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
            QStringLiteral("\">Refresh</a>");
    if (!view.webStatistics.isEmpty())
        body += QStringLiteral(" &middot; <a href=\"") + escaped(view.webStatistics) +
                QStringLiteral("\">The server's web statistics</a>");
    body += QStringLiteral("</p>");
    return document(title, body);
}

} // namespace utq::queryservice::pages
