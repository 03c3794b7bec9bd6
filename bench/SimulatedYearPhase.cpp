// Servers watched for a simulated year: samples written an hour at a time with the simulated
// times, the store pruned at the end of each simulated day with the service's retention; then
// the database's size. Every server keeps the same rows, so the size of 100 servers is told
// from fewer as their tables times 100 / servers (PostgreSQL's catalogue counted once); the
// full 100 take some ten minutes.
#include "HistoryBackends.h"
#include "HistoryPhases.h"
#include "Summary.h"
#include "SyntheticSamples.h"

#include "history/HistoryStore.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace bench {
namespace {

constexpr int kReportedServers = 100;
constexpr int kDays = 365;
constexpr qint64 kHourMs = 3600 * 1000;
constexpr qint64 kDayMs = 24 * kHourMs;
constexpr qint64 kStartMs = 1704067200000; // 2024-01-01 00:00 UTC
// Raw samples live 14 days, so the last 14 at the real pace leave the same database as a whole
// year of them; before those, one sample in ten keeps the hours' summaries and the run short.
constexpr int kSparseSeconds = 600;
constexpr int kDenseSeconds = 60;
constexpr int kDenseDays = 14;

double mib(qint64 bytes) { return double(bytes) / (1024.0 * 1024.0); }

struct Simulated {
    double seconds = -1;
    long long samples = 0;
    QList<double> lastPrunesMs;
};

// `endOfDay` runs after each day's prune.
Simulated simulate(history::HistoryStore& store, const QString& name, int servers, bool fullYear,
                   const std::function<void()>& endOfDay) {
    Simulated simulated;
    QElapsedTimer clock;
    clock.start();
    for (int day = 0; day < kDays; ++day) {
        const bool dense = fullYear || day >= kDays - kDenseDays;
        const int stepSeconds = dense ? kDenseSeconds : kSparseSeconds;
        for (int hour = 0; hour < 24; ++hour) {
            QList<history::Sample> samples;
            const qint64 hourMs = kStartMs + day * kDayMs + hour * kHourMs;
            for (qint64 at = 0; at < kHourMs; at += stepSeconds * 1000LL)
                for (int server = 0; server < servers; ++server)
                    samples << syntheticSample(benchServer(server), server,
                                               hourMs + at + server * 100, stepSeconds);
            if (!store.write(samples)) {
                std::printf("  %s: write failed on day %d: %s\n", qPrintable(name), day,
                            qPrintable(store.problem()));
                return simulated;
            }
            simulated.samples += samples.size();
        }
        QElapsedTimer pruning;
        pruning.start();
        if (!store.prune(kStartMs + (day + 1) * kDayMs, history::Retention{14, 400})) {
            std::printf("  %s: prune failed on day %d: %s\n", qPrintable(name), day,
                        qPrintable(store.problem()));
            return simulated;
        }
        if (day >= kDays - kDenseDays)
            simulated.lastPrunesMs << double(pruning.nsecsElapsed()) / 1e6;
        endOfDay();
        if ((day + 1) % 73 == 0) {
            std::printf("  %-10s day %d after %.0f s\n", qPrintable(name), day + 1,
                        double(clock.elapsed()) / 1000.0);
            std::fflush(stdout);
        }
    }
    simulated.seconds = double(clock.elapsed()) / 1000.0;
    return simulated;
}

} // namespace

void runSimulatedYear(HistoryBackends& backends, int servers, bool fullYear) {
    const double scale = double(kReportedServers) / servers;
    std::printf("\n== %d servers, a simulated year, pruned daily (samples 14 days, hours 400)\n",
                servers);
    const QString pace =
        fullYear ? QStringLiteral("a sample every 60 s all year")
                 : QStringLiteral("a sample every 10 min for 351 days, every 60 s for the last 14");
    std::printf("  %s; PostgreSQL vacuumed at each day's end%s\n", qPrintable(pace),
                servers == kReportedServers
                    ? ""
                    : qPrintable(QStringLiteral("; 100 servers' size is told as the tables x %1")
                                     .arg(scale, 0, 'g', 3)));
    for (const HistoryBackend& backend : backends.fresh(QStringLiteral("simulated-year"))) {
        history::HistoryStore store({backend.target}, QStringLiteral("bench-simulated-year"));
        if (store.open() != history::HistoryStore::Mode::Writing) {
            std::printf("  %s: %s\n", qPrintable(backend.name), qPrintable(store.problem()));
            continue;
        }
        // A year in minutes leaves PostgreSQL's autovacuum no time for what a real day gives
        // it, and dead rows would only pile up: the bench vacuums at each day's end instead.
        const Simulated simulated =
            simulate(store, backend.name, servers, fullYear, [&backends, &backend] {
                if (backend.isPostgres())
                    backends.scalar(backend, QStringLiteral("VACUUM"));
            });
        if (simulated.seconds < 0)
            continue;
        const Spread prunes = spreadOf(simulated.lastPrunesMs);
        const auto count = [&](const char* table) {
            return backends.scalar(backend, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table))
                .toLongLong();
        };
        std::printf("  %-10s %lld samples written in %.0f s; kept: %lld samples, %lld hours, "
                    "%lld hour-maps; a day's prune in the last 14 days: median %.0f ms, worst "
                    "%.0f ms\n",
                    qPrintable(backend.name), simulated.samples, simulated.seconds,
                    count("samples"), count("hours"), count("hour_maps"), prunes.median,
                    prunes.worst);
        QString size;
        if (backend.isPostgres()) {
            const qint64 database =
                backends
                    .scalar(backend, QStringLiteral("SELECT pg_database_size(current_"
                                                    "database())"))
                    .toLongLong();
            const qint64 tables =
                backends
                    .scalar(backend, QStringLiteral("SELECT pg_total_relation_size('samples') + "
                                                    "pg_total_relation_size('hours') + "
                                                    "pg_total_relation_size('hour_maps') + "
                                                    "pg_total_relation_size('servers')"))
                    .toLongLong();
            const double told = double(database - tables) + double(tables) * scale;
            std::printf("  %-10s pg_database_size %.1f MiB, of which the history's tables and "
                        "indexes %.1f MiB; for 100 servers %.1f MiB\n",
                        qPrintable(backend.name), mib(database), mib(tables), mib(qint64(told)));
            size = QStringLiteral("%1 MiB (tables %2 MiB)")
                       .arg(mib(qint64(told)), 0, 'f', 1)
                       .arg(mib(qint64(double(tables) * scale)), 0, 'f', 1);
        } else {
            const HistoryBackends::FileBytes bytes = backends.sqliteBytes(backend);
            const qint64 pageSize =
                backends.scalar(backend, QStringLiteral("PRAGMA page_size")).toLongLong();
            const qint64 freePages =
                backends.scalar(backend, QStringLiteral("PRAGMA freelist_count")).toLongLong();
            std::printf("  %-10s file %.1f MiB + WAL %.1f MiB before the checkpoint; after "
                        "wal_checkpoint(TRUNCATE) %.1f MiB + WAL %.1f MiB, of which %.1f MiB "
                        "free pages; for 100 servers %.1f MiB\n",
                        qPrintable(backend.name), mib(bytes.beforeCheckpointDb),
                        mib(bytes.beforeCheckpointWal), mib(bytes.db), mib(bytes.wal),
                        mib(freePages * pageSize), mib(bytes.db) * scale);
            size = QStringLiteral("%1 MiB + WAL %2 MiB")
                       .arg(mib(bytes.db) * scale, 0, 'f', 1)
                       .arg(mib(bytes.wal) * scale, 0, 'f', 1);
        }
        const QString measured = servers == kReportedServers
                                     ? QString()
                                     : QStringLiteral(" (told from %1 servers)").arg(servers);
        summary(QStringLiteral("history: database of 100 servers after a year, %1%2")
                    .arg(backend.name, measured),
                QStringLiteral("n/a"), size, Met::NotMeasured);
        summary(QStringLiteral("history: simulating a year of %1 servers (%2), %3")
                    .arg(servers)
                    .arg(pace, backend.name),
                QStringLiteral("n/a"),
                QStringLiteral("%1 s for %2 samples; a day's prune at the end %3 ms")
                    .arg(simulated.seconds, 0, 'f', 0)
                    .arg(simulated.samples)
                    .arg(prunes.median, 0, 'f', 0),
                Met::NotMeasured);
    }
}

} // namespace bench
