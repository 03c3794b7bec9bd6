// The local server console with real processes: a harmless program started under the name
// "UCC.exe" stands in for the game server, and a fake wine records the scripts it is asked to
// run. The sound card is the test's recorder.
#include "EventLoopWait.h"
#include "FakeCommand.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "admin/Delvo.h"
#include "widgets/SvgPicture.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace utq;

namespace {

// A real process whose name is "UCC.exe": /bin/sleep under that name.
class FakeServer {
public:
    explicit FakeServer(const QString& folder) {
        const QString image = folder + "/UCC.exe";
        if (!QFile::exists(image))
            QFile::link("/bin/sleep", image);
        process_.start(image, {"60"});
        process_.waitForStarted(5000);
    }
    ~FakeServer() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool running() const { return process_.state() == QProcess::Running; }
    bool waitForEnd() { return process_.waitForFinished(5000); }

private:
    QProcess process_;
};

// Receives the pages the program asks the desktop to open in the browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened.append(url.toString()); }
};

struct Console {
    TestWindow pages; // the main window's pages, hosts and folder; its own window is not used
    std::shared_ptr<RecordingSoundPlayer> sound = std::make_shared<RecordingSoundPlayer>();
    QStringList failures;
    int programEnds = 0;
    int windowsMade = 0;
    std::unique_ptr<Delvo> console;

    explicit Console(const QString& procFolder = "/proc") {
        platform::Desktop desktop{pages.programFolder.path(), sound,
                                  std::make_shared<platform::TextFileWriter>(),
                                  std::make_shared<platform::ProcessList>(procFolder)};
        const Hosts hosts{pages.query.hostAndPort(), "us.qel.example", "uk.qel.example",
                          "www.qel.example", "ts.qel.example"};
        console = std::make_unique<Delvo>(hosts, desktop, [this, hosts, desktop] {
            ++windowsMade;
            return new qElQuery(hosts, desktop);
        });
        console->setFailureReporter([this](const QString& message) { failures << message; });
        console->setProgramEnd([this] { ++programEnds; });
        console->show();
    }
    Delvo* operator->() const { return console.get(); }

    // Which of the four banner pictures show.
    QString banner() const {
        QString shown;
        for (SvgPicture* image :
             {console->Image1, console->Image2, console->Image3, console->Image4})
            shown += image->isHidden() ? '-' : '#';
        return shown;
    }
};

} // namespace

class TestConsole : public QObject {
    Q_OBJECT
    QTemporaryDir images_;

private slots:
    void opensAsDesigned() {
        Console c;
        QCOMPARE(c->windowTitle(), "Unreal Tournament Server Administration");
        QCOMPARE(c->size(), QSize(529, 295));
        QCOMPARE(c->minimumSize(), c->maximumSize());
        QCOMPARE(c->palette().color(QPalette::Window), QColor(0, 21, 55));
        QCOMPARE(c->Image1->geometry(), QRect(-7, 0, 541, 200));
        QCOMPARE(c->Image4->geometry(), c->Image1->geometry());
        QCOMPARE(c->Frame1->geometry(), QRect(8, 192, 512, 93));
        QCOMPARE(c->cmdUT99re->parentWidget(), c->Frame1);
        QCOMPARE(c->cmdUT99re->mapTo(c.console.get(), QPoint(0, 0)), QPoint(261, 216));
        QCOMPARE(c->cmdUT99start->text(), "Start");
        QCOMPARE(c->cmdUT99stop->text(), "Stop");
        QCOMPARE(c->cmdUT99re->text(), "Restart");
        QCOMPARE(c->cmdUT99admin->text(), "Admin");
        QCOMPARE(c->cmdQuery->text(), "Show Query");
        QCOMPARE(c->cmdQueryHide->text(), "Hide Query");
        QVERIFY(c->cmdUT99start->styleSheet().contains("rgb(0, 255, 0)"));
        QVERIFY(c->cmdUT99stop->styleSheet().contains("rgb(255, 0, 0)"));
        QVERIFY(c->cmdUT99re->styleSheet().contains("rgb(255, 128, 0)"));
        QVERIFY(c->cmdUT99admin->styleSheet().contains("rgb(255, 255, 0)"));
        QVERIFY(c->cmdUT99start->font().bold() && !c->cmdUT99admin->font().bold());
        for (QPushButton* b : {c->cmdUT99start, c->cmdUT99stop, c->cmdUT99re, c->cmdUT99admin,
                               c->cmdQuery, c->cmdQueryHide})
            QCOMPARE(b->cursor().hotSpot(), QPoint(12, 1));
        QCOMPARE(c->cmdQuery->nextInFocusChain(), c->cmdUT99start);
        QCOMPARE(c->cmdUT99admin->nextInFocusChain(), c->cmdQueryHide);
        // Opening: all four pictures, only the watch running, no alarm yet.
        QCOMPARE(c.banner(), "####");
        QVERIFY(c->Timer2->isActive() && !c->Timer1->isActive() && !c->Timer3->isActive());
        QCOMPARE(c->Timer2->interval(), 2000);
        QCOMPARE(c->Timer1->interval(), 250);
        QVERIFY(c.sound->played.isEmpty());
        QVERIFY(c->grab().save(qEnvironmentVariable("UTQ_SCREENSHOT_DIR", QDir::tempPath()) +
                               "/console.png"));
    }

    void watchesARealProcessByName() {
        Console c;
        {
            FakeServer server(images_.path());
            QVERIFY(server.running());
            c->Timer2_Timer();
            QCOMPARE(c.banner(), "#---");
            QVERIFY(c->Timer1->isActive() && !c->Timer3->isActive());
            QVERIFY(c.sound->played.isEmpty());
            // Two of them count as running, like one.
            FakeServer second(images_.path());
            c->Timer2_Timer();
            QCOMPARE(c.banner(), "#---");
            // Restart ends them all by force; the next look finds the server down.
            QTest::mouseClick(c->cmdUT99re, Qt::LeftButton);
            QVERIFY(server.waitForEnd());
            QVERIFY(second.waitForEnd());
        }
        c->Timer2_Timer();
        QCOMPARE(c.banner(), "-#--");
        QVERIFY(c->Timer3->isActive() && !c->Timer1->isActive());
        QCOMPARE(c.sound->played, QStringList({c.pages.path("mandown.wav")}));
        c->Timer2_Timer(); // and again at every look while it stays down
        QCOMPARE(c.sound->played.size(), 2);
        // Restart while down changes nothing.
        c->cmdUT99re_Click();
        c->Timer2_Timer();
        QCOMPARE(c.banner(), "-#--");
    }

    // A launcher that starts the server and then hangs on without ever collecting it, as a
    // stuck RunServer.bat under Wine does: the killed server stays behind as a zombie.
    void aKilledServerThatIsAZombieIsDown() {
        const QString image = images_.filePath("UCC.exe");
        if (!QFile::exists(image))
            QVERIFY(QFile::link("/bin/sleep", image));
        QProcess launcher;
        launcher.start("/bin/sh", {"-c", "\"$0\" 60 & exec sleep 60", image});
        QVERIFY(launcher.waitForStarted(5000));
        Console c;
        UTQ_TRY_COMPARE((c->Timer2_Timer(), c.banner()), QString("#---"), 5000);
        c->cmdUT99re_Click();
        // The kill lands a moment later; the process then ends but is never collected.
        UTQ_TRY_COMPARE((c->Timer2_Timer(), c.banner()), QString("-#--"), 5000);
        launcher.kill();
        launcher.waitForFinished(5000);
    }

    void theBannersBlinkFromTheWatchsState() {
        Console c;
        c->Timer2_Timer(); // nothing named UCC.exe runs: down
        QCOMPARE(c.banner(), "-#--");
        c->Timer3_Timer();
        QCOMPARE(c.banner(), "---#");
        c->Timer3_Timer();
        QCOMPARE(c.banner(), "-#--");
        FakeServer server(images_.path());
        c->Timer2_Timer();
        QCOMPARE(c.banner(), "#---");
        c->Timer1_Timer();
        QCOMPARE(c.banner(), "--#-");
        c->Timer1_Timer();
        QCOMPARE(c.banner(), "#---");
    }

    // The real timers: the first look comes about two seconds after opening, then the blink.
    void realWatchAndBlink() {
        Console c;
        keepRunningFor(1500);
        QCOMPARE(c.banner(), "####"); // before the first look: no blink, no alarm
        QVERIFY(c.sound->played.isEmpty());
        UTQ_TRY_COMPARE(c.sound->played.size(), 1, 3000);
        QStringList seen;
        QTimer sample;
        connect(&sample, &QTimer::timeout, [&] {
            if (seen.isEmpty() || seen.last() != c.banner())
                seen << c.banner();
        });
        sample.start(20);
        keepRunningFor(900);
        QVERIFY2(seen.contains("-#--") && seen.contains("---#"), qPrintable(seen.join(' ')));
    }

    void startAndStopRunTheScriptsThroughWine() {
        FakeCommand wine("wine");
        Console c;
        QTest::mouseClick(c->cmdUT99start, Qt::LeftButton);
        QTest::mouseClick(c->cmdUT99stop, Qt::LeftButton);
        UTQ_TRY_COMPARE(wine.calls().size(), 2, 5000);
        // Neither click waits for its script, so the two may run in either order.
        QList<QStringList> calls = wine.calls();
        std::sort(calls.begin(), calls.end());
        QCOMPARE(calls[0],
                 QStringList({"cmd", "/c", "E:\\UnrealTournamentServer\\System\\RunServer.bat"}));
        QCOMPARE(calls[1],
                 QStringList({"cmd", "/c", "E:\\UnrealTournamentServer\\System\\StopServer.bat"}));
        QVERIFY(c.failures.isEmpty());
    }

    void withoutWineTheUserIsTold() {
        QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(empty.path()));
        Console c;
        c->cmdUT99start_Click();
        qputenv("PATH", path);
        QCOMPARE(c.failures.size(), 1);
        QVERIFY(c.failures.first().contains("RunServer.bat"));
        QVERIFY(c.failures.first().contains("wine"));
        QVERIFY(c->Timer2->isActive());
    }

    void anUnreadableProcessListIsToldOnceAndTheWatchGoesOn() {
        Console c("/nonexistent/proc");
        c->Timer2_Timer();
        c->Timer2_Timer();
        QCOMPARE(c.failures.size(), 1);
        QVERIFY(c.failures.first().contains("/nonexistent/proc"));
        QVERIFY(c->Timer2->isActive());
        QCOMPARE(c.banner(), "####");
    }

    void adminOpensTheUsWebAdministration() {
        UrlRecorder browser;
        QDesktopServices::setUrlHandler("http", &browser, "open");
        Console c;
        QTest::mouseClick(c->cmdUT99admin, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(browser.opened, QStringList({"http://us.qel.example:8884/ServerAdmin/"}));
    }

    void showAndHideTheMainWindow() {
        Console c;
        QCOMPARE(c->mainWindow(), nullptr);
        QTest::mouseClick(c->cmdQueryHide, Qt::LeftButton); // made (it starts up), then hidden
        QCOMPARE(c.windowsMade, 1);
        auto* main = qobject_cast<qElQuery*>(c->mainWindow());
        QVERIFY(main);
        QVERIFY(!main->isVisible());
        main->txtNameOrIP->setText("kept.example");
        QTest::mouseClick(c->cmdQuery, Qt::LeftButton);
        QVERIFY(main->isVisible());
        QCOMPARE(main->txtNameOrIP->text(), "kept.example"); // the same window, its state kept
        QTest::mouseClick(c->cmdQueryHide, Qt::LeftButton);
        QVERIFY(!main->isVisible());
        QCOMPARE(c.windowsMade, 1);
    }

    void closingTheConsoleEndsTheProgram() {
        Console c;
        QTest::mouseClick(c->cmdQuery, Qt::LeftButton);
        QVERIFY(c->mainWindow()->isVisible());
        c->close();
        QCOMPARE(c.programEnds, 1); // whatever else is open
    }
};

UTQ_TEST_MAIN(TestConsole)
#include "tst_console.moc"
