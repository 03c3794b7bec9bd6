#include "FloodingUt99Server.h"
#include "PageFetch.h"
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <algorithm>
#include <cstdio>

namespace bench {
namespace {

constexpr double kPageGoalSeconds = 6;
constexpr double kPeakGoalMegabytes = 150;

void summariseAll(const QString& why) {
    const QString prefix = QStringLiteral("statusd flood: ");
    summary(prefix + QStringLiteral("page time"), QStringLiteral("< %1 s").arg(kPageGoalSeconds),
            why, Met::No);
    summary(prefix + QStringLiteral("statusd peak memory (VmHWM)"),
            QStringLiteral("< %1 MB").arg(kPeakGoalMegabytes), why, Met::No);
}

} // namespace

void runFlood(const StatusdCommand& command, const FloodOptions& options) {
    FloodingUt99Server flood(options.datagramsPerSecond, options.streamSeconds);
    if (!flood.start())
        return summariseAll(QStringLiteral("the flooding fake server did not start"));
    StatusdProcess statusd(command.program, command.arguments);
    std::string error;
    if (!statusd.start(10000, error))
        return summariseAll(
            QStringLiteral("statusd did not start: %1").arg(QString::fromStdString(error)));

    std::printf("== flood: a UT99 server streams numbered parts without end (%d datagrams/s per "
                "query, each stream for at most %d s); %d clients ask for its page at once\n",
                options.datagramsPerSecond, options.streamSeconds, options.clients);
    std::fflush(stdout);
    const std::vector<std::string> targets(static_cast<size_t>(options.clients),
                                           "/php/UTstats/index.php?txtip=127.0.0.1&portnum=" +
                                               std::to_string(flood.port()));
    long peakKib = -1;
    const std::vector<FetchedPage> pages =
        fetchTogether(statusd.port(), targets, options.waitSeconds * 1000, [&] {
            peakKib = std::max(peakKib, statusd.peakKib());
            return statusd.alive();
        });
    flood.stop();
    peakKib = std::max(peakKib, statusd.peakKib()); // its whole life's peak, even if it ended
    const bool ended = statusd.endedOnItsOwn();
    const QString fate = QString::fromStdString(statusd.fate());
    const std::string lastWords = ended ? statusd.outputTail(8) : std::string();
    statusd.stop();

    double slowestMs = -1;
    size_t largest = 0;
    int answered = 0, ok = 0;
    QString firstWhy;
    for (size_t client = 0; client < pages.size(); ++client) {
        const FetchedPage& page = pages[client];
        if (page.answered) {
            std::printf("client %zu: status %d, %zu bytes, %.0f ms\n", client + 1, page.status,
                        page.bytes, page.ms);
            slowestMs = std::max(slowestMs, page.ms);
            largest = std::max(largest, page.bytes);
            ++answered;
            ok += page.status == 200 ? 1 : 0;
        } else {
            std::printf("client %zu: %s\n", client + 1, page.why.c_str());
            if (firstWhy.isEmpty())
                firstWhy = QString::fromStdString(page.why);
        }
    }
    std::printf("flood sent %lld datagrams in %d streams; statusd %s, peak memory (VmHWM) %s\n",
                flood.datagramsSent(), flood.streamsStarted(), qPrintable(fate),
                qPrintable(megabytes(peakKib)));
    if (ended)
        std::printf("statusd's last output:\n%s\n", lastWords.c_str());
    std::printf("\n");

    const QString prefix = QStringLiteral("statusd flood: ");
    const QString crash = ended ? QStringLiteral(" (statusd %1)").arg(fate) : QString();
    QString pageTime;
    if (answered == static_cast<int>(pages.size()) && answered > 0)
        pageTime = QStringLiteral("%1 s, slowest of %2 (%3 with status 200)")
                       .arg(slowestMs / 1000, 0, 'f', 2)
                       .arg(answered)
                       .arg(ok);
    else
        pageTime = QStringLiteral("n/a: %1 of %2 pages came (%3)")
                       .arg(answered)
                       .arg(pages.size())
                       .arg(firstWhy);
    summary(prefix + QStringLiteral("page time"), QStringLiteral("< %1 s").arg(kPageGoalSeconds),
            pageTime + crash,
            metIf(!ended && answered == static_cast<int>(pages.size()) && answered > 0 &&
                  slowestMs < kPageGoalSeconds * 1000));
    summary(prefix + QStringLiteral("page size"), QStringLiteral("-"),
            answered > 0 ? QStringLiteral("%1 bytes, the largest").arg(largest)
                         : QStringLiteral("n/a"),
            Met::NotMeasured);
    summary(prefix + QStringLiteral("statusd peak memory (VmHWM)"),
            QStringLiteral("< %1 MB").arg(kPeakGoalMegabytes), megabytes(peakKib) + crash,
            peakKib < 0 ? Met::NotMeasured
                        : metIf(static_cast<double>(peakKib) * 1024 / 1e6 < kPeakGoalMegabytes));
}

} // namespace bench
