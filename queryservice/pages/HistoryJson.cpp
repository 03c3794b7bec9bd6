#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StatusJson.h"
#include "queryservice/pages/StatusPages.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace utq::queryservice::pages {
namespace {

QString isoTime(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

// Means and shares to a few decimals: more would be noise, and bytes.
double rounded(double value, int decimals) {
    const double factor = std::pow(10.0, decimals);
    return std::isfinite(value) ? std::round(value * factor) / factor : 0.0;
}

} // namespace

QByteArray historyJson(const HistoryView& view) {
    QJsonArray points;
    for (const HistoryPoint& point : view.points)
        points.append(QJsonObject{{QStringLiteral("time"), isoTime(point.timeMs)},
                                  {QStringLiteral("playersNow"), rounded(point.playersNow, 2)},
                                  {QStringLiteral("playersPeak"), point.playersPeak},
                                  {QStringLiteral("up"), rounded(point.up, 4)}});
    QJsonArray maps;
    for (const MapPlayed& map : view.maps)
        maps.append(QJsonObject{{QStringLiteral("map"), withoutControls(map.map)},
                                {QStringLiteral("seconds"), map.seconds}});
    const QJsonObject summary{{QStringLiteral("playersMean"), rounded(view.playersMean, 2)},
                              {QStringLiteral("playersPeak"), view.playersPeak},
                              {QStringLiteral("upShare"), rounded(view.upShare, 4)},
                              {QStringLiteral("maps"), maps}};
    return jsonText({{QStringLiteral("game"), view.game ? apiName(*view.game) : QString()},
                     {QStringLiteral("host"), withoutControls(view.host)},
                     {QStringLiteral("port"), view.port},
                     {QStringLiteral("range"), rangeName(view.range)},
                     {QStringLiteral("from"), isoTime(view.fromMs)},
                     {QStringLiteral("to"), isoTime(view.toMs)},
                     {QStringLiteral("watched"), view.watched},
                     {QStringLiteral("problem"), text(view.problem)},
                     {QStringLiteral("points"), points},
                     {QStringLiteral("summary"), summary}});
}

} // namespace utq::queryservice::pages
