// Round-trip figures of the program's ping against the system's iputils ping on loopback, and
// the wall time of a ping that gets no answer (in a network namespace of the bench's own that
// ignores echo requests) against the one second asked for.
#include "NetworkNamespace.h"
#include "Summary.h"

#include "net/PingIPv4.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kSamples = 200;

    // Ours: the round-trip time it reports (whole ms) and the wall time of each Ping call.
    utq::net::PingIPv4 pinger;
    std::vector<double> reportedMs, callUs;
    int failures = 0;
    for (int i = 0; i < kSamples; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!pinger.Ping("127.0.0.1", 1000, "")) {
            ++failures;
            continue;
        }
        callUs.push_back(clock.nsecsElapsed() / 1000.0);
        reportedMs.push_back(pinger.RoundTripTime);
    }

    // iputils, in the same run: its own per-reply times.
    std::vector<double> iputilsUs;
    QProcess ping;
    ping.start("ping",
               {"-n", "-c", QString::number(kSamples), "-i", "0.01", "-W", "1", "127.0.0.1"});
    if (ping.waitForFinished(60000)) {
        const QString out = QString::fromLocal8Bit(ping.readAllStandardOutput());
        QRegularExpressionMatchIterator it =
            QRegularExpression(R"(time=([0-9.]+) ms)").globalMatch(out);
        while (it.hasNext())
            iputilsUs.push_back(it.next().captured(1).toDouble() * 1000.0);
    }

    std::printf("loopback, %d samples each\n", kSamples);
    std::printf("  ours: reported RoundTripTime median %.0f ms (max %.0f), whole call median %.1f "
                "us, %d failed\n",
                median(reportedMs),
                reportedMs.empty() ? -1.0 : *std::max_element(reportedMs.begin(), reportedMs.end()),
                median(callUs), failures);
    std::printf("  iputils ping: median %.1f us over %zu replies\n", median(iputilsUs),
                iputilsUs.size());
    if (!callUs.empty() && !iputilsUs.empty())
        std::printf("  difference of medians (our whole call - iputils reply): %.3f ms\n",
                    (median(callUs) - median(iputilsUs)) / 1000.0);

    // Ours is judged on the whole call, since it reports whole milliseconds only.
    const QString roundTrip = QStringLiteral("ping: median round trip on loopback");
    const QString systemPing = QStringLiteral("≤ system ping");
    if (callUs.empty())
        bench::summary(
            roundTrip, systemPing,
            QStringLiteral("no replies (%1 of %2 failed; a raw ICMP socket needs root or "
                           "cap_net_raw)")
                .arg(failures)
                .arg(kSamples),
            bench::Met::No);
    else if (iputilsUs.empty())
        bench::summary(
            roundTrip, systemPing,
            QStringLiteral("%1 us (iputils ping: no replies)").arg(median(callUs), 0, 'f', 1),
            bench::Met::NotMeasured);
    else
        bench::summary(
            roundTrip, systemPing,
            QStringLiteral("%1 us (iputils %2 us)%3")
                .arg(median(callUs), 0, 'f', 1)
                .arg(median(iputilsUs), 0, 'f', 1)
                .arg(failures > 0 ? QStringLiteral(", %1 failed").arg(failures) : QString()),
            bench::metIf(failures == 0 && median(callUs) <= median(iputilsUs)));

    const QString unanswered = QStringLiteral("ping: unanswered ping ends");
    const QString asked = QStringLiteral("1000 ms ± 50 ms");
    NetworkNamespace silent;
    if (!silent.isReady() || !silent.sysctl("net.ipv4.icmp_echo_ignore_all=1")) {
        std::printf("time-out path: skipped, no network namespace (%s)\n",
                    qPrintable(silent.whyNot()));
        bench::summary(unanswered, asked,
                       QStringLiteral("not measured, needs root for a network namespace: %1")
                           .arg(silent.whyNot().trimmed()),
                       bench::Met::NotMeasured);
        return 0;
    }
    NetworkNamespace::Inside inside(silent);
    std::vector<double> waitedMs;
    int unexpected = 0;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        const bool ok = pinger.Ping("127.0.0.1", 1000, "");
        waitedMs.push_back(clock.nsecsElapsed() / 1e6);
        if (ok || pinger.Reason != 3) {
            std::printf("  unexpected: ok=%d Reason=%d\n", ok, pinger.Reason);
            ++unexpected;
        }
    }
    const double shortest = *std::min_element(waitedMs.begin(), waitedMs.end());
    const double longest = *std::max_element(waitedMs.begin(), waitedMs.end());
    std::printf(
        "time-out path, 1000 ms asked, 5 samples: min %.1f ms, median %.1f ms, max %.1f ms\n",
        shortest, median(waitedMs), longest);
    bench::summary(unanswered, asked,
                   QStringLiteral("median %1 ms (%2..%3 over %4)%5")
                       .arg(median(waitedMs), 0, 'f', 1)
                       .arg(shortest, 0, 'f', 1)
                       .arg(longest, 0, 'f', 1)
                       .arg(waitedMs.size())
                       .arg(unexpected > 0 ? QStringLiteral(", %1 not a time-out").arg(unexpected)
                                           : QString()),
                   bench::metIf(unexpected == 0 && shortest >= 950 && longest <= 1050));
    return 0;
}
