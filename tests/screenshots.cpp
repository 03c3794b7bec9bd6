// Takes the README's pictures of the real windows: the main window with its pages from the
// built-in status service, its UT99 start page filled by itself and then queried, against fake
// game servers of the three games on loopback addresses, and the server console. Each picture is
// saved as a PNG, read back and checked; the program ends with a non-zero status when any picture
// is missing, of the wrong size or blank.
//
//   utquery-screenshots OUTPUT_FOLDER
#include "EventLoopWait.h"
#include "FakeServers.h"
#include "NamesOnly.h"
#include "PageScript.h"
#include "TestWindow.h"

#include "admin/Delvo.h"
#include "app/BuiltInStatusService.h"
#include "app/TabControl.h"
#include "base/ClanTag.h"
#include "favourites/FavouritesFile.h"
#include "history/HistoryStore.h"
#include "platform/WebEngineSetup.h"
#include "platform/WebView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace utq;

namespace {

constexpr int kPageWaitMs = 15000;     // for one page to arrive in a view
constexpr int kFirstFrameMs = 700;     // for a view to paint the page it just received
constexpr int kWholeRunSeconds = 60;   // after this the program gives up, whatever it waits for
const QSize kMainWindowSize(829, 609); // the main window's client area
const QSize kConsoleSize(529, 295);

// Ends the program with a message if the whole run takes too long, even when the event loop
// itself is stuck.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "screenshots: gave up after %lld s\n",
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// What went wrong, one line each; the run fails when there is anything.
QStringList problems;
int picturesTaken = 0;

void problem(const QString& text) {
    problems << text;
    std::fprintf(stderr, "screenshots: %s\n", qPrintable(text));
}

// A UT99 server of the clan's, with a handful of players, in one datagram.
FakeGameServer::Answer ut99Deathmatch() {
    const QByteArray name = withClanTag(QStringLiteral("{tag} Deathmatch")).toLatin1();
    return [name](const QByteArray&, int) {
        return QList<QByteArray>{
            "\\hostname\\" + name +
            "\\mapname\\DM-Deck16][\\maptitle\\Deck16][\\gametype\\DeathMatchPlus"
            "\\numplayers\\5\\maxplayers\\12"
            "\\player_0\\Razor\\frags_0\\27\\ping_0\\ 41\\team_0\\255"
            "\\player_1\\Xan\\frags_1\\22\\ping_1\\ 38\\team_1\\255"
            "\\player_2\\MoonRaker\\frags_2\\17\\ping_2\\ 65\\team_2\\255"
            "\\player_3\\Lucky\\frags_3\\9\\ping_3\\ 112\\team_3\\255"
            "\\player_4\\Neophyte\\frags_4\\3\\ping_4\\ 87\\team_4\\255"
            "\\timelimit\\20\\fraglimit\\30\\changelevels\\True\\queryid\\37.1\\final\\"};
    };
}

// A UT2004 name in two colours, as servers write them: ESC, then red, green and blue.
QByteArray ut2004ColouredName() {
    const QByteArray tag = clanTag().toLatin1();
    return ut2004replies::str("\x1b\xff\xc0\x20" + tag + " \x1b\x40\xc0\xff" +
                              "InstaGib Deathmatch");
}

QList<ut2004replies::Player> ut2004Players() {
    using namespace ut2004replies;
    return {{1, str("Gorge"), 34, 31, kRed}, {2, str("Kraagesh"), 58, 24, kBlue},
            {3, str("Brock"), 47, 18, kRed}, {4, str("Malcolm"), 71, 12, kBlue},
            {5, str("Lauren"), 90, 6, kRed}, {6, str("Jakob"), 63, 2, kBlue}};
}

ut3replies::Server ut3TeamGame() {
    ut3replies::Server server;
    server.name = withClanTag(QStringLiteral("{tag} Team Deathmatch")).toLatin1();
    server.map = "DM-Deck";
    server.gameType = "UTGame.UTTeamGame";
    server.maxPlayers = 12;
    server.players = {{"Reaper", 24, 45, 0},
                      {"Bishop", 19, 52, 1},
                      {"Othello", 15, 60, 0},
                      {"Jester", 11, 38, 1},
                      {"Akasha", 8, 77, 1}};
    server.teams = {{"Red", 39}, {"Blue", 38}};
    return server;
}

// Copies the favourites a new user starts with into a program folder.
void copyDefaultFavourites(const QString& folder) {
    for (const char* name : {"utservers.ini", "ut04servers.ini", "ut3servers.ini"})
        if (!QFile::copy(QStringLiteral(UTQ_DEFAULT_FAVOURITES_DIR "/") + name,
                         folder + QLatin1Char('/') + name))
            problem(QStringLiteral("the default favourites file %1 could not be copied").arg(name));
}

// A user's favourites: the ones every user starts with (the clan's servers, which the UT99
// start page lists once), and three UT99 servers of the user's own.
void prepareFavourites(const QString& folder) {
    copyDefaultFavourites(folder);
    const QString path = folder + QStringLiteral("/utservers.ini");
    favourites::Favourites rows = favourites::readFile(GameKind::UT99, path);
    rows[2] = {QStringLiteral("Facing Worlds 24/7"), QStringLiteral("ctf.fragland.example"),
               QStringLiteral("7777"), QStringLiteral("7778")};
    rows[3] = {QStringLiteral("Old LAN box"), QStringLiteral("lan.oldbox.example"),
               QStringLiteral("7777"), QStringLiteral("7778")};
    rows[4] = {QStringLiteral("Friend's server"), QStringLiteral("fragfest.invalid"),
               QStringLiteral("7777"), QStringLiteral("7778")};
    QFile file(path);
    const QByteArray text = favourites::fileText(GameKind::UT99, rows);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        problem(QStringLiteral("the UT99 favourites could not be written"));
}

// A day of the servers' players as the program keeps it: evenings busy, nights empty, the
// LAN box switched off in the afternoon.
void prepareHistory(const QString& folder) {
    using namespace utq::history;
    HistoryStore store({folder + QStringLiteral("/history.sqlite")}, QStringLiteral("pictures"));
    if (store.open() != HistoryStore::Mode::Writing)
        return problem(QStringLiteral("the history could not be made: ") + store.problem());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const struct {
        const char* host;
        int busiest;
    } servers[] = {{"us.qel.example", 12},
                   {"uk.qel.example", 9},
                   {"ctf.fragland.example", 16},
                   {"lan.oldbox.example", 4}};
    QList<Sample> samples;
    for (const auto& server : servers)
        for (int minute = 24 * 60; minute > 0; minute -= 5) {
            const double hour = std::fmod(QDateTime::fromMSecsSinceEpoch(now - minute * 60000LL)
                                                  .time()
                                                  .msecsSinceStartOfDay() /
                                              3600000.0,
                                          24.0);
            const bool off = server.busiest == 4 && hour > 13 && hour < 17;
            Sample sample;
            sample.server = {QStringLiteral("ut99"), QLatin1String(server.host), 7778};
            sample.timeMs = now - minute * 60000LL;
            sample.state = off ? QStringLiteral("no-answer") : QStringLiteral("up");
            if (!off) {
                sample.players =
                    int(server.busiest * std::max(0.0, std::sin((hour - 8) / 16 * M_PI)));
                sample.maxPlayers = 16;
                sample.map = QStringLiteral("CTF-Face");
            }
            sample.spanSeconds = 300;
            samples.append(sample);
        }
    if (!store.write(samples))
        problem(QStringLiteral("the history could not be written: ") + store.problem());
}

// The servers the start pages name, each a loopback address of its own, on the usual query
// port: looked up here, never on the network. Any other name is unknown.
const QHash<QString, QHostAddress> kServerNames = {
    {QStringLiteral("us.qel.example"), QHostAddress(QStringLiteral("127.0.0.2"))},
    {QStringLiteral("uk.qel.example"), QHostAddress(QStringLiteral("127.0.0.3"))},
    {QStringLiteral("ctf.fragland.example"), QHostAddress(QStringLiteral("127.0.0.4"))},
    {QStringLiteral("lan.oldbox.example"), QHostAddress(QStringLiteral("127.0.0.5"))}};

// A main window with those favourites, its pages served by its own built-in service.
struct ServedWindow {
    std::unique_ptr<queryservice::BackgroundStatusService> service;
    std::unique_ptr<TestWindow> t;

    ServedWindow() {
        QString folder;
        t = std::make_unique<TestWindow>(
            [&folder](const QString& path) {
                folder = path;
                prepareFavourites(path);
                prepareHistory(path);
            },
            [this, &folder](Hosts& hosts) {
                // The start pages list the clan's servers by the names users know.
                hosts.us = QStringLiteral("us.qel.example");
                hosts.query.clear();
                service = startBuiltInStatusService(hosts, folder, namesOnly(kServerNames));
            });
    }
    // The service, and the history it writes in the program's folder, end before the folder.
    ~ServedWindow() { service.reset(); }
    qElQuery* operator->() const { return t->window.get(); }
};

// A UT99 server with a name, a map and a count of players, which is all a start page shows.
FakeGameServer::Answer ut99Server(const QString& name, const QByteArray& map, int players,
                                  int maxPlayers) {
    const QByteArray datagram = "\\hostname\\" + withClanTag(name).toLatin1() + "\\mapname\\" +
                                map + "\\gametype\\CTFGame\\numplayers\\" +
                                QByteArray::number(players) + "\\maxplayers\\" +
                                QByteArray::number(maxPlayers) + "\\queryid\\1.1\\final\\";
    return [datagram](const QByteArray&, int) {
        return QList<QByteArray>{datagram};
    };
}

// Whether each of the `rows` rows of the start page in `view` has its answer.
bool rowsFilled(platform::WebView* view, int rows) {
    const QStringList states =
        runJavaScript(view, QStringLiteral("Array.from(document.querySelectorAll('td.state'), "
                                           "(cell) => cell.textContent).join('|')"))
            .toString()
            .split(u'|');
    return states.size() == rows && !states.contains(QString()) &&
           !states.contains(QStringLiteral("asking\u2026"));
}

// Waits until the view's page shows `expected`; false when it never did.
bool waitForText(platform::WebView* view, const QString& expected, const QString& picture) {
    QString text;
    if (waitUntil(
            [&] {
                text = pageText(view);
                return text.contains(expected);
            },
            kPageWaitMs))
        return true;
    problem(QStringLiteral("%1: the page never showed \"%2\"; it showed: %3")
                .arg(picture, expected, text.left(300).simplified()));
    return false;
}

// Whether every pixel of `area` in `image` has the same colour.
bool isFlat(const QImage& image, const QRect& area) {
    const QRect inside = area.intersected(image.rect());
    if (inside.isEmpty())
        return true;
    const QRgb first = image.pixel(inside.topLeft());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

// Saves a picture of `window`, reads it back and checks it: the expected size, not one flat
// colour, and, when `view` is given, a web view that painted something.
void take(QWidget* window, const QString& folder, const QString& fileName, QSize expectedSize,
          platform::WebView* view = nullptr) {
    const QString path = folder + QLatin1Char('/') + fileName;
    QFile::remove(path);
    if (!window->grab().save(path, "PNG")) {
        problem(QStringLiteral("%1: could not be written").arg(path));
        return;
    }
    const QImage image(path);
    if (image.isNull()) {
        problem(QStringLiteral("%1: cannot be read back as a picture").arg(path));
        return;
    }
    if (image.size() != expectedSize) {
        problem(QStringLiteral("%1: is %2 x %3, not %4 x %5")
                    .arg(path)
                    .arg(image.width())
                    .arg(image.height())
                    .arg(expectedSize.width())
                    .arg(expectedSize.height()));
        return;
    }
    if (isFlat(image, image.rect())) {
        problem(QStringLiteral("%1: is one flat colour").arg(path));
        return;
    }
    if (view) {
        const QRect area(view->mapTo(window, QPoint(0, 0)), view->size());
        if (isFlat(image, area)) {
            problem(QStringLiteral("%1: its web view (%2) painted nothing")
                        .arg(path, view->objectName()));
            return;
        }
    }
    ++picturesTaken;
    std::printf("%-28s %d x %d  %lld bytes\n", qPrintable(fileName), image.width(), image.height(),
                static_cast<long long>(QFileInfo(path).size()));
    std::fflush(stdout);
}

// Shows `tab`, presses its "Begin Query" and waits for the server's page, then for its paint.
bool query(ServedWindow& w, int tab, QPushButton* button, platform::WebView* view,
           const QString& serverName, const QString& picture) {
    w->SSTTab0->setCurrentIndex(tab);
    QTest::mouseClick(button, Qt::LeftButton);
    if (!waitForText(view, serverName, picture))
        return false;
    keepRunningFor(kFirstFrameMs);
    return true;
}

void mainWindowPictures(const QString& folder) {
    // The servers the start pages list answer from the start, each on an address of its own.
    const auto at = [](const char* address) {
        return QHostAddress(QLatin1String(address));
    };
    FakeGameServer us(ut99Deathmatch(), 7778, at("127.0.0.2"));
    FakeGameServer uk(ut99Server(QStringLiteral("{tag} UK Capture the Flag"), "CTF-Coret", 8, 12),
                      7778, at("127.0.0.3"));
    FakeGameServer facingWorlds(
        ut99Server(QStringLiteral("Facing Worlds 24/7 - CTF-Face only"), "CTF-Face", 11, 16), 7778,
        at("127.0.0.4"));
    FakeGameServer silent([](const QByteArray&, int) { return QList<QByteArray>{}; }, 7778,
                          at("127.0.0.5"));
    for (const FakeGameServer* server : {&us, &uk, &facingWorlds, &silent})
        if (!server->bound())
            problem(QStringLiteral("live-start-page.png: a fake server could not have port 7778"));

    ServedWindow w;
    if (!w.service) {
        problem(QStringLiteral("the built-in status service did not start"));
        return;
    }
    FakeGameServer ut99(ut99Deathmatch());
    FakeGameServer ut2004(fakeservers::ut2004(ut2004ColouredName(), ut2004Players()));
    FakeGameServer ut3(fakeservers::ut3(ut3TeamGame(), 2));
    const QString port99 = QString::number(ut99.port());

    // The start pages first, so that no query waits for the web engine to start.
    if (!waitForText(w->WebBrowser1, QStringLiteral("Begin Query"), QStringLiteral("start page")))
        return;
    // The UT99 start page, its rows filled by its script: the clan's two servers, then the
    // favourites (the clan's again left out), one silent and one of an unknown name.
    if (waitUntil([&] { return rowsFilled(w->WebBrowser1, 5); }, kPageWaitMs)) {
        keepRunningFor(kFirstFrameMs);
        take(w.t->window.get(), folder, QStringLiteral("live-start-page.png"), kMainWindowSize,
             w->WebBrowser1);
    } else {
        problem(QStringLiteral("live-start-page.png: the rows were never all filled; the page "
                               "showed: %1")
                    .arg(pageText(w->WebBrowser1).left(400).simplified()));
    }

    w->txtNameOrIP->setText(QStringLiteral("127.0.0.1"));
    w->txtText2->setText(port99);
    if (query(w, 0, w->cmdBeginQuery, w->WebBrowser1, QStringLiteral("Razor"),
              QStringLiteral("main-ut99.png")))
        take(w.t->window.get(), folder, QStringLiteral("main-ut99.png"), kMainWindowSize,
             w->WebBrowser1);

    w->SSTTab0->setCurrentIndex(1);
    if (waitForText(w->WebBrowser2, QStringLiteral("Begin Query"),
                    QStringLiteral("main-ut99-favourites.png"))) {
        keepRunningFor(kFirstFrameMs);
        take(w.t->window.get(), folder, QStringLiteral("main-ut99-favourites.png"), kMainWindowSize,
             w->WebBrowser2);
    }

    w->SSTTab0->setCurrentIndex(2);
    if (waitForText(w->WebBrowser3, QStringLiteral("ts.qel.example"),
                    QStringLiteral("main-about.png"))) {
        keepRunningFor(kFirstFrameMs);
        take(w.t->window.get(), folder, QStringLiteral("main-about.png"), kMainWindowSize,
             w->WebBrowser3);
    }

    w->txt04Server->setText(QStringLiteral("127.0.0.1"));
    w->txt04port->setText(QString::number(ut2004.port() - 1)); // the game port
    if (query(w, 3, w->cmdBeginQuery04, w->WebBrowser6, QStringLiteral("Kraagesh"),
              QStringLiteral("main-ut2004.png")))
        take(w.t->window.get(), folder, QStringLiteral("main-ut2004.png"), kMainWindowSize,
             w->WebBrowser6);

    w->ut3iptxt->setText(QStringLiteral("127.0.0.1"));
    w->txtQueryPort->setText(QString::number(ut3.port()));
    w->txtServerWeb->setText(QStringLiteral("8080"));
    if (query(w, 6, w->cmdBeginQueryut3, w->WebBrowser4, QStringLiteral("Othello"),
              QStringLiteral("main-ut3.png")))
        take(w.t->window.get(), folder, QStringLiteral("main-ut3.png"), kMainWindowSize,
             w->WebBrowser4);

    for (const QString& failure : w.t->failures)
        problem(QStringLiteral("the main window reported: %1").arg(failure));
}

// The console while its server runs: a process list of its own holds one "UCC.exe".
void consolePicture(const QString& folder) {
    QTemporaryDir proc;
    const bool listMade = QDir(proc.path()).mkpath(QStringLiteral("self")) &&
                          QDir(proc.path()).mkpath(QStringLiteral("4242"));
    QFile comm(proc.filePath(QStringLiteral("4242/comm")));
    if (!listMade || !comm.open(QIODevice::WriteOnly) || comm.write("UCC.exe\n") <= 0) {
        problem(QStringLiteral("console.png: the process list could not be made"));
        return;
    }
    comm.close();

    QTemporaryDir programFolder;
    QStringList failures;
    platform::Desktop desktop{programFolder.path(), std::make_shared<RecordingSoundPlayer>(),
                              std::make_shared<platform::TextFileWriter>(),
                              std::make_shared<platform::ProcessList>(proc.path())};
    // The main window is only made by "Show Query", which is not pressed: no host is asked.
    const Hosts hosts{QStringLiteral("127.0.0.1:9"), QStringLiteral("us.qel.example"),
                      QStringLiteral("uk.qel.example"), QStringLiteral("www.qel.example"),
                      QStringLiteral("ts.qel.example")};
    Delvo console(hosts, desktop, [hosts, desktop] { return new qElQuery(hosts, desktop); });
    console.setFailureReporter([&failures](const QString& message) { failures << message; });
    console.setProgramEnd([] {});
    console.show();
    console.Timer2_Timer(); // the first look: the server runs
    keepRunningFor(300);
    take(&console, folder, QStringLiteral("console.png"), kConsoleSize);
    for (const QString& failure : failures)
        problem(QStringLiteral("the console reported: %1").arg(failure));
}

} // namespace

int main(int argc, char** argv) {
    platform::prepareWebEngine();
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: utquery-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QDir(arguments[1]).absolutePath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "screenshots: cannot make the folder %s\n", qPrintable(folder));
        return 2;
    }

    QElapsedTimer clock;
    clock.start();
    {
        Watchdog watchdog{std::chrono::seconds(kWholeRunSeconds)};
        mainWindowPictures(folder);
        consolePicture(folder);
    }
    if (picturesTaken != 7 && problems.isEmpty())
        problem(QStringLiteral("only %1 of the 7 pictures were taken").arg(picturesTaken));
    if (!problems.isEmpty()) {
        std::fprintf(stderr, "screenshots: FAILED, %lld problem(s); pictures are in %s\n",
                     static_cast<long long>(problems.size()), qPrintable(folder));
        return 1;
    }
    std::printf("%d pictures in %s, %.1f s\n", picturesTaken, qPrintable(folder),
                static_cast<double>(clock.elapsed()) / 1000.0);
    return 0;
}
