#pragma once

#include "history/Sample.h"

#include <QList>
#include <QString>

#include <map>
#include <tuple>

// A batch of samples summed per server and hour before it reaches the database, so that each
// hour's row is updated once per batch.
namespace utq::history {

inline constexpr qint64 kHourMs = 3600LL * 1000;

// The start of the hour `timeMs` falls in (UTC), for times before 1970 too.
qint64 hourStart(qint64 timeMs);

struct HourKey {
    qint64 serverId = 0;
    qint64 hourMs = 0;
    friend auto operator<=>(const HourKey&, const HourKey&) = default;
};

struct HourMapKey {
    qint64 serverId = 0;
    qint64 hourMs = 0;
    QString map;
    friend bool operator<(const HourMapKey& a, const HourMapKey& b) {
        return std::tie(a.serverId, a.hourMs, a.map) < std::tie(b.serverId, b.hourMs, b.map);
    }
};

struct HourTotal {
    int samples = 0;
    int upSamples = 0;
    qint64 playersSum = 0; // over the samples it was up
    int playersPeak = 0;
};

struct BatchTotals {
    std::map<HourKey, HourTotal> hours;
    std::map<HourMapKey, qint64> mapSeconds; // up samples' spans, per map played
};

// `serverIds[i]` is the database's id of `samples[i]`'s server.
BatchTotals totalsOf(const QList<Sample>& samples, const QList<qint64>& serverIds);

} // namespace utq::history
