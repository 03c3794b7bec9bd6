// How long the history store takes on SQLite: a batch of samples written in one transaction,
// a day of one server read back, and the start page's buckets of many servers.
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

using namespace utq::history;

namespace {

constexpr qint64 kStartMs = 1700000000000;
constexpr int kServers = 200;

QList<Sample> batch(int size, int round) {
    QList<Sample> samples;
    for (int i = 0; i < size; ++i) {
        Sample sample;
        sample.server = {QStringLiteral("ut99"), QStringLiteral("host%1.example").arg(i % kServers),
                         7778};
        sample.timeMs = kStartMs + qint64(round) * 60000 + i;
        sample.state = i % 7 == 0 ? QStringLiteral("no-answer") : QStringLiteral("up");
        sample.players = i % 16;
        sample.maxPlayers = 16;
        sample.map = QStringLiteral("DM-Map%1").arg(round % 12);
        sample.roundTripMs = 30;
        samples << sample;
    }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    HistoryStore store({dir.filePath(QStringLiteral("history.sqlite"))}, QStringLiteral("bench"));
    if (store.open() != HistoryStore::Mode::Writing) {
        out << "cannot open: " << store.problem() << "\n";
        return 1;
    }
    QElapsedTimer clock;
    QList<qint64> times;
    const int rounds = 60;
    for (int round = 0; round < rounds; ++round) {
        const QList<Sample> samples = batch(1000, round);
        clock.start();
        if (!store.write(samples)) {
            out << "write failed: " << store.problem() << "\n";
            return 1;
        }
        times << clock.nsecsElapsed() / 1000;
    }
    std::sort(times.begin(), times.end());
    out << "write of 1,000 samples (" << kServers << " servers), " << rounds << " batches: median "
        << times[rounds / 2] / 1000.0 << " ms, worst " << times.last() / 1000.0 << " ms\n";

    clock.start();
    const Series series =
        store.read({QStringLiteral("ut99"), QStringLiteral("host7.example"), 7778}, 0,
                   kStartMs + 24 * 3600000LL, true);
    out << "read of one server's " << series.samples.size() << " samples and "
        << series.hours.size() << " hours: " << clock.nsecsElapsed() / 1e6 << " ms\n";

    QList<ServerKey> servers;
    for (int i = 0; i < kServers; ++i)
        servers << ServerKey{QStringLiteral("ut99"), QStringLiteral("host%1.example").arg(i), 7778};
    clock.start();
    const auto buckets = store.buckets(servers, 0, 15 * 60000);
    out << "buckets of " << buckets.size() << " servers over " << rounds * 1000
        << " samples: " << clock.nsecsElapsed() / 1e6 << " ms\n";
    return 0;
}
