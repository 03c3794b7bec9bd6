#include "HttpConnection.h"
#include "PageFetch.h"
#include "SilentUdpPort.h"
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMostOpeningMs = 15000;
constexpr int kQueriesStartMs = 5000;
// Longer than a query's two tries of 2 s: by then every query has ended and answered no one.
constexpr int kAfterwardsMs = 8000;

double secondsSince(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

} // namespace

void runGivingUpClients(const StatusdCommand& command, int clients) {
    const QString figure = QStringLiteral("statusd alive after %1 clients gave up").arg(clients);
    SilentUdpPort silent;
    StatusdProcess statusd(command.program, command.arguments);
    std::string error;
    if (silent.port() == 0)
        return summary(figure, QStringLiteral("yes"), QStringLiteral("n/a: no silent UDP port"),
                       Met::NotMeasured);
    if (!statusd.start(10000, error))
        return summary(
            figure, QStringLiteral("yes"),
            QStringLiteral("statusd did not start: %1").arg(QString::fromStdString(error)),
            Met::No);

    std::printf("== %d clients ask for a silent UT99 server's page and leave before the answer\n",
                clients);
    const std::string request =
        getRequest(statusd.port(), "/php/UTstats/index.php?txtip=127.0.0.1&portnum=" +
                                       std::to_string(silent.port()));
    // All connect first, then all ask: the last request goes out well before the first
    // query's answer would be due.
    std::vector<std::unique_ptr<HttpConnection>> connections;
    const auto opening = Clock::now();
    for (int client = 0; client < clients && secondsSince(opening) * 1000 < kMostOpeningMs;
         ++client) {
        auto connection = std::make_unique<HttpConnection>();
        if (connection->open(statusd.port(), 2000))
            connections.push_back(std::move(connection));
    }
    const double openingSeconds = secondsSince(opening);
    const auto asking = Clock::now();
    long long sent = 0;
    for (const auto& connection : connections)
        sent += connection->send(request) ? 1 : 0;
    // Their queries reach the silent server: statusd has taken every request.
    while (silent.requestsTaken() < sent && statusd.alive() &&
           secondsSince(asking) * 1000 < kQueriesStartMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const long long queries = silent.requestsTaken();
    const double askingSeconds = secondsSince(asking);
    const size_t connected = connections.size();
    connections.clear(); // every client leaves

    const auto left = Clock::now();
    while (statusd.alive() && secondsSince(left) * 1000 < kAfterwardsMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double endedAfter = secondsSince(left);
    bool serves = false;
    if (statusd.alive()) {
        const auto pages = fetchTogether(statusd.port(), {"/php/UTstats/lobby2.html"}, 5000,
                                         [&statusd] { return statusd.alive(); });
        serves = pages[0].answered && pages[0].status == 200;
    }
    const bool alive = statusd.alive();
    const QString fate = QString::fromStdString(statusd.fate());
    const std::string lastWords = alive ? std::string() : statusd.outputTail(8);
    statusd.stop();

    std::printf("%zu of %d clients connected in %.2f s; %lld requests sent, %lld queries reached "
                "the silent server in %.2f s, then the clients left\n",
                connected, clients, openingSeconds, sent, queries, askingSeconds);
    if (alive)
        std::printf("statusd still running %.1f s later; its start page %s\n", endedAfter,
                    serves ? "loads" : "does NOT load");
    else
        std::printf("statusd %s %.1f s after the clients left; its last output:\n%s\n",
                    qPrintable(fate), endedAfter, lastWords.c_str());
    std::printf("\n");
    const QString measured =
        alive ? (serves ? QStringLiteral("yes") : QStringLiteral("running, but not serving"))
              : QStringLiteral("no: %1 %2 s after they left").arg(fate).arg(endedAfter, 0, 'f', 1);
    summary(figure, QStringLiteral("yes"), measured, metIf(alive && serves));
}

} // namespace bench
