// The start pages' script in a real web view, served by the real status service with fake game
// servers on loopback: whatever the rows' servers do (answer with a hostile name, stay silent,
// be given a port that is none, be unknown), and when the page is hidden and shown again, the
// page writes nothing to its console: no error of the script, no refusal of its policy. The
// history page's and the list page's charts, served as the service renders them.
#include "EventLoopWait.h"
#include "FakeMaster.h"
#include "FakeServers.h"
#include "NamesOnly.h"
#include "PageServer.h"
#include "Screenshots.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "base/Games.h"
#include "favourites/FavouritesFile.h"
#include "queryservice/StatusService.h"
#include "queryservice/pages/Assets.h"
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/ListJson.h"
#include "queryservice/pages/ListPages.h"
#include "queryservice/pages/StatusJson.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace utq;

namespace {

// A page that keeps every line written to its console.
class ConsoleWatch : public QWebEnginePage {
public:
    QStringList lines;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override {
        lines.append(
            QStringLiteral("%1:%2 (level %3) %4").arg(source).arg(line).arg(level).arg(message));
    }
};

QVariant evaluate(QWebEnginePage& page, const QString& script) {
    auto answer = std::make_shared<std::optional<QVariant>>();
    page.runJavaScript(script, [answer](const QVariant& value) { *answer = value; });
    waitUntil([&] { return answer->has_value(); }, 5000);
    return answer->value_or(QVariant());
}

// A list page as the service serves it: the page, its script and its API's answer.
void serveList(PageServer& server, const utq::queryservice::pages::ListView& list) {
    using namespace utq::queryservice::pages;
    server.setPage(list.game->listPagePath, listPage(list));
    server.setPage(kListScriptPath, assets::listScript());
    server.setPage(kApiListPath, jsonText(listJson(list)));
}

// Every row's state cell, once each has its server's answer; empty before.
QString filledStates(QWebEnginePage& page) {
    return evaluate(page, "(() => { const s = Array.from(document.querySelectorAll("
                          "'tr[data-game] td.state'), (td) => td.textContent); "
                          "return s.length && s.every((t) => t && !t.startsWith('asking')) ? "
                          "s.join('|') : ''; })()")
        .toString();
}

} // namespace

class TestPageScript : public QObject {
    Q_OBJECT
private slots:
    void theStartPagesScriptWritesNothingToTheConsole() {
        FakeGameServer alive(fakeservers::ut99("</script><b onclick=\"x\">'Frag"));
        FakeGameServer silent([](const QByteArray&, int) { return QList<QByteArray>{}; });
        QTemporaryDir folder;
        favourites::Favourites rows;
        rows[0] = {"Alive", "127.0.0.1", "7777", QString::number(alive.port())};
        rows[1] = {"Silent", "127.0.0.1", "7777", QString::number(silent.port())};
        rows[2] = {"Typo", "127.0.0.1", "7777", "77x8"};
        writeFile(folder.filePath(favourites::fileName(GameKind::UT99)),
                  favourites::fileText(GameKind::UT99, rows));

        queryservice::ServiceSettings settings;
        settings.favouritesFolder = folder.path();
        for (const GameKind game : kGameKinds) // names no look-up knows
            settings.clanServers[game] = {{"Clan", "clan.qel.example", "7778", "80", "7777"}};
        settings.resolve = namesOnly();
        settings.pageDeadlineMs = 1500;
        queryservice::StatusService service(settings);
        const quint16 port = service.listen();
        QVERIFY(port != 0);

        ConsoleWatch page; // outlives the view that shows it
        QWebEngineView view;
        view.setPage(&page);
        view.resize(800, 600);
        view.show();
        // UT99's last, so that its page is the one hidden and shown below.
        for (const GameKind game : {GameKind::UT3, GameKind::UT2004, GameKind::UT99}) {
            const QString address = QStringLiteral("http://127.0.0.1:%1%2")
                                        .arg(port)
                                        .arg(QLatin1String(describe(game).startPagePath));
            QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
            view.load(QUrl(address));
            QVERIFY(loaded.wait(15000));
            QString states;
            QVERIFY2(waitUntil([&] { return !(states = filledStates(page)).isEmpty(); }, 15000),
                     qPrintable(address));
            if (game == GameKind::UT99)
                QCOMPARE(states, "unknown name|up|no answer|not a port");
        }

        // Hidden, the page asks nothing; shown again, it asks at once.
        view.hide();
        QVERIFY(waitUntil(
            [&] { return evaluate(page, "document.visibilityState").toString() == "hidden"; },
            5000));
        const qsizetype asked = alive.requests.size();
        view.show();
        QVERIFY(waitUntil([&] { return alive.requests.size() > asked; }, 15000));
        QVERIFY(waitUntil([&] { return !filledStates(page).isEmpty(); }, 15000));
        // The page asks nothing more; the queries under way end within their deadline.
        view.close();
        view.setPage(nullptr);
        keepRunningFor(settings.pageDeadlineMs + 500);

        QVERIFY2(page.lines.isEmpty(), qPrintable(page.lines.join(u'\n')));
    }

    // A list page fills from the API, sorts by the column clicked and filters by its boxes;
    // the sort and the filters are in its address, so a reload keeps them.
    void theListPageSortsFiltersAndKeepsBoth() {
        FakeGameServer ctf(fakeservers::ut99("</script>CTF <b>"));
        FakeGameServer dm(fakeservers::ut99("Deathmatch"));
        FakeGameServer silent([](const QByteArray&, int) { return QList<QByteArray>{}; });
        QByteArray list;
        for (const FakeGameServer* server : {&ctf, &dm, &silent})
            list += "\\ip\\127.0.0.1:" + QByteArray::number(server->port());
        FakeMaster master(list + "\\final\\");
        queryservice::ServiceSettings settings;
        settings.pageDeadlineMs = 1000;
        settings.lists.masters = {
            *queryservice::parseMasterAddress(QStringLiteral("127.0.0.1:%1").arg(master.port()))};
        queryservice::StatusService service(settings);
        const quint16 port = service.listen();

        ConsoleWatch page;
        QWebEngineView view;
        view.setPage(&page);
        view.resize(800, 600);
        view.show();
        const auto open = [&](const QString& address) {
            QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
            view.load(QUrl(address));
            return loaded.wait(15000);
        };
        const auto names = [&] {
            return evaluate(page, "Array.from(document.querySelectorAll('table.list tbody "
                                  "td.name'), (td) => td.textContent).join('|')")
                .toString();
        };
        QVERIFY(open(QStringLiteral("http://127.0.0.1:%1/servers/ut99").arg(port)));
        QVERIFY(waitUntil(
            [&] {
                return evaluate(page, "document.getElementById('progress').textContent")
                    .toString()
                    .startsWith("3 servers: 3 asked, 2 answered");
            },
            15000));
        QVERIFY(waitUntil([&] { return names().split(u'|').size() == 3; }, 5000));

        // Sorting moves the rows drawn and makes none anew: a list of thousands is drawn
        // again every second while its servers are asked.
        evaluate(page, "window.drawn = Array.from(document.querySelectorAll('table.list tr'))");
        evaluate(page, "document.querySelector('th[data-key=name]').click()");
        QVERIFY(evaluate(page, "window.drawn.every((tr) => tr.isConnected)").toBool());
        QCOMPARE(names().section(u'|', 0, 1),
                 "127.0.0.1:" + QString::number(silent.port()) + "|</script>CTF <b>");
        evaluate(page, "const t = document.getElementById('filter-text'); t.value = 'ctf'; "
                       "t.dispatchEvent(new Event('input'))");
        QCOMPARE(names(), "</script>CTF <b>");
        const QUrl kept = page.url();
        QVERIFY2(kept.fragment().contains("q=ctf"), qPrintable(kept.toString()));
        QVERIFY(open(kept.toString()));
        QVERIFY(waitUntil([&] { return names() == "</script>CTF <b>"; }, 15000));
        QCOMPARE(evaluate(page, "document.getElementById('filter-text').value").toString(), "ctf");
        keepRunningFor(300);
        QVERIFY(view.grab().save(screenshotPath("list_ut99.png")));

        view.close();
        view.setPage(nullptr);
        keepRunningFor(settings.pageDeadlineMs + 500);
        QVERIFY2(page.lines.isEmpty(), qPrintable(page.lines.join(u'\n')));
    }

    // A list of hundreds is drawn in order, and its last rows stand under the heads of its
    // columns as its first do, however the rows are laid out; no column is squeezed out.
    void aLongListIsDrawnInOrderUnderItsHeads() {
        using namespace utq::queryservice::pages;
        ListView list;
        list.game = &describe(GameKind::UT99);
        list.complete = true;
        list.joinTemplate = QStringLiteral("unreal://__HOST__:__PORT__");
        for (int i = 0; i < 450; ++i) {
            ListRow row;
            row.host = QStringLiteral("127.0.0.1");
            row.queryPort = 20000 + i;
            row.state = QStringLiteral("up");
            row.name = QStringLiteral("Server %1").arg(i, 3, 10, QLatin1Char('0'));
            row.gamePort = row.queryPort - 1;
            list.rows.append(row);
        }
        PageServer server;
        serveList(server, list);
        ConsoleWatch page;
        QWebEngineView view;
        view.setPage(&page);
        view.resize(800, 600);
        view.show();
        QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
        view.load(
            QUrl("http://" + server.hostAndPort() + list.game->listPagePath + "#sort=name&desc=1"));
        QVERIFY(loaded.wait(15000));
        const auto names = [&] {
            return evaluate(page, "Array.from(document.querySelectorAll('table.list tbody "
                                  "tr:not([data-host]) td.name'), (td) => td.textContent)")
                .toStringList();
        };
        QVERIFY(waitUntil([&] { return names().size() == 450; }, 10000));
        QCOMPARE(names().first(), "Server 449");
        QCOMPARE(names().last(), "Server 000");
        // Scrolled to its end, the last row's cells stand under their heads.
        evaluate(page, "window.scrollTo(0, document.body.scrollHeight)");
        keepRunningFor(300);
        const auto edges = [&](const char* cells) {
            return evaluate(page, QStringLiteral("Array.from(%1, (c) => { const r = "
                                                 "c.getBoundingClientRect(); return "
                                                 "Math.round(r.left) + '-' + Math.round(r.right); "
                                                 "}).join(' ')")
                                      .arg(QLatin1String(cells)))
                .toString();
        };
        QCOMPARE(edges("Array.from(document.querySelectorAll('table.list tbody tr')).pop().cells"),
                 edges("document.querySelectorAll('table.list th')"));
        QVERIFY(evaluate(page, "Array.from(document.querySelectorAll('table.list th'))"
                               ".every((th) => th.getBoundingClientRect().width > 20)")
                    .toBool()); // the Join column too
        QVERIFY(view.grab().save(screenshotPath("list_long_end_ut99.png")));
        // Without its script, the service's own rows stand under the heads all the same.
        server.setPage(kListScriptPath, QByteArray());
        view.load(QUrl("http://" + server.hostAndPort() + list.game->listPagePath));
        QVERIFY(loaded.wait(15000));
        evaluate(page, "window.scrollTo(0, document.body.scrollHeight)");
        keepRunningFor(300);
        QCOMPARE(edges("Array.from(document.querySelectorAll('tr[data-host]')).pop().cells"),
                 edges("document.querySelectorAll('table.list th')"));
        view.close();
        view.setPage(nullptr);
        QVERIFY2(page.lines.isEmpty(), qPrintable(page.lines.join(u'\n')));
    }

    // The history page's script says its times in the viewer's zone; a list page's script
    // copies the service's chart of each watched server into its row.
    void theHistoryAndListPagesScriptsShowTheServicesCharts() {
        using namespace utq::queryservice::pages;
        constexpr qint64 kHourMs = 3600000;
        HistoryView history;
        history.game = &describe(GameKind::UT99);
        history.host = QStringLiteral("127.0.0.1");
        history.port = 7778;
        history.fromMs = 1796846400000 - 24 * kHourMs;
        history.toMs = 1796846400000;
        for (qint64 ms = history.fromMs; ms < history.toMs; ms += 60000)
            history.points.append({ms, 3, 4 + int(ms / kHourMs % 5), ms % (5 * kHourMs) ? 1.0 : 0});
        history.playersPeak = 8;
        history.playersMean = 3;
        history.upShare = 0.98;
        history.maps = {{QStringLiteral("</script>CTF-Face"), 12000}};

        ListView list;
        list.game = &describe(GameKind::UT99);
        list.complete = true;
        for (const int port : {7778, 7780}) {
            ListRow row;
            row.host = QStringLiteral("127.0.0.1");
            row.queryPort = port;
            list.rows.append(row);
        }
        list.sparklines.insert(QStringLiteral("127.0.0.1:7778"),
                               sparklineSvg({history.fromMs, history.toMs, history.points}));

        PageServer server;
        server.setPage(kHistoryPath, historyPage(history));
        server.setPage(kHistoryScriptPath, assets::historyScript());
        serveList(server, list);

        ConsoleWatch page;
        QWebEngineView view;
        view.setPage(&page);
        view.resize(800, 600);
        view.show();
        QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
        view.load(QUrl("http://" + server.hostAndPort() + kHistoryPath + "?range=24h"));
        QVERIFY(loaded.wait(15000));
        QVERIFY(waitUntil(
            [&] {
                return evaluate(page, "document.getElementById('zone').textContent")
                    .toString()
                    .startsWith("Times are in your time zone");
            },
            5000));
        QCOMPARE(evaluate(page, "Array.from(document.querySelectorAll('time, svg text[data-time]'))"
                                ".filter((e) => e.textContent.includes('UTC') || "
                                "!e.textContent).length")
                     .toInt(),
                 0);
        keepRunningFor(300);
        QVERIFY(view.grab().save(screenshotPath("history_ut99.png")));

        view.load(QUrl("http://" + server.hostAndPort() + describe(GameKind::UT99).listPagePath));
        QVERIFY(loaded.wait(15000));
        // The rows the script drew (the service's own carry data-host), and each one's chart.
        const auto charted = [&] {
            return evaluate(page, "Array.from(document.querySelectorAll('table.list tbody "
                                  "tr:not([data-host])'), (tr) => tr.querySelectorAll("
                                  "'td.history svg title').length).join('|')")
                .toString();
        };
        QVERIFY2(waitUntil([&] { return charted() == "1|0"; }, 10000), qPrintable(charted()));
        keepRunningFor(300); // the new page's first frame
        QVERIFY(view.grab().save(screenshotPath("list_sparkline_ut99.png")));
        view.close();
        view.setPage(nullptr);
        QVERIFY2(page.lines.isEmpty(), qPrintable(page.lines.join(u'\n')));
    }
};

UTQ_TEST_MAIN(TestPageScript)
#include "tst_page_script.moc"
