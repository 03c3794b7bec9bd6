// A year of one server's samples, written through the store with the sample times of the past
// year and pruned at now, then served by utquery-statusd: its history page and API answer.
#include "HistoryBackends.h"
#include "HistoryPhases.h"
#include "PageFetch.h"
#include "SilentUdpPort.h"
#include "StatusdProcess.h"
#include "Summary.h"
#include "SyntheticSamples.h"

#include "history/HistoryStore.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>

namespace bench {
namespace {

constexpr qint64 kDayMs = 24LL * 3600 * 1000;
constexpr int kYearDays = 365;
constexpr int kSamplesPerDay = 1440; // one a minute; a day is one batch
constexpr int kFetches = 20;
constexpr double kPageGoalMs = 1000;

// Writes a year up to `nowMs` and prunes at it; the seconds it took, -1 when it failed.
double fillYear(const HistoryBackend& backend, const history::ServerKey& server, qint64 nowMs) {
    history::HistoryStore store({backend.target}, QStringLiteral("bench-year"));
    if (store.open() != history::HistoryStore::Mode::Writing) {
        std::printf("  %s: %s\n", qPrintable(backend.name), qPrintable(store.problem()));
        return -1;
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 firstMs = nowMs - kYearDays * kDayMs;
    for (int day = 0; day < kYearDays; ++day) {
        QList<history::Sample> samples;
        samples.reserve(kSamplesPerDay);
        for (int minute = 0; minute < kSamplesPerDay; ++minute)
            samples << syntheticSample(server, 0, firstMs + day * kDayMs + minute * 60000LL, 60);
        if (!store.write(samples)) {
            std::printf("  %s: write failed: %s\n", qPrintable(backend.name),
                        qPrintable(store.problem()));
            return -1;
        }
    }
    if (!store.prune(nowMs)) {
        std::printf("  %s: prune failed: %s\n", qPrintable(backend.name),
                    qPrintable(store.problem()));
        return -1;
    }
    return double(clock.elapsed()) / 1000.0;
}

struct Timed {
    double medianMs = -1;
    qsizetype bytes = -1;
    int failures = 0;
};

Timed timeFetches(quint16 port, const std::string& target) {
    QList<double> times;
    Timed timed;
    // The first read warms the database's cache.
    for (int fetchCount = 0; fetchCount <= kFetches; ++fetchCount) {
        const FetchedPage page = fetchTogether(port, {target}, 10000, {}).front();
        if (!page.answered || page.status != 200) {
            ++timed.failures;
            if (timed.failures == 1)
                std::printf("  %s: status %d %s\n", target.c_str(), page.status, page.why.c_str());
            continue;
        }
        if (fetchCount > 0)
            times << page.ms;
        timed.bytes = qsizetype(page.bytes);
    }
    timed.medianMs = spreadOf(times).median;
    return timed;
}

} // namespace

void runHistoryPages(HistoryBackends& backends, const std::string& statusd) {
    std::printf("\n== A year of one server: history page and API\n");
    SilentUdpPort silent;
    const history::ServerKey server{QStringLiteral("ut99"), QStringLiteral("127.0.0.1"),
                                    silent.port()};
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (const HistoryBackend& backend : backends.fresh(QStringLiteral("year-of-one"))) {
        const double fillSeconds = fillYear(backend, server, nowMs);
        if (fillSeconds < 0)
            continue;
        std::printf(
            "  %-10s %d samples written a day at a time in %.1f s, pruned at now: %s "
            "samples and %s hours kept\n",
            qPrintable(backend.name), kYearDays * kSamplesPerDay, fillSeconds,
            qPrintable(backends
                           .scalar(backend, QStringLiteral("SELECT COUNT(*) FROM "
                                                           "samples"))
                           .toString()),
            qPrintable(
                backends.scalar(backend, QStringLiteral("SELECT COUNT(*) FROM hours")).toString()));

        const std::string watch = "ut99:127.0.0.1:" + std::to_string(silent.port());
        StatusdProcess process(statusd,
                               {"--master", "127.0.0.1:1", "--allow", "127.0.0.1/32", "--history",
                                backend.target.toStdString(), "--watch", watch});
        std::string error;
        if (!process.start(10000, error)) {
            std::printf("  utquery-statusd did not start: %s\n%s\n", error.c_str(),
                        process.outputTail(10).c_str());
            continue;
        }
        const std::string where =
            "game=ut99&host=127.0.0.1&port=" + std::to_string(silent.port()) + "&range=";
        for (const char* range : {"30d", "1y"}) {
            for (const char* path : {"/history?", "/api/v1/history?"}) {
                const std::string target = path + where + range;
                const Timed timed = timeFetches(process.port(), target);
                std::printf("  %-10s %-22s median %7.1f ms of %d, %9lld bytes%s\n",
                            qPrintable(backend.name),
                            (std::string(path, std::strlen(path) - 1) + ' ' + range).c_str(),
                            timed.medianMs, kFetches, static_cast<long long>(timed.bytes),
                            timed.failures ? " (some not answered 200)" : "");
                summary(QStringLiteral("history: %1 range=%2, %3, a year of one server")
                            .arg(QString::fromLatin1(path).chopped(1), QString::fromLatin1(range),
                                 backend.name),
                        QStringLiteral("median ≤ %1 ms").arg(kPageGoalMs),
                        QStringLiteral("%1 ms, %2 bytes")
                            .arg(timed.medianMs, 0, 'f', 1)
                            .arg(timed.bytes),
                        metIf(timed.failures == 0 && timed.medianMs <= kPageGoalMs));
            }
        }
        process.stop();
    }
}

} // namespace bench
