#include "SyntheticSamples.h"

#include <algorithm>

namespace bench {
namespace {

constexpr qint64 kMinuteMs = 60000;
constexpr qint64 kHourMs = 60 * kMinuteMs;
const QStringList kMaps{QStringLiteral("DM-Deck16]["), QStringLiteral("CTF-Face"),
                        QStringLiteral("DM-Morpheus"), QStringLiteral("CTF-LavaGiant"),
                        QStringLiteral("DM-Curse]["),  QStringLiteral("DOM-Condemned")};

// A cheap, repeatable scramble of a few numbers.
quint32 mixed(qint64 a, qint64 b) {
    quint64 x = quint64(a) * 0x9E3779B97F4A7C15ULL ^ quint64(b) * 0xC2B2AE3D27D4EB4FULL;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ULL;
    return quint32(x >> 32);
}

} // namespace

history::ServerKey benchServer(int index) {
    return {
        QStringLiteral("ut99"),
        QStringLiteral("10.%1.%2.%3").arg(index / 65536).arg(index / 256 % 256).arg(index % 256),
        7778};
}

history::Sample syntheticSample(const history::ServerKey& server, int serverIndex, qint64 timeMs,
                                int spanSeconds) {
    history::Sample sample;
    sample.server = server;
    sample.timeMs = timeMs;
    sample.spanSeconds = spanSeconds;
    const quint32 noise = mixed(serverIndex, timeMs / kMinuteMs);
    if (noise % 50 == 0) {
        sample.state = QStringLiteral("no-answer");
        return sample;
    }
    sample.state = QStringLiteral("up");
    // Busiest at 21:00, empty before dawn.
    const int hour = int(timeMs / kHourMs % 24);
    const int evening = std::max(0, 8 - std::abs(hour - 21 + (hour < 9 ? 24 : 0)));
    sample.players = std::min(16, evening * 2 + int(noise % 3));
    sample.maxPlayers = 16;
    sample.map = kMaps[int((timeMs / (20 * kMinuteMs) + serverIndex) % kMaps.size())];
    sample.roundTripMs = 20 + noise % 180;
    return sample;
}

Spread spreadOf(QList<double> values) {
    if (values.isEmpty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.last()};
}

} // namespace bench
