// Time from an HTTP request to the built-in status service until the finished page has
// arrived, for each game against a local fake game server, next to the wall time Debian's
// qstat takes to query the same fake server in the same run. Figures only: the goal line says
// whether a page took at most 1.2 x qstat's time + 20 ms, and nothing fails on it.
// --verbose also prints qstat's last output for each game.
#include "FakeServers.h"
#include "Summary.h"
#include "queryservice/BackgroundStatusService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWarmUps = 2;
constexpr int kPageWaitMs = 6000;      // longer than a query's two tries of 2 s
constexpr int kProcessWaitMs = 10000;  // qstat gives up after about 2 s by default
constexpr qint64 kRunBudgetMs = 90000; // no more samples are taken after this

struct Figures {
    std::vector<double> ms;
    int failures = 0;
};

// Nearest rank; -1 when there is nothing.
double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// One page: wall time from the GET to the finished reply, or -1 when it failed, did not come,
// or is not the whole status of the server named `name`.
double fetchPage(QNetworkAccessManager& manager, const QUrl& url, const QByteArray& name,
                 const QList<QByteArray>& players) {
    QElapsedTimer clock;
    clock.start();
    QNetworkRequest request(url);
    request.setTransferTimeout(kPageWaitMs);
    QNetworkReply* reply = manager.get(request);
    {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kPageWaitMs, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
    }
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    bool ok = reply->isFinished() && reply->error() == QNetworkReply::NoError;
    const QByteArray page = ok ? reply->readAll() : QByteArray();
    ok = ok && page.contains("<h1>" + name + "</h1>") && !page.contains("did not arrive");
    for (const QByteArray& player : players)
        ok = ok && page.contains(player);
    reply->abort();
    reply->deleteLater();
    return ok ? ms : -1;
}

struct ProcessRun {
    double ms = -1;
    bool finished = false;
    QByteArray out;
};

// Wall time of a child process from its start to its end, the event loop running meanwhile
// (the fake servers answer from it).
ProcessRun runProcess(const QString& program, const QStringList& arguments) {
    ProcessRun run;
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(kProcessWaitMs, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(0)) {
        process.kill();
        process.waitForFinished(1000);
        return run;
    }
    run.ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    run.finished =
        process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit;
    run.out = process.readAllStandardOutput();
    return run;
}

// qstat's -raw "," output shows the server up, named `name`, with `players` player lines.
bool qstatSaysUp(const QByteArray& out, const QByteArray& name, int players, bool rules) {
    QList<QByteArray> lines = out.split('\n');
    lines.removeIf([](const QByteArray& line) { return line.trimmed().isEmpty(); });
    if (lines.isEmpty())
        return false;
    const QList<QByteArray> fields = lines.first().split(',');
    if (fields.size() < 8 || fields[2] != name)
        return false;
    return lines.size() - 1 - (rules ? 1 : 0) == players;
}

struct Row {
    QString label;
    QUrl page;
    QByteArray name;
    QList<QByteArray> players;
    QStringList qstatArguments; // empty: ours only
    bool qstatRules = false;
    int samples = 0;
    Figures ours, peer;
    QByteArray lastQstatOutput;
};

QString join(const QStringList& arguments) { return arguments.join(u' '); }

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QElapsedTimer total;
    total.start();

    utq::queryservice::BackgroundStatusService service{utq::queryservice::ServiceSettings{}};
    if (service.start() == 0) {
        std::printf("the status service did not start\n");
        return 1;
    }
    const QString base = QStringLiteral("http://") + service.hostAndPort();

    using ut2004replies::str;
    FakeGameServer ut99(fakeservers::ut99("BenchUT99"));
    FakeGameServer ut2004(
        fakeservers::ut2004(str("BenchUT2004"), {{1, str("Alice"), 40, 12, ut2004replies::kRed},
                                                 {2, str("Bob"), 50, 3, ut2004replies::kBlue}}));
    ut3replies::Server ut3Server;
    ut3Server.name = "BenchUT3";
    ut3Server.players = {{"Carol", 7, 30, 0}, {"Dave", 4, 60, 1}};
    ut3Server.teams = {{"Red", 7}, {"Blue", 4}};
    FakeGameServer ut3(fakeservers::ut3(ut3Server));
    // Three players counted, two listed (a spectator, say): nothing tells the end of the list.
    FakeGameServer shortList([](const QByteArray& request, int) {
        using namespace ut2004replies;
        if (request.size() != 5)
            return QList<QByteArray>{};
        const QByteArray rules = rulesReply({{"ServerMode", "dedicated"}});
        const QByteArray players =
            playersReply({{1, str("Erin"), 40, 5, kRed}, {2, str("Frank"), 45, 2, kBlue}});
        switch (request[4]) {
        case 0:
            return QList<QByteArray>{infoReply(str("BenchShortList"), "DM-Rankin", 3, 16)};
        case 1:
            return QList<QByteArray>{rules};
        case 2:
            return QList<QByteArray>{players};
        case 3:
            return QList<QByteArray>{rules, players};
        }
        return QList<QByteArray>{};
    });

    QString qstat = QStandardPaths::findExecutable(QStringLiteral("quakestat"));
    if (qstat.isEmpty())
        qstat = QStandardPaths::findExecutable(QStringLiteral("qstat"));

    const auto port = [](const FakeGameServer& server, int less = 0) {
        return QString::number(server.port() - less);
    };
    const QString host = QStringLiteral("127.0.0.1");
    const QStringList raw = {QStringLiteral("-raw"), QStringLiteral(",")};
    const QStringList rulesAndPlayers = {QStringLiteral("-R"), QStringLiteral("-P")};

    std::vector<Row> rows;
    const auto addRow = [&rows](const QString& label, const QUrl& page, const QByteArray& name,
                                const QList<QByteArray>& players, const QStringList& arguments,
                                bool rules, int samples) {
        Row row;
        row.label = label;
        row.page = page;
        row.name = name;
        row.players = players;
        row.qstatArguments = arguments;
        row.qstatRules = rules;
        row.samples = samples;
        rows.push_back(row);
    };
    // qstat takes the game port of UT99 and UT2004 and queries the port after it; UT3's port
    // is its query port.
    addRow(QStringLiteral("UT99"),
           QUrl(base +
                QStringLiteral("/php/UTstats/index.php?txtip=%1&portnum=%2").arg(host, port(ut99))),
           "BenchUT99", {"Low", "High"},
           QStringList{QStringLiteral("-uns"), host + u':' + port(ut99, 1)} + rulesAndPlayers + raw,
           true, 30);
    const QUrl ut2004Page(
        base + QStringLiteral("/phpnuke/html/SQuery/index.php?ip=%1&port=%2&game=UT2004&block=1")
                   .arg(host, port(ut2004, 1)));
    // With -R qstat cannot tell the last rules datagram and ends when its retries run out.
    addRow(QStringLiteral("UT2004"), ut2004Page, "BenchUT2004", {"Alice", "Bob"},
           QStringList{QStringLiteral("-ut2004s"), host + u':' + port(ut2004, 1)} +
               rulesAndPlayers + raw,
           true, 8);
    addRow(QStringLiteral("UT2004 qstat -P"), ut2004Page, "BenchUT2004", {"Alice", "Bob"},
           QStringList{QStringLiteral("-ut2004s"), host + u':' + port(ut2004, 1),
                       QStringLiteral("-P")} +
               raw,
           false, 30);
    addRow(QStringLiteral("UT3"),
           QUrl(base + QStringLiteral("/qEl/UT3Query/ut3query.php?serverip=%1&serverqport=%2"
                                      "&serverwport=0")
                           .arg(host, port(ut3))),
           "BenchUT3", {"Carol", "Dave"},
           QStringList{QStringLiteral("-ut3s"), host + u':' + port(ut3)} + rulesAndPlayers + raw,
           true, 30);
    addRow(QStringLiteral("UT2004 2 of 3"),
           QUrl(base + QStringLiteral("/phpnuke/html/SQuery/index.php?ip=%1&port=%2&game=UT2004"
                                      "&block=1")
                           .arg(host, port(shortList, 1))),
           "BenchShortList", {"Erin", "Frank"},
           QStringList{QStringLiteral("-ut2004s"), host + u':' + port(shortList, 1),
                       QStringLiteral("-P")} +
               raw,
           false, 5);

    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);

    // qstat's own start-up: the configuration read, no server given, nothing queried.
    Figures startUp;
    const QStringList nothing = {QStringLiteral("-f"), QStringLiteral("/dev/null")};
    if (!qstat.isEmpty()) {
        for (int i = 0; i < kWarmUps; ++i)
            runProcess(qstat, nothing);
        for (int i = 0; i < 30 && total.elapsed() < kRunBudgetMs; ++i) {
            const ProcessRun run = runProcess(qstat, nothing);
            if (run.finished)
                startUp.ms.push_back(run.ms);
            else
                ++startUp.failures;
        }
    }

    for (Row& row : rows) {
        const bool peer = !qstat.isEmpty() && !row.qstatArguments.isEmpty();
        for (int i = 0; i < kWarmUps; ++i) {
            fetchPage(manager, row.page, row.name, row.players);
            if (peer)
                runProcess(qstat, row.qstatArguments);
        }
        for (int i = 0; i < row.samples && total.elapsed() < kRunBudgetMs; ++i) {
            const double ms = fetchPage(manager, row.page, row.name, row.players);
            if (ms >= 0)
                row.ours.ms.push_back(ms);
            else
                ++row.ours.failures;
            if (!peer)
                continue;
            const ProcessRun run = runProcess(qstat, row.qstatArguments);
            row.lastQstatOutput = run.out;
            if (run.finished && qstatSaysUp(run.out, row.name, static_cast<int>(row.players.size()),
                                            row.qstatRules))
                row.peer.ms.push_back(run.ms);
            else
                ++row.peer.failures;
        }
    }

    const char* build = bench::buildKind();
    std::printf("status page (GET to finished reply) against qstat (process start to end), "
                "loopback fake servers; %s build; times in ms\n",
                build);
    std::printf("goal: page <= 1.2 x qstat + 20 ms, judged on medians and on p90s\n\n");
    std::printf("%-16s %3s | %8s %8s %4s | %8s %8s %4s | %6s %8s %-8s %-8s\n", "game", "n",
                "page med", "p90", "fail", "qstat med", "p90", "fail", "ratio", "limit", "goal med",
                "goal p90");
    for (const Row& row : rows) {
        const double ourMedian = percentile(row.ours.ms, 0.5),
                     ourP90 = percentile(row.ours.ms, 0.9);
        const double peerMedian = percentile(row.peer.ms, 0.5),
                     peerP90 = percentile(row.peer.ms, 0.9);
        const int n = static_cast<int>(row.ours.ms.size()) + row.ours.failures;
        if (peerMedian < 0) {
            std::printf("%-16s %3d | %8.2f %8.2f %4d | %8s %8s %4d |\n", qPrintable(row.label), n,
                        ourMedian, ourP90, row.ours.failures, "-", "-", row.peer.failures);
            continue;
        }
        const double limit = 1.2 * peerMedian + 20;
        std::printf("%-16s %3d | %8.2f %8.2f %4d | %8.2f %8.2f %4d | %6.2f %8.2f %-8s %-8s\n",
                    qPrintable(row.label), n, ourMedian, ourP90, row.ours.failures, peerMedian,
                    peerP90, row.peer.failures, ourMedian / peerMedian, limit,
                    ourMedian >= 0 && ourMedian <= limit ? "met" : "NOT met",
                    ourP90 >= 0 && ourP90 <= 1.2 * peerP90 + 20 ? "met" : "NOT met");
    }
    if (qstat.isEmpty()) {
        std::printf("\nqstat not found (Debian package qstat, binary quakestat): pages only\n");
    } else {
        std::printf("\nqstat start-up alone (%s %s): median %.2f ms, p90 %.2f ms, %zu runs, %d "
                    "failed\n",
                    qPrintable(qstat), qPrintable(join(nothing)), percentile(startUp.ms, 0.5),
                    percentile(startUp.ms, 0.9), startUp.ms.size(), startUp.failures);
        std::printf("qstat invocations:\n");
        for (const Row& row : rows)
            std::printf("  %-16s %s %s\n", qPrintable(row.label), qPrintable(qstat),
                        qPrintable(join(row.qstatArguments)));
    }
    if (app.arguments().contains(QStringLiteral("--verbose")))
        for (const Row& row : rows)
            std::printf("qstat's last output for %s:\n%s", qPrintable(row.label),
                        row.lastQstatOutput.constData());
    std::printf("\"UT2004 2 of 3\": 2 players listed of the 3 the info counts, so the page "
                "waits out a quiet time after the last datagram.\n");
    std::printf("whole run: %.1f s\n", static_cast<double>(total.elapsed()) / 1000.0);

    // The medians, one line a row, as judged in the table above.
    for (const Row& row : rows) {
        const QString figure = QStringLiteral("status page %1: median page time").arg(row.label);
        const double ourMedian = percentile(row.ours.ms, 0.5);
        const double peerMedian = percentile(row.peer.ms, 0.5);
        const QString measured = ourMedian < 0
                                     ? QStringLiteral("no page (%1 failed)").arg(row.ours.failures)
                                     : QStringLiteral("%1 ms").arg(ourMedian, 0, 'f', 2);
        if (peerMedian < 0) {
            bench::summary(figure, QStringLiteral("≤ 1.2 × qstat + 20 ms (no qstat figure)"),
                           measured, bench::Met::NotMeasured);
            continue;
        }
        const double limit = 1.2 * peerMedian + 20;
        bench::summary(figure,
                       QStringLiteral("≤ 1.2 × %1 + 20 = %2 ms")
                           .arg(peerMedian, 0, 'f', 2)
                           .arg(limit, 0, 'f', 2),
                       measured, bench::metIf(ourMedian >= 0 && ourMedian <= limit));
    }
    return 0;
}
