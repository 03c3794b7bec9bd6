// A game's list of servers at full size. 2,000 fake UT99 servers on loopback (one thread, a
// socket each, answering after 20 to 1,000 ms as servers across the internet do), listed by
// one fake master: /servers/ut99 opened in a real web view, served by the status service in
// this process, until its first row shows and until every row is filled; how many queries the
// servers saw at once and within one second, against the list's pace (24 at once, 40 new a
// second); this process's memory before and after. Then utquery-statusd with a master listing
// 20,000 entries (loopback addresses it refuses to ask), for the list's own memory.
#include "EventLoopWait.h"
#include "FakeMaster.h"
#include "FakeServers.h"
#include "StatusdChild.h"
#include "Summary.h"
#include "Ut99ServerFarm.h"

#include "platform/OpenFileLimit.h"
#include "platform/WebEngineSetup.h"
#include "queryservice/StatusService.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace utq;
using namespace utq::queryservice;

namespace {

constexpr int kServers = 2000;
constexpr int kServersPerAddress = 50; // a list keeps at most 64 ports of one address
constexpr int kStatusdEntries = 20000;
constexpr int kFirstRowGoalMs = 2000; // the page asks the API once a second

// Records in the page when its rows first show, first answer, and all answer, and when its
// progress line says the list is complete; the page's own script does the drawing.
constexpr auto kWatcher = R"(
window.__list = { firstRow: -1, firstUp: -1, allUp: -1, complete: -1, rows: 0, up: 0 };
new MutationObserver(() => {
  const w = window.__list;
  const now = performance.now();
  w.rows = document.querySelectorAll('table.list tbody tr').length;
  w.up = document.querySelectorAll('table.list tbody tr.up').length;
  const progress = document.getElementById('progress');
  if (w.firstRow < 0 && w.rows > 0) w.firstRow = now;
  if (w.firstUp < 0 && w.up > 0) w.firstUp = now;
  if (w.allUp < 0 && w.up >= @SERVERS@) w.allUp = now;
  if (w.complete < 0 && w.rows >= @SERVERS@ && progress &&
      !progress.textContent.includes('Asking')) w.complete = now;
}).observe(document, { subtree: true, childList: true, characterData: true });
)";

struct Memory {
    long rssKib = -1;
    long peakKib = -1;
};

Memory memoryOf(const QString& pid) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    Memory memory;
    if (!file.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            memory.rssKib = line.mid(6).trimmed().split(' ').value(0).toLong();
        else if (line.startsWith("VmHWM:"))
            memory.peakKib = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return memory;
}

QString mib(long kib) { return QString::number(static_cast<double>(kib) / 1024.0, 'f', 1); }

QString count(long long number) { return QLocale(QLocale::English).toString(number); }

// Server i's round trip: spread over 20 to 1,000 ms, the same in every run.
int delayOf(int server) { return 20 + (server * 7919) % 981; }

struct PageFigures {
    double firstRowMs = -1, firstUpMs = -1, allUpMs = -1, completeMs = -1;
    int rows = 0, up = 0;
};

PageFigures watchListPage(const QString& address, int timeoutMs) {
    QWebEnginePage page;
    QWebEngineView view;
    view.setPage(&page);
    view.resize(1000, 700);
    QWebEngineScript watcher;
    watcher.setSourceCode(
        QString::fromUtf8(kWatcher).replace(QLatin1String("@SERVERS@"), QString::number(kServers)));
    watcher.setInjectionPoint(QWebEngineScript::DocumentCreation);
    watcher.setWorldId(QWebEngineScript::ApplicationWorld);
    page.scripts().insert(watcher);
    view.show();
    view.load(QUrl(address));
    PageFigures figures;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const auto result = std::make_shared<QString>(); // outlives a late answer
        page.runJavaScript(QStringLiteral("JSON.stringify(window.__list || {})"),
                           QWebEngineScript::ApplicationWorld,
                           [result](const QVariant& value) { *result = value.toString(); });
        waitUntil([result] { return !result->isEmpty(); }, 2000);
        const QJsonObject list = QJsonDocument::fromJson(result->toUtf8()).object();
        figures.firstRowMs = list.value(QStringLiteral("firstRow")).toDouble(-1);
        figures.firstUpMs = list.value(QStringLiteral("firstUp")).toDouble(-1);
        figures.allUpMs = list.value(QStringLiteral("allUp")).toDouble(-1);
        figures.completeMs = list.value(QStringLiteral("complete")).toDouble(-1);
        figures.rows = list.value(QStringLiteral("rows")).toInt();
        figures.up = list.value(QStringLiteral("up")).toInt();
        if (figures.completeMs >= 0)
            break;
        keepRunningFor(250);
    }
    view.close();
    view.setPage(nullptr);
    return figures;
}

// utquery-statusd with `masters`, until its UT99 list is complete: its memory then, and the
// rows listed; the peak is -1 when it did not get that far.
struct StatusdFigures {
    Memory memory;
    int rows = 0;
    qint64 completeMs = -1;
    qsizetype apiBytes = 0; // the list's answer from the API, once complete
};

StatusdFigures statusdWithList(const QStringList& masters) {
    StatusdFigures figures;
    const quint16 port = freeTcpPort();
    QProcess statusd;
    if (!startServing(statusd, QStringList{QStringLiteral(UTQ_STATUSD),
                                           QStringLiteral("127.0.0.1:%1").arg(port),
                                           QStringLiteral("--list-seconds"), QStringLiteral("60")} +
                                   masters)) {
        std::printf("utquery-statusd did not start: %s\n",
                    statusd.readAllStandardError().constData());
        return figures;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        statusd.readAllStandardOutput(); // a line per request
        const QByteArray answer = fetch(QHostAddress::LocalHost, port, "/api/v1/list?game=ut99");
        const QJsonObject list =
            QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
        if (list.value(QStringLiteral("complete")).toBool()) {
            figures.completeMs = clock.elapsed();
            figures.rows = static_cast<int>(list.value(QStringLiteral("servers")).toArray().size());
            figures.apiBytes = answer.size();
            figures.memory = memoryOf(QString::number(statusd.processId()));
            break;
        }
        keepRunningFor(1000);
    }
    statusd.terminate();
    if (!statusd.waitForFinished(5000))
        statusd.kill();
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    platform::prepareWebEngine();
    QApplication app(argc, argv);
    const long descriptors = platform::raiseOpenFileLimit();
    const QString self = QString::number(QCoreApplication::applicationPid());
    const Memory before = memoryOf(self);
    std::printf("bench build: %s; open-file limit %ld\n", bench::buildKind(), descriptors);

    bench::Ut99ServerFarm farm(kServers, kServersPerAddress, delayOf, [](int server) {
        const QByteArray name = "Bench " + QByteArray::number(server + 1);
        return fakeservers::ut99(name)({}, 1).value(0).toStdString();
    });
    std::string error;
    if (!farm.start(error)) {
        std::printf("the fake servers did not start: %s\n", error.c_str());
        return 1;
    }
    QByteArray listed;
    for (const bench::Ut99ServerFarm::Server& server : farm.servers())
        listed += "\\ip\\" + QByteArray::fromStdString(server.address()) + ':' +
                  QByteArray::number(server.port);
    FakeMaster master(listed + "\\final\\");

    ServiceSettings settings;
    settings.lists.masters = {
        *parseMasterAddress(QStringLiteral("127.0.0.1:%1").arg(master.port()))};
    StatusService service(settings);
    const quint16 servicePort = service.listen();
    if (!servicePort)
        return 1;

    std::printf("%d fake UT99 servers on %d loopback addresses, answering after 20 to 1,000 ms; "
                "one master lists them all\n\n",
                kServers, (kServers + kServersPerAddress - 1) / kServersPerAddress);
    const PageFigures page =
        watchListPage(QStringLiteral("http://127.0.0.1:%1/servers/ut99").arg(servicePort), 150000);
    const bench::Ut99ServerFarm::Figures seen = farm.figures();
    const PacedAsking& pacing = service.list(GameKind::UT99).pacing();
    const Memory after = memoryOf(self);
    std::printf("/servers/ut99, ms from the navigation's start:\n"
                "  first row shown     %9.0f\n  first row answered  %9.0f\n"
                "  every row answered  %9.0f\n  complete            %9.0f\n"
                "  rows %d, answered %d\n",
                page.firstRowMs, page.firstUpMs, page.allUpMs, page.completeMs, page.rows, page.up);
    std::printf("the servers saw %lld requests for %d of them; at once at most %d (bound %d), "
                "started within one second at most %d (bound %d; the first to the last of "
                "them %.1f ms)\n",
                seen.requests, seen.serversAsked, seen.mostInFlight, kListQueriesInFlight,
                seen.mostStartedInOneSecond, kListQueriesPerSecond,
                static_cast<double>(seen.busiestSecondSpanUs) / 1000.0);
    std::printf("the service counted at once at most %d, within one second at most %d\n",
                pacing.mostInFlight(), pacing.mostInOneSecond());
    std::printf("this process: VmRSS %s MiB before, %s MiB after; VmHWM %s MiB\n\n",
                qPrintable(mib(before.rssKib)), qPrintable(mib(after.rssKib)),
                qPrintable(mib(after.peakKib)));

    // What the pace means on a real connection, where some listed servers are silent and
    // hold their place until the deadline (settings.pageDeadlineMs).
    const double deadlineS = settings.pageDeadlineMs / 1000.0;
    // PacedAsking spaces the starts a millisecond more than an even share of the second.
    const double paceLimit = 1000.0 / (1000 / kListQueriesPerSecond + 1);
    std::printf("On a real connection, %s servers, one started each %d ms (at most %d a second) "
                "and %d at once (answering ones' round trip 150 ms, silent ones held up to "
                "%.0f s):\n",
                qPrintable(count(kServers)), 1000 / kListQueriesPerSecond + 1,
                kListQueriesPerSecond, kListQueriesInFlight, deadlineS);
    double allAnsweringS = 0;
    for (const int silentPercent : {0, 10, 25, 50}) {
        const double silent = silentPercent / 100.0;
        const double heldS = silent * deadlineS + (1 - silent) * 0.15;
        const double perSecond = std::min<double>(paceLimit, kListQueriesInFlight / heldS);
        const double seconds = kServers / perSecond;
        if (silentPercent == 0)
            allAnsweringS = seconds;
        std::printf("  %2d%% silent: %4.1f new a second, the last row after about %3.0f s\n",
                    silentPercent, perSecond, seconds);
    }
    std::printf("\n");
    std::fflush(stdout);

    // utquery-statusd: an empty list (its one master a closed port), then 20,000 entries.
    const StatusdFigures empty = statusdWithList(kNoMasters);
    QByteArray many;
    for (int entry = 0; entry < kStatusdEntries; ++entry)
        many += "\\ip\\127.2." + QByteArray::number(entry / kServersPerAddress / 250) + '.' +
                QByteArray::number(entry / kServersPerAddress % 250 + 1) + ':' +
                QByteArray::number(7778 + entry % kServersPerAddress);
    FakeMaster big(many + "\\final\\");
    const StatusdFigures full = statusdWithList(
        {QStringLiteral("--master"), QStringLiteral("127.0.0.1:%1").arg(big.port())});
    std::printf(
        "utquery-statusd, its UT99 list complete: with none VmHWM %s MiB (VmRSS %s); "
        "with %s entries (%d rows, complete after %lld ms, the API's answer %s bytes) VmHWM %s "
        "MiB (VmRSS %s)\n",
        qPrintable(mib(empty.memory.peakKib)), qPrintable(mib(empty.memory.rssKib)),
        qPrintable(count(kStatusdEntries)), full.rows, full.completeMs,
        qPrintable(count(full.apiBytes)), qPrintable(mib(full.memory.peakKib)),
        qPrintable(mib(full.memory.rssKib)));

    const bool filled = page.allUpMs >= 0 && page.completeMs >= 0;
    const double fillGoalS = std::ceil(kServers / paceLimit + 5);
    bench::summary(QStringLiteral("server list: first row on /servers/ut99 (2,000 servers)"),
                   QStringLiteral("≤ %1 ms").arg(kFirstRowGoalMs),
                   QStringLiteral("%1 ms").arg(page.firstRowMs, 0, 'f', 0),
                   bench::metIf(page.firstRowMs >= 0 && page.firstRowMs <= kFirstRowGoalMs));
    bench::summary(
        QStringLiteral("server list: every row filled, list complete"),
        QStringLiteral("≤ 2,000 / %1 per s + 5 s = %2 s").arg(paceLimit, 0, 'f', 1).arg(fillGoalS),
        filled ? QStringLiteral("%1 s").arg(page.completeMs / 1000, 0, 'f', 1)
               : QStringLiteral("%1 of %2 rows answered").arg(page.up).arg(kServers),
        bench::metIf(filled && page.completeMs <= fillGoalS * 1000));
    bench::summary(
        QStringLiteral("server list: most queries at once, seen by the servers"),
        QStringLiteral("≤ %1").arg(kListQueriesInFlight), QString::number(seen.mostInFlight),
        bench::metIf(seen.serversAsked > 0 && seen.mostInFlight <= kListQueriesInFlight));
    bench::summary(
        QStringLiteral("server list: most queries started within one second, seen by the servers"),
        QStringLiteral("≤ %1").arg(kListQueriesPerSecond),
        QString::number(seen.mostStartedInOneSecond),
        bench::metIf(seen.serversAsked > 0 &&
                     seen.mostStartedInOneSecond <= kListQueriesPerSecond));
    bench::summary(QStringLiteral("server list: this process's VmRSS before → after, VmHWM"),
                   QStringLiteral("-"),
                   QStringLiteral("%1 → %2 MiB, %3 MiB")
                       .arg(mib(before.rssKib), mib(after.rssKib), mib(after.peakKib)),
                   bench::Met::NotMeasured);
    bench::summary(QStringLiteral("server list: utquery-statusd VmHWM, 20,000 entries (none)"),
                   QStringLiteral("-"),
                   full.memory.peakKib >= 0
                       ? QStringLiteral("%1 MiB (%2 MiB)")
                             .arg(mib(full.memory.peakKib), mib(empty.memory.peakKib))
                       : QStringLiteral("list not complete within 60 s"),
                   bench::Met::NotMeasured);
    bench::summary(QStringLiteral("server list: 2,000 answering servers on a real connection"),
                   QStringLiteral("-"),
                   QStringLiteral("about %1 s (the pace: %2 a second)")
                       .arg(allAnsweringS, 0, 'f', 0)
                       .arg(paceLimit, 0, 'f', 1),
                   bench::Met::NotMeasured);
    return 0;
}
