#include "history/HourTotals.h"

#include <algorithm>

namespace utq::history {

qint64 hourStart(qint64 timeMs) {
    qint64 hours = timeMs / kHourMs;
    if (timeMs % kHourMs < 0)
        --hours;
    return hours * kHourMs;
}

BatchTotals totalsOf(const QList<Sample>& samples, const QList<qint64>& serverIds) {
    BatchTotals totals;
    for (qsizetype i = 0; i < samples.size(); ++i) {
        const Sample& sample = samples[i];
        const qint64 hour = hourStart(sample.timeMs);
        HourTotal& total = totals.hours[HourKey{serverIds[i], hour}];
        ++total.samples;
        if (!isUp(sample.state))
            continue;
        ++total.upSamples;
        const int players = std::max(0, sample.players.value_or(0));
        total.playersSum += players;
        total.playersPeak = std::max(total.playersPeak, players);
        if (!sample.map.isEmpty())
            totals.mapSeconds[HourMapKey{serverIds[i], hour, sample.map}] +=
                std::max(0, sample.spanSeconds);
    }
    return totals;
}

} // namespace utq::history
