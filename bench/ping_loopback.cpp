// Round-trip figures of the program's ping against the system's iputils ping on loopback, and
// the wall time of a ping that gets no answer (in a network namespace of the bench's own that
// ignores echo requests) against the one second asked for.
#include "NetworkNamespace.h"

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

    NetworkNamespace silent;
    if (!silent.isReady() || !silent.sysctl("net.ipv4.icmp_echo_ignore_all=1")) {
        std::printf("time-out path: skipped, no network namespace (%s)\n",
                    qPrintable(silent.whyNot()));
        return 0;
    }
    NetworkNamespace::Inside inside(silent);
    std::vector<double> waitedMs;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        const bool ok = pinger.Ping("127.0.0.1", 1000, "");
        waitedMs.push_back(clock.nsecsElapsed() / 1e6);
        if (ok || pinger.Reason != 3)
            std::printf("  unexpected: ok=%d Reason=%d\n", ok, pinger.Reason);
    }
    std::printf(
        "time-out path, 1000 ms asked, 5 samples: min %.1f ms, median %.1f ms, max %.1f ms\n",
        *std::min_element(waitedMs.begin(), waitedMs.end()), median(waitedMs),
        *std::max_element(waitedMs.begin(), waitedMs.end()));
    return 0;
}
