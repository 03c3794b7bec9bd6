#pragma once

#include "queryservice/pages/HistoryView.h"

#include <QList>
#include <QString>

// What the history's two charts share: points thinned to what a chart can show, cut into runs
// where the server answered and where it was down, with gaps where nobody asked it, and those
// runs as SVG coordinates. Only numbers come out of here.
namespace utq::queryservice::pages::chart {

// Where a chart draws, in its viewBox's units.
struct Box {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    double bottom() const { return top + height; }
    double right() const { return left + width; }
};

// Times onto x over [fromMs, toMs], players onto y up to `most` (at least 1).
struct Scale {
    Box box;
    qint64 fromMs = 0;
    qint64 toMs = 0;
    double most = 1;
    double x(qint64 timeMs) const;
    double y(double players) const;
};

// Consecutive points, all up (up > 0) or all down, each within 1.5 steps of the one before.
struct Run {
    bool up = false;
    qsizetype first = 0;
    qsizetype last = 0; // inclusive
};

// Each point's span: `bucketMs` when given, else the smallest step between two points, else a
// 120th of the range.
qint64 stepOf(const QList<HistoryPoint>& points, qint64 bucketMs, qint64 fromMs, qint64 toMs);
QList<Run> runsOf(const QList<HistoryPoint>& points, qint64 stepMs);

// At most `most` points: those in one slot of the range merged, the peak of their peaks, the
// mean of their players while up, and their mean share up. `stepMs` becomes the slot where
// points were merged.
QList<HistoryPoint> thinned(const QList<HistoryPoint>& points, qint64 fromMs, qint64 toMs, int most,
                            qint64& stepMs);

// A coordinate with at most one decimal: "12", "3.5".
QString number(double value);

// A run as a polygon's points (down to the baseline at both ends) or a polyline's, of each
// point's peak (`peak`) or players now.
QString areaPoints(const Scale& scale, const QList<HistoryPoint>& points, const Run& run,
                   qint64 stepMs, bool peak);
QString linePoints(const Scale& scale, const QList<HistoryPoint>& points, const Run& run,
                   qint64 stepMs, bool peak);

// The run's extent on x, from its first point's start to its last point's end.
double runStart(const Scale& scale, const QList<HistoryPoint>& points, const Run& run);
double runEnd(const Scale& scale, const QList<HistoryPoint>& points, const Run& run, qint64 stepMs);

} // namespace utq::queryservice::pages::chart
