#pragma once

#include "base/Games.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A watched server's history as its page, the API and the small charts show it: points over a
// range, and the range's summary.
namespace utq::queryservice::pages {

// Where the history page and the API's history are served.
inline constexpr auto kHistoryPath = "/history";
inline constexpr auto kApiHistoryPath = "/api/v1/history";
// Where the service serves the script that shows a history page's times in the viewer's zone.
inline constexpr auto kHistoryScriptPath = "/qEl/history.js";

// The history page's Content-Security-Policy: the start pages' without questions to the
// service. Its one script is this service's own; none inline, so no map name can ever run.
inline constexpr char kHistoryPagePolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'unsafe-inline'; img-src 'self'; "
    "frame-ancestors 'none'";

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
    qint64 bucketMs = 0; // each point's span; 0: the smallest step between two points
};

// The small chart of `line`, inline SVG; its title says the day's peak.
QByteArray sparklineSvg(const Sparkline& line);
// The history page of one server.
QByteArray historyPage(const HistoryView& view);
// The API's answer: {game, host, port, range, from, to, watched, problem, points, summary}.
QByteArray historyJson(const HistoryView& view);

// The address of `game`'s server's history page over `range` (its values percent-encoded).
QString historyTarget(const GameDescription& game, const QString& host, int port,
                      HistoryRange range = HistoryRange::Day);

} // namespace utq::queryservice::pages
