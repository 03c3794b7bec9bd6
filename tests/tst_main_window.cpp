// The main window as a user first meets it: tabs, every control with its defaults, the one
// favourites selection, the focus, and a picture of each tab.
#include "EventLoopWait.h"
#include "Screenshots.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "app/TabControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

using utq::TabControl;

namespace {

const QString kTag = QStringLiteral("{qEl}");
const QString kEditTip =
    QStringLiteral("You can edit any of these feilds. Click \"Save Chenges\" to Save.");
const QString kOptionTip = QStringLiteral("Selects the server to be Queried or Launched.");

QString textOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return {};
}

// The tab page a control sits on, or -1 for the window itself.
int tabOf(const TestWindow& t, QWidget* w) {
    for (int i = 0; i < t->SSTTab0->count(); ++i)
        if (t->SSTTab0->page(i)->isAncestorOf(w))
            return i;
    return -1;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestWindow> shared_;

private slots:
    void cleanupTestCase() { shared_.reset(); }

    void windowLooksAsDesigned() {
        TestWindow t;
        QCOMPARE(t->windowTitle(), "Unreal Tournament Server Query v" + kTag + "3.1 by: DelvoMan");
        QCOMPARE(t->size(), QSize(829, 609));
        QCOMPARE(t->minimumSize(), t->maximumSize());
        QCOMPARE(t->font().pointSizeF(), 8.25);
        QCOMPARE(t->font().family(), QStringLiteral("Tahoma"));
        QVERIFY(!t->windowIcon().isNull());
        QVERIFY(t->isVisible());
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY((t->frameGeometry().center() - screenCentre).manhattanLength() < 40);
    }

    void nineTabsInThreeRowsOpeningOnTheFirst() {
        TestWindow t;
        TabControl* tabs = t.control<TabControl>("SSTTab0");
        QVERIFY(tabs);
        QCOMPARE(tabs->geometry(), QRect(0, 0, 829, 609));
        const QStringList captions = {
            "UT99 Server Query",    "UT99 Favorite Servers",    "About / Help / TeamSpeak / Admin",
            "UT 2004 Server Query", "UT 2004 Favorite Servers", "About / Help",
            "UT3 Server Query",     "UT3 Favorite Servers",     "About / Help"};
        QCOMPARE(tabs->count(), 9);
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(tabs->tabText(i), captions[i]);
            const QRect button = tabs->tabButton(i)->geometry();
            QCOMPARE(button.top(), (i / 3) * utq::qElQuery::kTabRowHeight);
            if (i % 3)
                QCOMPARE(button.left(), tabs->tabButton(i - 1)->geometry().right() + 1);
        }
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(tabs->page(0)->isVisible());
        QTest::mouseClick(tabs->tabButton(7), Qt::LeftButton);
        QCOMPARE(tabs->currentIndex(), 7);
        QVERIFY(tabs->page(7)->isVisible() && !tabs->page(0)->isVisible());
        // The keyboard moves between tabs too, round the end.
        QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
        QTest::keyClick(t.window.get(), Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 8);
        QTest::keyClick(t.window.get(), Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 0);
        QTest::keyClick(t.window.get(), Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 8);
    }

    void everyControlByNameWithItsDefaults_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("shown");
        const auto row = [](const char* name, const char* kind, int tab, const QString& text,
                            bool enabled = true, bool shown = true) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << tab
                                << text << enabled << shown;
        };
        // "UT99 Server Query"
        row("UTlogo", "utq::SvgPicture", 0, "");
        row("cmdServferIP", "QPushButton", 0, "Server   IP", false);
        row("lblServerIP(0)", "QLabel", 0, "Server    IP");
        row("Combo1", "QComboBox", 0, kTag);
        row("txtNameOrIP", "QLineEdit", 0, "<us>");
        row("cmdQueryPort", "QPushButton", 0, "Query Port", false);
        row("lblQueryPort", "QLabel", 0, "Query Port");
        row("txtText2", "QLineEdit", 0, "7778");
        row("cmdBeginQuery", "QPushButton", 0, "Begin Query");
        row("cmdPing", "QPushButton", 0, "Ping");
        row("cmdServerPort", "QPushButton", 0, "Server Port", false);
        row("lblServerPort(0)", "QLabel", 0, "Server Port");
        row("txtText3", "QLineEdit", 0, "7777");
        row("cmdLaunchGame", "QPushButton", 0, "Launch Game");
        row("txtText4(0)", "QLineEdit", 0, "");
        row("txtText4(1)", "QLineEdit", 0, "");
        row("WebBrowser1", "utq::platform::WebView", 0, "");
        row("pg", "QProgressBar", 0, "");
        // "UT99 Favorite Servers"
        row("lblServerName2", "QLabel", 1, "Server Name");
        row("lblServerIP2", "QLabel", 1, "Server IP");
        row("lblServerPort2", "QLabel", 1, "Server Port");
        row("lblQueryPort2", "QLabel", 1, "Query Port");
        for (const char* stem : {"ServerName", "ServerIP", "ServerPort", "QueryPort"})
            for (const char* digit : {"", "2", "3", "4", "5", "6"})
                row(qPrintable(QLatin1String(stem) + QLatin1String(digit)), "QLineEdit", 1, "");
        for (int i = 0; i < 6; ++i)
            row(qPrintable(QStringLiteral("Option1(%1)").arg(i)), "QRadioButton", 1, "Option1");
        row("cmdBeginQuery2", "QPushButton", 1, "Begin Query");
        row("cmdPing2", "QPushButton", 1, "Ping");
        row("cmdLaunchGame2", "QPushButton", 1, "Launch Game");
        row("cmdSaveChanges", "QPushButton", 1, "Save Changes");
        row("pg2", "QProgressBar", 1, "");
        row("txtText4(3)", "QLineEdit", 1, "");
        row("txtText4(2)", "QLineEdit", 1, "");
        row("WebBrowser2", "utq::platform::WebView", 1, "");
        row("pg3", "QProgressBar", 1, "");
        // "About / Help / TeamSpeak / Admin"
        row("Frame1", "QGroupBox", 2, kTag + "Teamspeak Server");
        row("lblLabelTS", "QLabel", 2,
            "You can contact us through are TS3 server - ts.qel.example");
        row("Frame2", "QGroupBox", 2, "About / Help");
        row("lblLabelAbout", "QLabel", 2,
            "Unreal Tournament 99 Server Query v" + kTag + "3.1 by: DelvoMan");
        row("WebBrowser3", "utq::platform::WebView", 2, "");
        row("txtTroubleshooting", "QPlainTextEdit", 2, "");
        row("FraQel", "QGroupBox", 2, "Visit " + kTag);
        row("PicqEl(0)", "utq::SvgPicture", 2, "");
        row("lblQel", "QLabel", 2, "www.qel.example");
        row("FraAdministration", "QGroupBox", 2, "Administration");
        row("lblA3", "QLabel", 2, "This Area Is For " + kTag + " Administrators Only");
        row("lblA1", "QLabel", 2, "Server Stop/Start - US", true, false);
        row("lblA2", "QLabel", 2, "UT Remote Server - US", true, false);
        row("lblA4", "QLabel", 2, "UT Remote Server - UK", true, false);
        row("cmdA1", "QPushButton", 2, "Admin Login");
        row("txtPooPooPeePee", "QLineEdit", 2, "", true, false);
        row("cmdA2", "QPushButton", 2, "Submit", true, false);
        // "UT 2004 Server Query"
        row("Combo3", "QComboBox", 3, "Name");
        row("txt04Server", "QLineEdit", 3, "Server IP");
        row("txt04port", "QLineEdit", 3, "Server Port");
        row("txt04ping(0)", "QLineEdit", 3, "", false);
        row("txt04ping(1)", "QLineEdit", 3, "", false);
        row("cmdping04", "QPushButton", 3, "Ping it!");
        row("cmdBeginQuery04", "QPushButton", 3, "Begin Query");
        row("WebBrowser6", "utq::platform::WebView", 3, "");
        row("pg04", "QProgressBar", 3, "");
        // "UT 2004 Favorite Servers"
        row("lblServerName(1)", "QLabel", 4, "Server Name");
        row("lblServerIP(1)", "QLabel", 4, "Server IP");
        row("lblServerPort(1)", "QLabel", 4, "Server Port");
        for (const char* name : {"ServerName04", "ServerIP04", "ServerPort04"})
            row(name, "QLineEdit", 4, "", false);
        for (const char* name :
             {"ServerName042", "ServerIP042", "ServerPort042", "ServerName043", "ServerIP043",
              "ServerPort043", "ServerName044", "ServerIP044", "ServerPort044", "ServerName045",
              "ServerIp045", "ServerPort045", "ServerName046", "ServerIP046", "ServerPort046"})
            row(name, "QLineEdit", 4, "");
        for (int i = 1; i <= 5; ++i)
            row(qPrintable(QStringLiteral("serverOpt(%1)").arg(i)), "QRadioButton", 4, "Option1");
        row("serverOpt(6)", "QRadioButton", 4, "Option1", false);
        row("cmdSaveChanges04f", "QPushButton", 4, "Save Changes");
        row("pg04f2", "QProgressBar", 4, "");
        row("txt04ping(2)", "QLineEdit", 4, "", false);
        row("txt04ping(3)", "QLineEdit", 4, "", false);
        row("cmdping042", "QPushButton", 4, "Ping it!");
        row("cmdBeginQuery04f", "QPushButton", 4, "Begin Query");
        row("WebBrowser7", "utq::platform::WebView", 4, "");
        row("pg04f", "QProgressBar", 4, "");
        row("txtTroubleshooting_04", "QPlainTextEdit", 5, "");
        // "UT3 Server Query"
        row("Combo2", "QComboBox", 6, "Server IP");
        row("ut3iptxt", "QLineEdit", 6, "");
        row("txtQueryPort", "QLineEdit", 6, "Query Port");
        row("txtServerWeb", "QLineEdit", 6, "Server Web Port");
        row("txtpUT3(0)", "QLineEdit", 6, "Result", false);
        row("txtpUT3(1)", "QLineEdit", 6, "Ping", false);
        row("cmdpUT3", "QPushButton", 6, "Ping It!");
        row("cmdBeginQueryut3", "QPushButton", 6, "Begin Query");
        row("cmdAdminUT3", "QPushButton", 6, "UT3 Admin");
        row("WebBrowser4", "utq::platform::WebView", 6, "");
        row("pgut3", "QProgressBar", 6, "");
        // "UT3 Favorite Servers"
        row("lblServerName(0)", "QLabel", 7, "Server Name");
        row("lblServerIPut3", "QLabel", 7, "Server IP");
        row("lblServerQ", "QLabel", 7, "Q  Port");
        row("lblServerW", "QLabel", 7, "W Port");
        for (const char* stem : {"UT3ServerName", "UT3ServerIP", "UT3ServerPort", "Serverwport"})
            for (const char* digit : {"", "2", "3", "4", "5", "6"})
                row(qPrintable(QLatin1String(stem) + QLatin1String(digit)), "QLineEdit", 7, "");
        for (int i = 0; i < 6; ++i)
            row(qPrintable(QStringLiteral("serverFav(%1)").arg(i)), "QRadioButton", 7, "");
        row("cmdSaveChangesut3", "QPushButton", 7, "Save Changes");
        row("pg3ut3s", "QProgressBar", 7, "");
        row("txtpUT3(2)", "QLineEdit", 7, "Result", false);
        row("txtpUT3(3)", "QLineEdit", 7, "Ping", false);
        row("cmdpUT32", "QPushButton", 7, "Ping it!");
        row("cmdBeginQueryut3f", "QPushButton", 7, "Begin Query");
        row("WebBrowser5", "utq::platform::WebView", 7, "");
        row("pg2ut3", "QProgressBar", 7, "");
        row("txtTroubleshooting_If", "QPlainTextEdit", 8, "");
        // On the window, beyond its right edge.
        row("lblStatus", "QLabel", -1, "Label1", true, false);
        row("ut04", "QLabel", -1, "ut04", true, false);
        row("ut042", "QLabel", -1, "ut042", true, false);
        row("lblUt3", "QLabel", -1, "ut3", true, false);
        row("lblUt32", "QLabel", -1, "ut32", true, false);
    }

    void everyControlByNameWithItsDefaults() {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(int, tab);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(bool, shown);
        if (!shared_)
            shared_ = std::make_unique<TestWindow>(); // one window serves every row
        TestWindow& t = *shared_;
        const QList<QWidget*> found = t->findChildren<QWidget*>(name);
        QCOMPARE(found.size(), 1);
        QWidget* control = found.first();
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
        QCOMPARE(tabOf(t, control), tab);
        if (text == QLatin1String("<us>"))
            text = t.us.hostAndPort();
        if (!text.isEmpty() || qobject_cast<QLineEdit*>(control))
            QCOMPARE(textOf(control), text);
        QCOMPARE(control->isEnabled(), enabled);
        QCOMPARE(!control->isHidden(), shown);
    }

    void comboBoxesOfferTheirPresets() {
        TestWindow t;
        auto items = [](QComboBox* c) {
            QStringList list;
            for (int i = 0; i < c->count(); ++i)
                list << c->itemText(i);
            return list;
        };
        QCOMPARE(items(t->Combo1), QStringList({kTag + " US", kTag + " UK", "Custom"}));
        QCOMPARE(items(t->Combo3), QStringList({kTag, "Custom"}));
        QCOMPARE(items(t->Combo2), QStringList({kTag, "Custom"}));
        for (QComboBox* c : {t->Combo1, t->Combo2, t->Combo3}) {
            QVERIFY(c->isEditable());
            QCOMPARE(c->currentIndex(), -1);
        }
        QCOMPARE(t->Combo1->toolTip(), QString());
        QCOMPARE(t->Combo3->toolTip(), "Select custom to enter in a server ip / port");
        QCOMPARE(t->Combo2->toolTip(), "Select custom to enter in a server ip");
        QCOMPARE(t->txtQueryPort->toolTip(), "Default 6500");
        QCOMPARE(t->txtServerWeb->toolTip(), "Set to 0 if you don't have Web Stats installed.");
        QCOMPARE(t->lblServerQ->toolTip(), "Default 6500");
        QCOMPARE(t->lblServerW->toolTip(), "Set to 0 if you don't have Web Stats installed.");
    }

    void favouriteRowsCarryTheirTooltips() {
        TestWindow t;
        for (int row = 1; row <= 6; ++row) {
            const QString tip = row < 6 ? kEditTip : QString();
            const auto ut99 = t->ut99Row(row), ut04 = t->ut2004Row(row), ut3 = t->ut3Row(row);
            for (QLineEdit* box : {ut99.name, ut99.address, ut99.port, ut99.fourth, ut04.name,
                                   ut04.address, ut04.port, ut3.name, ut3.address, ut3.port})
                QCOMPARE(box->toolTip(), tip);
            QCOMPARE(ut3.fourth->toolTip(), QString()); // web-port boxes carry none
            QCOMPARE(ut04.fourth, nullptr);
            QCOMPARE(t->Option1[row - 1]->toolTip(), kOptionTip);
            QCOMPARE(t->serverFav[row - 1]->toolTip(), row < 6 ? kOptionTip : QString());
        }
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(t->serverOpt[i]->toolTip(), i == 5 ? QString() : kOptionTip);
        QCOMPARE(t->ut2004Row(5).address->objectName(), "ServerIp045");
        QCOMPARE(t->ut3Row(3).port->objectName(), "UT3ServerPort3");
        // Option buttons show only their circle.
        QVERIFY(t->Option1[0]->width() < t->Option1[0]->sizeHint().width());
    }

    void oneSelectionAcrossTheThreeFavouritesTabs() {
        TestWindow t;
        QList<QAbstractButton*> all;
        for (auto* b : t->Option1)
            all << b;
        for (int i = 1; i <= 6; ++i)
            all << t->serverOpt[i];
        for (auto* b : t->serverFav)
            all << b;
        QCOMPARE(all.size(), 18);
        for (auto* b : all) {
            QVERIFY(!b->isChecked());
            QCOMPARE(t->favouriteSelection->buttons().count(b), 1);
        }
        QVERIFY(t->favouriteSelection->exclusive());

        t->SSTTab0->setCurrentIndex(1);
        QTest::mouseClick(t->Option1[1], Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(t->Option1[1]->isChecked());
        t->SSTTab0->setCurrentIndex(7);
        QTest::mouseClick(t->serverFav[3], Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(t->serverFav[3]->isChecked());
        QVERIFY(!t->Option1[1]->isChecked());
        for (auto* b : all)
            QCOMPARE(b->isChecked(), b == t->serverFav[3]);

        // The UT2004 tab's first row can be neither selected nor edited.
        t->SSTTab0->setCurrentIndex(4);
        QTest::mouseClick(t->serverOpt[6], Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(!t->serverOpt[6]->isChecked());
        QVERIFY(t->serverFav[3]->isChecked());
        QTest::mouseClick(t->serverOpt[2], Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(t->serverOpt[2]->isChecked() && !t->serverFav[3]->isChecked());
        QVERIFY(!t->ServerName04->isEnabled() && !t->ServerIP04->isEnabled() &&
                !t->ServerPort04->isEnabled());
        QVERIFY(t->ServerName042->isEnabled());
    }

    void barsTimersAndStatusLabels() {
        TestWindow t;
        for (const char* name :
             {"pg", "pg2", "pg3", "pg04", "pg04f", "pg04f2", "pgut3", "pg2ut3", "pg3ut3s"}) {
            auto* bar = t.control<QProgressBar>(name);
            QVERIFY2(bar, name);
            QCOMPARE(bar->minimum(), 0);
            QCOMPARE(bar->maximum(), 100);
            QCOMPARE(bar->value(), 0);
        }
        for (const char* name : {"Timer1", "Timer2", "Timer3", "Timer04", "Timer041", "Timer042",
                                 "Timerut3", "Timerut3f", "Timerut3s"}) {
            auto* timer = t->findChild<QTimer*>(QLatin1String(name));
            QVERIFY2(timer, name);
            QCOMPARE(timer->interval(), 100);
            QVERIFY(!timer->isActive());
        }
        // Query bars run across the bottom, save bars sit right under their button.
        for (QProgressBar* bar : {t->pg, t->pg3, t->pg04, t->pg04f, t->pgut3, t->pg2ut3}) {
            QVERIFY(bar->width() > 800);
            QVERIFY(bar->geometry().bottom() > 600);
        }
        QCOMPARE(t->pg2->y(), t->cmdSaveChanges->geometry().bottom() + 3);
        QCOMPARE(t->pg04f2->y(), t->cmdSaveChanges04f->geometry().bottom() + 3);
        QCOMPARE(t->pg3ut3s->y(), t->cmdSaveChangesut3->geometry().bottom() + 3);
        // The status labels exist but no one ever sees them.
        for (QLabel* status : {t->lblStatus, t->ut04, t->ut042, t->lblUt3, t->lblUt32}) {
            QCOMPARE(status->parentWidget(), t.window.get());
            QVERIFY(!status->isVisible());
            QVERIFY(!t->rect().intersects(status->geometry()));
        }
    }

    void pingBoxesAreDisplayOnly() {
        TestWindow t;
        for (QLineEdit* box : t->txtText4) {
            QCOMPARE(box->focusPolicy() & Qt::TabFocus, 0);
            const QImage look = box->grab().toImage();
            const QColor inside = look.pixelColor(look.width() / 2, look.height() / 2);
            QVERIFY2(inside.blue() > 90 && inside.red() < 40 && inside.green() < 40,
                     qPrintable(inside.name()));
            QVERIFY(box->styleSheet().contains("rgb(0, 255, 0)"));
        }
        for (QLineEdit* box : t->txt04ping)
            QVERIFY(!box->isEnabled());
        for (QLineEdit* box : t->txtpUT3)
            QVERIFY(!box->isEnabled());
    }

    void startsWithTheHostFieldFocusedAndSelected() {
        TestWindow t;
        QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
        QCOMPARE(QApplication::focusWidget(), t->txtNameOrIP);
        QCOMPARE(t->txtNameOrIP->selectedText(), t.us.hostAndPort());
        // Typing replaces the preset host.
        QTest::keyClicks(QApplication::focusWidget(), "10.0.0.7");
        QCOMPARE(t->txtNameOrIP->text(), "10.0.0.7");
        QVERIFY(t->IniPath.endsWith("/ut04servers.ini"));
        QCOMPARE(t->IniPath, t.programFolder.path() + "/ut04servers.ini");
    }

    void hostFieldFocusWhileAnotherTabShows() {
        TestWindow t;
        QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
        t->SSTTab0->setCurrentIndex(7);
        t->cmdpUT32->setFocus();
        t->txtNameOrIP->setText("typed.example");
        t->FocusHostField();
        QCOMPARE(t->SSTTab0->currentIndex(), 7); // the visible tab never changes
        QTest::mouseClick(t->SSTTab0->tabButton(0), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), t->txtNameOrIP);
        QCOMPARE(t->txtNameOrIP->selectedText(), "typed.example");
        // Once served, a later visit to the tab leaves the focus where the user put it.
        t->txtText2->setFocus();
        t->SSTTab0->setCurrentIndex(1);
        t->SSTTab0->setCurrentIndex(0);
        QVERIFY(QApplication::focusWidget() != t->txtNameOrIP ||
                t->txtNameOrIP->selectedText().isEmpty());
    }

    void handCursorOnLiveButtonsAndLinks() {
        TestWindow t;
        for (QWidget* w : std::initializer_list<QWidget*>{
                 t->cmdBeginQuery, t->cmdPing, t->cmdLaunchGame, t->cmdSaveChanges, t->cmdping042,
                 t->cmdAdminUT3, t->cmdA1, t->cmdA2, t->lblA1, t->lblA2, t->lblA4, t->lblQel}) {
            QCOMPARE(w->cursor().shape(), Qt::BitmapCursor);
            QCOMPARE(w->cursor().hotSpot(), QPoint(12, 1));
            QCOMPARE(w->cursor().pixmap().size(), QSize(32, 32));
        }
        for (QWidget* w :
             std::initializer_list<QWidget*>{t->cmdServferIP, t->cmdQueryPort, t->cmdServerPort})
            QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    }

    void administrationStartsLocked() {
        TestWindow t;
        QCOMPARE(t->cmdA1->geometry(), QRect(736, 564, 73, 22));
        QCOMPARE(t->cmdA2->geometry(), t->cmdA1->geometry());
        QCOMPARE(t->txtPooPooPeePee->geometry(), QRect(664, 564, 73, 21));
        QCOMPARE(t->FraAdministration->geometry(), QRect(424, 520, 393, 73));
        QCOMPARE(t->cmdAdminUT3->geometry(), QRect(8, 563, 121, 22));
        QVERIFY(t->cmdAdminUT3->font().bold());
        QCOMPARE(t->txtPooPooPeePee->echoMode(), QLineEdit::Normal);
        QCOMPARE(t->cmdA1->nextInFocusChain(), t->txtPooPooPeePee);
        QCOMPARE(t->txtPooPooPeePee->nextInFocusChain(), t->cmdA2);
    }

    void helpTextsCarryTheirSections() {
        TestWindow t;
        const QString ut99 = t->txtTroubleshooting->toPlainText();
        for (const char* part : {"Troubleshooting:", "ATTENTION SERVER ADMINS:",
                                 "[IpServer.UdpServerQuery]", "bTeamInfo=False", "bTeamInfo=True",
                                 "Help:", "Example: server port 7777 would be 7778",
                                 "Favorites:", "Save Changes", "www.qel.example"})
            QVERIFY2(ut99.contains(QLatin1String(part)), part);
        QVERIFY(ut99.indexOf("Troubleshooting:") < ut99.indexOf("ATTENTION SERVER ADMINS:"));
        QVERIFY(ut99.indexOf("Help:") < ut99.indexOf("Favorites:"));
        const QString ut04 = t->txtTroubleshooting_04->toPlainText();
        QVERIFY(
            ut04.startsWith("Unreal Tournament 2004 Server Query v" + kTag + "1.3 by: DelvoMan"));
        QVERIFY(ut04.indexOf("Troubleshooting:") < ut04.indexOf("Favorites:"));
        const QString ut3 = t->txtTroubleshooting_If->toPlainText();
        QVERIFY(ut3.startsWith("Unreal Tournament 3 Server Query v" + kTag + "1.1 by: DelvoMan"));
        for (const char* part : {"Troubleshooting:", "UT3 Web Stats", "Server Web Port", "W Port",
                                 "ut3://", "Favorites:"})
            QVERIFY2(ut3.contains(QLatin1String(part)), part);
        for (QPlainTextEdit* box :
             {t->txtTroubleshooting, t->txtTroubleshooting_04, t->txtTroubleshooting_If})
            QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }

    // Saves a picture of every tab and checks what a user would notice: controls inside the
    // page, captions that fit, and no two controls on top of each other unless designed so.
    void eachTabLaidOutCleanly() {
        TestWindow t([](const QString& folder) { // the favourites a new user starts with
            for (const char* name : {"utservers.ini", "ut04servers.ini", "ut3servers.ini"})
                QFile::copy(QStringLiteral(UTQ_DEFAULT_FAVOURITES_DIR "/") + name,
                            folder + "/" + name);
        });
        const QSet<QString> designedOverlaps = {"cmdServferIP+lblServerIP(0)",
                                                "cmdQueryPort+lblQueryPort",
                                                "cmdServerPort+lblServerPort(0)",
                                                "FraAdministration+cmdA1",
                                                "FraAdministration+cmdA2",
                                                "FraAdministration+txtPooPooPeePee",
                                                "cmdA1+cmdA2"};
        const QRect pageArea(0, utq::qElQuery::kTabHeaderHeight, 829,
                             609 - utq::qElQuery::kTabHeaderHeight);
        for (int i = 0; i < 9; ++i) {
            t->SSTTab0->setCurrentIndex(i);
            keepRunningFor(i == 0 ? 600 : 150); // let the start pages show
            QVERIFY(t->grab().save(screenshotPath(QStringLiteral("tab%1.png").arg(i))));
            QWidget* page = t->SSTTab0->page(i);
            QList<QWidget*> controls;
            for (QWidget* w : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                if (!w->objectName().isEmpty() && !w->isHidden())
                    controls << w;
            for (QWidget* w : controls) {
                QVERIFY2(pageArea.contains(w->geometry()), qPrintable(w->objectName()));
                const QString text = textOf(w);
                if ((qobject_cast<QPushButton*>(w) || qobject_cast<QLabel*>(w)) &&
                    !text.isEmpty()) {
                    const int needed = w->fontMetrics().horizontalAdvance(text) +
                                       (qobject_cast<QPushButton*>(w) ? 8 : 0);
                    QVERIFY2(needed <= w->width(), qPrintable(w->objectName() + " clips its text"));
                }
                for (QWidget* child :
                     w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                    if (!child->objectName().isEmpty() && !child->isHidden())
                        QVERIFY2(w->rect().contains(child->geometry()),
                                 qPrintable(child->objectName()));
            }
            for (int a = 0; a < controls.size(); ++a)
                for (int b = a + 1; b < controls.size(); ++b) {
                    QStringList pair = {controls[a]->objectName(), controls[b]->objectName()};
                    pair.sort();
                    if (controls[a]->geometry().intersects(controls[b]->geometry()))
                        QVERIFY2(designedOverlaps.contains(pair.join('+')) ||
                                     designedOverlaps.contains(pair[1] + '+' + pair[0]),
                                 qPrintable(pair.join(" overlaps ")));
                }
        }
    }
};

UTQ_TEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
