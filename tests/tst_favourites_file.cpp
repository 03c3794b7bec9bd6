// The favourites files' exact text, read back through the profile reader, and the atomic
// writer that replaces them.
#include "favourites/FavouritesFile.h"
#include "platform/ProfileReader.h"
#include "platform/TextFileWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

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

    void writerLeavesReadOnlyFilesAndFoldersAlone() {
        QTemporaryDir dir;
        const QString path = dir.filePath("utservers.ini");
        put(path, "old");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
        auto result = TextFileWriter().replaceContent(path, "new");
        QVERIFY(!result.ok);
        QVERIFY(result.error.contains("read-only"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(contentOf(path), "old");

        QVERIFY(QDir(dir.path()).mkdir("locked"));
        const QString inLocked = dir.filePath("locked/ut3servers.ini");
        put(inLocked, "old");
        QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
        result = TextFileWriter().replaceContent(inLocked, "new");
        QFile::setPermissions(dir.filePath("locked"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!result.ok);
        QVERIFY(result.error.contains("read-only"));
        QCOMPARE(contentOf(inLocked), "old");
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
    }
};

QTEST_APPLESS_MAIN(TestFavouritesFile)
#include "tst_favourites_file.moc"
