// Start-up figures of the real main window with its seven web views, against a local page
// server: time to the first paint, time until every start page has loaded, and the memory
// (proportional set size) of this process together with the web engine's helper processes.
#include "PageServer.h"
#include "Summary.h"
#include "app/TabControl.h"
#include "app/qElQuery.h"
#include "platform/WebEngineSetup.h"
#include "platform/WebView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

// Pss of one process in KiB, from /proc/PID/smaps_rollup.
long pssKiB(const QString& pid) {
    QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLong();
    return 0;
}

QString parentOf(const QString& pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return QString::fromLatin1(fields.value(1));
}

// This process and every process below it.
long familyPssKiB(int* processes) {
    const QString self = QString::number(QCoreApplication::applicationPid());
    QStringList family = {self};
    const QStringList all = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (bool grew = true; grew;) {
        grew = false;
        for (const QString& pid : all)
            if (!family.contains(pid) && family.contains(parentOf(pid))) {
                family << pid;
                grew = true;
            }
    }
    long total = 0;
    for (const QString& pid : family)
        total += pssKiB(pid);
    *processes = static_cast<int>(family.size());
    return total;
}

class FirstPaint : public QObject {
public:
    qint64 at = -1;
    QElapsedTimer* clock = nullptr;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && at < 0)
            at = clock->elapsed();
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    utq::platform::prepareWebEngine();
    QApplication app(argc, argv);
    PageServer pages;
    const qint64 appReady = sinceStart.elapsed();

    QElapsedTimer clock;
    clock.start();
    FirstPaint paint;
    paint.clock = &clock;
    utq::Hosts hosts{pages.hostAndPort(), QStringLiteral("us.qel.example"),
                     QStringLiteral("uk.qel.example"), QStringLiteral("www.qel.example"),
                     QStringLiteral("ts.qel.example")};
    int loaded = 0;
    qint64 allLoadedAt = -1;
    auto* window = new utq::qElQuery(hosts);
    const qint64 constructed = clock.elapsed();
    int processesBefore = 0;
    const long pssBefore = familyPssKiB(&processesBefore);
    window->installEventFilter(&paint);
    for (auto* view : window->findChildren<utq::platform::WebView*>())
        QObject::connect(view, &utq::platform::WebView::loadFinished, [&] {
            if (allLoadedAt >= 0)
                return; // a rested page loaded again later
            if (++loaded == 7)
                allLoadedAt = clock.elapsed();
        });

    // A loop of its own: the application's quit() would close the window, and its pages with it.
    QEventLoop startUp;
    QTimer::singleShot(30000, &startUp, &QEventLoop::quit); // bounded, whatever happens
    QTimer settle;
    QObject::connect(&settle, &QTimer::timeout, [&] {
        if (allLoadedAt >= 0 && clock.elapsed() > allLoadedAt + 1500)
            startUp.quit();
    });
    settle.start(100);
    startUp.exec();

    int processes = 0;
    const long pss = familyPssKiB(&processes);

    // A player looks through every tab once and comes back to the first; the hidden pages
    // rest a while later.
    auto* tabs = window->findChild<utq::TabControl*>();
    settle.stop();
    const auto wait = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        wait(1500);
    }
    tabs->setCurrentIndex(0);
    wait(2000);
    int processesShown = 0;
    const long pssShown = familyPssKiB(&processesShown);
    wait(12000);
    const long pssRested = familyPssKiB(&processesShown);
    std::printf("application object ready:        %lld ms after main\n",
                static_cast<long long>(appReady));
    std::printf("window constructed and shown:    %lld ms\n", static_cast<long long>(constructed));
    std::printf("window first painted:            %lld ms\n", static_cast<long long>(paint.at));
    std::printf("all 7 start pages loaded:        %lld ms (%d of 7)\n",
                static_cast<long long>(allLoadedAt), loaded);
    std::printf("PSS before the web engine starts: %.1f MiB\n", pssBefore / 1024.0);
    std::printf("total PSS, %d processes:          %.1f MiB\n", processes, pss / 1024.0);
    std::printf("every tab shown once:            %.1f MiB; its hidden pages rested: %.1f MiB "
                "(%d processes)\n",
                pssShown / 1024.0, pssRested / 1024.0, processesShown);
    std::printf("web engine flags: %s\n", qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").constData());

    using bench::metIf;
    bench::summary(QStringLiteral("window: first paint"), QStringLiteral("≤ 1000 ms"),
                   paint.at >= 0 ? QStringLiteral("%1 ms").arg(paint.at)
                                 : QStringLiteral("never painted"),
                   metIf(paint.at >= 0 && paint.at <= 1000));
    bench::summary(QStringLiteral("window: all 7 start pages loaded"), QStringLiteral("≤ 3000 ms"),
                   allLoadedAt >= 0 ? QStringLiteral("%1 ms").arg(allLoadedAt)
                                    : QStringLiteral("only %1 of 7 in 30 s").arg(loaded),
                   metIf(allLoadedAt >= 0 && allLoadedAt <= 3000));
    bench::summary(
        QStringLiteral("window: memory (PSS, program + web-engine helpers)"),
        QStringLiteral("≤ 150 MiB"),
        QStringLiteral("%1 MiB (%2 processes)").arg(pss / 1024.0, 0, 'f', 1).arg(processes),
        metIf(pss > 0 && pss <= 150 * 1024));
    bench::summary(QStringLiteral("window: memory after every tab was shown once, rested"),
                   QStringLiteral("≤ 140 MiB"),
                   QStringLiteral("%1 MiB (%2 MiB before resting)")
                       .arg(pssRested / 1024.0, 0, 'f', 1)
                       .arg(pssShown / 1024.0, 0, 'f', 1),
                   metIf(pssRested > 0 && pssRested <= 140 * 1024));
    delete window;
    return allLoadedAt >= 0 ? 0 : 1;
}
