#include "FakeServerThread.h"
#include "FakeServers.h"
#include "LoadGenerator.h"
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <sys/resource.h>

#include <cstdio>

namespace bench {
namespace {

// Measured by hand earlier: 5,009 pages/s and a p99 of 8.5 ms; the goals allow 10 %.
constexpr double kPagesPerSecondGoal = 4508;
constexpr double kP99GoalMs = 9.35;
constexpr double kMostFailedShare = 0.001; // more, and the speed figures mean little

double ownCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void summariseFailure(const QString& label, const QString& why) {
    const QString prefix = QStringLiteral("statusd mixed load%1: ").arg(label);
    summary(prefix + QStringLiteral("pages per second"),
            QStringLiteral("≥ %1 pages/s").arg(kPagesPerSecondGoal), why, Met::No);
    summary(prefix + QStringLiteral("p99 page time"), QStringLiteral("≤ %1 ms").arg(kP99GoalMs),
            why, Met::No);
}

} // namespace

void runMixedLoad(const StatusdCommand& command, const MixedLoadOptions& options) {
    using namespace ut2004replies;
    FakeServerThread ut99(fakeservers::ut99("BenchUT99"));
    FakeServerThread ut2004(fakeservers::ut2004(
        str("BenchUT2004"), {{1, str("Alice"), 40, 12, kRed}, {2, str("Bob"), 50, 3, kBlue}}));
    FakeServerThread ut3(fakeservers::ut3(fakeservers::ut3TwoPlayers("BenchUT3")));
    const quint16 ut99Port = ut99.startServing(), ut2004Port = ut2004.startServing(),
                  ut3Port = ut3.startServing();
    if (ut99Port == 0 || ut2004Port == 0 || ut3Port == 0)
        return summariseFailure(options.label,
                                QStringLiteral("the fake game servers did not start"));

    StatusdProcess statusd(command.program, command.arguments);
    std::string error;
    if (!statusd.start(10000, error))
        return summariseFailure(
            options.label,
            QStringLiteral("statusd did not start: %1").arg(QString::fromStdString(error)));

    LoadPlan plan;
    plan.port = statusd.port();
    plan.connections = options.connections;
    plan.seconds = options.seconds;
    const std::string host = "127.0.0.1";
    // UT2004's page takes the game port, the one before the query port.
    plan.kinds = {
        {"UT99", "/php/UTstats/index.php?txtip=" + host + "&portnum=" + std::to_string(ut99Port),
         "<h1>BenchUT99</h1>"},
        {"UT2004",
         "/phpnuke/html/SQuery/index.php?ip=" + host + "&port=" + std::to_string(ut2004Port - 1),
         "<h1>BenchUT2004</h1>"},
        {"UT3",
         "/qEl/UT3Query/ut3query.php?serverip=" + host + "&serverqport=" + std::to_string(ut3Port) +
             "&serverwport=0",
         "<h1>BenchUT3</h1>"},
        {"start page", "/php/UTstats/lobby2.html", "Begin Query"}};
    plan.mix = {0, 1, 2, 0, 1, 2, 0, 1, 2, 3}; // 30 % of each game, 10 % start pages
    if (options.api) {
        const auto api = [&host](const char* game, quint16 port) {
            return "/api/v1/status?game=" + std::string(game) + "&host=" + host +
                   "&port=" + std::to_string(port);
        };
        plan.kinds = {{"UT99", api("ut99", ut99Port), "\"name\":\"BenchUT99\""},
                      {"UT2004", api("ut2004", ut2004Port - 1), "\"name\":\"BenchUT2004\""},
                      {"UT3", api("ut3", ut3Port), "\"name\":\"BenchUT3\""}};
        plan.mix = {0, 1, 2};
    }

    std::printf(options.api
                    ? "== API load: %d keep-alive connections for %d s; /api/v1/status for the "
                      "UT99, UT2004 and UT3 servers, a third each\n"
                    : "== mixed load: %d keep-alive connections for %d s; UT99, UT2004 and UT3 "
                      "status pages 30 %% each, start pages 10 %%\n",
                options.connections, options.seconds);
    std::fflush(stdout);
    const double statusdCpuBefore = statusd.cpuSeconds(), ownCpuBefore = ownCpuSeconds();
    const LoadFigures figures = runLoad(plan, [&statusd] { return statusd.alive(); });
    const double statusdCpu = statusd.cpuSeconds() - statusdCpuBefore;
    const double ownCpu = ownCpuSeconds() - ownCpuBefore;
    const long peakKib = statusd.peakKib();
    const bool ended = statusd.endedOnItsOwn();
    const QString fate = QString::fromStdString(statusd.fate());
    const std::string lastWords = ended ? statusd.outputTail(8) : std::string();
    statusd.stop();

    std::printf("%-10s %9s %7s %9s %9s %9s\n", "page", "good", "failed", "p50 ms", "p99 ms",
                "max ms");
    for (size_t kind = 0; kind < plan.kinds.size(); ++kind) {
        const KindFigures& of = figures.kinds[kind];
        std::printf("%-10s %9lld %7lld %9.2f %9.2f %9.2f\n", plan.kinds[kind].label.c_str(),
                    of.good, of.failed, percentile(of.ms, 0.5), percentile(of.ms, 0.99),
                    percentile(of.ms, 1.0));
    }
    const std::vector<float> all = figures.allMs();
    const double p50 = percentile(all, 0.5), p99 = percentile(all, 0.99);
    const long long good = figures.good();
    const long long failed = figures.failed() + figures.unanswered;
    const double pagesPerSecond =
        figures.seconds > 0 ? static_cast<double>(good) / figures.seconds : 0;
    const double failedShare =
        good + failed > 0 ? static_cast<double>(failed) / static_cast<double>(good + failed) : 1;
    std::printf("all: %lld good pages in %.2f s = %.0f pages/s; p50 %.2f ms, p99 %.2f ms; "
                "%lld failed or unanswered (%.3f %%); %lld reconnections\n",
                good, figures.seconds, pagesPerSecond, p50, p99, failed, 100 * failedShare,
                figures.reconnections);
    for (const auto& [why, count] : figures.whys)
        std::printf("  failed: %lld x %s\n", count, why.c_str());
    if (!figures.firstFailedPage.empty())
        std::printf("  first failed page: %s\n", figures.firstFailedPage.c_str());
    if (statusdCpu >= 0 && figures.seconds > 0)
        std::printf("CPU over the run: statusd %.0f %% of a core, this bench (load and fake "
                    "servers) %.0f %%; fake servers took %lld + %lld + %lld requests\n",
                    100 * statusdCpu / figures.seconds, 100 * ownCpu / figures.seconds,
                    ut99.requestsSeen(), ut2004.requestsSeen(), ut3.requestsSeen());
    std::printf("statusd after the load: %s, peak memory (VmHWM) %s\n", qPrintable(fate),
                qPrintable(megabytes(peakKib)));
    if (ended)
        std::printf("statusd's last output:\n%s\n", lastWords.c_str());
    std::printf("\n");

    const QString prefix =
        QStringLiteral("statusd %1 load%2: ").arg(options.api ? "API" : "mixed", options.label);
    const QString crash = figures.serverEnded ? QStringLiteral(" (statusd %1 after %2 s)")
                                                    .arg(fate)
                                                    .arg(figures.serverEndedAfter, 0, 'f', 1)
                                              : QString();
    const bool meaningful = !figures.serverEnded && good > 0;
    summary(prefix + QStringLiteral("pages per second, %1 connections").arg(options.connections),
            options.api ? QStringLiteral("-")
                        : QStringLiteral("≥ %1 pages/s").arg(kPagesPerSecondGoal),
            QStringLiteral("%1 pages/s").arg(pagesPerSecond, 0, 'f', 0) + crash,
            options.api ? Met::NotMeasured
                        : metIf(meaningful && pagesPerSecond >= kPagesPerSecondGoal));
    summary(prefix + QStringLiteral("p50 page time"), QStringLiteral("-"),
            good > 0 ? QStringLiteral("%1 ms").arg(p50, 0, 'f', 2) : QStringLiteral("no pages"),
            Met::NotMeasured);
    summary(prefix + QStringLiteral("p99 page time"),
            options.api ? QStringLiteral("-") : QStringLiteral("≤ %1 ms").arg(kP99GoalMs),
            good > 0 ? QStringLiteral("%1 ms").arg(p99, 0, 'f', 2) + crash
                     : QStringLiteral("no pages") + crash,
            options.api ? Met::NotMeasured : metIf(meaningful && p99 <= kP99GoalMs));
    summary(prefix + QStringLiteral("share of answers not a good 200 page"),
            QStringLiteral("≤ %1 %").arg(100 * kMostFailedShare),
            QStringLiteral("%1 % (%2 of %3)")
                    .arg(100 * failedShare, 0, 'f', 3)
                    .arg(failed)
                    .arg(good + failed) +
                crash,
            metIf(!figures.serverEnded && failedShare <= kMostFailedShare));
    summary(prefix + QStringLiteral("statusd peak memory (VmHWM) after it"), QStringLiteral("-"),
            megabytes(peakKib) + crash, Met::NotMeasured);
}

} // namespace bench
