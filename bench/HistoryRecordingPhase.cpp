// utquery-statusd recording 1,000 watched servers, one child per backend, both at once against
// the same fake servers; then a round's write measured in this process.
#include "FakeServers.h"
#include "HistoryBackends.h"
#include "HistoryPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"
#include "SyntheticSamples.h"
#include "Ut99ServerFarm.h"

#include "history/HistoryStore.h"

#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace bench {
namespace {

constexpr int kWatched = 1000;
constexpr int kPerAddress = 50;
// 60 s would make this phase six minutes long; a round at the pace of 40 a second takes 25 s.
constexpr int kSampleSeconds = 30;
constexpr int kMeasuredRounds = 2;
constexpr int kWriteBatches = 40;

using Clock = std::chrono::steady_clock;

int delayOf(int server) { return 20 + (server * 7919) % 181; }

struct Recorder {
    HistoryBackend backend;
    std::unique_ptr<StatusdProcess> process;
    double cpuAtStart = -1;
    double cpuAtEnd = -1;
    long peakKib = -1;
};

void measureStatusd(HistoryBackends& backends, const std::string& statusd) {
    Ut99ServerFarm farm(kWatched, kPerAddress, delayOf, [](int server) {
        return fakeservers::ut99("Watched " + QByteArray::number(server + 1))({}, 1)
            .value(0)
            .toStdString();
    });
    std::string error;
    if (!farm.start(error)) {
        std::printf("the fake servers did not start: %s\n", error.c_str());
        return;
    }
    std::vector<std::string> arguments{"--master",         "127.0.0.1:1",
                                       "--allow",          "127.0.1.0/24",
                                       "--sample-seconds", std::to_string(kSampleSeconds)};
    for (const Ut99ServerFarm::Server& server : farm.servers())
        arguments.insert(arguments.end(), {"--watch", "ut99:" + server.address() + ':' +
                                                          std::to_string(server.port)});
    size_t commandBytes = statusd.size();
    for (const std::string& argument : arguments)
        commandBytes += argument.size() + 1;
    std::printf("utquery-statusd --watch x%d (command line %zu bytes), --sample-seconds %d; "
                "servers answer after 20 to 200 ms; SQLite and PostgreSQL run at the same time; "
                "each also watches the build's clan servers, whose names are not found in the "
                "bench's network namespace (unknown-host)\n",
                kWatched, commandBytes, kSampleSeconds);

    std::vector<Recorder> recorders;
    for (const HistoryBackend& backend : backends.fresh(QStringLiteral("recording"))) {
        std::vector<std::string> own = arguments;
        own.insert(own.end(), {"--history", backend.target.toStdString()});
        Recorder recorder{backend, std::make_unique<StatusdProcess>(statusd, own)};
        if (!recorder.process->start(10000, error)) {
            std::printf("%s: utquery-statusd did not start: %s\n%s\n", qPrintable(backend.name),
                        error.c_str(), recorder.process->outputTail(10).c_str());
            return;
        }
        recorders.push_back(std::move(recorder));
    }
    // Rounds begin at 0, S, 2S, ...: the window holds rounds 2 and 3 whole, and none of 1.
    const auto started = Clock::now();
    const auto windowStart = started + std::chrono::milliseconds(kSampleSeconds * 1000 - 1000);
    const auto windowEnd = windowStart + std::chrono::seconds(kMeasuredRounds * kSampleSeconds);
    std::this_thread::sleep_until(windowStart);
    for (Recorder& recorder : recorders)
        recorder.cpuAtStart = recorder.process->cpuSeconds();
    const long long requestsAtStart = farm.figures().requests;
    std::this_thread::sleep_until(windowEnd);
    const double wallSeconds = std::chrono::duration<double>(Clock::now() - windowStart).count();
    for (Recorder& recorder : recorders) {
        recorder.cpuAtEnd = recorder.process->cpuSeconds();
        recorder.peakKib = recorder.process->peakKib();
    }
    const long long requestsInWindow = farm.figures().requests - requestsAtStart;
    for (Recorder& recorder : recorders)
        recorder.process->stop();
    std::printf("  the servers saw %lld requests in the %.0f s window (%d rounds of %d for each "
                "of %zu programs)\n",
                requestsInWindow, wallSeconds, kMeasuredRounds, kWatched, recorders.size());

    for (Recorder& recorder : recorders) {
        const QVariant samples =
            backends.scalar(recorder.backend, QStringLiteral("SELECT COUNT(*) FROM samples"));
        const QString join = recorder.backend.isPostgres() ? QStringLiteral("string_agg")
                                                           : QStringLiteral("group_concat");
        const QVariant states = backends.scalar(
            recorder.backend, QStringLiteral("SELECT %1(state || ' ' || n, ', ') FROM (SELECT "
                                             "state, COUNT(*) AS n FROM samples GROUP BY state) "
                                             "AS counted")
                                  .arg(join));
        const double cpu = recorder.cpuAtEnd - recorder.cpuAtStart;
        const double share =
            recorder.cpuAtStart >= 0 && recorder.cpuAtEnd >= 0 ? 100.0 * cpu / wallSeconds : -1;
        std::printf("  %-10s CPU %.2f s in %.1f s = %.2f %% of a core; VmHWM %.1f MiB; %s samples "
                    "kept (%s), %s\n",
                    qPrintable(recorder.backend.name), cpu, wallSeconds, share,
                    recorder.peakKib / 1024.0, qPrintable(samples.toString()),
                    qPrintable(states.toString()), recorder.process->fate().c_str());
        const QString label = QStringLiteral("history: statusd watching 1,000 servers, %1, every "
                                             "%2 s")
                                  .arg(recorder.backend.name)
                                  .arg(kSampleSeconds);
        summary(label + QStringLiteral(": CPU share over 2 rounds"), QStringLiteral("n/a"),
                QStringLiteral("%1 % of a core").arg(share, 0, 'f', 2), Met::NotMeasured);
        summary(label + QStringLiteral(": peak memory (VmHWM)"), QStringLiteral("n/a"),
                QStringLiteral("%1 MiB").arg(recorder.peakKib / 1024.0, 0, 'f', 1),
                Met::NotMeasured);
    }
}

// A round's samples written by the store itself, as the history's thread writes them.
void measureWrites(HistoryBackends& backends) {
    for (const HistoryBackend& backend : backends.fresh(QStringLiteral("writes"))) {
        history::HistoryStore store({backend.target}, QStringLiteral("bench-writes"));
        if (store.open() != history::HistoryStore::Mode::Writing) {
            std::printf("  %s: %s\n", qPrintable(backend.name), qPrintable(store.problem()));
            continue;
        }
        const qint64 startMs = 1700000000000;
        QList<double> times;
        double firstMs = -1;
        bool failed = false;
        for (int round = 0; round <= kWriteBatches && !failed; ++round) {
            QList<history::Sample> samples;
            for (int server = 0; server < kWatched; ++server)
                samples << syntheticSample(benchServer(server), server,
                                           startMs + qint64(round) * kSampleSeconds * 1000 + server,
                                           kSampleSeconds);
            QElapsedTimer clock;
            clock.start();
            failed = !store.write(samples);
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            // The first round makes the servers' rows too, once.
            if (round == 0)
                firstMs = ms;
            else
                times << ms;
        }
        if (failed) {
            std::printf("  %s: write failed: %s\n", qPrintable(backend.name),
                        qPrintable(store.problem()));
            continue;
        }
        const Spread spread = spreadOf(times);
        std::printf("  %-10s a batch of %d samples: median %.1f ms, worst %.1f ms of %d "
                    "(the first, which adds the servers, %.1f ms)\n",
                    qPrintable(backend.name), kWatched, spread.median, spread.worst, kWriteBatches,
                    firstMs);
        summary(
            QStringLiteral("history: write of 1,000 samples, %1, median / worst of %2")
                .arg(backend.name)
                .arg(kWriteBatches),
            QStringLiteral("worst ≤ 5,000 ms (the flush interval)"),
            QStringLiteral("%1 / %2 ms").arg(spread.median, 0, 'f', 1).arg(spread.worst, 0, 'f', 1),
            metIf(spread.worst <= 5000));
    }
}

} // namespace

void runRecording(HistoryBackends& backends, const std::string& statusd) {
    std::printf("\n== Recording 1,000 watched servers\n");
    measureStatusd(backends, statusd);
    measureWrites(backends);
}

} // namespace bench
