#include "queryservice/pages/HistoryChart.h"

#include <algorithm>
#include <cmath>

namespace utq::queryservice::pages::chart {

double Scale::x(qint64 timeMs) const {
    const qint64 span = std::max<qint64>(1, toMs - fromMs);
    const double share = static_cast<double>(timeMs - fromMs) / static_cast<double>(span);
    return box.left + std::clamp(share, 0.0, 1.0) * box.width;
}

double Scale::y(double players) const {
    if (!std::isfinite(players))
        players = 0;
    return box.bottom() - std::clamp(players / std::max(1.0, most), 0.0, 1.0) * box.height;
}

qint64 stepOf(const QList<HistoryPoint>& points, qint64 bucketMs, qint64 fromMs, qint64 toMs) {
    if (bucketMs > 0)
        return bucketMs;
    qint64 step = 0;
    for (qsizetype i = 1; i < points.size(); ++i) {
        const qint64 between = points[i].timeMs - points[i - 1].timeMs;
        if (between > 0 && (step == 0 || between < step))
            step = between;
    }
    return step > 0 ? step : std::max<qint64>(1, (toMs - fromMs) / 120);
}

QList<Run> runsOf(const QList<HistoryPoint>& points, qint64 stepMs) {
    QList<Run> runs;
    for (qsizetype i = 0; i < points.size(); ++i) {
        const bool up = points[i].up > 0;
        const bool joined = i > 0 && !runs.isEmpty() && runs.last().up == up &&
                            points[i].timeMs - points[i - 1].timeMs <= stepMs + stepMs / 2;
        if (joined)
            runs.last().last = i;
        else
            runs.append({up, i, i});
    }
    return runs;
}

QList<HistoryPoint> thinned(const QList<HistoryPoint>& points, qint64 fromMs, qint64 toMs, int most,
                            qint64& stepMs) {
    if (points.size() <= most || most < 1)
        return points;
    const qint64 slot = std::max<qint64>(1, (std::max<qint64>(1, toMs - fromMs) + most - 1) / most);
    QList<HistoryPoint> merged;
    qint64 shownSlot = -1;
    int count = 0;
    double upSum = 0;
    double playersSum = 0;
    const auto close = [&] {
        if (count == 0)
            return;
        HistoryPoint& point = merged.last();
        point.playersNow = upSum > 0 ? playersSum / upSum : 0;
        point.up = upSum / count;
    };
    for (const HistoryPoint& point : points) {
        const qint64 index = std::max<qint64>(0, (point.timeMs - fromMs) / slot);
        if (index != shownSlot) {
            close();
            merged.append({fromMs + index * slot, 0, 0, 0});
            shownSlot = index;
            count = 0;
            upSum = playersSum = 0;
        }
        HistoryPoint& into = merged.last();
        into.playersPeak = std::max(into.playersPeak, point.playersPeak);
        ++count;
        upSum += point.up;
        playersSum += point.playersNow * point.up;
    }
    close();
    stepMs = std::max(stepMs, slot);
    return merged;
}

QString number(double value) {
    const double rounded = std::round(value * 10) / 10;
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f',
                           rounded == std::trunc(rounded) ? 0 : 1);
}

namespace {

double valueOf(const HistoryPoint& point, bool peak) {
    return peak ? point.playersPeak : point.playersNow;
}

QString pair(double x, double y) { return number(x) + u',' + number(y); }

} // namespace

double runStart(const Scale& scale, const QList<HistoryPoint>& points, const Run& run) {
    return scale.x(points[run.first].timeMs);
}

double runEnd(const Scale& scale, const QList<HistoryPoint>& points, const Run& run,
              qint64 stepMs) {
    return scale.x(points[run.last].timeMs + stepMs);
}

QString linePoints(const Scale& scale, const QList<HistoryPoint>& points, const Run& run,
                   qint64 stepMs, bool peak) {
    QString text = pair(runStart(scale, points, run), scale.y(valueOf(points[run.first], peak)));
    for (qsizetype i = run.first; i <= run.last; ++i)
        text +=
            u' ' + pair(scale.x(points[i].timeMs + stepMs / 2), scale.y(valueOf(points[i], peak)));
    return text + u' ' +
           pair(runEnd(scale, points, run, stepMs), scale.y(valueOf(points[run.last], peak)));
}

QString areaPoints(const Scale& scale, const QList<HistoryPoint>& points, const Run& run,
                   qint64 stepMs, bool peak) {
    const QString base = number(scale.box.bottom());
    return number(runStart(scale, points, run)) + u',' + base + u' ' +
           linePoints(scale, points, run, stepMs, peak) + u' ' +
           number(runEnd(scale, points, run, stepMs)) + u',' + base;
}

} // namespace utq::queryservice::pages::chart
