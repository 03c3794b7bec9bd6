#include "queryservice/pages/HistoryChart.h"
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StatusPages.h"

#include <algorithm>

namespace utq::queryservice::pages {
namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 24;
// Up runs stand on this line; a down run is a red line just under it.
constexpr double kBaseline = 22;

QString titleOf(const Sparkline& line, int peak, bool someDown) {
    const qint64 spanMs = line.toMs > line.fromMs ? line.toMs - line.fromMs : 24 * 3600000LL;
    const qint64 hours = std::max<qint64>(1, (spanMs + 1800000) / 3600000);
    QString title = QStringLiteral("Players in the last %1 hours: ").arg(hours);
    if (line.points.isEmpty())
        return title + QStringLiteral("no history yet");
    title += QStringLiteral("peak %1").arg(peak);
    if (someDown)
        title += QStringLiteral("; no answer at times");
    return title;
}

} // namespace

QByteArray sparklineSvg(const Sparkline& line) {
    int peak = 0;
    bool someDown = false;
    for (const HistoryPoint& point : line.points) {
        if (point.up > 0)
            peak = std::max(peak, point.playersPeak);
        someDown = someDown || point.up <= 0;
    }
    QString svg = QStringLiteral("<svg class=\"sparkline\" xmlns=\"http://www.w3.org/2000/svg\" "
                                 "width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\">"
                                 "<title>")
                      .arg(kWidth)
                      .arg(kHeight) +
                  escapedText(titleOf(line, peak, someDown)) + QStringLiteral("</title>");
    if (line.points.isEmpty())
        return (svg + QStringLiteral("<line x1=\"0\" y1=\"%1\" x2=\"%2\" y2=\"%1\" "
                                     "stroke=\"#24406e\" stroke-width=\"1.5\"/></svg>")
                          .arg(kBaseline)
                          .arg(kWidth))
            .toUtf8();

    const qint64 fromMs = line.toMs > line.fromMs ? line.fromMs : line.points.first().timeMs;
    const qint64 step = chart::stepOf(line.points, line.bucketMs, fromMs, line.toMs);
    const qint64 toMs = line.toMs > line.fromMs ? line.toMs : line.points.last().timeMs + step;
    const chart::Scale scale{{0, 2, kWidth, kBaseline - 2}, fromMs, toMs, double(peak)};
    for (const chart::Run& run : chart::runsOf(line.points, step)) {
        if (run.up) {
            svg += QStringLiteral("<polygon fill=\"#78beff\" fill-opacity=\"0.35\" points=\"") +
                   chart::areaPoints(scale, line.points, run, step, true) +
                   QStringLiteral("\"/><polyline fill=\"none\" stroke=\"#78beff\" "
                                  "stroke-width=\"1.5\" points=\"") +
                   chart::linePoints(scale, line.points, run, step, true) + QStringLiteral("\"/>");
        } else {
            const double start = chart::runStart(scale, line.points, run);
            svg += QStringLiteral("<rect fill=\"#ff6060\" x=\"%1\" y=\"%2\" width=\"%3\" "
                                  "height=\"1.5\"/>")
                       .arg(chart::number(start), chart::number(kBaseline + 0.5),
                            chart::number(std::max(
                                0.5, chart::runEnd(scale, line.points, run, step) - start)));
        }
    }
    return (svg + QStringLiteral("</svg>")).toUtf8();
}

} // namespace utq::queryservice::pages
