// The two small message windows: their first look, their one shared instance each, their
// place over the main window, and what their OK buttons do.
#include "EventLoopWait.h"
#include "OpenDialogs.h"
#include "Screenshots.h"

#include "admin/AlertDialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace utq;

namespace {

// Stands in for the main window: its size and a password box for the focus to return to.
struct MainWindow {
    QWidget window;
    QLineEdit* password = new QLineEdit(&window);
    MainWindow() {
        window.setFixedSize(829, 609);
        window.move(100, 50);
        password->setGeometry(664, 564, 73, 21);
        window.show();
    }
};

} // namespace

class TestAlertDialogs : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAlertDialogs(); }

    void firstLookOfBoth() {
        MainWindow main;
        Alert* alert = Alert::Show(&main.window, main.password);
        QCOMPARE(alert->objectName(), "Alert");
        QCOMPARE(alert->parentWidget(), nullptr); // no owner
        QVERIFY(alert->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!alert->isModal());
        QCOMPARE(alert->size(), QSize(274, 126));
        QCOMPARE(alert->lblAlert->text(), "Invalid Password, Try Again!");
        QCOMPARE(alert->lblAlert->pos(), QPoint(29, 40));
        QCOMPARE(alert->lblAlert->palette().color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(alert->font().pointSizeF(), 8.25);
        QVERIFY(!alert->font().bold());
        QCOMPARE(alert->cmdOK->geometry(), QRect(192, 96, 74, 24));
        QCOMPARE(alert->cmdOK2->geometry(), alert->cmdOK->geometry());
        QVERIFY(alert->cmdOK->isVisible() && !alert->cmdOK2->isVisible());
        QCOMPARE(alert->cmdOK->nextInFocusChain(), alert->cmdOK2);

        Alert2* alert2 = Alert2::Show(&main.window, main.password);
        QCOMPARE(alert2->size(), QSize(275, 126));
        QCOMPARE(alert2->lblAlert->pos(), QPoint(24, 40));
        QCOMPARE(alert2->lblAlert->text(), "Invalid Password, Try Again!");
        QCOMPARE(alert2->cmdOK->geometry(), QRect(192, 96, 74, 21));
        QVERIFY(!alert2->cmdOK->isVisible() && alert2->cmdOK2->isVisible());
        // Both open at once, at the same place over the main window.
        QVERIFY(alert->isVisible() && alert2->isVisible());
        QCOMPARE(alert->pos(),
                 QPoint(100 + 276, 50 + 244)); // 829 / 3 and 609 / 2.5 from its corner
        QCOMPARE(alert2->pos(), alert->pos());
        QVERIFY(alert->grab().save(screenshotPath("alert.png")));
        QVERIFY(alert2->grab().save(screenshotPath("alert2.png")));
    }

    void showingAnOpenDialogChangesNothing() {
        MainWindow main;
        Alert* first = Alert::Show(&main.window, main.password);
        first->lblAlert->setText("Changes Successfully Saved!");
        first->cmdOK->hide();
        first->cmdOK2->show();
        first->move(10, 10);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(Alert::Show(&main.window, main.password), first);
        QCOMPARE(first->lblAlert->text(), "Changes Successfully Saved!");
        QVERIFY(first->cmdOK2->isVisible() && !first->cmdOK->isVisible());
        QCOMPARE(first->pos(), QPoint(10, 10));
        int alerts = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            alerts += w->objectName() == "Alert" && w->isVisible();
        QCOMPARE(alerts, 1);
    }

    void closingDestroysSoTheNextShowStartsAfresh() {
        MainWindow main;
        Alert* alert = Alert::Show(&main.window, main.password);
        QPointer<Alert> watch(alert);
        alert->lblAlert->setText("Changes Successfully Saved!");
        alert->cmdOK->hide();
        alert->cmdOK2->show();
        QTest::mouseClick(alert->cmdOK2, Qt::LeftButton);
        UTQ_TRY_VERIFY(!watch, 2000);
        QCOMPARE(Alert::openInstance(), nullptr);
        Alert* again = Alert::Show(&main.window, main.password);
        QCOMPARE(again->lblAlert->text(), "Invalid Password, Try Again!");
        QVERIFY(again->cmdOK->isVisible() && !again->cmdOK2->isVisible());
    }

    void okReturnsTheFocusToThePasswordBox() {
        MainWindow main;
        main.password->setText("typed");
        Alert* alert = Alert::Show(&main.window, main.password);
        QVERIFY(QTest::qWaitForWindowExposed(alert));
        QTest::mouseClick(alert->cmdOK, Qt::LeftButton);
        UTQ_TRY_VERIFY(!Alert::openInstance(), 2000);
        UTQ_TRY_VERIFY(QApplication::focusWidget() == main.password, 2000);
        QCOMPARE(main.password->text(), "typed");
    }

    void okWithTheBoxHiddenOnlyCloses() {
        MainWindow main;
        main.password->hide();
        Alert* alert = Alert::Show(&main.window, main.password);
        alert->cmdOK_Click();
        UTQ_TRY_VERIFY(!Alert::openInstance(), 2000);
        QVERIFY(main.window.isVisible());
    }

    void enterAndEscapePressTheVisibleOk() {
        MainWindow main;
        Alert2* alert2 = Alert2::Show(&main.window, main.password);
        QVERIFY(QTest::qWaitForWindowActive(alert2));
        QTest::keyClick(alert2, Qt::Key_Escape);
        UTQ_TRY_VERIFY(!Alert2::openInstance(), 2000);
        Alert* alert = Alert::Show(&main.window, main.password);
        QVERIFY(QTest::qWaitForWindowActive(alert));
        QTest::keyClick(alert, Qt::Key_Return);
        UTQ_TRY_VERIFY(!Alert::openInstance(), 2000);
    }
};

QTEST_MAIN(TestAlertDialogs)
#include "tst_alert_dialogs.moc"
