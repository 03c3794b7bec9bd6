// The real main window with its seven web views, its pages served by its own status service
// on loopback, measured as a player uses it: time to the first paint and until its pages have
// loaded, and the memory (proportional set size, from smaps_rollup) of the program and each
// web-engine process after start-up, after every tab was shown once, with the UT99 list of
// 2,000 servers open, and over an hour of that list's live refresh (sped up 60 times).
// It prints each figure as "figure|<name>|<value>" for bench_window_side_by_side, which runs
// today's build and this one; --never-rest turns resting off, to stand in for today's.
#include "EventLoopWait.h"
#include "ProcessMemory.h"
#include "WindowWorld.h"
#include "app/TabControl.h"
#include "app/qElQuery.h"
#include "platform/WebEngineSetup.h"
#include "platform/WebView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <cstdio>
#include <memory>

namespace {

constexpr int kWarp = 60;        // an hour of the pages' clocks in a minute
constexpr int kHourSamples = 12; // one every five minutes of the pages' time
constexpr int kSettleMs = 12000; // longer than a hidden page waits before it rests

// One figure of a child run, for the parent: "figure|<key>|<value>".
void put(const char* key, double value) {
    std::printf("figure|%s|%.1f\n", key, value);
    std::fflush(stdout);
}

void putMemory(const char* key, const bench::FamilyMemory& memory) {
    std::printf("%-14s %s\n", key, qPrintable(memory.describe()));
    put(key, static_cast<double>(memory.pssKiB()) / 1024.0);
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

// Asks the page a question in script and waits for the answer; empty when none came.
QString ask(utq::platform::WebView* view, const QString& script) {
    const auto answer = std::make_shared<QString>(); // outlives a late answer
    view->engineView()->page()->runJavaScript(
        script, [answer](const QVariant& value) { *answer = value.toString() + u'.'; });
    waitUntil([answer] { return !answer->isEmpty(); }, 3000);
    return answer->isEmpty() ? QString() : answer->chopped(1);
}

// Waits until the list page in `view` shows every listed server and says it is complete.
bool waitForCompleteList(utq::platform::WebView* view, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const QString state = ask(
            view, QStringLiteral("document.querySelectorAll('table.list tbody tr').length + ' ' + "
                                 "((document.getElementById('progress') || {}).textContent || "
                                 "'Asking')"));
        if (state.section(u' ', 0, 0).toInt() >= bench::WindowWorld::kListed &&
            !state.contains(QLatin1String("Asking")))
            return true;
        keepRunningFor(500);
    }
    return false;
}

// Today's sources have no resting to turn off.
template <class View> void neverRest(View* view) {
    if constexpr (requires { view->setRestAfterMs(-1); })
        view->setRestAfterMs(-1);
}

int runWindow(int& argc, char** argv, bool resting) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    utq::platform::prepareWebEngine();
    QApplication app(argc, argv);
    bench::WindowWorld world;
    QString error;
    if (!world.start(error)) {
        std::printf("%s\n", qPrintable(error));
        return 1;
    }
    put("application ready ms", static_cast<double>(sinceStart.elapsed()));

    QElapsedTimer clock;
    clock.start();
    FirstPaint paint;
    paint.clock = &clock;
    auto window = std::make_unique<utq::qElQuery>(world.hosts());
    window->installEventFilter(&paint);
    put("window shown ms", static_cast<double>(clock.elapsed()));
    const QList<utq::platform::WebView*> views = window->findChildren<utq::platform::WebView*>();
    int loaded = 0;
    qint64 shownLoadedAt = -1;
    qint64 allLoadedAt = -1;
    for (auto* view : views) {
        if (!resting)
            neverRest(view);
        QObject::connect(view, &utq::platform::WebView::loadFinished, [&, view] {
            if (view == window->WebBrowser1 && shownLoadedAt < 0)
                shownLoadedAt = clock.elapsed();
            if (allLoadedAt < 0 && ++loaded == 7)
                allLoadedAt = clock.elapsed();
        });
    }
    waitUntil([&] { return allLoadedAt >= 0; }, 30000);
    put("first paint ms", static_cast<double>(paint.at));
    put("shown tab's page loaded ms", static_cast<double>(shownLoadedAt));
    put("all 7 pages loaded ms", static_cast<double>(allLoadedAt));
    if (allLoadedAt < 0)
        return 1;
    keepRunningFor(1500);
    putMemory("start-up", bench::familyMemory());
    keepRunningFor(kSettleMs);
    putMemory("start-up, settled", bench::familyMemory());

    // A player looks through every tab once and comes back to the first.
    auto* tabs = window->findChild<utq::TabControl*>();
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        keepRunningFor(1500);
    }
    tabs->setCurrentIndex(0);
    keepRunningFor(2000);
    putMemory("every tab shown", bench::familyMemory());
    keepRunningFor(kSettleMs);
    putMemory("every tab shown, settled", bench::familyMemory());

    // The UT99 list of every server, opened in the first tab's view.
    QElapsedTimer listClock;
    listClock.start();
    window->WebBrowser1->navigate(world.ut99ListAddress());
    if (!waitForCompleteList(window->WebBrowser1, 150000)) {
        std::printf("the list page never showed %d servers\n", bench::WindowWorld::kListed);
        return 1;
    }
    put("list complete ms", static_cast<double>(listClock.elapsed()));
    keepRunningFor(2000);
    putMemory("list open", bench::familyMemory());

    // An hour of live refresh: the list asked every 30 s of its clock, and now and then a look
    // at another tab, whose page comes back and is put to rest again.
    QWebEngineScript warp;
    warp.setName(QStringLiteral("time warp"));
    warp.setSourceCode(bench::timeWarpScript(kWarp) + QStringLiteral(R"(
(() => { const f = window.fetch; window.__asked = 0;
  window.fetch = (...a) => { ++window.__asked; return f(...a); }; })();)"));
    warp.setInjectionPoint(QWebEngineScript::DocumentCreation);
    warp.setWorldId(QWebEngineScript::MainWorld);
    utq::platform::sharedWebProfile()->scripts()->insert(warp);
    window->WebBrowser1->navigate(world.ut99ListAddress());
    waitForCompleteList(window->WebBrowser1, 30000);
    const int stepMs = 3600 * 1000 / kWarp / kHourSamples;
    double first = 0, last = 0, most = 0;
    for (int sample = 1; sample <= kHourSamples; ++sample) {
        tabs->setCurrentIndex(1 + sample % (tabs->count() - 1));
        keepRunningFor(1000);
        tabs->setCurrentIndex(0);
        keepRunningFor(stepMs - 1000);
        const bench::FamilyMemory memory = bench::familyMemory();
        const double mib = static_cast<double>(memory.pssKiB()) / 1024.0;
        std::printf("%3d min        %s\n", sample * 60 / kHourSamples,
                    qPrintable(memory.describe()));
        first = sample == 1 ? mib : first;
        last = mib;
        most = std::max(most, mib);
    }
    put("hour, after 5 min", first);
    put("hour, after 60 min", last);
    put("hour, most", most);
    put("hour, list asked",
        ask(window->WebBrowser1, QStringLiteral("String(window.__asked)")).toDouble());
    window.reset();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool resting = !(argc == 2 && QByteArray(argv[1]) == "--never-rest");
    return runWindow(argc, argv, resting);
}
