#include "history/History.h"
#include "history/HistoryStore.h"
#include "history/PostgresTarget.h"
#include "history/Schema.h"

#include "EventLoopWait.h"
#include "PostgresCluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <limits>

using namespace utq::history;

namespace {

constexpr qint64 kHourMs = 3600 * 1000;
constexpr qint64 kDayMs = 24 * kHourMs;
constexpr qint64 kBase = 472224 * kHourMs; // an hour's start, November 2023
constexpr qint64 kEnd = std::numeric_limits<qint64>::max();
const ServerKey kAlpha{QStringLiteral("ut99"), QStringLiteral("alpha.example"), 7778};
const ServerKey kBeta{QStringLiteral("ut2004"), QStringLiteral("beta.example"), 7778};
const char* const kHoldLockVariable = "UTQ_TEST_HOLD_HISTORY_LOCK";

Sample sample(const ServerKey& server, qint64 timeMs, const QString& state,
              std::optional<int> players, const QString& map = {}, int spanSeconds = 60) {
    Sample made;
    made.server = server;
    made.timeMs = timeMs;
    made.state = state;
    made.players = players;
    made.maxPlayers = players ? std::optional<int>(16) : std::nullopt;
    made.map = map;
    made.roundTripMs = 40;
    made.spanSeconds = spanSeconds;
    return made;
}

QList<Sample> manySamples(int count, qint64 fromMs) {
    QList<Sample> samples;
    for (int i = 0; i < count; ++i)
        samples << sample(kAlpha, fromMs + i * 1000, QStringLiteral("up"), i % 17,
                          QStringLiteral("DM-Map-%1-").arg(i % 50).repeated(6));
    return samples;
}

// The test program's PostgreSQL server, started by main().
PostgresCluster* postgres = nullptr;

bool runRaw(const StoreTarget& target, const QStringList& statements);

// The database a contract row runs against. The "sqlite" row's is a file in `dir`; the
// "postgresql" row's the server's database, emptied.
StoreTarget targetFor(const QString& backend, const QTemporaryDir& dir) {
    if (backend == QLatin1String("sqlite"))
        return {dir.filePath(QStringLiteral("history.sqlite"))};
    const StoreTarget target{postgres->url()};
    runRaw(target, {"SET client_min_messages = warning", "DROP SCHEMA public CASCADE",
                    "CREATE SCHEMA public"});
    return target;
}

// A connection of the test's own, to build what the store finds there.
QSqlDatabase rawConnection(const StoreTarget& target, const QString& name) {
    if (!target.isPostgres()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target.text);
        db.open();
        return db;
    }
    const PostgresTarget server = parsePostgresTarget(target.text);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(server.host);
    db.setPort(server.port);
    db.setUserName(server.user);
    db.setPassword(server.password);
    db.setDatabaseName(server.database);
    db.open();
    return db;
}

// Runs `statements` on a connection of the test's own, closed again after.
bool runRaw(const StoreTarget& target, const QStringList& statements) {
    bool ok = true;
    {
        QSqlDatabase db = rawConnection(target, QStringLiteral("raw"));
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            if (!query.exec(statement)) {
                qWarning() << statement << query.lastError().text();
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return ok;
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QList<qint64> timesOf(const QList<Sample>& samples) {
    QList<qint64> times;
    for (const Sample& each : samples)
        times << each.timeMs;
    return times;
}

bool flushNow(History& history) {
    std::optional<bool> written;
    QObject context;
    history.flush(&context, [&](bool ok) { written = ok; });
    waitUntil([&] { return written.has_value(); }, 30000);
    return written.value_or(false);
}

Series readNow(History& history, const ServerKey& server) {
    std::optional<Series> got;
    QObject context;
    history.read(server, 0, kEnd, true, &context, [&](const Series& series) { got = series; });
    waitUntil([&] { return got.has_value(); }, 30000);
    return got.value_or(Series{});
}

// A mount namespace of the process's own holding a small tmpfs at `folder`, gone with the
// process whatever happens to the test.
bool mountSmallDisk(const QString& folder, const char* size) {
    if (::geteuid() != 0)
        return false;
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const QByteArray options = QByteArray("size=") + size;
    return ::mount("tmpfs", QFile::encodeName(folder), "tmpfs", 0, options.constData()) == 0;
}

// The child's part in the lock test: another program that holds the database's write lock
// until it is killed.
int holdWriteLock(const QString& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    db.setDatabaseName(path);
    QSqlQuery query(db);
    if (!db.open() || !query.exec(QStringLiteral("BEGIN EXCLUSIVE")))
        return 1;
    ::write(STDOUT_FILENO, "held\n", 5);
    for (int second = 0; second < 120; ++second)
        QThread::sleep(1);
    return 0;
}

} // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT

private slots:
    void theStoreKeepsWhatItIsGiven_data() { backends(); }
    // Samples, hours and maps read back as written, in time order even when the clock went
    // back; buckets of several servers at once; old rows pruned.
    void theStoreKeepsWhatItIsGiven() {
        QFETCH(QString, backend);
        QTemporaryDir dir;
        HistoryStore store(targetFor(backend, dir), QStringLiteral("contract"));
        QCOMPARE(store.open(), HistoryStore::Mode::Writing);
        const QString deck = QStringLiteral("DM-Deck16][");
        const QString face = QStringLiteral("CTF-Face");
        QVERIFY(store.write({sample(kAlpha, kBase, "up", 5, deck),
                             sample(kAlpha, kBase + 60000, "up", 7, deck),
                             sample(kBeta, kBase + 30000, "up", 2, face)}));
        QVERIFY(store.write({sample(kAlpha, kBase + 120000, "no-answer", std::nullopt),
                             sample(kAlpha, kBase + kHourMs, "partial", 3, face, 120)}));
        // The clock went back: the earlier sample is recorded all the same.
        QVERIFY(store.write({sample(kAlpha, kBase + 90000, "up", 9, face, 30)}));
        QCOMPARE(store.problem(), QString());

        const Series alpha = store.read(kAlpha, kBase, kBase + 2 * kHourMs, true);
        QCOMPARE(timesOf(alpha.samples), QList<qint64>({kBase, kBase + 60000, kBase + 90000,
                                                        kBase + 120000, kBase + kHourMs}));
        QCOMPARE(alpha.samples[3].players, std::nullopt);
        QCOMPARE(alpha.samples[3].maxPlayers, std::nullopt);
        QCOMPARE(alpha.samples[1].maxPlayers, 16);
        QCOMPARE(alpha.samples[1].map, deck);
        QCOMPARE(alpha.hours.size(), 2);
        QCOMPARE(alpha.hours[0].hourMs, kBase);
        QCOMPARE(alpha.hours[0].samples, 4);
        QCOMPARE(alpha.hours[0].upSamples, 3);
        QCOMPARE(alpha.hours[0].playersMean, 7.0);
        QCOMPARE(alpha.hours[0].playersPeak, 9);
        QCOMPARE(alpha.hours[1].playersPeak, 3);
        QCOMPARE(alpha.maps.size(), 2);
        QCOMPARE(alpha.maps[0].map, face);
        QCOMPARE(alpha.maps[0].seconds, 150);
        QCOMPARE(alpha.maps[1].seconds, 120);
        QVERIFY(store.read(kAlpha, kBase, kEnd, false).samples.isEmpty());
        QCOMPARE(store.read(kAlpha, kBase + kHourMs, kEnd, true).maps.size(), 1);

        // 40 minutes: the buckets start at its multiples, so the division is an integer one.
        const qint64 bucketMs = 40 * 60000;
        const auto buckets =
            store.buckets({kAlpha, kBeta, ServerKey{"ut3", "x", 1}}, kBase, bucketMs);
        QCOMPARE(buckets.size(), 3);
        const QList<Bucket> alphaBuckets = buckets.value(kAlpha);
        QCOMPARE(alphaBuckets.size(), 2);
        QCOMPARE(alphaBuckets[0].startMs, kBase / bucketMs * bucketMs);
        QCOMPARE(alphaBuckets[0].playersPeak, 9);
        QVERIFY(alphaBuckets[0].up);
        QCOMPARE(alphaBuckets[1].startMs, (kBase + kHourMs) / bucketMs * bucketMs);
        QCOMPARE(buckets.value(kBeta).size(), 1);
        QVERIFY(buckets.value(ServerKey{"ut3", "x", 1}).isEmpty());

        QVERIFY(store.prune(kBase + 15 * kDayMs, Retention{14, 400}));
        const Series pruned = store.read(kAlpha, 0, kEnd, true);
        QVERIFY(pruned.samples.isEmpty());
        QCOMPARE(pruned.hours.size(), 2);
        QVERIFY(store.prune(kBase + 401 * kDayMs, Retention{14, 400}));
        const Series gone = store.read(kAlpha, 0, kEnd, true);
        QVERIFY(gone.hours.isEmpty() && gone.maps.isEmpty());
    }

    void aFirstVersionDatabaseIsMigrated_data() { backends(); }
    // A database of the first schema gets the hours' maps, in one transaction, and keeps its
    // rows; the maps are estimated from the samples it still has.
    void aFirstVersionDatabaseIsMigrated() {
        QFETCH(QString, backend);
        QTemporaryDir dir;
        const StoreTarget target = targetFor(backend, dir);
        const Dialect dialect = target.isPostgres() ? Dialect::Postgres : Dialect::Sqlite;
        QStringList v1 = schemaStep(dialect, 1);
        v1 << "INSERT INTO servers (game, host, port) VALUES ('ut99', 'alpha.example', 7778)"
           << QStringLiteral("INSERT INTO samples VALUES (1, %1, 'up', 4, 16, 'DM-Morpheus', 30), "
                             "(1, %2, 'up', 6, 16, 'DM-Morpheus', 30)")
                  .arg(kBase)
                  .arg(kBase + 60000)
           << QStringLiteral("INSERT INTO hours VALUES (1, %1, 2, 2, 10, 6)").arg(kBase);
        QVERIFY(runRaw(target, v1));

        HistoryStore store(target, QStringLiteral("migrated"));
        QCOMPARE(store.open(), HistoryStore::Mode::Writing);
        const Series series = store.read(kAlpha, 0, kEnd, true);
        QCOMPARE(timesOf(series.samples), QList<qint64>({kBase, kBase + 60000}));
        QCOMPARE(series.hours.size(), 1);
        QCOMPARE(series.hours[0].playersPeak, 6);
        QCOMPARE(series.maps.size(), 1);
        QCOMPARE(series.maps[0].seconds, 120);
        QVERIFY(store.write({sample(kAlpha, kBase + 120000, "up", 8, "DM-Morpheus")}));
        QCOMPARE(store.read(kAlpha, 0, kEnd, false).hours[0].playersPeak, 8);
        store.close();
        int version = 0;
        {
            QSqlQuery query(rawConnection(target, QStringLiteral("version")));
            if (query.exec("SELECT version FROM schema_version") && query.next())
                version = query.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("version"));
        QCOMPARE(version, kSchemaVersion);
    }

    void unusableFilesAreLeftAsTheyAre_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("random bytes") << "random"
                                      << "is not a history database";
        QTest::newRow("truncated") << "truncated"
                                   << "is damaged";
        QTest::newRow("folder") << "folder"
                                << "is a folder";
        QTest::newRow("newer schema") << "newer"
                                      << "was made by a newer version";
        QTest::newRow("other tables") << "foreign"
                                      << "is not a history database";
    }
    // Nothing the store cannot use is changed: it stays closed, for good, and says why.
    void unusableFilesAreLeftAsTheyAre() {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        if (kind == QLatin1String("random")) {
            QByteArray bytes(8192, '\0');
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                                  bytes.size() / 4);
            QVERIFY(put(path, bytes));
        } else if (kind == QLatin1String("truncated")) {
            {
                HistoryStore store({path}, QStringLiteral("full-size"));
                QCOMPARE(store.open(), HistoryStore::Mode::Writing);
                QVERIFY(store.write(manySamples(2000, kBase)));
            }
            const QByteArray whole = contentOf(path);
            QVERIFY(put(path, whole.left(whole.size() / 2)));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        } else if (kind == QLatin1String("newer")) {
            QVERIFY(runRaw({path}, schemaStep(Dialect::Sqlite, 1)
                                       << "UPDATE schema_version SET version = 3"));
        } else {
            QVERIFY(runRaw({path}, {"CREATE TABLE players (name TEXT)"}));
        }
        const QByteArray before = contentOf(path);

        HistoryStore store({path}, QStringLiteral("unusable"));
        QCOMPARE(store.open(), HistoryStore::Mode::Closed);
        QVERIFY2(store.problem().startsWith(path + u' ' + says), qPrintable(store.problem()));
        QVERIFY(!store.mayOpenLater());
        QVERIFY(!store.write({sample(kAlpha, kBase, "up", 1)}));
        store.close();
        QCOMPARE(contentOf(path), before);
        QVERIFY(QFileInfo(path).isDir() == (kind == QLatin1String("folder")));
    }

    // One writer per file: a second store reads what the first writes, and writes once the
    // first has let go.
    void aSecondStoreOnOneFileReads() {
        QTemporaryDir dir;
        const StoreTarget target{dir.filePath(QStringLiteral("history.sqlite"))};
        HistoryStore first(target, QStringLiteral("first"));
        HistoryStore second(target, QStringLiteral("second"));
        QCOMPARE(first.open(), HistoryStore::Mode::Writing);
        QVERIFY(first.write({sample(kAlpha, kBase, "up", 3)}));
        QCOMPARE(second.open(), HistoryStore::Mode::Reading);
        QVERIFY2(second.problem().contains("another program writes"), qPrintable(second.problem()));
        QVERIFY(first.write({sample(kAlpha, kBase + 1000, "up", 4)}));
        QCOMPARE(second.read(kAlpha, 0, kEnd, true).samples.size(), 2);
        QVERIFY(!second.write({sample(kAlpha, kBase + 2000, "up", 5)}));
        first.close();
        QVERIFY(second.write({sample(kAlpha, kBase + 2000, "up", 5)}));
        QCOMPARE(second.mode(), HistoryStore::Mode::Writing);
        QCOMPARE(second.read(kAlpha, 0, kEnd, true).samples.size(), 3);
    }

    // Samples recorded from another thread are written by the timer, and what still waits
    // is written when the history goes; a read's answer goes nowhere once its context is gone.
    void theHistoryWritesOnItsOwnThread() {
        QTemporaryDir dir;
        HistorySettings settings;
        settings.target = {dir.filePath(QStringLiteral("history.sqlite"))};
        settings.flushMs = 20;
        {
            History history(settings);
            UTQ_TRY_COMPARE(history.mode(), HistoryStore::Mode::Writing, 10000);
            QThread* recorder = QThread::create([&] {
                for (int i = 0; i < 100; ++i)
                    history.record(sample(kAlpha, kBase + i, "up", i));
            });
            recorder->start();
            recorder->wait();
            delete recorder;
            QVERIFY(
                waitUntil([&] { return readNow(history, kAlpha).samples.size() == 100; }, 10000));
            auto* context = new QObject;
            bool called = false;
            history.read(kAlpha, 0, kEnd, true, context, [&](const Series&) { called = true; });
            delete context;
            keepRunningFor(100);
            QVERIFY(!called);
        }
        settings.flushMs = 3600000;
        {
            History history(settings);
            history.record(sample(kBeta, kBase, "up", 1));
        }
        HistoryStore store(settings.target, QStringLiteral("after"));
        QCOMPARE(store.open(false), HistoryStore::Mode::Reading);
        QCOMPARE(store.read(kBeta, 0, kEnd, true).samples.size(), 1);
    }

    // An empty file is made a history; a missing one is made where its folder exists.
    void emptyAndMissingFilesAreMade() {
        QTemporaryDir dir;
        const QString empty = dir.filePath(QStringLiteral("empty.sqlite"));
        QVERIFY(put(empty, {}));
        HistoryStore first({empty}, QStringLiteral("empty"));
        QCOMPARE(first.open(), HistoryStore::Mode::Writing);
        HistoryStore second({dir.filePath(QStringLiteral("new.sqlite"))}, QStringLiteral("new"));
        QCOMPARE(second.open(), HistoryStore::Mode::Writing);
        HistoryStore third({dir.filePath(QStringLiteral("none/new.sqlite"))},
                           QStringLiteral("none"));
        QCOMPARE(third.open(), HistoryStore::Mode::Closed);
        QVERIFY2(third.problem().contains("folder does not exist"), qPrintable(third.problem()));
    }

    // Old samples go by the history's clock, on its timer; the hours stay longer.
    void theHistoryPrunesByItsClock() {
        QTemporaryDir dir;
        HistorySettings settings;
        settings.target = {dir.filePath(QStringLiteral("history.sqlite"))};
        settings.flushMs = 20;
        settings.pruneMs = 50;
        settings.nowMs = [] {
            return kBase + 20 * kDayMs;
        };
        History history(settings);
        history.record(sample(kAlpha, kBase, "up", 4));
        QVERIFY(waitUntil(
            [&] {
                const Series series = readNow(history, kAlpha);
                return series.samples.isEmpty() && series.hours.size() == 1;
            },
            10000));
    }

    // While the store cannot write, samples wait up to the bound; the oldest go first.
    void waitingSamplesAreBounded() {
        QTemporaryDir dir;
        HistorySettings settings;
        settings.target = {dir.path()};
        settings.maxWaiting = 3;
        History history(settings);
        for (int i = 0; i < 5; ++i)
            history.record(sample(kAlpha, kBase + i, "up", i));
        QVERIFY(!flushNow(history));
        QCOMPARE(history.mode(), HistoryStore::Mode::Closed);
        QVERIFY2(history.problem().contains("is a folder") &&
                     history.problem().contains("2 samples were lost"),
                 qPrintable(history.problem()));
    }

    // Another program holds SQLite's write lock: writes say so, the samples wait, and land
    // once it lets go.
    void samplesWaitWhileAnotherProgramLocksTheFile() {
        QTemporaryDir dir;
        HistorySettings settings;
        settings.target = {dir.filePath(QStringLiteral("history.sqlite"))};
        settings.flushMs = 200;
        {
            HistoryStore store(settings.target, QStringLiteral("before"));
            QCOMPARE(store.open(), HistoryStore::Mode::Writing);
            QVERIFY(store.write({sample(kAlpha, kBase, "up", 1)}));
        }
        QProcess other;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kHoldLockVariable, settings.target.text);
        other.setProcessEnvironment(environment);
        other.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(other.waitForReadyRead(10000));
        QCOMPARE(other.readAll(), "held\n");

        History history(settings);
        UTQ_TRY_COMPARE(history.mode(), HistoryStore::Mode::Writing, 10000);
        history.record(sample(kAlpha, kBase + 1000, "up", 2));
        QVERIFY(!flushNow(history));
        QVERIFY2(history.problem().contains("locked by another program"),
                 qPrintable(history.problem()));
        QCOMPARE(readNow(history, kAlpha).samples.size(), 1);

        other.kill();
        QVERIFY(other.waitForFinished(10000));
        QVERIFY(waitUntil([&] { return readNow(history, kAlpha).samples.size() == 2; }, 15000));
        QCOMPARE(history.problem(), QString());
    }

    // A full disk: the write fails and says so, the rows before stay, and the samples that
    // waited land once there is room.
    void aFullDiskKeepsTheSamplesWaiting() {
        QTemporaryDir dir;
        if (!mountSmallDisk(dir.path(), "512k"))
            QSKIP("a small disk of our own needs root and a mount namespace");
        HistorySettings settings;
        settings.target = {dir.filePath(QStringLiteral("history.sqlite"))};
        settings.flushMs = 3600000;
        {
            History history(settings);
            UTQ_TRY_COMPARE(history.mode(), HistoryStore::Mode::Writing, 10000);
            history.record(sample(kAlpha, kBase, "up", 1));
            QVERIFY(flushNow(history));
            QFile filler(dir.filePath(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            for (int block = 0; block < 256 && filler.write(QByteArray(4096, 'f')) == 4096;
                 ++block) {
            }
            filler.close();
            for (const Sample& each : manySamples(2000, kBase + 1000))
                history.record(each);
            QVERIFY(!flushNow(history));
            QVERIFY2(history.problem().contains("the disk is full"), qPrintable(history.problem()));
            QCOMPARE(readNow(history, kAlpha).samples.size(), 1);
            QVERIFY(filler.remove());
            QVERIFY(flushNow(history));
            QCOMPARE(readNow(history, kAlpha).samples.size(), 2001);
        }
        QVERIFY(::umount2(QFile::encodeName(dir.path()), MNT_DETACH) == 0);
    }

    // A file on a disk mounted read-only: what it holds is shown, and the problem says why
    // nothing new is.
    void aReadOnlyFileIsRead() {
        QTemporaryDir dir;
        if (!mountSmallDisk(dir.path(), "1m"))
            QSKIP("a small disk of our own needs root and a mount namespace");
        const StoreTarget target{dir.filePath(QStringLiteral("history.sqlite"))};
        {
            HistoryStore store(target, QStringLiteral("before"));
            QCOMPARE(store.open(), HistoryStore::Mode::Writing);
            QVERIFY(
                store.write({sample(kAlpha, kBase, "up", 1), sample(kAlpha, kBase + 1, "up", 2)}));
        }
        const QByteArray before = contentOf(target.text);
        QVERIFY(::mount(nullptr, QFile::encodeName(dir.path()), nullptr, MS_REMOUNT | MS_RDONLY,
                        nullptr) == 0);
        {
            HistoryStore store(target, QStringLiteral("read-only"));
            QCOMPARE(store.open(), HistoryStore::Mode::Reading);
            QVERIFY2(store.problem().contains("read-only"), qPrintable(store.problem()));
            QCOMPARE(store.read(kAlpha, 0, kEnd, true).samples.size(), 2);
            QVERIFY(!store.write({sample(kAlpha, kBase + 2, "up", 3)}));
        }
        QCOMPARE(contentOf(target.text), before);
        QVERIFY(::umount2(QFile::encodeName(dir.path()), MNT_DETACH) == 0);
    }

private:
    void backends() {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QVERIFY2(postgres->start(), qPrintable(postgres->error()));
        QTest::newRow("postgresql") << QStringLiteral("postgresql");
    }
};

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsSet(kHoldLockVariable))
        return holdWriteLock(qEnvironmentVariable(kHoldLockVariable));
    PostgresCluster cluster;
    postgres = &cluster;
    TestHistoryStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history_store.moc"
