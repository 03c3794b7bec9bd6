// The UT99 start page of 22 servers drawn with each server's day as a small chart, and
// without: the time of one drawing and its size.
#include "HistoryPhases.h"
#include "Summary.h"
#include "SyntheticSamples.h"

#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StartPages.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <cstdio>

namespace bench {
namespace {

constexpr int kServers = 22;
constexpr int kBuckets = 48;
constexpr qint64 kBucketMs = 30 * 60000;
constexpr int kRenders = 2000;

using utq::queryservice::pages::ListedServer;

QList<ListedServer> listedServers(bool withCharts, qint64 nowMs) {
    QList<ListedServer> servers;
    for (int index = 0; index < kServers; ++index) {
        ListedServer server{QStringLiteral("Bench server %1").arg(index + 1),
                            QStringLiteral("192.0.2.%1").arg(index + 1), QStringLiteral("7778")};
        server.joinPort = QStringLiteral("7777");
        server.favourite = index >= 16;
        server.row = index >= 16 ? index - 15 : index + 1;
        server.joinAddress = QStringLiteral("unreal://%1:7777").arg(server.host);
        if (withCharts) {
            utq::queryservice::pages::Sparkline line{
                nowMs - kBuckets * kBucketMs, nowMs, {}, kBucketMs};
            for (int bucket = 0; bucket < kBuckets; ++bucket) {
                const qint64 startMs = (nowMs / kBucketMs - kBuckets + bucket) * kBucketMs;
                const utq::history::Sample sample =
                    syntheticSample(benchServer(index), index, startMs, 60);
                const int players = sample.players.value_or(0);
                line.points.append({startMs, double(players), players,
                                    utq::history::isUp(sample.state) ? 1.0 : 0.0});
            }
            server.sparkline = utq::queryservice::pages::sparklineSvg(line);
        }
        servers << server;
    }
    return servers;
}

struct Rendered {
    Spread perRenderUs;
    qsizetype bytes = 0;
};

Rendered render(const QList<ListedServer>& servers) {
    Rendered rendered;
    QList<double> times;
    for (int count = 0; count < kRenders; ++count) {
        QElapsedTimer clock;
        clock.start();
        const QByteArray page = utq::queryservice::pages::startPage(utq::GameKind::UT99, servers);
        times << double(clock.nsecsElapsed()) / 1000.0;
        rendered.bytes = page.size();
    }
    rendered.perRenderUs = spreadOf(times);
    return rendered;
}

} // namespace

void runStartPageRender() {
    std::printf("\n== The UT99 start page with %d servers\n", kServers);
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    QElapsedTimer clock;
    clock.start();
    const QList<ListedServer> charted = listedServers(true, nowMs);
    const double chartsUs = double(clock.nsecsElapsed()) / 1000.0;
    qsizetype chartBytes = 0;
    for (const ListedServer& server : charted)
        chartBytes += server.sparkline.size();
    const Rendered with = render(charted);
    const Rendered without = render(listedServers(false, nowMs));
    std::printf("  %d charts of %d buckets drawn in %.0f µs, %lld bytes of SVG\n", kServers,
                kBuckets, chartsUs, static_cast<long long>(chartBytes));
    for (const auto& [name, rendered] :
         {std::pair{"with charts", with}, std::pair{"without", without}}) {
        std::printf("  %-12s median %.1f µs, worst %.1f µs of %d renders; %lld bytes\n", name,
                    rendered.perRenderUs.median, rendered.perRenderUs.worst, kRenders,
                    static_cast<long long>(rendered.bytes));
        summary(QStringLiteral("history: start page of 22 servers %1, per render").arg(name),
                QStringLiteral("n/a"),
                QStringLiteral("%1 µs, %2 bytes")
                    .arg(rendered.perRenderUs.median, 0, 'f', 1)
                    .arg(rendered.bytes),
                Met::NotMeasured);
    }
}

} // namespace bench
