// statusd in a network namespace of the bench's own, whose name server never answers and
// whose hosts file names a clan's UT99 server: six client addresses ask for random names
// while the clan's server's page is asked every second, during the flood and after it.
#include "BenchNamespace.h"
#include "FakeServerThread.h"
#include "FakeServers.h"
#include "HttpConnection.h"
#include "LoadGenerator.h"
#include "ScheduledFetches.h"
#include "SilentUdpPort.h"
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <random>
#include <thread>

namespace bench {
namespace {

constexpr int kFloodClients = 6;
constexpr double kFloodPerSecond = 4.8;
constexpr double kFloodMs = 30000;
constexpr double kAfterMs = 40000;
constexpr double kKnownEveryMs = 1000;
// By then strangers' look-ups fill the resolver; a first look-up of the known name earlier
// would keep it in the system's look-up cache for a minute and hide what others get.
constexpr double kKnownFirstMs = 5000;
constexpr int kTimeoutMs = 10000;
constexpr uint32_t kNameServer = loopbackAddress(0, 9, 53);
constexpr uint32_t kBystander = loopbackAddress(0, 3, 100);
// Another asks for a name of the hosts file not asked before each time, which no look-up
// cache can answer: whether the resolver itself still serves known names.
constexpr uint32_t kFreshBystander = loopbackAddress(0, 3, 101);
const char* const kKnownName = "clan-ut99.lan";
const char* const kServerName = "ClanUT99";

const char* const kPrefix = "statusd slow resolver: ";

QString figure(const char* what) { return QString::fromLatin1(kPrefix) + QLatin1String(what); }

struct Outcome {
    std::string failure; // empty when the whole phase ran
    std::vector<FetchResult> known;
    std::vector<FetchResult> fresh;
    std::vector<FetchResult> flood;
    long long questions = 0;
    std::string fate;
    std::string lastWords;
    long peakKib = -1;
};

// What one page came back as.
std::string kindOf(const FetchResult& result) {
    if (!result.answered)
        return failureKind(result);
    switch (result.mark) {
    case 0:
        return "status";
    case 1:
        return "late look-up";
    case 2:
        return "unknown";
    }
    return "other " + std::to_string(result.status);
}

std::string freshName(int second) { return "clan-" + std::to_string(second) + ".lan"; }

std::string randomName(std::mt19937& random) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string label;
    for (int letter = 0; letter < 12; ++letter)
        label += kLetters[random() % (sizeof kLetters - 1)];
    return label + ".nowhere.lan";
}

// The whole phase, on a thread inside the namespace.
void runInside(const StatusdCommand& command, const BenchNamespace& ns, Outcome& outcome) {
    if (!ns.enterOnThisThread()) {
        outcome.failure = "could not enter the namespace";
        return;
    }
    SilentUdpPort nameServer(kNameServer, 53); // takes every question and answers none
    if (nameServer.port() == 0) {
        outcome.failure = "the mute name server could not bind";
        return;
    }
    FakeServerThread clan(fakeservers::ut99(kServerName));
    const quint16 clanPort = clan.startServing();
    if (clanPort == 0) {
        outcome.failure = "the clan's fake UT99 server did not start";
        return;
    }
    StatusdProcess statusd(command.program, command.arguments, {"ip", "netns", "exec", ns.name()});
    std::string error;
    if (!statusd.start(10000, error)) {
        outcome.failure = "statusd did not start: " + error;
        return;
    }

    FetchRun run;
    run.port = statusd.port();
    // The known name's pages, the strangers', the fresh known names'; each in time order.
    run.groups = {{0, 0}, {0, 0}, {0, 0}};
    run.marks = {"<h1>" + std::string(kServerName) + "</h1>", "looked up in time",
                 "Unknown server"};
    const std::string page =
        "/php/UTstats/index.php?portnum=" + std::to_string(clanPort) + "&txtip=";
    std::vector<std::vector<FetchResult>*> sink;
    for (double at = kKnownFirstMs; at < kFloodMs + kAfterMs; at += kKnownEveryMs) {
        run.fetches.push_back({at, 0, kBystander, page + kKnownName, kTimeoutMs});
        sink.push_back(&outcome.known);
        run.fetches.push_back(
            {at, 2, kFreshBystander, page + freshName(static_cast<int>(at / 1000)), kTimeoutMs});
        sink.push_back(&outcome.fresh);
    }
    std::mt19937 random(20240611);
    const double gapMs = 1000 / kFloodPerSecond;
    for (int ask = 0; ask * gapMs < kFloodMs; ++ask) {
        const uint32_t client = loopbackAddress(0, 3, 1 + ask % kFloodClients);
        run.fetches.push_back({ask * gapMs, 1, client, page + randomName(random), kTimeoutMs});
        sink.push_back(&outcome.flood);
    }
    run.lastStartMs = kFloodMs + kAfterMs;
    run.mostMs = kFloodMs + kAfterMs + kTimeoutMs + 1000;
    run.tick = [&](double) {
        nameServer.requestsTaken();
        return statusd.alive();
    };
    const std::vector<FetchResult> results = runFetches(run);
    for (size_t index = 0; index < results.size(); ++index)
        sink[index]->push_back(results[index]);
    outcome.questions = nameServer.requestsTaken();
    outcome.peakKib = statusd.peakKib();
    const bool ended = statusd.endedOnItsOwn();
    outcome.fate = statusd.fate();
    outcome.lastWords = ended ? statusd.outputTail(8) : std::string();
    statusd.stop();
}

struct Window {
    int asked = 0;
    std::map<std::string, int> kinds;
    std::vector<float> allMs; // every answered page
};

void addTo(Window& window, const FetchResult& result) {
    const std::string kind = kindOf(result);
    ++window.asked;
    ++window.kinds[kind];
    if (result.answered)
        window.allMs.push_back(static_cast<float>(result.ms));
}

QString windowText(const Window& window) {
    QStringList kinds;
    for (const auto& [kind, count] : window.kinds)
        if (kind != "status")
            kinds.append(QStringLiteral("%1 %2").arg(count).arg(QString::fromStdString(kind)));
    QString text = QStringLiteral("%1 of %2 with the status")
                       .arg(window.kinds.count("status") ? window.kinds.at("status") : 0)
                       .arg(window.asked);
    if (!kinds.isEmpty())
        text += QStringLiteral(" (") + kinds.join(QStringLiteral(", ")) + u')';
    if (!window.allMs.empty())
        text += QStringLiteral("; answers p50 %1 ms, p99 %2 ms")
                    .arg(percentile(window.allMs, 0.5), 0, 'f', 0)
                    .arg(percentile(window.allMs, 0.99), 0, 'f', 0);
    return text;
}

std::string hostsFile() {
    std::string hosts =
        "127.0.0.1 localhost\n::1 localhost\n127.0.0.1 " + std::string(kKnownName) + "\n";
    for (int second = 0; second <= static_cast<int>((kFloodMs + kAfterMs) / 1000); ++second)
        hosts += "127.0.0.1 " + freshName(second) + "\n";
    return hosts;
}

} // namespace

void runSlowResolverFlood(const StatusdCommand& command) {
    BenchNamespace ns;
    const auto fail = [](const QString& why) {
        summary(figure("known-name pages with the status, during the flood"), QStringLiteral("all"),
                why, Met::No);
    };
    if (!ns.isReady())
        return fail(
            QStringLiteral("no network namespace: %1").arg(QString::fromStdString(ns.whyNot())));
    char nameServer[INET_ADDRSTRLEN];
    const uint32_t nameServerAddress = htonl(kNameServer);
    ::inet_ntop(AF_INET, &nameServerAddress, nameServer, sizeof nameServer);
    if (!ns.writeEtcFile("resolv.conf", "nameserver " + std::string(nameServer) + "\n") ||
        !ns.writeEtcFile("hosts", hostsFile()))
        return fail(QStringLiteral("could not write /etc/netns/%1/")
                        .arg(QString::fromStdString(ns.name())));

    std::printf("== slow resolver: statusd in namespace %s, whose name server %s never answers; "
                "%d client addresses ask for random names, %.1f pages a second in all, for %.0f "
                "s; %s (from its hosts file) is asked every %.0f ms from %.0f s on, and for %.0f s "
                "after the flood\n",
                ns.name().c_str(), nameServer, kFloodClients, kFloodPerSecond, kFloodMs / 1000,
                kKnownName, kKnownEveryMs, kKnownFirstMs / 1000, kAfterMs / 1000);
    std::fflush(stdout);
    Outcome outcome;
    std::thread inside([&] { runInside(command, ns, outcome); });
    inside.join();
    if (!outcome.failure.empty())
        return fail(QString::fromStdString(outcome.failure));

    Window during, after, freshDuring, freshAfter;
    std::printf("the known name's pages (start s: what came, ms):");
    for (const FetchResult& result : outcome.known) {
        Window& window = result.startedMs < kFloodMs ? during : after;
        addTo(window, result);
        std::printf(" %.1f:%s %.0f;", result.startedMs / 1000, kindOf(result).c_str(), result.ms);
    }
    std::printf("\nfresh names of the hosts file (start s: what came, ms):");
    for (const FetchResult& result : outcome.fresh) {
        Window& window = result.startedMs < kFloodMs ? freshDuring : freshAfter;
        addTo(window, result);
        std::printf(" %.1f:%s %.0f;", result.startedMs / 1000, kindOf(result).c_str(), result.ms);
    }
    std::map<std::string, int> floodKinds;
    std::map<std::string, std::string> firstWhy;
    for (const FetchResult& result : outcome.flood)
        if (!result.answered)
            firstWhy.emplace(failureKind(result),
                             result.why + " at " + std::to_string(result.startedMs / 1000) + " s");
    for (const auto& [kind, why] : firstWhy)
        std::printf("first random-name page %s: %s\n", kind.c_str(), why.c_str());
    for (const FetchResult& result : outcome.flood)
        ++floodKinds[result.answered && result.mark < 0 ? "status " + std::to_string(result.status)
                                                        : kindOf(result)];
    QStringList floodText;
    for (const auto& [kind, count] : floodKinds)
        floodText.append(QStringLiteral("%1 %2").arg(count).arg(QString::fromStdString(kind)));
    std::printf("\nduring the flood: %s\nafter it: %s\nfresh names during the flood: %s\nafter "
                "it: %s\nrandom names: %s; the name server was "
                "asked %lld questions\nstatusd %s, peak memory %s\n",
                qPrintable(windowText(during)), qPrintable(windowText(after)),
                qPrintable(windowText(freshDuring)), qPrintable(windowText(freshAfter)),
                qPrintable(floodText.join(QStringLiteral(", "))), outcome.questions,
                outcome.fate.c_str(), qPrintable(megabytes(outcome.peakKib)));
    if (!outcome.lastWords.empty())
        std::printf("statusd's last output:\n%s\n", outcome.lastWords.c_str());
    std::printf("\n");

    const auto allGood = [](const Window& window) {
        return window.asked > 0 && window.kinds.count("status") &&
               window.kinds.at("status") == window.asked;
    };
    summary(figure("known-name pages with the status, during the flood"), QStringLiteral("all"),
            windowText(during), metIf(allGood(during)));
    summary(figure("known-name pages with the status, 40 s after it"), QStringLiteral("all"),
            windowText(after), metIf(allGood(after)));
    summary(figure("fresh hosts-file names' pages with the status, during the flood"),
            QStringLiteral("all"), windowText(freshDuring), metIf(allGood(freshDuring)));
    summary(figure("fresh hosts-file names' pages with the status, 40 s after it"),
            QStringLiteral("all"), windowText(freshAfter), metIf(allGood(freshAfter)));
    summary(figure("random names' pages"), QStringLiteral("-"),
            floodText.join(QStringLiteral(", ")), Met::NotMeasured);
}

} // namespace bench
