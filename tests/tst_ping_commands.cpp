// The six "Ping" buttons in the window, over real sockets: loopback at home, and the test's
// own network namespace for a server that does not answer and a name nobody knows.
#include "EventLoopWait.h"
#include "NetworkNamespace.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "app/TabControl.h"
#include "net/PingIPv4.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>

using utq::qElQuery;

namespace {

struct Command {
    const char* name;
    int tab;
    QPushButton* qElQuery::*button;
    QLineEdit* qElQuery::*addressBox; // null on favourites tabs
    QLineEdit* (*resultBox)(const qElQuery&);
    QLineEdit* (*timeBox)(const qElQuery&);
    QLabel* qElQuery::*statusLabel;
    const char* success;
    const char* failure;
};

const Command kCommands[] = {
    {"UT99 quick", 0, &qElQuery::cmdPing, &qElQuery::txtNameOrIP,
     [](const qElQuery& w) { return w.txtText4[0]; },
     [](const qElQuery& w) { return w.txtText4[1]; }, &qElQuery::lblStatus, "Ping Result: Success",
     "Ping Result: Failure"},
    {"UT99 favourites", 1, &qElQuery::cmdPing2, nullptr,
     [](const qElQuery& w) { return w.txtText4[3]; },
     [](const qElQuery& w) { return w.txtText4[2]; }, &qElQuery::lblStatus, "Ping Result: Success",
     "Ping Result: Failure"},
    {"UT2004 quick", 3, &qElQuery::cmdping04, &qElQuery::txt04Server,
     [](const qElQuery& w) { return w.txt04ping[0]; },
     [](const qElQuery& w) { return w.txt04ping[1]; }, &qElQuery::ut04, "Success", "Failure"},
    {"UT2004 favourites", 4, &qElQuery::cmdping042, nullptr,
     [](const qElQuery& w) { return w.txt04ping[2]; },
     [](const qElQuery& w) { return w.txt04ping[3]; }, &qElQuery::ut042, "Success", "Failure"},
    {"UT3 quick", 6, &qElQuery::cmdpUT3, &qElQuery::ut3iptxt,
     [](const qElQuery& w) { return w.txtpUT3[0]; }, [](const qElQuery& w) { return w.txtpUT3[1]; },
     &qElQuery::lblUt32, "Success", "Failure"},
    {"UT3 favourites", 7, &qElQuery::cmdpUT32, nullptr,
     [](const qElQuery& w) { return w.txtpUT3[2]; }, [](const qElQuery& w) { return w.txtpUT3[3]; },
     &qElQuery::lblUt3, "Success", "Failure"},
};

// Puts `address` where the command takes it from: the query tab's box, or a selected row.
QLineEdit* giveAddress(TestWindow& t, const Command& c, const QString& address) {
    if (c.addressBox) {
        (t.window.get()->*c.addressBox)->setText(address);
        return t.window.get()->*c.addressBox;
    }
    QLineEdit* box = nullptr;
    if (c.tab == 1) {
        box = t->ServerIP4;
        t->Option1[3]->setChecked(true);
    } else if (c.tab == 4) {
        box = t->ServerIP044; // row 4 carries serverOpt(3)
        t->serverOpt[3]->setChecked(true);
    } else {
        box = t->UT3ServerIP4;
        t->serverFav[3]->setChecked(true);
    }
    box->setText(address);
    return box;
}

void press(TestWindow& t, const Command& c) {
    t->SSTTab0->setCurrentIndex(c.tab);
    QTest::mouseClick(t.window.get()->*c.button, Qt::LeftButton);
}

// Presses the button while the test thread's sockets and look-ups are inside `ns`.
void pressInside(const NetworkNamespace& ns, TestWindow& t, const Command& c) {
    NetworkNamespace::Inside inside(ns);
    QVERIFY(inside.entered());
    press(t, c);
}

} // namespace

class TestPingCommands : public QObject {
    Q_OBJECT
    std::unique_ptr<NetworkNamespace> silent_;

    NetworkNamespace* silentNamespace() {
        if (!silent_) {
            silent_ = std::make_unique<NetworkNamespace>();
            if (silent_->isReady())
                silent_->sysctl("net.ipv4.icmp_echo_ignore_all=1");
        }
        return silent_->isReady() ? silent_.get() : nullptr;
    }

private slots:
    void cleanupTestCase() { silent_.reset(); }

    void commands_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 6; ++i)
            QTest::newRow(kCommands[i].name) << i;
    }

    void aNameThatAnswers_data() { commands_data(); }
    void aNameThatAnswers() {
        QFETCH(int, index);
        const Command& c = kCommands[index];
        TestWindow t;
        QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
        QVERIFY(t->Pinger);
        QLineEdit* address = giveAddress(t, c, "localhost");
        press(t, c);
        QCOMPARE(c.resultBox(*t.window)->text(), c.success);
        QCOMPARE(c.timeBox(*t.window)->text(), QString::number(t->Pinger->RoundTripTime) + "ms");
        QVERIFY(QRegularExpression("^[0-9]+ms$").match(c.timeBox(*t.window)->text()).hasMatch());
        QCOMPARE((t.window.get()->*c.statusLabel)->text(), "0");
        // Query tabs show the dotted address from now on; favourite rows are never written.
        QCOMPARE(address->text(), c.addressBox ? "127.0.0.1" : "localhost");
        // The focus goes to the UT99 host field; the tab on show stays.
        QCOMPARE(t->SSTTab0->currentIndex(), c.tab);
        t->SSTTab0->setCurrentIndex(0);
        QCOMPARE(QApplication::focusWidget(), t->txtNameOrIP);
        QCOMPARE(t->txtNameOrIP->selectedText(), t->txtNameOrIP->text());
    }

    void aServerThatDoesNotAnswer_data() { commands_data(); }
    void aServerThatDoesNotAnswer() {
        QFETCH(int, index);
        const Command& c = kCommands[index];
        NetworkNamespace* ns = silentNamespace();
        if (!ns)
            QSKIP("no network namespace for the test");
        TestWindow t;
        giveAddress(t, c, "127.0.0.1");
        pressInside(*ns, t, c);
        QCOMPARE(c.resultBox(*t.window)->text(), c.failure);
        QCOMPARE(c.timeBox(*t.window)->text(), "n/a");
        QCOMPARE((t.window.get()->*c.statusLabel)->text(), QString::number(ETIMEDOUT));
        QCOMPARE(t->Pinger->Reason, 3);
    }

    void aNameNobodyKnows_data() { commands_data(); }
    void aNameNobodyKnows() {
        QFETCH(int, index);
        const Command& c = kCommands[index];
        NetworkNamespace* ns = silentNamespace();
        if (!ns)
            QSKIP("no network namespace for the test");
        TestWindow t;
        QLineEdit* address = giveAddress(t, c, "no-such-host.invalid");
        pressInside(*ns, t, c); // no name server is reachable from there
        QCOMPARE(c.resultBox(*t.window)->text(), "Failure"); // this word on every tab
        QCOMPARE(c.timeBox(*t.window)->text(), QString());
        const QString code = (t.window.get()->*c.statusLabel)->text();
        QVERIFY(!code.isEmpty() && code != "0");
        QVERIFY(QRegularExpression("^-?[0-9]+$").match(code).hasMatch());
        QCOMPARE(address->text(), "no-such-host.invalid");
    }

    void favouritesWithNoRowSelectedPingNothing() {
        NetworkNamespace* ns = silentNamespace();
        if (!ns)
            QSKIP("no network namespace for the test");
        TestWindow t;
        t->ServerIP->setText("127.0.0.1");
        t->serverFav[0]->setChecked(true); // the one selection lies on another tab
        pressInside(*ns, t, kCommands[1]);
        QCOMPARE(t->txtText4[3]->text(), "Failure");
        QVERIFY(!t->lblStatus->text().isEmpty());
        QCOMPARE(t->ServerIP->text(), "127.0.0.1");
    }

    void theBoxesAreEmptiedAndShownBeforeTheNextResult() {
        TestWindow t;
        QVERIFY(QTest::qWaitForWindowExposed(t.window.get()));
        t->txt04Server->setText("127.0.0.1");
        press(t, kCommands[2]);
        QCOMPARE(t->txt04ping[0]->text(), "Success");
        // What the result box shows each time it is painted during the second ping.
        QStringList painted;
        struct PaintWatch : QObject {
            QStringList* painted;
            bool eventFilter(QObject* o, QEvent* e) override {
                if (e->type() == QEvent::Paint)
                    painted->append(static_cast<QLineEdit*>(o)->text());
                return false;
            }
        } watch;
        watch.painted = &painted;
        QSignalSpy changes(t->txt04ping[0], &QLineEdit::textChanged);
        t->txt04ping[0]->installEventFilter(&watch);
        press(t, kCommands[2]);
        t->txt04ping[0]->removeEventFilter(&watch);
        QCOMPARE(changes.count(), 2);
        QCOMPARE(changes.at(0).at(0).toString(), QString());
        QCOMPARE(changes.at(1).at(0).toString(), "Success");
        QVERIFY2(painted.contains(QString()), qPrintable(painted.join('|')));
    }

    void allSixShareTheOnePinger() {
        TestWindow t;
        utq::net::PingIPv4* first = t->Pinger.get();
        t->txtNameOrIP->setText("127.0.0.1");
        press(t, kCommands[0]);
        t->ut3iptxt->setText("127.0.0.1");
        press(t, kCommands[4]);
        QCOMPARE(t->Pinger.get(), first);
    }
};

UTQ_TEST_MAIN(TestPingCommands)
#include "tst_ping_commands.moc"
