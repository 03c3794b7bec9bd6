// The real main window with the real built-in status service and fake game servers on
// loopback: "Begin Query" leads to the server's page in the tab's web view, hostile server
// names stay text with no script run, and the window keeps working while many pages are made.
#include "EventLoopWait.h"
#include "FakeServers.h"
#include "NamesOnly.h"
#include "PageScript.h"
#include "Screenshots.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "app/BuiltInStatusService.h"
#include "app/TabControl.h"
#include "base/ClanTag.h"
#include "favourites/FavouritesFile.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>

using namespace utq;

namespace {

// A window whose pages come from a built-in service of its own, as the program starts one,
// with the favourites `prepare` puts into its program folder. Names are looked up here only:
// the clan's hosts of the tests are unknown names, and no name server is asked.
struct ServedWindow {
    std::unique_ptr<queryservice::BackgroundStatusService> service;
    std::unique_ptr<TestWindow> t;

    explicit ServedWindow(const std::function<void(const QString&)>& prepare = {}) {
        QString folder;
        t = std::make_unique<TestWindow>(
            [&](const QString& path) {
                folder = path;
                if (prepare)
                    prepare(path);
            },
            [&](Hosts& hosts) {
                hosts.query.clear();
                service = startBuiltInStatusService(hosts, folder, namesOnly());
            });
    }
    // The service, and the history it writes in the program's folder, end before the folder.
    ~ServedWindow() { service.reset(); }
    TestWindow& operator*() const { return *t; }
};

// The start page's rows as they show: label, name, players and state, one line each; none
// before the view has an address (asking earlier would cancel its start page).
QStringList startRows(platform::WebView* view) {
    if (view->currentUrl().isEmpty())
        return {};
    return runJavaScript(view, "Array.from(document.querySelectorAll('tr[data-game]'), (r) => "
                               "['label', 'name', 'players', 'state'].map((c) => "
                               "r.querySelector('td.' + c).textContent).join('|')).join('\\n')")
        .toString()
        .split(u'\n');
}

// Presses the button and waits until the view shows a page with `expected` in its text.
QString queryAndRead(TestWindow& t, int tab, QPushButton* button, platform::WebView* view,
                     const QString& expected) {
    t->SSTTab0->setCurrentIndex(tab);
    QTest::mouseClick(button, Qt::LeftButton);
    QString text;
    waitUntil(
        [&] {
            text = pageText(view);
            return text.contains(expected);
        },
        15000);
    return text;
}

} // namespace

class TestStatusEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void theStartPagesComeFromTheBuiltInService() {
        ServedWindow served;
        TestWindow& t = *served;
        QVERIFY(served.service);
        UTQ_TRY_VERIFY(pageText(t->WebBrowser1).contains("Begin Query"), 15000);
        UTQ_TRY_VERIFY(pageText(t->WebBrowser3).contains("ts.qel.example"), 15000);
        UTQ_TRY_VERIFY(pageText(t->WebBrowser6).contains("game port"), 15000);
        UTQ_TRY_VERIFY(pageText(t->WebBrowser4).contains("6500"), 15000);
        QCOMPARE(t->WebBrowser1->currentUrl().host(), "127.0.0.1");
        QCOMPARE(t.query.targets().size(), 0); // the test's own page server is never asked
        t->SSTTab0->setCurrentIndex(2);
        keepRunningFor(700);
        QVERIFY(t->grab().save(screenshotPath("start_voice.png")));
        t->SSTTab0->setCurrentIndex(0);
        keepRunningFor(700);
        QVERIFY(t->grab().save(screenshotPath("start_ut99.png")));
    }

    // The UT99 start page fills its rows by itself, each as its server answers: the clan's
    // servers (unknown names here), then the favourites, a silent one and a mistyped port
    // among them. Shown again after the server went silent, the page asks again at once, and
    // the row keeps what the server last said.
    void theStartPageFillsItsRowsWithoutAClick() {
        bool answering = true;
        FakeGameServer alive([&answering, answer = fakeservers::ut99("Fragfest")](
                                 const QByteArray& request, int number) {
            return answering ? answer(request, number) : QList<QByteArray>{};
        });
        FakeGameServer silent([](const QByteArray&, int) { return QList<QByteArray>{}; });
        const auto port = [](const FakeGameServer& server) {
            return QString::number(server.port());
        };
        favourites::Favourites rows;
        rows[0] = {"Alive <b>", "127.0.0.1", "7777", port(alive)};
        rows[1] = {"Silent", "127.0.0.1", "7777", port(silent)};
        rows[3] = {"Typo", "127.0.0.1", "7777", "77x8"};
        ServedWindow served([&rows](const QString& folder) {
            writeFile(folder + "/utservers.ini", favourites::fileText(GameKind::UT99, rows));
        });
        TestWindow& t = *served;
        const QStringList filled = {
            withClanTag("{tag} US|||unknown name"), withClanTag("{tag} UK|||unknown name"),
            "Alive <b>|Fragfest|2/12|up", "Silent|||no answer", "Typo|||not a port"};
        UTQ_TRY_COMPARE(startRows(t->WebBrowser1), filled, 15000);

        t->SSTTab0->setCurrentIndex(2);
        UTQ_TRY_COMPARE(runJavaScript(t->WebBrowser1, "document.visibilityState").toString(),
                        "hidden", 5000);
        answering = false;
        const qsizetype asked = alive.requests.size();
        keepRunningFor(1600); // past the service's reuse of the answer it has
        t->SSTTab0->setCurrentIndex(0);
        QVERIFY(
            waitUntil([&] { return startRows(t->WebBrowser1)[2].contains("last seen"); }, 15000));
        const QString stale = startRows(t->WebBrowser1)[2];
        QVERIFY2(stale.startsWith("Alive <b>|Fragfest|2/12|no answer, last seen "),
                 qPrintable(stale));
        QVERIFY(alive.requests.size() > asked);
        keepRunningFor(700); // the rows' last paint
        QVERIFY(t->grab().save(screenshotPath("start_ut99_live.png")));
    }

    // The program watches the clan's servers and the favourites from its start, and the start
    // page draws each one's day once the first round is kept.
    void theStartPageDrawsEachWatchedServersDay() {
        FakeGameServer alive(fakeservers::ut99("Busy"));
        favourites::Favourites rows;
        rows[0] = {"Alive", "127.0.0.1", "7777", QString::number(alive.port())};
        ServedWindow served([&rows](const QString& folder) {
            writeFile(folder + "/utservers.ini", favourites::fileText(GameKind::UT99, rows));
        });
        TestWindow& t = *served;
        const auto charts = [&] {
            return runJavaScript(t->WebBrowser1,
                                 "Array.from(document.querySelectorAll('tr[data-game] td.history "
                                 "svg title'), (e) => e.textContent).join('|')")
                .toString();
        };
        UTQ_TRY_VERIFY(startRows(t->WebBrowser1).join(u'\n').contains("Busy"), 15000);
        // A page opened before the first round was kept shows its day when loaded again.
        if (!charts().contains("peak 2")) {
            keepRunningFor(2000);
            t->WebBrowser1->engineView()->reload();
        }
        UTQ_TRY_VERIFY(charts().contains("peak 2"), 10000);
        QCOMPARE(charts().split(u'|').size(), 3); // the two clan servers, and the favourite
        keepRunningFor(700);
        QVERIFY(t->grab().save(screenshotPath("start_ut99_history.png")));
    }

    void eachGamesBeginQueryShowsTheServer() {
        ServedWindow served;
        TestWindow& t = *served;
        FakeGameServer ut99(fakeservers::ut99("End To End 99"));
        FakeGameServer ut2004(
            fakeservers::ut2004(ut2004replies::str("\x1b\xff\x40\x40"
                                                   "End To End 2004"),
                                {{1, ut2004replies::str("Carol"), 40, 7, ut2004replies::kRed}}));
        FakeGameServer ut3(fakeservers::ut3(fakeservers::ut3TwoPlayers("End To End 3"), 2));

        t->txtNameOrIP->setText("127.0.0.1");
        t->txtText2->setText(QString::number(ut99.port()));
        QString text = queryAndRead(t, 0, t->cmdBeginQuery, t->WebBrowser1, "End To End 99");
        QVERIFY2(text.contains("High") && text.contains("Low"), qPrintable(text));
        keepRunningFor(700); // the new page's first frame
        QVERIFY(t->grab().save(screenshotPath("status_ut99.png")));

        t->txt04Server->setText("127.0.0.1");
        t->txt04port->setText(QString::number(ut2004.port() - 1));
        text = queryAndRead(t, 3, t->cmdBeginQuery04, t->WebBrowser6, "End To End 2004");
        QVERIFY2(text.contains("Carol"), qPrintable(text));
        keepRunningFor(700); // the new page's first frame
        QVERIFY(t->grab().save(screenshotPath("status_ut2004.png")));

        t->ut3iptxt->setText("127.0.0.1");
        t->txtQueryPort->setText(QString::number(ut3.port()));
        t->txtServerWeb->setText("8080");
        text = queryAndRead(t, 6, t->cmdBeginQueryut3, t->WebBrowser4, "End To End 3");
        QVERIFY2(text.contains("Alice") && text.contains("Bob"), qPrintable(text));
        QVERIFY(text.contains("web statistics"));
        keepRunningFor(700); // the new page's first frame
        QVERIFY(t->grab().save(screenshotPath("status_ut3.png")));
    }

    void anImpatientUserAsksAgainWhileAServerIsSilent() {
        ServedWindow served;
        TestWindow& t = *served;
        FakeGameServer silent([](const QByteArray&, int) { return QList<QByteArray>{}; });
        FakeGameServer answering(fakeservers::ut99("Second Try"));
        t->txtNameOrIP->setText("127.0.0.1");
        t->txtText2->setText(QString::number(silent.port()));
        t->lookup(); // what "Begin Query" does once its bar is full
        QVERIFY(waitUntil([&] { return !silent.requests.isEmpty(); }, 10000));
        // The view drops the first page's request for the second.
        t->txtText2->setText(QString::number(answering.port()));
        t->lookup();
        UTQ_TRY_VERIFY(pageText(t->WebBrowser1).contains("Second Try"), 15000);
        // The silent server's query ends, two tries later, with nobody to take its page.
        keepRunningFor(4500);
        QVERIFY(pageText(t->WebBrowser1).contains("Second Try"));
        t->lookup(); // and the service still answers
        QVERIFY(waitUntil([&] { return answering.requests.size() >= 2; }, 10000));
    }

    void hostileServerNamesStayTextAndRunNothing() {
        ServedWindow served;
        TestWindow& t = *served;
        FakeGameServer hostile(fakeservers::ut99(
            "<script>document.title='owned'</script><img src=x onerror=\"document.title='img'\">"));
        t->txtNameOrIP->setText("127.0.0.1");
        t->txtText2->setText(QString::number(hostile.port()));
        const QString text = queryAndRead(t, 0, t->cmdBeginQuery, t->WebBrowser1, "<script>");
        QVERIFY2(text.contains("<img src=x onerror="), qPrintable(text));
        keepRunningFor(300); // time for an image error to fire, if there were an image
        QCOMPARE(runJavaScript(t->WebBrowser1, "document.querySelectorAll('script, img').length")
                     .toInt(),
                 0);
        const QString title = runJavaScript(t->WebBrowser1, "document.title").toString();
        QVERIFY2(title != "owned" && title != "img", qPrintable(title));
    }

    void sevenViewsAndAHundredRequestsAtOnce() {
        ServedWindow served;
        TestWindow& t = *served;
        UTQ_TRY_VERIFY(pageText(t->WebBrowser5).contains("6500"), 15000);
        FakeGameServer ut99(fakeservers::ut99("Loaded 99"));
        FakeGameServer ut2004(
            fakeservers::ut2004(ut2004replies::str("Loaded 2004"),
                                {{1, ut2004replies::str("Dan"), 30, 2, ut2004replies::kBlue}}));
        FakeGameServer ut3(fakeservers::ut3(fakeservers::ut3TwoPlayers("Loaded 3"), 3));
        const QString base = QStringLiteral("http://") + served.service->hostAndPort();
        const QString targets[] = {
            QStringLiteral("/php/UTstats/index.php?txtip=127.0.0.1&portnum=%1").arg(ut99.port()),
            QStringLiteral(
                "/phpnuke/html/SQuery/index.php?ip=127.0.0.1&port=%1&game=UT2004&block=1")
                .arg(ut2004.port() - 1),
            QStringLiteral(
                "/qEl/UT3Query/ut3query.php?serverip=127.0.0.1&serverqport=%1&serverwport=0")
                .arg(ut3.port())};
        const char* names[] = {"Loaded 99", "Loaded 2004", "Loaded 3"};

        // The window's clock keeps ticking while the pages are made: it is never frozen.
        QElapsedTimer sinceTick;
        qint64 longestGapMs = 0;
        QTimer ticker;
        ticker.setInterval(10);
        connect(&ticker, &QTimer::timeout,
                [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
        sinceTick.start();
        ticker.start();

        platform::WebView* views[] = {t->WebBrowser1, t->WebBrowser2, t->WebBrowser3,
                                      t->WebBrowser4, t->WebBrowser5, t->WebBrowser6,
                                      t->WebBrowser7};
        for (int i = 0; i < 7; ++i)
            views[i]->navigate(base + targets[i % 3]);
        QNetworkAccessManager network;
        QList<QNetworkReply*> replies;
        for (int i = 0; i < 100; ++i)
            replies << network.get(QNetworkRequest(QUrl(base + targets[i % 3])));
        waitUntil(
            [&] {
                return std::all_of(replies.begin(), replies.end(),
                                   [](auto* r) { return r->isFinished(); });
            },
            30000);
        for (int i = 0; i < 100; ++i) {
            QVERIFY(replies[i]->isFinished());
            QVERIFY2(replies[i]->readAll().contains(names[i % 3]), qPrintable(QString::number(i)));
            replies[i]->deleteLater();
        }
        for (int i = 0; i < 7; ++i)
            UTQ_TRY_VERIFY(pageText(views[i]).contains(names[i % 3]), 15000);
        ticker.stop();
        qInfo("longest pause of the window's event loop under load: %lld ms", longestGapMs);
        QVERIFY2(longestGapMs < 2000, qPrintable(QString::number(longestGapMs)));
    }
};

UTQ_TEST_MAIN(TestStatusEndToEnd)
#include "tst_status_end_to_end.moc"
