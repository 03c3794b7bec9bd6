// 64 loopback addresses each hold 16 idle connections, the default per-client share, which
// together fill the default 1,000; a holder whose connection is closed opens another half a
// second later. Meanwhile a new client each second asks for the live script: was it served?
#include "HttpConnection.h"
#include "ScheduledFetches.h"
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <QStringList>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHolderAddresses = 64;
constexpr int kConnectionsEach = 16;
constexpr auto kReopenAfter = std::chrono::milliseconds(500);
constexpr auto kMostOpening = std::chrono::seconds(20);
constexpr auto kSettle = std::chrono::seconds(1);
constexpr int kNewcomers = 20;
constexpr double kNewcomerEveryMs = 1000;
constexpr int kNewcomerTimeoutMs = 5000;
// Holders stop at the latest this long after they began, whatever the probes do.
constexpr auto kMostHolding = std::chrono::seconds(60);

const char* const kPrefix = "statusd 64-address lockout: ";

QString figure(const char* what) { return QString::fromLatin1(kPrefix) + QLatin1String(what); }

double secondsSince(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The idle connections of the holding addresses, kept open from a thread of their own.
class Holders {
public:
    explicit Holders(uint16_t port) : port_(port) {}
    ~Holders() { stop(); }

    void start() {
        thread_ = std::thread([this] { run(); });
    }
    void stop() {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool opened() const { return openingDone_.load(); }
    int openNow() const { return open_.load(); }
    long long closedByServer() const { return closed_.load(); }
    long long reopened() const { return reopened_.load(); }
    double openingSeconds() const { return openingSeconds_.load(); }

private:
    struct Slot {
        uint32_t source;
        std::unique_ptr<HttpConnection> connection = std::make_unique<HttpConnection>();
        Clock::time_point reopenAt{};
    };

    bool openSlot(Slot& slot) {
        const bool ok = slot.connection->open(port_, 1000, slot.source);
        if (!ok)
            slot.reopenAt = Clock::now() + kReopenAfter;
        return ok;
    }

    void run() {
        const auto begun = Clock::now();
        std::vector<Slot> held;
        for (int address = 1; address <= kHolderAddresses; ++address)
            for (int each = 0; each < kConnectionsEach; ++each)
                held.push_back({loopbackAddress(0, 2, address)});
        for (Slot& slot : held)
            if (!stopping_ && Clock::now() - begun < kMostOpening)
                openSlot(slot);
        openingSeconds_ = secondsSince(begun);
        openingDone_ = true;

        while (!stopping_ && Clock::now() - begun < kMostHolding) {
            std::vector<pollfd> waits;
            std::vector<Slot*> owners;
            int open = 0;
            for (Slot& slot : held) {
                if (slot.connection->isOpen()) {
                    waits.push_back({slot.connection->fd(), POLLIN, 0});
                    owners.push_back(&slot);
                    ++open;
                } else if (Clock::now() >= slot.reopenAt) {
                    ++reopened_;
                    open += openSlot(slot) ? 1 : 0;
                }
            }
            open_ = open;
            if (::poll(waits.data(), waits.size(), 50) <= 0)
                continue;
            for (size_t w = 0; w < waits.size(); ++w) {
                if (!(waits[w].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                // An idle client sent nothing: anything readable is the server ending it.
                char buffer[4096];
                if (::read(waits[w].fd, buffer, sizeof buffer) > 0)
                    continue;
                owners[w]->connection->close();
                owners[w]->reopenAt = Clock::now() + kReopenAfter;
                ++closed_;
            }
        }
    }

    uint16_t port_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> openingDone_{false};
    std::atomic<double> openingSeconds_{0};
    std::atomic<int> open_{0};
    std::atomic<long long> closed_{0};
    std::atomic<long long> reopened_{0};
};

} // namespace

void runLockout(const StatusdCommand& command) {
    // Over 2,000 descriptors between the bench and the service.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    StatusdProcess statusd(command.program, command.arguments);
    std::string error;
    if (!statusd.start(10000, error))
        return summary(
            figure("newcomers served"), QStringLiteral("all"),
            QStringLiteral("statusd did not start: %1").arg(QString::fromStdString(error)),
            Met::No);

    std::printf("== 64-address lockout: %d addresses (127.0.2.1 ..) open %d idle connections "
                "each and reopen a closed one after %lld ms; then a new client address each "
                "second asks once for /qEl/live.js, %d of them\n",
                kHolderAddresses, kConnectionsEach, static_cast<long long>(kReopenAfter.count()),
                kNewcomers);
    std::fflush(stdout);
    Holders holders(statusd.port());
    holders.start();
    const auto begun = Clock::now();
    while (!holders.opened() && Clock::now() - begun < kMostOpening + kSettle)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(kSettle);
    const int heldAtStart = holders.openNow();

    FetchRun run;
    run.port = statusd.port();
    run.groups = {{0, 0}};
    for (int newcomer = 0; newcomer < kNewcomers; ++newcomer)
        run.fetches.push_back({newcomer * kNewcomerEveryMs, 0, loopbackAddress(0, 6, 1 + newcomer),
                               "/qEl/live.js", kNewcomerTimeoutMs});
    run.lastStartMs = kNewcomers * kNewcomerEveryMs;
    run.mostMs = run.lastStartMs + kNewcomerTimeoutMs + 1000;
    run.tick = [&statusd](double) {
        return statusd.alive();
    };
    const std::vector<FetchResult> results = runFetches(run);
    const int heldAtEnd = holders.openNow();
    holders.stop();
    const bool ended = statusd.endedOnItsOwn();
    const QString fate = QString::fromStdString(statusd.fate());
    const long peakKib = statusd.peakKib();
    statusd.stop();

    std::map<std::string, int> kinds;
    QStringList servedAt;
    std::printf("holders: %d of %d connections open after %.1f s of opening and %lld s more; "
                "%d at the end; the service closed %lld, the holders opened %lld again\n",
                heldAtStart, kHolderAddresses * kConnectionsEach, holders.openingSeconds(),
                static_cast<long long>(kSettle.count()), heldAtEnd, holders.closedByServer(),
                holders.reopened());
    std::printf("newcomers (start s: what came, ms):");
    for (const FetchResult& result : results) {
        const std::string kind = !result.answered       ? failureKind(result)
                                 : result.status == 200 ? std::string("served")
                                                        : "status " + std::to_string(result.status);
        ++kinds[kind];
        if (kind == "served")
            servedAt.append(QString::number(result.startedMs / 1000, 'f', 0));
        std::printf(" %.1f:%s %.0f;", result.startedMs / 1000, kind.c_str(), result.ms);
    }
    std::printf("\nstatusd %s, peak memory %s\n\n", qPrintable(fate),
                qPrintable(megabytes(peakKib)));

    QStringList kindText;
    for (const auto& [kind, count] : kinds)
        kindText.append(QStringLiteral("%1 %2").arg(count).arg(QString::fromStdString(kind)));
    const int served = kinds.count("served") ? kinds.at("served") : 0;
    const QString crash = ended ? QStringLiteral(" (statusd %1)").arg(fate) : QString();
    summary(figure("idle connections held"), QStringLiteral("-"),
            QStringLiteral("%1 of %2 at the start, %3 at the end")
                .arg(heldAtStart)
                .arg(kHolderAddresses * kConnectionsEach)
                .arg(heldAtEnd),
            Met::NotMeasured);
    summary(figure("newcomers served"), QStringLiteral("all %1").arg(kNewcomers),
            QStringLiteral("%1 of %2: ").arg(served).arg(results.size()) +
                kindText.join(QStringLiteral(", ")) + crash,
            metIf(!ended && served == kNewcomers));
    summary(figure("seconds at which newcomers were served"), QStringLiteral("-"),
            servedAt.isEmpty() ? QStringLiteral("none") : servedAt.join(u' '), Met::NotMeasured);
}

} // namespace bench
