// Favourites in the window: loaded at start-up, saved back by "Save Changes" with its sound
// and dialog, and the preset pickers of the query tabs.
#include "EventLoopWait.h"
#include "FileSizeLimit.h"
#include "OpenDialogs.h"
#include "TestMain.h"
#include "TestWindow.h"

#include "admin/AlertDialog.h"
#include "app/TabControl.h"
#include "favourites/FavouritesFile.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <cstring>

using namespace utq;

namespace {

constexpr GameKind kGames[] = {GameKind::UT99, GameKind::UT2004, GameKind::UT3};

// A favourites file whose every value names its game, slot and field.
QByteArray labelledFile(GameKind game, const QString& tag) {
    QByteArray text = "[SERVER]\r\n";
    for (int slot = 1; slot <= 6; ++slot)
        for (int field = 0; field < favourites::fieldCount(game); ++field)
            text += (favourites::keyOf(game, slot, field) + "=" + tag +
                     QStringLiteral(" %1.%2\r\n").arg(slot).arg(field))
                        .toLatin1();
    return text;
}

QString labelled(const QString& tag, int slot, int field) {
    return tag + QStringLiteral(" %1.%2").arg(slot).arg(field);
}

struct SaveButton {
    int tab;
    QPushButton* qElQuery::*button;
    QTimer* qElQuery::*timer;
    QProgressBar* qElQuery::*bar;
    void (qElQuery::*tick)();
};

SaveButton saveButtonOf(GameKind game) {
    switch (game) {
    case GameKind::UT99:
        return {1, &qElQuery::cmdSaveChanges, &qElQuery::Timer2, &qElQuery::pg2,
                &qElQuery::Timer2_Timer};
    case GameKind::UT2004:
        return {4, &qElQuery::cmdSaveChanges04f, &qElQuery::Timer042, &qElQuery::pg04f2,
                &qElQuery::Timer042_Timer};
    case GameKind::UT3:
        break;
    }
    return {7, &qElQuery::cmdSaveChangesut3, &qElQuery::Timerut3s, &qElQuery::pg3ut3s,
            &qElQuery::Timerut3s_Timer};
}

// Presses "Save Changes" and runs the eleven ticks of its bar.
void pressSave(TestWindow& t, GameKind game) {
    const SaveButton save = saveButtonOf(game);
    t->SSTTab0->setCurrentIndex(save.tab);
    QTest::mouseClick(t.window.get()->*save.button, Qt::LeftButton);
    QVERIFY((t.window.get()->*save.timer)->isActive());
    (t.window.get()->*save.timer)->stop(); // the test counts the ticks itself
    for (int tick = 0; tick < 11; ++tick)
        (t.window.get()->*save.tick)();
    QCOMPARE((t.window.get()->*save.bar)->value(), 0);
    QVERIFY(!(t.window.get()->*save.timer)->isActive());
}

AlertDialog* openDialogFor(GameKind game) {
    return game == GameKind::UT99 ? static_cast<AlertDialog*>(Alert::openInstance())
                                  : static_cast<AlertDialog*>(Alert2::openInstance());
}

// Picks entry `index` the way a user does: opens the list and clicks the entry.
void pick(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    QVERIFY(QTest::qWaitForWindowExposed(list->window()));
    const QRect entry = list->visualRect(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
    QCOMPARE(combo->currentIndex(), index);
}

} // namespace

class TestFavouritesWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAlertDialogs(); }

    void withoutFilesAllEighteenRowsAreEmpty() {
        TestWindow t;
        QVERIFY(t->isVisible());
        for (GameKind game : kGames)
            for (int slot = 1; slot <= 6; ++slot)
                for (int field = 0; field < favourites::fieldCount(game); ++field)
                    QCOMPARE(t->favouriteRow(game, slot).field(field)->text(), QString());
        QVERIFY(t.failures.isEmpty());
    }

    void filesLoadIntoTheirRows() {
        TestWindow t([](const QString& folder) {
            writeFile(folder + "/utservers.ini", labelledFile(GameKind::UT99, "a"));
            // A UT99 file under the UT2004 name: its query ports have no box to go to.
            writeFile(folder + "/ut04servers.ini", labelledFile(GameKind::UT99, "b"));
            writeFile(folder + "/ut3servers.ini", labelledFile(GameKind::UT3, "c"));
        });
        for (int slot = 1; slot <= 6; ++slot) {
            for (int field = 0; field < 4; ++field) {
                QCOMPARE(t->ut99Row(slot).field(field)->text(), labelled("a", slot, field));
                QCOMPARE(t->ut3Row(slot).field(field)->text(), labelled("c", slot, field));
            }
            for (int field = 0; field < 3; ++field)
                QCOMPARE(t->ut2004Row(slot).field(field)->text(), labelled("b", slot, field));
        }
        QCOMPARE(t->ServerIp045->text(), "b 5.1");
        QCOMPARE(t->ServerName04->text(), "b 1.0"); // filled although it cannot be edited
        QVERIFY(!t->ServerName04->isEnabled());
        QCOMPARE(t->UT3ServerPort3->text(), "c 3.2");
        QCOMPARE(t->IniPath, t.path("ut04servers.ini"));
    }

    void theFirstInstalledFilesLoad() {
        TestWindow t([](const QString& folder) {
            for (const char* name : {"utservers.ini", "ut04servers.ini", "ut3servers.ini"})
                QVERIFY(QFile::copy(QStringLiteral(UTQ_DEFAULT_FAVOURITES_DIR "/") + name,
                                    folder + "/" + name));
        });
        QCOMPARE(t->ServerName->text(), "{qEl} US");
        QCOMPARE(t->ServerIP->text(), "us.qel.example");
        QCOMPARE(t->QueryPort->text(), "7778");
        QCOMPARE(t->ServerIP2->text(), "uk.qel.example");
        QCOMPARE(t->ServerIP04->text(), "Server Closed");
        QCOMPARE(t->UT3ServerPort->text(), "6500");
        QCOMPARE(t->Serverwport->text(), "0");
        QCOMPARE(t->ServerName6->text(), QString());
    }

    void saveWritesTheFileThenSoundsThenShowsTheDialog_data() {
        QTest::addColumn<GameKind>("game");
        QTest::newRow("UT99") << GameKind::UT99;
        QTest::newRow("UT2004") << GameKind::UT2004;
        QTest::newRow("UT3") << GameKind::UT3;
    }

    void saveWritesTheFileThenSoundsThenShowsTheDialog() {
        QFETCH(GameKind, game);
        TestWindow t([game](const QString& folder) {
            writeFile(folder + "/" + favourites::fileName(game),
                      "[SERVER]\r\nOld=1\r\n[Other]\r\nKeep=me\r\n; a comment\r\n");
        });
        // What the user typed, with the keys the file must show it under.
        QByteArray expected = "[SERVER]\r\n";
        for (int slot = 1; slot <= 6; ++slot)
            for (int field = 0; field < favourites::fieldCount(game); ++field) {
                const QString text =
                    slot == 2 ? QString() : QStringLiteral("v%1%2 x").arg(slot).arg(field);
                t->favouriteRow(game, slot).field(field)->setText(text);
                expected += (favourites::keyOf(game, slot, field) + "=" + text + "\r\n").toLatin1();
            }
        QByteArray fileWhenTheSoundStarted;
        bool dialogOpenWhenTheSoundStarted = true;
        t.sound->onPlay = [&](const QString&) {
            fileWhenTheSoundStarted = readFile(t.path(favourites::fileName(game)));
            dialogOpenWhenTheSoundStarted = openDialogFor(game) != nullptr;
        };

        pressSave(t, game);

        QCOMPARE(readFile(t.path(favourites::fileName(game))), expected);
        QCOMPARE(t.sound->played, QStringList({t.path("wickedsick.wav")}));
        QCOMPARE(fileWhenTheSoundStarted, expected);
        QVERIFY(!dialogOpenWhenTheSoundStarted);
        AlertDialog* dialog = openDialogFor(game);
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->lblAlert->text(), "Changes Successfully Saved!");
        QVERIFY(!dialog->cmdOK->isVisible() && dialog->cmdOK2->isVisible());
        QVERIFY(t.failures.isEmpty());
        // The other games' files were not touched (there are none to touch).
        QCOMPARE(QDir(t.programFolder.path()).entryList(QDir::Files),
                 QStringList({favourites::fileName(game)}));
    }

    void savedFavouritesComeBackAtTheNextStart() {
        QByteArray saved;
        {
            TestWindow t(
                [](const QString& folder) { writeFile(folder + "/ut3servers.ini", QByteArray()); });
            t->UT3ServerName4->setText(QString::fromUtf8("Caf\u00e9 \u00bbFrag\u00ab"));
            t->UT3ServerIP4->setText("10.0.0.4");
            t->UT3ServerPort4->setText("6504");
            t->Serverwport4->setText("0");
            pressSave(t, GameKind::UT3);
            saved = readFile(t.path("ut3servers.ini"));
        }
        closeAlertDialogs();
        TestWindow again(
            [&saved](const QString& folder) { writeFile(folder + "/ut3servers.ini", saved); });
        QCOMPARE(again->UT3ServerName4->text(), QString::fromUtf8("Caf\u00e9 \u00bbFrag\u00ab"));
        QCOMPARE(again->UT3ServerIP4->text(), "10.0.0.4");
        QCOMPARE(again->UT3ServerPort4->text(), "6504");
        QCOMPARE(again->Serverwport4->text(), "0");
        QCOMPARE(again->UT3ServerName->text(), QString());
    }

    void aSaveIntoAMissingFileSaysSoAndKeepsEverything() {
        TestWindow t;
        t->ServerName3->setText("my server");
        t->ServerIP3->setText("10.0.0.3");
        pressSave(t, GameKind::UT99);
        QCOMPARE(t.failures.size(), 1);
        QVERIFY2(t.failures.first().contains(t.path("utservers.ini")),
                 qPrintable(t.failures.first()));
        QVERIFY(!QFile::exists(t.path("utservers.ini")));
        QCOMPARE(QDir(t.programFolder.path()).entryList(QDir::Files), QStringList());
        QCOMPARE(t->ServerName3->text(), "my server");
        QCOMPARE(t->ServerIP3->text(), "10.0.0.3");
        QVERIFY(t.sound->played.isEmpty());
        QCOMPARE(Alert::openInstance(), nullptr);
        QVERIFY(t->isVisible());
        // A later save works once the file is there.
        writeFile(t.path("utservers.ini"), QByteArray());
        pressSave(t, GameKind::UT99);
        QVERIFY(readFile(t.path("utservers.ini")).contains("ServerName3=my server\r\n"));
        QCOMPARE(t.failures.size(), 1);
    }

    // The disk refuses the new content (here a file-size limit of 0, as a full disk would):
    // the old file stays whole and the user reads the disk's own reason.
    void aSaveTheDiskRefusesKeepsTheOldFileAndSaysWhy() {
        const QByteArray old = "[SERVER]\r\nServerName=kept\r\n";
        TestWindow t([&old](const QString& folder) { writeFile(folder + "/utservers.ini", old); });
        t->ServerName->setText("changed");
        {
            FileSizeLimit noRoom(0);
            pressSave(t, GameKind::UT99);
        }
        QCOMPARE(readFile(t.path("utservers.ini")), old);
        QCOMPARE(t.failures.size(), 1);
        QVERIFY2(t.failures.first().contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(t.failures.first()));
        QVERIFY(t.sound->played.isEmpty());
        QCOMPARE(Alert::openInstance(), nullptr);
        QCOMPARE(QDir(t.programFolder.path()).entryList(QDir::Files), QStringList("utservers.ini"));
    }

    // A writable file in a folder the user may not write to is saved where it lies, and what
    // a killed save left beside a favourites file is gone at the next start.
    void aSaveInAFolderThatTakesNoNewFilesWritesInPlace() {
        TestWindow t([](const QString& folder) {
            writeFile(folder + "/ut3servers.ini", "[SERVER]\r\n");
            writeFile(folder + "/ut3servers.ini.saving-Ab12Cd", "[SERV"); // a killed save's
            writeFile(folder + "/ut3servers.ini.backup", "[SERVER]\r\n"); // the user's own
        });
        QCOMPARE(QDir(t.programFolder.path()).entryList(QDir::Files),
                 QStringList({"ut3servers.ini", "ut3servers.ini.backup"}));
        t->UT3ServerName2->setText("in place");
        const QString folder = t.programFolder.path();
        const auto permissions = QFile::permissions(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        pressSave(t, GameKind::UT3);
        QFile::setPermissions(folder, permissions);
        QVERIFY2(t.failures.isEmpty(), qPrintable(t.failures.join('\n')));
        QVERIFY(readFile(t.path("ut3servers.ini")).contains("UT3ServerName2=in place\r\n"));
        QCOMPARE(Alert2::openInstance()->lblAlert->text(), "Changes Successfully Saved!");
    }

    void aSaveIntoAReadOnlyFileLeavesIt() {
        TestWindow t([](const QString& folder) {
            writeFile(folder + "/ut04servers.ini", "[SERVER]\r\nServerName2=kept\r\n");
            QFile::setPermissions(folder + "/ut04servers.ini",
                                  QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        });
        QCOMPARE(t->ServerName042->text(), "kept");
        t->ServerName042->setText("changed");
        pressSave(t, GameKind::UT2004);
        QCOMPARE(t.failures.size(), 1);
        QVERIFY(t.failures.first().contains("read-only"));
        QCOMPARE(readFile(t.path("ut04servers.ini")), "[SERVER]\r\nServerName2=kept\r\n");
        QCOMPARE(t->ServerName042->text(), "changed");
        QCOMPARE(Alert2::openInstance(), nullptr);
    }

    void aSaveReusesAnAlertThatIsStillOpen() {
        TestWindow t(
            [](const QString& folder) { writeFile(folder + "/utservers.ini", QByteArray()); });
        Alert* failedLogin = Alert::Show(t.window.get(), t->txtPooPooPeePee);
        QCOMPARE(failedLogin->lblAlert->text(), "Invalid Password, Try Again!");
        const QPoint where = failedLogin->pos();
        pressSave(t, GameKind::UT99);
        QCOMPARE(Alert::openInstance(), failedLogin);
        QCOMPARE(failedLogin->pos(), where);
        QCOMPARE(failedLogin->lblAlert->text(), "Changes Successfully Saved!");
        QVERIFY(!failedLogin->cmdOK->isVisible() && failedLogin->cmdOK2->isVisible());
        // Both dialogs can be open at once, at the same place.
        writeFile(t.path("ut3servers.ini"), QByteArray());
        pressSave(t, GameKind::UT3);
        QVERIFY(Alert2::openInstance() && Alert2::openInstance()->isVisible());
        QCOMPARE(Alert2::openInstance()->pos(), failedLogin->pos());
        QVERIFY(failedLogin->isVisible());
    }

    void favouritesBoxesTakeAt254Characters() {
        TestWindow t;
        for (GameKind game : kGames)
            for (int slot = 1; slot <= 6; ++slot)
                for (int field = 0; field < favourites::fieldCount(game); ++field)
                    QCOMPARE(t->favouriteRow(game, slot).field(field)->maxLength(), 254);
    }

    void pickersFillTheirFields_data() {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("expected");
        const QStringList ut99 = {"txtNameOrIP", "txtText2", "txtText3"};
        const QStringList ut04 = {"txt04Server", "txt04port"};
        const QStringList ut3 = {"ut3iptxt", "txtQueryPort", "txtServerWeb"};
        QTest::newRow("UT99 US") << "Combo1" << 0 << 0 << ut99
                                 << QStringList({"<us>", "7778", "7777"});
        QTest::newRow("UT99 UK") << "Combo1" << 0 << 1 << ut99
                                 << QStringList({"uk.qel.example", "7778", "7777"});
        QTest::newRow("UT99 Custom") << "Combo1" << 0 << 2 << ut99 << QStringList({"", "", ""});
        QTest::newRow("UT2004 clan")
            << "Combo3" << 3 << 0 << ut04 << QStringList({"Server Closed", "7777"});
        QTest::newRow("UT2004 Custom") << "Combo3" << 3 << 1 << ut04 << QStringList({"", "7777"});
        QTest::newRow("UT3 clan") << "Combo2" << 6 << 0 << ut3
                                  << QStringList({"uk.qel.example", "6500", "0"});
        QTest::newRow("UT3 Custom") << "Combo2" << 6 << 1 << ut3 << QStringList({"", "6500", "0"});
    }

    void pickersFillTheirFields() {
        QFETCH(QString, combo);
        QFETCH(int, tab);
        QFETCH(int, index);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, expected);
        TestWindow t;
        expected.replaceInStrings("<us>", t.us.hostAndPort());
        t->SSTTab0->setCurrentIndex(tab);
        auto* picker = t.control<QComboBox>(qPrintable(combo));
        const auto field = [&](int i) {
            return t.control<QLineEdit>(qPrintable(fields[i]));
        };
        for (int i = 0; i < fields.size(); ++i)
            field(i)->setText("typed before");
        pick(picker, index);
        for (int i = 0; i < fields.size(); ++i)
            QCOMPARE(field(i)->text(), expected[i]);
        // Picking the same entry again writes its values again over what was typed meanwhile.
        for (int i = 0; i < fields.size(); ++i)
            field(i)->setText("typed after");
        pick(picker, index);
        for (int i = 0; i < fields.size(); ++i)
            QCOMPARE(field(i)->text(), expected[i]);
        // Typing into the picker's own text changes no field, and starts nothing.
        QTest::keyClicks(picker->lineEdit(), "my own words");
        QTest::keyClick(picker->lineEdit(), Qt::Key_Return);
        for (int i = 0; i < fields.size(); ++i)
            QCOMPARE(field(i)->text(), expected[i]);
        QVERIFY(!t->Timer1->isActive() && !t->Timer04->isActive() && !t->Timerut3->isActive());
    }

    void pickersStartWithTheirOwnTexts() {
        TestWindow t;
        QCOMPARE(t->Combo1->currentText(), "{qEl}");
        QCOMPARE(t->Combo3->currentText(), "Name");
        QCOMPARE(t->Combo2->currentText(), "Server IP");
        // With its start-up texts the UT99 tab is as if the US preset had been picked.
        QCOMPARE(t->txtNameOrIP->text(), t.us.hostAndPort());
        QCOMPARE(t->txtText2->text(), "7778");
        QCOMPARE(t->txtText3->text(), "7777");
    }
};

UTQ_TEST_MAIN(TestFavouritesWindow)
#include "tst_favourites_window.moc"
