// The favourites files' exact text, read back through the profile reader, and the atomic
// writer that replaces them.
#include "favourites/FavouritesFile.h"
#include "platform/ProfileReader.h"
#include "platform/TextFileWriter.h"

#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace utq;
using namespace utq::favourites;
using utq::platform::TextFileWriter;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

Favourites sample(GameKind game) {
    Favourites rows;
    for (int slot = 0; slot < kSlotCount; ++slot)
        for (int field = 0; field < fieldCount(game); ++field)
            rows[slot][field] = QStringLiteral("s%1f%2").arg(slot + 1).arg(field + 1);
    return rows;
}

} // namespace

class TestFavouritesFile : public QObject {
    Q_OBJECT
private slots:
    void emptyRowsWriteEveryKeyWithNothingAfterIt() {
        QCOMPARE(fileText(GameKind::UT2004, {}),
                 QByteArray("[SERVER]\r\n"
                            "ServerName=\r\nServerIP=\r\nServerPort=\r\n"
                            "ServerName2=\r\nServerIP2=\r\nServerPort2=\r\n"
                            "ServerName3=\r\nServerIP3=\r\nServerPort3=\r\n"
                            "ServerName4=\r\nServerIP4=\r\nServerPort4=\r\n"
                            "ServerName5=\r\nServerIP5=\r\nServerPort5=\r\n"
                            "ServerName6=\r\nServerIP6=\r\nServerPort6=\r\n"));
        for (GameKind game : {GameKind::UT99, GameKind::UT2004, GameKind::UT3}) {
            const QByteArray text = fileText(game, {});
            QCOMPARE(text.count("\r\n"), game == GameKind::UT2004 ? 19 : 25);
            QCOMPARE(text.count('\n'), text.count("\r\n")); // no bare line feeds
            QVERIFY(text.endsWith("\r\n"));
            QVERIFY(!text.contains("\r\n\r\n"));
        }
    }

    void keysInSlotAndFieldOrder() {
        const QList<QByteArray> ut99 = fileText(GameKind::UT99, sample(GameKind::UT99)).split('\n');
        QCOMPARE(ut99.value(0), "[SERVER]\r");
        QCOMPARE(ut99.value(1), "ServerName=s1f1\r");
        QCOMPARE(ut99.value(4), "QueryPort=s1f4\r");
        QCOMPARE(ut99.value(5), "ServerName2=s2f1\r");
        QCOMPARE(ut99.value(24), "QueryPort6=s6f4\r");
        const QList<QByteArray> ut3 = fileText(GameKind::UT3, sample(GameKind::UT3)).split('\n');
        QCOMPARE(ut3.value(1), "UT3ServerName=s1f1\r");
        QCOMPARE(ut3.value(3), "UT3ServerPort=s1f3\r");
        QCOMPARE(ut3.value(4), "Serverwport=s1f4\r");
        QCOMPARE(ut3.value(24), "Serverwport6=s6f4\r");
        const QList<QByteArray> ut04 =
            fileText(GameKind::UT2004, sample(GameKind::UT2004)).split('\n');
        QCOMPARE(ut04.value(10), "ServerName4=s4f1\r"); // the same keys as the UT99 file
        QCOMPARE(ut04.value(18), "ServerPort6=s6f3\r");
        QCOMPARE(keyOf(GameKind::UT2004, 5, 1), "ServerIP5");
        QCOMPARE(fileName(GameKind::UT99), "utservers.ini");
        QCOMPARE(fileName(GameKind::UT2004), "ut04servers.ini");
        QCOMPARE(fileName(GameKind::UT3), "ut3servers.ini");
    }

    void textIsWindows1252WithoutBom() {
        Favourites rows;
        rows[0][0] = QString::fromUtf8("Caf\u00e9 \u20ac \u65e5\u672c");
        const QByteArray text = fileText(GameKind::UT99, rows);
        QVERIFY(text.startsWith("[SERVER]"));
        QVERIFY(text.contains("ServerName=Caf\xe9 \x80 ??\r\n"));
    }

    void whatASaveWritesLoadsBack() {
        QTemporaryDir dir;
        for (GameKind game : {GameKind::UT99, GameKind::UT2004, GameKind::UT3}) {
            Favourites rows = sample(game);
            rows[2][0] = QStringLiteral("{qEl} Clan = Best; really");
            rows[3][1] = QStringLiteral("[::1]");
            rows[4][0] = QString(254, u'z');
            rows[5][1] = QString();
            const QString path = dir.filePath(fileName(game));
            put(path, "old");
            QVERIFY(TextFileWriter().replaceContent(path, fileText(game, rows)).ok);
            QCOMPARE(contentOf(path), fileText(game, rows));
            for (int slot = 1; slot <= kSlotCount; ++slot)
                for (int field = 0; field < fieldCount(game); ++field)
                    QCOMPARE(platform::readProfileString(kSection, keyOf(game, slot, field), path),
                             rows[slot - 1][field]);
        }
    }

    void aUt99FileUnderTheUt2004NameLoadsItsFirstThreeFields() {
        QTemporaryDir dir;
        const QString path = dir.filePath("ut04servers.ini");
        put(path, fileText(GameKind::UT99, sample(GameKind::UT99)));
        for (int slot = 1; slot <= kSlotCount; ++slot)
            for (int field = 0; field < 3; ++field)
                QCOMPARE(platform::readProfileString(kSection, keyOf(GameKind::UT2004, slot, field),
                                                     path),
                         QStringLiteral("s%1f%2").arg(slot).arg(field + 1));
    }

    void writerNeverCreatesAMissingFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("utservers.ini");
        const auto result = TextFileWriter().replaceContent(path, "x");
        QVERIFY(!result.ok);
        QVERIFY(result.error.contains(path));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    void writerLeavesReadOnlyFilesAlone() {
        QTemporaryDir dir;
        const QString path = dir.filePath("utservers.ini");
        put(path, "old");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
        auto result = TextFileWriter().replaceContent(path, "new");
        QVERIFY(!result.ok);
        QVERIFY(result.error.contains("read-only"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(contentOf(path), "old");
    }

    // Where no file can be made beside it, a writable file is rewritten where it lies; a
    // write the disk refuses half-way puts the old content back.
    void inAFolderThatTakesNoNewFilesTheFileIsRewrittenInPlace() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("locked"));
        const QString folder = dir.filePath("locked");
        const QString path = folder + "/ut3servers.ini";
        put(path, QByteArray(40, 'o'));
        const auto permissions = QFile::permissions(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        const auto shorter = TextFileWriter().replaceContent(path, "new");
        TextFileWriter::Result refused;
        {
            FileSizeLimit room(100);
            refused = TextFileWriter().replaceContent(path, QByteArray(300, 'n'));
        }
        QFile::setPermissions(folder, permissions);
        QVERIFY2(shorter.ok, qPrintable(shorter.error));
        QVERIFY(!refused.ok);
        QVERIFY2(refused.error.contains(std::strerror(EFBIG)), qPrintable(refused.error));
        QCOMPARE(contentOf(path), "new"); // the first 100 bytes went in, and came out again
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList("ut3servers.ini"));
    }

    // A disk with no room left: the old file stays whole and the reason is the disk's own.
    void aFullDiskKeepsTheOldFileAndSaysSo() {
        if (::geteuid() != 0)
            QSKIP("mounting a small disk needs root");
        // A mount namespace of this process's own, so the small disk is seen by no one else
        // and goes with the process, whatever happens to the test.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            QSKIP("no mount namespace of our own here");
        QTemporaryDir dir;
        QVERIFY(::mount("tmpfs", QFile::encodeName(dir.path()), "tmpfs", 0, "size=64k") == 0);
        const QString path = dir.filePath("utservers.ini");
        const QByteArray old = fileText(GameKind::UT99, sample(GameKind::UT99));
        put(path, old);
        QFile filler(dir.filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (int block = 0; block < 64 && filler.write(QByteArray(4096, 'f')) == 4096; ++block) {
        }
        const auto result = TextFileWriter().replaceContent(path, fileText(GameKind::UT99, {}));
        QCOMPARE(contentOf(path), old);
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains("No space left on device"), qPrintable(result.error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"filler", "utservers.ini"}));
        filler.close();
        QVERIFY(::umount2(QFile::encodeName(dir.path()), MNT_DETACH) == 0);
    }

    // A file shared through its group, a setgid bit, another hard link or a symbolic link
    // stays shared that way after a save.
    void aSaveKeepsOwnerGroupModeAndLinks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("utservers.ini");
        put(path, "old");
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(QFile::encodeName(path), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(path), root ? 02664 : 0664), 0);
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(path), &before), 0);
        QVERIFY(TextFileWriter().replaceContent(path, "new").ok);
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(path), &after), 0);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(contentOf(path), "new");

        const QString other = dir.filePath("linked.ini");
        QCOMPARE(::link(QFile::encodeName(path), QFile::encodeName(other)), 0);
        QVERIFY(TextFileWriter().replaceContent(path, "both").ok);
        QCOMPARE(contentOf(other), "both");

        const QString viaLink = dir.filePath("ut04servers.ini");
        QVERIFY(QFile::link(other, viaLink));
        QVERIFY(TextFileWriter().replaceContent(viaLink, "through").ok);
        QVERIFY(QFileInfo(viaLink).isSymLink());
        QCOMPARE(contentOf(path), "through");
    }

    void aWriteThatFailsBeforeItsCommitLeavesTheOldFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("ut04servers.ini");
        put(path, "old content");
        TextFileWriter writer;
        writer.beforeCommit = [] {
            throw std::runtime_error("interrupted");
        };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writer.replaceContent(path, "new content"));
        QCOMPARE(contentOf(path), "old content");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"ut04servers.ini"}));
    }

    void aProcessKilledMidWriteLeavesTheOldFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("utservers.ini");
        put(path, "old content");
        const pid_t child = fork();
        if (child == 0) {
            TextFileWriter writer;
            writer.beforeCommit = [] {
                ::kill(::getpid(), SIGKILL);
            };
            writer.replaceContent(path, QByteArray(100000, 'n'));
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(contentOf(path), "old content"); // died after writing, before the swap
        // What it left beside the file is cleared away, unlike a sibling a live save holds.
        const QStringList left = QDir(dir.path()).entryList({"utservers.ini.*"}, QDir::Files);
        QCOMPARE(left.size(), 1);
        QFile held(dir.filePath("utservers.ini.saving-Held01"));
        QVERIFY(held.open(QIODevice::WriteOnly));
        QCOMPARE(::flock(held.handle(), LOCK_EX), 0);
        QCOMPARE(platform::removeInterruptedSaves(path), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList({"utservers.ini", "utservers.ini.saving-Held01"}));
    }
};

QTEST_APPLESS_MAIN(TestFavouritesFile)
#include "tst_favourites_file.moc"
