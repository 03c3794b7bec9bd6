// Start pages and status queries, end to end: real web views load from a local page server
// that records every request target.
#include "EventLoopWait.h"
#include "FakeCommand.h"
#include "PageScript.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "app/TabControl.h"
#include "platform/WebView.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

using utq::qElQuery;

namespace {

// One "Begin Query" button with its timer, bar and tick handler.
struct QueryTab {
    const char* name;
    int tab;
    QPushButton* qElQuery::*button;
    QTimer* qElQuery::*timer;
    QProgressBar* qElQuery::*bar;
    void (qElQuery::*tick)();
};

const QueryTab kQueryTabs[] = {
    {"UT99 quick", 0, &qElQuery::cmdBeginQuery, &qElQuery::Timer1, &qElQuery::pg,
     &qElQuery::Timer1_Timer},
    {"UT99 favourites", 1, &qElQuery::cmdBeginQuery2, &qElQuery::Timer3, &qElQuery::pg3,
     &qElQuery::Timer3_Timer},
    {"UT2004 quick", 3, &qElQuery::cmdBeginQuery04, &qElQuery::Timer04, &qElQuery::pg04,
     &qElQuery::Timer04_Timer},
    {"UT2004 favourites", 4, &qElQuery::cmdBeginQuery04f, &qElQuery::Timer041, &qElQuery::pg04f,
     &qElQuery::Timer041_Timer},
    {"UT3 quick", 6, &qElQuery::cmdBeginQueryut3, &qElQuery::Timerut3, &qElQuery::pgut3,
     &qElQuery::Timerut3_Timer},
    {"UT3 favourites", 7, &qElQuery::cmdBeginQueryut3f, &qElQuery::Timerut3f, &qElQuery::pg2ut3,
     &qElQuery::Timerut3f_Timer},
};

bool waitForStartPages(const TestWindow& t) {
    return waitUntil(
        [&] {
            return t.query.countPath("/php/UTstats/lobby2.html") == 2 &&
                   t.query.countPath("/qEl/TS3/index.php") == 1 &&
                   t.query.countPath("/qEl/04query.html") == 2 &&
                   t.query.countPath("/qEl/ut3query.html") == 2;
        },
        20000);
}

// Presses the tab's button, then takes over the ticking so every tick is counted.
void pressAndHoldTheTimer(const TestWindow& t, const QueryTab& q) {
    t->SSTTab0->setCurrentIndex(q.tab);
    QTest::mouseClick(t.window.get()->*q.button, Qt::LeftButton);
    QVERIFY((t.window.get()->*q.timer)->isActive());
    (t.window.get()->*q.timer)->stop();
}

QStringList statusRequests(const TestWindow& t) {
    QStringList found;
    for (const PageServer* server : {&t.query, &t.us})
        for (const QString& target : server->targets())
            if (target.contains(u'?'))
                found << target;
    return found;
}

} // namespace

class TestQueries : public QObject {
    Q_OBJECT
private slots:
    void everyWebViewOpensItsStartPage() {
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        QCOMPARE(t.query.targets().size(), 7);
        QVERIFY(t.us.targets().isEmpty());
        UTQ_TRY_COMPARE(t->WebBrowser3->currentUrl().toString(),
                        "http://" + t.query.hostAndPort() + "/qEl/TS3/index.php", 10000);
    }

    // Only the shown tab keeps a live page: a hidden start page is discarded and loaded again
    // when its tab shows; a status page a player asked for is frozen and comes back as it was.
    void hiddenTabsPagesRestAndComeBack() {
        TestWindow t;
        for (auto* view : t->findChildren<utq::platform::WebView*>())
            view->setRestAfterMs(300);
        t->show();
        QVERIFY(waitForStartPages(t));
        using State = QWebEnginePage::LifecycleState;
        const auto stateOf = [](utq::platform::WebView* view) {
            return view->engineView()->page()->lifecycleState();
        };
        const QUrl ut2004Start("http://" + t.query.hostAndPort() + "/qEl/04query.html");
        UTQ_TRY_COMPARE(stateOf(t->WebBrowser6), State::Discarded, 10000);
        QCOMPARE(t->WebBrowser6->currentUrl(), ut2004Start);
        QCOMPARE(stateOf(t->WebBrowser1), State::Active);

        pressAndHoldTheTimer(t, kQueryTabs[0]);
        for (int tick = 1; tick <= 11; ++tick)
            t->Timer1_Timer();
        UTQ_TRY_COMPARE(t->WebBrowser1->currentUrl().path(), "/php/UTstats/index.php", 10000);
        const QUrl status = t->WebBrowser1->currentUrl();
        t->SSTTab0->setCurrentIndex(3);
        UTQ_TRY_COMPARE(stateOf(t->WebBrowser6), State::Active, 10000);
        UTQ_TRY_COMPARE(t.query.countPath("/qEl/04query.html"), 3, 10000);
        QCOMPARE(t->WebBrowser6->currentUrl(), ut2004Start);
        UTQ_TRY_COMPARE(stateOf(t->WebBrowser1), State::Frozen, 10000);
        keepRunningFor(600);
        QCOMPARE(stateOf(t->WebBrowser1), State::Frozen); // never discarded: it stays as it was
        t->SSTTab0->setCurrentIndex(0);
        UTQ_TRY_COMPARE(stateOf(t->WebBrowser1), State::Active, 10000);
        QCOMPARE(t->WebBrowser1->currentUrl(), status);
        QCOMPARE(statusRequests(t).size(), 1);
    }

    void eachBeginQueryAsksOnceOnTheEleventhTick_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected"); // request target; "US " marks the US host
        QTest::newRow("UT99 quick") << 0 << "/php/UTstats/index.php?txtip=<us>&portnum=7778";
        QTest::newRow("UT99 favourites")
            << 1 << "/php/UTstats/index.php?txtip=10.1.1.3&portnum=7790";
        QTest::newRow("UT2004 quick")
            << 2
            << "/phpnuke/html/SQuery/"
               "index.php?ip=Server%20IP&port=Server%20Port&game=UT2004&block=1";
        QTest::newRow("UT2004 favourites")
            << 3 << "/phpnuke/html/SQuery/index.php?ip=ut04.five&port=7705&game=UT2004&block=1";
        QTest::newRow("UT3 quick")
            << 4
            << "/qEl/UT3Query/"
               "ut3query.php?serverip=&serverqport=Query%20Port&serverwport=Server%20Web%20Port";
        QTest::newRow("UT3 favourites")
            << 5 << "US /UT3Query/ut3query.php?serverip=ut3.two&serverqport=6502&serverwport=82";
    }

    void eachBeginQueryAsksOnceOnTheEleventhTick() {
        QFETCH(int, index);
        QFETCH(QString, expected);
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        const QueryTab& q = kQueryTabs[index];
        // Rows to pick on the favourites tabs; the game port of the UT99 row is never sent.
        t->ServerIP3->setText("10.1.1.3");
        t->ServerPort3->setText("7789");
        t->QueryPort3->setText("7790");
        t->ServerIp045->setText("ut04.five");
        t->ServerPort045->setText("7705");
        t->UT3ServerIP2->setText("ut3.two");
        t->UT3ServerPort2->setText("6502");
        t->Serverwport2->setText("82");
        t->Option1[2]->setChecked(index == 1);
        t->serverOpt[4]->setChecked(index == 3);
        t->serverFav[1]->setChecked(index == 5);
        t.query.clear();

        pressAndHoldTheTimer(t, q);
        QProgressBar* bar = t.window.get()->*q.bar;
        for (int tick = 1; tick <= 10; ++tick) {
            (t.window.get()->*q.tick)();
            QCOMPARE(bar->value(), tick * 10);
        }
        keepRunningFor(400);
        QVERIFY(statusRequests(t).isEmpty());
        // Only this tab's bar moved.
        for (const QueryTab& other : kQueryTabs)
            if (&other != &q)
                QCOMPARE((t.window.get()->*other.bar)->value(), 0);

        (t.window.get()->*q.tick)();
        QCOMPARE(bar->value(), 0);
        QVERIFY(!(t.window.get()->*q.timer)->isActive());
        UTQ_TRY_COMPARE(statusRequests(t).size(), 1, 10000);
        keepRunningFor(400);
        QCOMPARE(statusRequests(t).size(), 1);
        const bool onUsHost = expected.startsWith("US ");
        expected.remove(QRegularExpression("^US "));
        expected.replace("<us>", t.us.hostAndPort().replace(":", "%3A"));
        const PageServer& server = onUsHost ? t.us : t.query;
        QCOMPARE(server.targets().value(server.targets().size() - 1), expected);
    }

    void favouritesQueryWithTheSelectionOnAnotherTabSendsEmptyValues() {
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        t->ServerIP2->setText("10.9.9.2");
        t->Option1[1]->setChecked(true);
        t->serverFav[3]->setChecked(true); // a row on the UT3 tab takes the one selection
        t.query.clear();
        t->txtText4[3]->setText("Ping Result: Success");
        t->txtText4[2]->setText("12ms");
        t->lblStatus->setText("0");
        pressAndHoldTheTimer(t, kQueryTabs[1]);
        for (int tick = 0; tick < 11; ++tick)
            t->Timer3_Timer();
        UTQ_TRY_COMPARE(t.query.targets(), QStringList({"/php/UTstats/index.php?txtip=&portnum="}),
                        10000);
        // A UT99 query empties its tab's ping results and the status label.
        QCOMPARE(t->txtText4[3]->text(), QString());
        QCOMPARE(t->txtText4[2]->text(), QString());
        QCOMPARE(t->lblStatus->text(), QString());
    }

    void queriesOtherThanUt99LeaveThePingResults() {
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        t->txt04ping[0]->setText("Success");
        t->txtpUT3[3]->setText("30ms");
        t->lblStatus->setText("0");
        pressAndHoldTheTimer(t, kQueryTabs[3]);
        for (int tick = 0; tick < 11; ++tick)
            t->Timer041_Timer();
        pressAndHoldTheTimer(t, kQueryTabs[5]);
        for (int tick = 0; tick < 11; ++tick)
            t->Timerut3f_Timer();
        UTQ_TRY_COMPARE(statusRequests(t).size(), 2, 10000);
        QCOMPARE(t.query.countPath("/phpnuke/html/SQuery/index.php"), 1);
        QCOMPARE(t.us.countPath("/UT3Query/ut3query.php"), 1);
        QCOMPARE(t->txt04ping[0]->text(), "Success");
        QCOMPARE(t->txtpUT3[3]->text(), "30ms");
        QCOMPARE(t->lblStatus->text(), "0");
    }

    void theQueryReadsTheFieldsAtTheEleventhTick() {
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        t.query.clear();
        pressAndHoldTheTimer(t, kQueryTabs[0]);
        for (int tick = 0; tick < 5; ++tick)
            t->Timer1_Timer();
        t->txtNameOrIP->setText("late.example");
        t->txtText2->setText("7001");
        for (int tick = 0; tick < 6; ++tick)
            t->Timer1_Timer();
        UTQ_TRY_COMPARE(t.query.targets(),
                        QStringList({"/php/UTstats/index.php?txtip=late.example&portnum=7001"}),
                        10000);
    }

    void typedSeparatorsCannotAddKeys() {
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        t.query.clear();
        t->txtNameOrIP->setText("a&portnum=1#b");
        t->txtText2->setText("77 78+%");
        pressAndHoldTheTimer(t, kQueryTabs[0]);
        for (int tick = 0; tick < 11; ++tick)
            t->Timer1_Timer();
        UTQ_TRY_COMPARE(
            t.query.targets(),
            QStringList({"/php/UTstats/index.php?txtip=a%26portnum%3D1%23b&portnum=77%2078%2B%25"}),
            10000);
    }

    // The real 100 ms timer: one press, a second press while filling, and exactly one query.
    void realTimerSecondPressWhileFillingAsksOnce() {
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        t.query.clear();
        QList<int> values;
        connect(t->pg04, &QProgressBar::valueChanged, t.window.get(),
                [&values](int v) { values << v; });
        t->SSTTab0->setCurrentIndex(3);
        QTest::mouseClick(t->cmdBeginQuery04, Qt::LeftButton);
        UTQ_TRY_VERIFY(t->pg04->value() >= 50, 5000);
        const int before = t->pg04->value();
        QTest::mouseClick(t->cmdBeginQuery04, Qt::LeftButton);
        QVERIFY(t->pg04->value() >= before);
        UTQ_TRY_COMPARE(statusRequests(t).size(), 1, 10000);
        keepRunningFor(1500);
        QCOMPARE(statusRequests(t).size(), 1);
        QCOMPARE(values, QList<int>({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0}));
        QVERIFY(!t->Timer04->isActive());
    }

    void unrealAddressesGoToTheDesktopsHandler() {
        FakeCommand xdgOpen("xdg-open"); // the desktop's way to the registered game client
        TestWindow t;
        QVERIFY(waitForStartPages(t));
        UTQ_TRY_VERIFY(!t->WebBrowser1->currentUrl().isEmpty(), 5000);
        t->WebBrowser1->navigate("unreal://127.0.0.1:7777");
        UTQ_TRY_COMPARE(xdgOpen.calls(), QList<QStringList>({{"unreal://127.0.0.1:7777"}}), 5000);
        // The view stays on its page.
        QCOMPARE(t->WebBrowser1->currentUrl().path(), "/php/UTstats/lobby2.html");

        // A link on a page goes the same way, once per click.
        t.query.setPage("/join.html",
                        "<!doctype html><a id=j href='unreal://127.0.0.1:7788'>join</a>");
        t->WebBrowser2->navigate("http://" + t.query.hostAndPort() + "/join.html");
        UTQ_TRY_VERIFY(runJavaScript(t->WebBrowser2, "!!document.getElementById('j')").toBool(),
                       10000);
        runJavaScript(t->WebBrowser2, "document.getElementById('j').click()");
        UTQ_TRY_COMPARE(xdgOpen.calls().size(), 2, 10000);
        QCOMPARE(xdgOpen.calls().last(), QStringList({"unreal://127.0.0.1:7788"}));
        keepRunningFor(500);
        QCOMPARE(xdgOpen.calls().size(), 2);
    }
};

UTQ_TEST_MAIN(TestQueries)
#include "tst_queries.moc"
