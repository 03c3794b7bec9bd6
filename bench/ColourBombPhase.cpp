// One client address asks, within its limits, for 60 hostile UT2004 servers' pages and JSON
// answers, each answer half a megabyte of coloured names; meanwhile a bystander fetches the
// live script. What the service holds and burns, and what the bystander waits.
#include "ColourBombServers.h"
#include "HttpConnection.h"
#include "LoadGenerator.h"
#include "ScheduledFetches.h"
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

namespace bench {
namespace {

constexpr int kServers = 60;
constexpr uint32_t kAsker = loopbackAddress(0, 1, 1);
constexpr uint32_t kBystander = loopbackAddress(0, 1, 2);
// Four at a time and a little under five a second: the default limits of one client.
constexpr int kAskerInFlight = 4;
constexpr double kAskerGapMs = 210;
constexpr int kAskTimeoutMs = 30000;
constexpr double kLiveScriptEveryMs = 250;
constexpr int kLiveScriptTimeoutMs = 10000;
constexpr double kLastStartMs = 45000;
constexpr double kMostMs = 80000;
constexpr int kLaterSeconds[] = {5, 15}; // memory looked at again this long after the load

const char* const kPrefix = "statusd colour bomb: ";

QString figure(const char* what) { return QString::fromLatin1(kPrefix) + QLatin1String(what); }

void summariseFailure(const QString& why) {
    summary(figure("statusd peak memory (VmHWM)"), QStringLiteral("-"), why, Met::No);
}

struct Sizes {
    std::vector<float> bytes;
    std::vector<float> ms;
    std::map<std::string, int> outcomes; // "200", "429", "reset", ...
};

QString sizesText(std::vector<float> bytes) {
    if (bytes.empty())
        return QStringLiteral("none");
    return QStringLiteral("%1 answers of %2 / %3 / %4 bytes (least / median / most)")
        .arg(bytes.size())
        .arg(percentile(bytes, 0.0), 0, 'f', 0)
        .arg(percentile(bytes, 0.5), 0, 'f', 0)
        .arg(percentile(bytes, 1.0), 0, 'f', 0);
}

QString outcomesText(const std::map<std::string, int>& outcomes) {
    QStringList parts;
    for (const auto& [outcome, count] : outcomes)
        parts.append(QStringLiteral("%1 x %2").arg(count).arg(QString::fromStdString(outcome)));
    return parts.join(QStringLiteral(", "));
}

} // namespace

void runColourBomb(const StatusdCommand& command) {
    ColourBombServers bombs(kServers);
    if (!bombs.start())
        return summariseFailure(QStringLiteral("the fake UT2004 servers did not start"));
    StatusdProcess statusd(command.program, command.arguments);
    std::string error;
    if (!statusd.start(10000, error))
        return summariseFailure(
            QStringLiteral("statusd did not start: %1").arg(QString::fromStdString(error)));

    std::printf("== colour bomb: %d UT2004 servers each answer with %d players of %d colour runs "
                "(%d datagrams, %zu bytes); one client address asks for each one's page and "
                "JSON answer, %d at a time, one every %.0f ms at most; another fetches "
                "/qEl/live.js every %.0f ms. At least %.0f s of load, at most %.0f s: shorter than "
                "the 60 s the fault was seen over.\n",
                kServers, ColourBombServers::kPlayers, ColourBombServers::kRunsPerName,
                bombs.datagramsPerAnswer(), bombs.bytesPerAnswer(), kAskerInFlight, kAskerGapMs,
                kLiveScriptEveryMs, 2 * kServers * kAskerGapMs / 1000, kLastStartMs / 1000);
    std::fflush(stdout);

    FetchRun run;
    run.port = statusd.port();
    run.groups = {{kAskerInFlight, kAskerGapMs}, {0, 0}};
    for (const uint16_t queryPort : bombs.queryPorts()) {
        const std::string port = std::to_string(queryPort - 1); // the game port
        run.fetches.push_back({0, 0, kAsker,
                               "/phpnuke/html/SQuery/index.php?ip=127.0.0.1&port=" + port,
                               kAskTimeoutMs});
        run.fetches.push_back({0, 0, kAsker,
                               "/api/v1/status?game=ut2004&host=127.0.0.1&port=" + port,
                               kAskTimeoutMs});
    }
    const size_t asks = run.fetches.size();
    for (double at = 0; at < kLastStartMs; at += kLiveScriptEveryMs)
        run.fetches.push_back({at, 1, kBystander, "/qEl/live.js", kLiveScriptTimeoutMs});
    run.leadingGroup = 0;
    run.lastStartMs = kLastStartMs;
    run.mostMs = kMostMs;
    const long rssBefore = statusd.rssKib();
    long rssPeak = rssBefore;
    run.tick = [&](double) {
        rssPeak = std::max(rssPeak, statusd.rssKib());
        return statusd.alive();
    };
    const double cpuBefore = statusd.cpuSeconds();
    const auto begun = std::chrono::steady_clock::now();
    const std::vector<FetchResult> results = runFetches(run);
    const double loadSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    const double cpu = statusd.cpuSeconds() - cpuBefore;
    const long rssEnd = statusd.rssKib();
    std::vector<long> rssLater;
    int waited = 0;
    for (const int seconds : kLaterSeconds) {
        for (; waited < seconds * 10 && statusd.alive(); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        rssLater.push_back(statusd.rssKib());
    }
    const long peakKib = statusd.peakKib();
    const bool ended = statusd.endedOnItsOwn();
    const QString fate = QString::fromStdString(statusd.fate());
    const std::string lastWords = ended ? statusd.outputTail(8) : std::string();
    statusd.stop();
    bombs.stop();

    Sizes pages, api, live;
    int liveGood = 0, liveOther = 0;
    for (size_t index = 0; index < results.size(); ++index) {
        const FetchResult& result = results[index];
        Sizes& of = index >= asks ? live : index % 2 == 0 ? pages : api;
        if (!result.started)
            continue;
        ++of.outcomes[result.answered ? std::to_string(result.status) : failureKind(result)];
        if (result.answered && result.status == 200) {
            of.bytes.push_back(static_cast<float>(result.bytes));
            of.ms.push_back(static_cast<float>(result.ms));
            liveGood += index >= asks ? 1 : 0;
        } else {
            liveOther += index >= asks ? 1 : 0;
        }
    }
    const double cpuShare = loadSeconds > 0 && cpu >= 0 ? cpu / loadSeconds : -1;
    std::printf("load took %.1f s; the servers took %lld requests and sent %lld datagrams\n",
                loadSeconds, bombs.requestsTaken(), bombs.datagramsSent());
    std::printf("pages: %s; %s; p50 %.0f ms, most %.0f ms\n",
                qPrintable(outcomesText(pages.outcomes)), qPrintable(sizesText(pages.bytes)),
                percentile(pages.ms, 0.5), percentile(pages.ms, 1.0));
    std::printf("JSON:  %s; %s; p50 %.0f ms, most %.0f ms\n",
                qPrintable(outcomesText(api.outcomes)), qPrintable(sizesText(api.bytes)),
                percentile(api.ms, 0.5), percentile(api.ms, 1.0));
    std::printf("live.js: %s; p50 %.1f ms, p99 %.1f ms, most %.1f ms\n",
                qPrintable(outcomesText(live.outcomes)), percentile(live.ms, 0.5),
                percentile(live.ms, 0.99), percentile(live.ms, 1.0));
    std::printf("statusd CPU: %.1f s in %.1f s of load (%.0f %% of a core)\n", cpu, loadSeconds,
                100 * cpuShare);
    std::printf("statusd memory: %s before, peak %s (VmRSS seen) / %s (VmHWM), %s at the end, %s "
                "%d s later, %s %d s later; %s\n",
                qPrintable(megabytes(rssBefore)), qPrintable(megabytes(rssPeak)),
                qPrintable(megabytes(peakKib)), qPrintable(megabytes(rssEnd)),
                qPrintable(megabytes(rssLater[0])), kLaterSeconds[0],
                qPrintable(megabytes(rssLater[1])), kLaterSeconds[1], qPrintable(fate));
    if (ended)
        std::printf("statusd's last output:\n%s\n", lastWords.c_str());
    std::printf("\n");

    const QString crash = ended ? QStringLiteral(" (statusd %1)").arg(fate) : QString();
    summary(figure("statusd peak memory (VmHWM)"), QStringLiteral("-"),
            megabytes(peakKib) + QStringLiteral(" (%1 before)").arg(megabytes(rssBefore)) + crash,
            Met::NotMeasured);
    summary(figure("statusd memory at the end / later"), QStringLiteral("-"),
            QStringLiteral("%1 / %2 after %3 s / %4 after %5 s")
                    .arg(megabytes(rssEnd), megabytes(rssLater[0]))
                    .arg(kLaterSeconds[0])
                    .arg(megabytes(rssLater[1]))
                    .arg(kLaterSeconds[1]) +
                crash,
            Met::NotMeasured);
    summary(figure("statusd CPU in the load"), QStringLiteral("-"),
            QStringLiteral("%1 s in %2 s").arg(cpu, 0, 'f', 1).arg(loadSeconds, 0, 'f', 1),
            Met::NotMeasured);
    summary(figure("largest page / JSON answer"), QStringLiteral("-"),
            QStringLiteral("%1 / %2 bytes (%3 / %4 good of %5 each)")
                .arg(pages.bytes.empty() ? 0 : percentile(pages.bytes, 1.0), 0, 'f', 0)
                .arg(api.bytes.empty() ? 0 : percentile(api.bytes, 1.0), 0, 'f', 0)
                .arg(pages.bytes.size())
                .arg(api.bytes.size())
                .arg(kServers),
            Met::NotMeasured);
    summary(figure("a bystander's /qEl/live.js p50 / p99"), QStringLiteral("-"),
            live.ms.empty() ? QStringLiteral("none came") + crash
                            : QStringLiteral("%1 / %2 ms (%3 good, %4 not)")
                                      .arg(percentile(live.ms, 0.5), 0, 'f', 1)
                                      .arg(percentile(live.ms, 0.99), 0, 'f', 1)
                                      .arg(liveGood)
                                      .arg(liveOther) +
                                  crash,
            Met::NotMeasured);
}

} // namespace bench
