#pragma once

#include "base/Games.h"

#include <QList>
#include <QString>

#include <optional>

// A watched server's history as its page, the API and the small charts show it: points over a
// range, and the range's summary.
namespace utq::queryservice::pages {

// Where the history page and the API's history are served.
inline constexpr auto kHistoryPath = "/history";
inline constexpr auto kApiHistoryPath = "/api/v1/history";

// The ranges a history page shows; the first is a day of raw samples, the others hours.
enum class HistoryRange { Day, Week, Month, Year };
// "24h", "7d", "30d", "1y"; and the range of such a word (none for another word).
QString rangeName(HistoryRange range);
std::optional<HistoryRange> rangeOfName(const QString& name);
qint64 rangeMs(HistoryRange range);

struct HistoryPoint {
    qint64 timeMs = 0;     // UTC: the sample's time, or the hour's start
    double playersNow = 0; // the sample's players, or the hour's mean
    int playersPeak = 0;   // the sample's players, or the hour's peak
    double up = 0;         // 1 or 0 for a sample; the hour's share of samples that answered
};

struct MapPlayed {
    QString map;
    qint64 seconds = 0;
};

struct HistoryView {
    const GameDescription* game = nullptr;
    QString host;
    int port = 0;
    HistoryRange range = HistoryRange::Day;
    qint64 fromMs = 0; // UTC
    qint64 toMs = 0;
    QList<HistoryPoint> points; // oldest first
    double playersMean = 0;
    int playersPeak = 0;
    double upShare = 0;
    QList<MapPlayed> maps; // longest first
    bool watched = true;   // false: the service does not watch this server
    QString problem;       // the history is off or failing, as the user reads it
};

// A day of one server's players, small enough for a list's row: peaks per bucket, nothing
// where it was not asked.
struct Sparkline {
    qint64 fromMs = 0;
    qint64 toMs = 0;
    QList<HistoryPoint> points;
};

// The small chart of `line`, inline SVG; its title says the day's peak.
QByteArray sparklineSvg(const Sparkline& line);
// The history page of one server.
QByteArray historyPage(const HistoryView& view);
// The API's answer: {game, host, port, range, points, summary}.
QByteArray historyJson(const HistoryView& view);

} // namespace utq::queryservice::pages
