#include "queryservice/pages/StatusPages.h"

#include "base/Utf16.h"
#include "queryservice/pages/Assets.h"

#include <QtGlobal>

#include <algorithm>

namespace utq::queryservice::pages {

using protocols::PlayerStatus;
using protocols::Rgb;
using protocols::ServerStatus;
using protocols::TeamScore;
using protocols::TextRun;
using protocols::TextRuns;

QString withoutControls(const QString& text) {
    // The readers replace lone surrogates already; none may reach a page or JSON all the same.
    const QString wellFormed = utf16::wellFormed(text);
    QString clean;
    clean.reserve(wellFormed.size());
    for (const QChar c : wellFormed) {
        if (c == u'\t')
            clean += u' ';
        else if (c >= u' ' && (c < u'\x7f' || c > u'\x9f'))
            clean += c;
    }
    return clean;
}

QString escapedText(const QString& text) { return withoutControls(text).toHtmlEscaped(); }

namespace {

// The house style and then `style`; one script of this service's own where `scriptPath` says.
QByteArray document(const QString& title, const QString& body, const QString& style = {},
                    const char* scriptPath = nullptr) {
    QString head = QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\"><title>") +
                   escapedText(title) + QStringLiteral("</title><style>") + assets::pageStyle() +
                   style + QStringLiteral("</style>");
    if (scriptPath)
        head += QStringLiteral("<script src=\"") + escapedText(QLatin1String(scriptPath)) +
                QStringLiteral("\" defer></script>");
    return (head + QStringLiteral("</head><body>") + body + QStringLiteral("</body></html>"))
        .toUtf8();
}

// How bright a colour looks, 0 to 255.
int brightness(const Rgb& c) { return (299 * c.red + 587 * c.green + 114 * c.blue) / 1000; }

// A colour in HSL, worked out step for step as Qt's colour class works it out (it drew these pages
// before), so that names keep the very colours they had: each component is held in 16 bits, 0 to
// 65535, between the steps, and in floats while converted.
struct Hsl {
    int hue;        // whole degrees, 0 to 359; -1 for a grey, which has none
    int saturation; // 0 to 255
    int lightness;  // 0 to 255
};

constexpr float kFull = 65535.0f; // the largest 16-bit component

// A value from 0 to 1 in 16 bits, rounded, and wrapped as a 16-bit store wraps it: a saturation a
// hair above 1 becomes 0, as it did before.
int sixteenBits(float value) { return static_cast<quint16>(qRound(value * kFull)); }
quint8 eightBits(int sixteen) { return static_cast<quint8>((sixteen + 128) / 257); }
float unit(quint8 value) { return static_cast<float>(value * 257) / kFull; }

Hsl toHsl(const Rgb& c) {
    const float r = unit(c.red);
    const float g = unit(c.green);
    const float b = unit(c.blue);
    const float max = std::max({r, g, b});
    const float min = std::min({r, g, b});
    const float delta = max - min;
    const float delta2 = max + min;
    const float lightness = 0.5f * delta2;
    Hsl hsl{-1, 0, eightBits(sixteenBits(lightness))};
    if (max == min)
        return hsl;
    hsl.saturation = eightBits(sixteenBits(delta / (lightness < 0.5f ? delta2 : 2.0f - delta2)));
    float hue = r == max   ? (g - b) / delta
                : g == max ? 2.0f + (b - r) / delta
                           : 4.0f + (r - g) / delta;
    hue *= 60.0f;
    if (hue < 0.0f)
        hue += 360.0f;
    hsl.hue = qRound(hue * 100.0f) / 100 % 360; // 359.995 degrees and up round to 0
    return hsl;
}

Rgb toRgb(const Hsl& hsl) {
    const int light = hsl.lightness * 257;
    if (hsl.saturation == 0 || hsl.hue < 0) {
        const quint8 grey = eightBits(light);
        return {grey, grey, grey};
    }
    if (light == 0)
        return {};
    const float h = static_cast<float>(hsl.hue * 100) / 36000.0f;
    const float s = static_cast<float>(hsl.saturation * 257) / kFull;
    const float l = static_cast<float>(light) / kFull;
    const float temp2 = l < 0.5f ? l * (1.0f + s) : l + s - (l * s);
    const float temp1 = (2.0f * l) - temp2;
    // One component, from the hue moved by a third of the circle for red, not for green, back a
    // third for blue.
    const auto component = [temp1, temp2](float t) {
        if (t < 0.0f)
            t += 1.0f;
        else if (t > 1.0f)
            t -= 1.0f;
        const float sixT = t * 6.0f;
        float value = temp1;
        if (sixT < 1.0f)
            value = temp1 + (temp2 - temp1) * sixT;
        else if ((t * 2.0f) < 1.0f)
            value = temp2;
        else if ((t * 3.0f) < 2.0f)
            value = temp1 + (temp2 - temp1) * (2.0f / 3.0f - t) * 6.0f;
        const int sixteen = sixteenBits(value);
        return eightBits(sixteen == 1 ? 0 : sixteen);
    };
    return {component(h + (1.0f / 3.0f)), component(h), component(h - (1.0f / 3.0f))};
}

// The colour, made lighter (its hue and saturation kept) until it reads on the page's navy.
Rgb readableOnNavy(Rgb colour) {
    constexpr int kLeast = 110;
    Hsl hsl = toHsl(colour);
    while (brightness(colour) < kLeast && hsl.lightness < 255) {
        hsl.lightness = std::min(255, hsl.lightness + 15);
        colour = toRgb(hsl);
    }
    return colour;
}

QString cssColour(const Rgb& c) {
    return QString::asprintf("#%02x%02x%02x", c.red, c.green, c.blue);
}

// A name as HTML: escaped, and in coloured runs when it has them. Colours too dark for the navy
// page are lifted so the text stays readable.
QString nameHtml(const QString& name, const TextRuns& runs) {
    if (runs.isEmpty())
        return escapedText(name);
    QString html;
    for (const TextRun& run : runs) {
        const QString text = escapedText(run.text);
        if (!run.colour || text.isEmpty()) {
            html += text;
            continue;
        }
        html += QStringLiteral("<span style=\"color:%1\">")
                    .arg(cssColour(readableOnNavy(*run.colour))) +
                text + QStringLiteral("</span>");
    }
    return html;
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
    return document(title, QStringLiteral("<h1>") + escapedText(title) +
                               QStringLiteral("</h1><p>") + escapedText(explanation) +
                               QStringLiteral("</p>"));
}

QByteArray textPage(const QString& title, const QStringList& paragraphs, const QList<Link>& links) {
    QString body = QStringLiteral("<h1>") + escapedText(title) + QStringLiteral("</h1>");
    for (const QString& paragraph : paragraphs)
        if (!paragraph.isEmpty())
            body += QStringLiteral("<p>") + escapedText(paragraph) + QStringLiteral("</p>");
    if (!links.isEmpty()) {
        body += QStringLiteral("<ul>");
        for (const Link& link : links)
            body += QStringLiteral("<li><a href=\"") + escapedText(link.target) +
                    QStringLiteral("\">") + escapedText(link.text) + QStringLiteral("</a></li>");
        body += QStringLiteral("</ul>");
    }
    return document(title, body);
}

QByteArray statusPage(const ServerStatus& status, const StatusView& view) {
    const QString plain = withoutControls(status.name);
    const bool named = !plain.trimmed().isEmpty();
    const QString title = named ? plain : view.address;
    QString body = QStringLiteral("<h1>") +
                   (named ? nameHtml(status.name, status.nameRuns) : escapedText(view.address)) +
                   QStringLiteral("</h1>");
    if (!view.note.isEmpty())
        body +=
            QStringLiteral("<p class=\"warn\">") + escapedText(view.note) + QStringLiteral("</p>");
    if (view.partial)
        body += QStringLiteral(
            "<p class=\"warn\">Part of the server's answer did not arrive; this is what came.</p>");
    body += QStringLiteral("<table class=\"facts\">");
    const auto fact = [&body](const QString& label, const QString& value) {
        body += QStringLiteral("<tr><td>") + escapedText(label) + QStringLiteral("</td><td>") +
                escapedText(value) + QStringLiteral("</td></tr>");
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
            body += QStringLiteral("<tr><td>") + nameHtml(p.name, p.nameRuns) +
                    QStringLiteral("</td><td>") + number(p.score) + QStringLiteral("</td><td>") +
                    number(p.ping) + QStringLiteral("</td><td>") + escapedText(p.team) +
                    QStringLiteral("</td></tr>");
        body += QStringLiteral("</table>");
    }
    if (!status.spectators.isEmpty()) {
        body += QStringLiteral("<h2>Spectators</h2><table><tr><th>Name</th><th>Ping</th></tr>");
        for (const PlayerStatus& p : status.spectators)
            body += QStringLiteral("<tr><td>") + nameHtml(p.name, p.nameRuns) +
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
                .arg(escapedText(view.game),
                     view.queriedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (view.roundTripMs >= 0)
        body += QStringLiteral(", answered in %1 ms").arg(view.roundTripMs);
    body += QStringLiteral(". <a href=\"") + escapedText(view.refreshTarget) +
            QStringLiteral("\">Refresh</a>");
    if (!view.webStatistics.isEmpty())
        body += QStringLiteral(" &middot; <a href=\"") + escapedText(view.webStatistics) +
                QStringLiteral("\">The server's web statistics</a>");
    if (!view.historyTarget.isEmpty())
        body += QStringLiteral(" &middot; <a href=\"") + escapedText(view.historyTarget) +
                QStringLiteral("\">How busy it was</a>");
    body += QStringLiteral("</p>");
    return document(title, body);
}

QByteArray scriptedPage(const QString& title, const QString& bodyHtml, const QString& style,
                        const char* scriptPath) {
    return document(title, bodyHtml, style, scriptPath);
}

} // namespace utq::queryservice::pages
