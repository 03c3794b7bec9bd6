#include "queryservice/pages/Assets.h"
#include "queryservice/pages/HistoryChart.h"
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StatusJson.h"
#include "queryservice/pages/StatusPages.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace utq::queryservice::pages {
namespace {

constexpr int kChartWidth = 720;
constexpr int kChartHeight = 200;
// A year of hours would be 8,760 points; no chart 720 units wide shows more than this.
constexpr int kMostDrawn = 720;
// The maps a page lists; the API has them all.
constexpr int kMostMaps = 30;
constexpr qint64 kHourMs = 3600000;
constexpr qint64 kDayMs = 24 * kHourMs;

constexpr HistoryRange kRanges[] = {HistoryRange::Day, HistoryRange::Week, HistoryRange::Month,
                                    HistoryRange::Year};

QString rangeText(HistoryRange range) {
    switch (range) {
    case HistoryRange::Day:
        return QStringLiteral("24 hours");
    case HistoryRange::Week:
        return QStringLiteral("7 days");
    case HistoryRange::Month:
        return QStringLiteral("30 days");
    case HistoryRange::Year:
        return QStringLiteral("year");
    }
    return {};
}

QDateTime utc(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); }

// A time as the page says it in UTC; the page's script says it again in the viewer's zone.
QString timeHtml(qint64 ms) {
    const QDateTime time = utc(ms);
    return QStringLiteral("<time datetime=\"") + time.toString(Qt::ISODate) +
           QStringLiteral("\">") + time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
           QStringLiteral(" UTC</time>");
}

QString durationText(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(std::max<qint64>(0, seconds));
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    const qint64 hours = minutes / 60;
    if (hours < 48)
        return minutes % 60 ? QStringLiteral("%1 h %2 min").arg(hours).arg(minutes % 60)
                            : QStringLiteral("%1 h").arg(hours);
    return hours % 24 ? QStringLiteral("%1 d %2 h").arg(hours / 24).arg(hours % 24)
                      : QStringLiteral("%1 d").arg(hours / 24);
}

QString decimal(double value) {
    if (!std::isfinite(value))
        value = 0;
    return QLocale(QLocale::English).toString(value, 'f', value == qint64(value) ? 0 : 1);
}

QString hostAndPort(const HistoryView& view) {
    const QString host = view.host.contains(u':') ? u'[' + view.host + u']' : view.host;
    return host + u':' + QString::number(view.port);
}

// The axis's labels: where they stand, and how the script words them in the viewer's zone
// ("hm", "wd", "dm", "m"), matched by the UTC text written here.
struct Tick {
    qint64 ms;
    const char* style;
    QString text;
};

QList<Tick> ticksOf(HistoryRange range, qint64 fromMs, qint64 toMs) {
    QList<Tick> ticks;
    const auto add = [&](qint64 ms, const char* style, const char* format) {
        ticks.append({ms, style, utc(ms).toString(QLatin1String(format))});
    };
    if (range == HistoryRange::Year) {
        const QDate first = utc(fromMs).date();
        for (QDate month(first.year(), first.month(), 1); ticks.size() < 40;
             month = month.addMonths(1)) {
            const qint64 ms = QDateTime(month, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
            if (ms > toMs)
                break;
            if (ms >= fromMs)
                add(ms, "m", "MMM");
        }
        return ticks;
    }
    const qint64 every = range == HistoryRange::Day    ? 3 * kHourMs
                         : range == HistoryRange::Week ? kDayMs
                                                       : 5 * kDayMs;
    const qint64 first = (fromMs + every - 1) / every * every;
    for (qint64 ms = first; ms <= toMs && ticks.size() < 40; ms += every) {
        if (range == HistoryRange::Day)
            add(ms, "hm", "HH:mm");
        else if (range == HistoryRange::Week)
            add(ms, "wd", "ddd d");
        else
            add(ms, "dm", "d MMM");
    }
    return ticks;
}

QString chartSvg(const HistoryView& view) {
    const qint64 fromMs = view.fromMs;
    const qint64 toMs = std::max(view.toMs, view.fromMs + 1);
    qint64 step = chart::stepOf(view.points, 0, fromMs, toMs);
    const QList<HistoryPoint> points = chart::thinned(view.points, fromMs, toMs, kMostDrawn, step);
    int most = std::max(1, view.playersPeak);
    for (const HistoryPoint& point : points)
        most = std::max(most, point.playersPeak);
    const chart::Scale scale{
        {34, 10, kChartWidth - 44, kChartHeight - 40}, fromMs, toMs, double(most)};
    const chart::Box& box = scale.box;
    using chart::number;

    QString svg =
        QStringLiteral("<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                       "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\"><title>")
            .arg(kChartWidth)
            .arg(kChartHeight) +
        escapedText(QStringLiteral("Players in the last %1: peak %2, mean %3")
                        .arg(rangeText(view.range))
                        .arg(view.playersPeak)
                        .arg(decimal(view.playersMean))) +
        QStringLiteral("</title><g stroke=\"#24406e\" stroke-width=\"1\">");
    const QList<Tick> ticks = ticksOf(view.range, fromMs, toMs);
    for (const Tick& tick : ticks)
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"/>")
                   .arg(number(scale.x(tick.ms)), number(box.top), number(box.bottom()));
    svg += QStringLiteral("<line x1=\"%1\" y1=\"%3\" x2=\"%2\" y2=\"%3\"/>"
                          "<line x1=\"%1\" y1=\"%4\" x2=\"%2\" y2=\"%4\"/></g>")
               .arg(number(box.left), number(box.right()), number(box.top), number(box.bottom()));

    for (const chart::Run& run : chart::runsOf(points, step)) {
        if (!run.up) {
            const double start = chart::runStart(scale, points, run);
            svg += QStringLiteral("<rect class=\"down\" fill=\"#ff6060\" x=\"%1\" y=\"%2\" "
                                  "width=\"%3\" height=\"3\"/>")
                       .arg(number(start), number(box.bottom() + 1),
                            number(std::max(0.5, chart::runEnd(scale, points, run, step) - start)));
            continue;
        }
        svg += QStringLiteral("<polygon fill=\"#78beff\" fill-opacity=\"0.3\" points=\"") +
               chart::areaPoints(scale, points, run, step, true) +
               QStringLiteral("\"/><polyline fill=\"none\" stroke=\"#e0a020\" "
                              "stroke-width=\"1.5\" points=\"") +
               chart::linePoints(scale, points, run, step, false) + QStringLiteral("\"/>");
    }

    // The range's peak and mean across the chart, labelled at its right end.
    svg += QStringLiteral("<g font-size=\"11\" fill=\"#9fb6dd\" stroke-dasharray=\"4 3\">");
    const auto level = [&](double players, const QString& label, const char* colour) {
        const double y = scale.y(players);
        svg += QStringLiteral("<line stroke=\"%1\" x1=\"%2\" y1=\"%3\" x2=\"%4\" y2=\"%3\"/>"
                              "<text x=\"%4\" y=\"%5\" text-anchor=\"end\">%6</text>")
                   .arg(QLatin1String(colour), number(box.left), number(y), number(box.right()),
                        number(std::max(box.top + 9, y - 3)), escapedText(label));
    };
    if (!view.points.isEmpty()) {
        level(view.playersPeak, QStringLiteral("peak %1").arg(view.playersPeak), "#78beff");
        level(view.playersMean, QStringLiteral("mean %1").arg(decimal(view.playersMean)),
              "#e0a020");
    }
    svg += QStringLiteral("</g><g font-size=\"11\" fill=\"#9fb6dd\">"
                          "<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>"
                          "<text x=\"%1\" y=\"%4\" text-anchor=\"end\">0</text>")
               .arg(number(box.left - 4), number(box.top + 4), QString::number(most),
                    number(box.bottom()));
    for (const Tick& tick : ticks) {
        const double x = scale.x(tick.ms);
        if (x < box.left + 12 || x > box.right() - 12)
            continue; // a label at the edge would be cut
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\" data-time=\"%3\" "
                              "data-style=\"%4\">%5</text>")
                   .arg(number(x), number(box.bottom() + 18), utc(tick.ms).toString(Qt::ISODate),
                        QLatin1String(tick.style), escapedText(tick.text));
    }
    if (view.points.isEmpty())
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">No samples in this "
                              "range yet</text>")
                   .arg(number(box.left + box.width / 2), number(box.top + box.height / 2));
    return svg + QStringLiteral("</g></svg>");
}

QString rangeLinks(const HistoryView& view) {
    QString html = QStringLiteral("<p class=\"ranges\">Players over the last ");
    bool first = true;
    for (const HistoryRange range : kRanges) {
        if (!first)
            html += QStringLiteral(" &middot; ");
        first = false;
        const bool current = range == view.range;
        html += QStringLiteral("<a href=\"") +
                escapedText(historyTarget(*view.game, view.host, view.port, range)) + u'"' +
                (current ? QStringLiteral(" class=\"current\" aria-current=\"page\"") : QString()) +
                u'>' + escapedText(rangeText(range)) + QStringLiteral("</a>");
    }
    return html + QStringLiteral("</p>");
}

QString summaryHtml(const HistoryView& view) {
    if (view.points.isEmpty())
        return QStringLiteral("<p class=\"note\">No samples in this range yet.</p>");
    const auto fact = [](const QString& label, const QString& value) {
        return QStringLiteral("<tr><td>") + escapedText(label) + QStringLiteral("</td><td>") +
               escapedText(value) + QStringLiteral("</td></tr>");
    };
    QString html =
        QStringLiteral("<table class=\"facts\">") +
        fact(QStringLiteral("Mean players"), decimal(view.playersMean)) +
        fact(QStringLiteral("Peak players"), QString::number(view.playersPeak)) +
        fact(QStringLiteral("Answering"), decimal(std::clamp(view.upShare, 0.0, 1.0) * 100) +
                                              QStringLiteral(" % of the times asked")) +
        QStringLiteral("</table><h2>Maps played</h2>");
    if (view.maps.isEmpty())
        return html + QStringLiteral("<p class=\"note\">No map was seen.</p>");
    html += QStringLiteral("<table class=\"facts maps\">");
    qint64 restSeconds = 0;
    for (qsizetype i = 0; i < view.maps.size(); ++i) {
        if (i < kMostMaps)
            html += fact(view.maps[i].map, durationText(view.maps[i].seconds));
        else
            restSeconds += view.maps[i].seconds;
    }
    html += QStringLiteral("</table>");
    if (view.maps.size() > kMostMaps)
        html += QStringLiteral("<p class=\"note\">%1 more maps, %2 together.</p>")
                    .arg(view.maps.size() - kMostMaps)
                    .arg(escapedText(durationText(restSeconds)));
    return html;
}

} // namespace

QByteArray historyPage(const HistoryView& view) {
    if (!view.game)
        return errorPage(QStringLiteral("No such game"),
                         QStringLiteral("A server's history needs its game: ut99, ut2004 or ut3."));
    const GameDescription& game = *view.game;
    const QString address = hostAndPort(view);
    const QString title = QLatin1String(game.name) + QStringLiteral(" server ") + address;
    QString body = QStringLiteral("<h1>") + escapedText(title) + QStringLiteral("</h1>");
    if (!view.problem.isEmpty())
        body += QStringLiteral("<p class=\"warn problem\">") + escapedText(view.problem) +
                QStringLiteral("</p>");
    if (!view.watched)
        body += QStringLiteral("<p class=\"warn\">This server is not watched; its history starts "
                               "when it is a favourite or a clan server.</p>");
    body +=
        rangeLinks(view) + QStringLiteral("<figure>") + chartSvg(view) +
        QStringLiteral("<figcaption class=\"note\">From ") + timeHtml(view.fromMs) +
        QStringLiteral(" to ") + timeHtml(view.toMs) +
        QStringLiteral(". <span id=\"zone\">Times are in UTC.</span> Blue: the most players "
                       "at once; yellow: players on average; red: the server did not "
                       "answer; blank: it was not asked.</figcaption></figure><h2>Summary</h2>") +
        summaryHtml(view);
    const QString status =
        statusTarget(game.statusPage, game.statusPage.path, view.host, QString::number(view.port));
    const QString api =
        QLatin1String(kApiHistoryPath) +
        historyTarget(game, view.host, view.port, view.range).mid(qsizetype(qstrlen(kHistoryPath)));
    body += QStringLiteral("<p class=\"note\"><a href=\"") + escapedText(status) +
            QStringLiteral("\">The server's status now</a> &middot; <a href=\"") +
            escapedText(api) + QStringLiteral("\">This history as JSON</a> &middot; <a href=\"") +
            escapedText(QLatin1String(game.startPagePath)) +
            QStringLiteral("\">Start page</a></p>");
    return scriptedPage(QStringLiteral("History of ") + title, body, assets::historyPageStyle(),
                        kHistoryScriptPath);
}

} // namespace utq::queryservice::pages
