// The administrator area (Locked, Entering, Unlocked), the links it and the site label open,
// and "Launch Game" on the two UT99 tabs.
#include "EventLoopWait.h"
#include "FakeCommand.h"
#include "OpenDialogs.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "BuildSettings.h"
#include "admin/AlertDialog.h"
#include "app/TabControl.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace utq;

namespace {

QString rightPassword() {
    QString password;
    for (int code : build::kAdminPasswordCodes)
        password += QChar(code);
    return password;
}

// Receives the pages the program asks the desktop to open in the browser.
class Browser : public QObject {
    Q_OBJECT
public:
    QStringList opened;
    Browser() { QDesktopServices::setUrlHandler("http", this, "open"); }
    ~Browser() override { QDesktopServices::unsetUrlHandler("http"); }
public slots:
    void open(const QUrl& url) { opened.append(url.toString()); }
};

void submit(TestWindow& t, const QString& password) {
    t->txtPooPooPeePee->clear();
    QTest::keyClicks(t->txtPooPooPeePee, password);
    QTest::mouseClick(t->cmdA2, Qt::LeftButton);
}

bool locked(TestWindow& t) {
    return !t->lblA3->isHidden() && !t->cmdA1->isHidden() && t->txtPooPooPeePee->isHidden() &&
           t->cmdA2->isHidden() && t->lblA1->isHidden() && t->lblA2->isHidden() &&
           t->lblA4->isHidden();
}

bool entering(TestWindow& t) {
    return !t->lblA3->isHidden() && t->cmdA1->isHidden() && !t->txtPooPooPeePee->isHidden() &&
           !t->cmdA2->isHidden() && t->lblA1->isHidden() && t->lblA2->isHidden() &&
           t->lblA4->isHidden();
}

bool unlocked(TestWindow& t) {
    return t->lblA3->isHidden() && t->cmdA1->isHidden() && t->txtPooPooPeePee->isHidden() &&
           t->cmdA2->isHidden() && !t->lblA1->isHidden() && !t->lblA2->isHidden() &&
           !t->lblA4->isHidden();
}

} // namespace

class TestAdminAndLaunch : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAlertDialogs(); }

    void loginFromLockedToUnlocked() {
        TestWindow t;
        QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
        t->SSTTab0->setCurrentIndex(2);
        QVERIFY(locked(t));
        QTest::mouseClick(t->cmdA1, Qt::LeftButton);
        QVERIFY(entering(t));
        QCOMPARE(QApplication::focusWidget(), t->txtPooPooPeePee);
        QCOMPARE(t->txtPooPooPeePee->echoMode(), QLineEdit::Normal); // typed in clear

        submit(t, rightPassword());
        QVERIFY(unlocked(t));
        QCOMPARE(t->txtPooPooPeePee->text(), rightPassword()); // stays in the hidden box
        QVERIFY(t.sound->played.isEmpty());
        QCOMPARE(Alert::openInstance(), nullptr);
        // Unlocked for the rest of the run, on every later visit.
        t->SSTTab0->setCurrentIndex(0);
        t->SSTTab0->setCurrentIndex(2);
        QVERIFY(unlocked(t));
        QVERIFY(t->lblA1->isVisible() && t->lblA2->isVisible() && t->lblA4->isVisible());
    }

    void wrongPasswordsFail_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << QString();
        QTest::newRow("trailing space") << rightPassword() + " ";
        QTest::newRow("other case") << rightPassword().toLower();
        QTest::newRow("one short") << rightPassword().chopped(1);
        QTest::newRow("leading space") << " " + rightPassword();
    }

    void wrongPasswordsFail() {
        QFETCH(QString, typed);
        if (typed == rightPassword())
            QSKIP("the password has no letters to change the case of");
        TestWindow t;
        t->SSTTab0->setCurrentIndex(2);
        QTest::mouseClick(t->cmdA1, Qt::LeftButton);
        for (int attempt = 1; attempt <= 3; ++attempt) {
            submit(t, typed);
            QVERIFY(entering(t));
            QCOMPARE(t->txtPooPooPeePee->text(), typed);
            QCOMPARE(t.sound->played.size(), attempt);
            QCOMPARE(t.sound->played.last(), t.path("HellNo.wav"));
            Alert* alert = Alert::openInstance();
            QVERIFY(alert && alert->isVisible());
            QCOMPARE(alert->lblAlert->text(), "Invalid Password, Try Again!");
            QVERIFY(alert->cmdOK->isVisible() && !alert->cmdOK2->isVisible());
        }
        int alerts = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            alerts += w->objectName() == "Alert" && w->isVisible();
        QCOMPARE(alerts, 1);
    }

    void okInTheAlertReturnsToThePasswordBox() {
        TestWindow t;
        t->SSTTab0->setCurrentIndex(2);
        QTest::mouseClick(t->cmdA1, Qt::LeftButton);
        submit(t, "guess");
        Alert* alert = Alert::openInstance();
        QVERIFY(QTest::qWaitForWindowExposed(alert));
        QTest::mouseClick(alert->cmdOK, Qt::LeftButton);
        UTQ_TRY_VERIFY(!Alert::openInstance(), 2000);
        UTQ_TRY_VERIFY(QApplication::focusWidget() == t->txtPooPooPeePee, 2000);
        QCOMPARE(t->txtPooPooPeePee->text(), "guess");
        // Then the right one still opens the area.
        submit(t, rightPassword());
        QVERIFY(unlocked(t));
    }

    void linksOpenTheirPages() {
        Browser browser;
        // A real US host has no port of its own; nothing here contacts it.
        TestWindow t({}, [](Hosts& hosts) { hosts.us = "us.qel.example"; });
        t->SSTTab0->setCurrentIndex(2);
        QVERIFY(QTest::qWaitForWindowExposed(t.window.get()));
        // Before the login the administrator links are not there to click.
        QTest::mouseClick(t->FraAdministration, Qt::LeftButton, {}, t->lblA1->geometry().center());
        QTest::mouseClick(t->FraAdministration, Qt::LeftButton, {}, t->lblA4->geometry().center());
        QVERIFY(browser.opened.isEmpty());
        // The site label and "UT3 Admin" work at any time.
        QTest::mouseClick(t->lblQel, Qt::LeftButton);
        QCOMPARE(browser.opened, QStringList({"http://www.qel.example"}));
        t->SSTTab0->setCurrentIndex(6);
        QTest::mouseClick(t->cmdAdminUT3, Qt::LeftButton);
        QCOMPARE(browser.opened.last(), "http://uk.qel.example:5080/ServerAdmin/settings/general");

        t->SSTTab0->setCurrentIndex(2);
        QTest::mouseClick(t->cmdA1, Qt::LeftButton);
        submit(t, rightPassword());
        browser.opened.clear();
        QTest::mouseClick(t->lblA1, Qt::LeftButton);
        QTest::mouseClick(t->lblA1, Qt::LeftButton); // twice, opened twice
        QTest::mouseClick(t->lblA2, Qt::LeftButton);
        QTest::mouseClick(t->lblA4, Qt::LeftButton);
        const QString us = "http://us.qel.example";
        QCOMPARE(
            browser.opened,
            QStringList({us + "/cgi-bin/wwwpman/index.pl", us + "/cgi-bin/wwwpman/index.pl",
                         us + ":8884/ServerAdmin/", "http://uk.qel.example:8884/ServerAdmin/"}));
    }

    void launchFromTheQueryTab() {
        FakeCommand xdgOpen("xdg-open");
        TestWindow t;
        t->txtText4[0]->setText("Ping Result: Success");
        t->txtText4[1]->setText("3ms");
        t->lblStatus->setText("0");
        t->txtText2->setText("9999"); // the query port plays no part
        QTest::mouseClick(t->cmdLaunchGame, Qt::LeftButton);
        UTQ_TRY_COMPARE(xdgOpen.calls().size(), 1, 5000);
        QCOMPARE(xdgOpen.calls().first(),
                 QStringList({"unreal://" + t.us.hostAndPort() + ":7777"}));
        QCOMPARE(t->txtText4[0]->text(), QString());
        QCOMPARE(t->lblStatus->text(), QString());
        QCOMPARE(t->txtText4[1]->text(), QString());
        QVERIFY(QApplication::focusWidget() != t->txtNameOrIP ||
                !t->txtNameOrIP->hasSelectedText());

        t->txtNameOrIP->setText("  10.0.0.9 ");
        t->txtText3->setText("");
        QTest::mouseClick(t->cmdLaunchGame, Qt::LeftButton);
        UTQ_TRY_COMPARE(xdgOpen.calls().size(), 2, 5000);
        QCOMPARE(xdgOpen.calls().last(), QStringList({"unreal://  10.0.0.9 :"})); // as typed
    }

    void launchFromTheFavouritesTab() {
        FakeCommand xdgOpen("xdg-open");
        TestWindow t;
        t->SSTTab0->setCurrentIndex(1);
        t->ServerIP2->setText("10.0.0.2");
        t->ServerPort2->setText("7790");
        t->QueryPort2->setText("7791");
        t->txtText4[3]->setText("Ping Result: Failure");
        t->txtText4[2]->setText("n/a");
        QTest::mouseClick(t->cmdLaunchGame2, Qt::LeftButton); // no row selected
        UTQ_TRY_COMPARE(xdgOpen.calls().size(), 1, 5000);
        QCOMPARE(xdgOpen.calls().last(), QStringList({"unreal://:"}));
        QCOMPARE(t->txtText4[3]->text(), QString());
        QCOMPARE(t->txtText4[2]->text(), QString());
        QTest::mouseClick(t->Option1[1], Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseClick(t->cmdLaunchGame2, Qt::LeftButton);
        UTQ_TRY_COMPARE(xdgOpen.calls().size(), 2, 5000);
        QCOMPARE(xdgOpen.calls().last(), QStringList({"unreal://10.0.0.2:7790"}));
        QCOMPARE(t->ServerIP2->text(), "10.0.0.2"); // rows are never written
    }
};

UTQ_TEST_MAIN(TestAdminAndLaunch)
#include "tst_admin_and_launch.moc"
