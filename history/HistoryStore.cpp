#include "history/HistoryStore.h"

#include "history/HourTotals.h"
#include "history/PostgresTarget.h"
#include "history/StoreFault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace utq::history {

namespace {

constexpr qint64 kDayMs = 24LL * 3600 * 1000;
// Rows in one INSERT of samples: few round trips to a server, well under SQLite's 999
// parameters.
constexpr int kSampleRowsPerInsert = 100;
constexpr int kSampleColumns = 7;

const QString kOffSuffix = QStringLiteral("; it is left as it is and history is off");

bool exec(QSqlQuery& query, QSqlError& error) {
    if (query.exec())
        return true;
    error = query.lastError();
    return false;
}

bool exec(const QSqlDatabase& db, const QString& statement, QSqlError& error) {
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    error = query.lastError();
    return false;
}

QVariant optionalInt(const std::optional<int>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<int>());
}

std::optional<int> optionalInt(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toInt();
}

QString samplesInsert(int rows) {
    QStringList values;
    for (int row = 0; row < rows; ++row)
        values << QStringLiteral("(?, ?, ?, ?, ?, ?, ?)");
    return QStringLiteral("INSERT INTO samples (server_id, time_ms, state, players, max_players, "
                          "map, round_trip_ms) VALUES ") +
           values.join(QStringLiteral(", "));
}

// What the database's schema is, before this store touches it.
struct SchemaFound {
    enum class Kind { Empty, Ours, Foreign, Failed } kind = Kind::Failed;
    int version = 0;
    QSqlError error;
};

SchemaFound inspectSchema(const QSqlDatabase& db, Dialect dialect) {
    SchemaFound found;
    QSqlQuery query(db);
    if (!query.exec(tableNamesQuery(dialect))) {
        found.error = query.lastError();
        return found;
    }
    QStringList tables;
    while (query.next())
        tables << query.value(0).toString();
    if (tables.isEmpty()) {
        found.kind = SchemaFound::Kind::Empty;
        return found;
    }
    if (!tables.contains(QLatin1String("schema_version"))) {
        found.kind = SchemaFound::Kind::Foreign;
        return found;
    }
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version"))) {
        found.error = query.lastError();
        return found;
    }
    if (!query.next() || query.value(0).isNull()) {
        found.kind = SchemaFound::Kind::Foreign;
        return found;
    }
    found.kind = SchemaFound::Kind::Ours;
    found.version = query.value(0).toInt();
    return found;
}

// The first bytes of every SQLite database file.
bool hasSqliteHeader(QFile& file) {
    static const QByteArray header("SQLite format 3", 16);
    return file.read(header.size()) == header;
}

} // namespace

bool StoreTarget::isPostgres() const { return looksLikePostgres(text); }

HistoryStore::HistoryStore(StoreTarget target, QString connectionName)
    : target_(std::move(target)),
      dialect_(target_.isPostgres() ? Dialect::Postgres : Dialect::Sqlite),
      connectionName_(std::move(connectionName)) {
    problem_ = QStringLiteral("%1 is not open yet").arg(place());
}

HistoryStore::~HistoryStore() {
    close();
    QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase HistoryStore::database() const {
    return QSqlDatabase::database(connectionName_, false);
}

QString HistoryStore::place() const {
    if (dialect_ == Dialect::Sqlite)
        return target_.text;
    return QStringLiteral("PostgreSQL at ") + parsePostgresTarget(target_.text).place();
}

void HistoryStore::close() {
    // Closed now, removed when no query of it is left: at the next open, or at the end.
    if (QSqlDatabase::contains(connectionName_))
        database().close();
    lock_.reset();
    serverIds_.clear();
    mode_ = Mode::Closed;
}

HistoryStore::Mode HistoryStore::closedFor(const QString& problem, bool mayOpenLater) {
    close();
    problem_ = problem;
    mayOpenLater_ = mayOpenLater;
    return mode_;
}

HistoryStore::Mode HistoryStore::open(bool write) {
    close();
    QSqlDatabase::removeDatabase(connectionName_);
    wantsToWrite_ = write;
    mayOpenLater_ = false;
    problem_.clear();
    return dialect_ == Dialect::Sqlite ? openSqlite(write) : openPostgres(write);
}

HistoryStore::Mode HistoryStore::openSqlite(bool write) {
    const QString& path = target_.text;
    const QFileInfo info(path);
    if (info.isDir())
        return closedFor(
            QStringLiteral("%1 is a folder, not a history database").arg(path) + kOffSuffix, false);
    if (!info.exists() && !info.dir().exists())
        return closedFor(QStringLiteral("%1 cannot be made: its folder does not exist; history "
                                        "is off")
                             .arg(path),
                         false);
    const bool hasContent = info.exists() && info.size() > 0;
    if (hasContent) {
        // Before SQLite sees it: a file that is not a database is never touched.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return closedFor(QStringLiteral("%1 cannot be read (%2); history is off")
                                 .arg(path, file.errorString()),
                             false);
        if (!hasSqliteHeader(file))
            return closedFor(QStringLiteral("%1 is not a history database (file is not a "
                                            "database)")
                                     .arg(path) +
                                 kOffSuffix,
                             false);
    }

    QString readOnlyProblem;
    bool immutable = false;
    if (write) {
        if (info.exists() && !info.isWritable()) {
            readOnlyProblem =
                QStringLiteral("%1 is read-only: history is shown but not recorded").arg(path);
            immutable = true;
        } else {
            lock_ = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
            // A live writer keeps its lock however long it runs; a dead one's goes.
            lock_->setStaleLockTime(0);
            if (!lock_->tryLock(0)) {
                qint64 pid = 0;
                QString host;
                QString application;
                switch (lock_->error()) {
                case QLockFile::LockFailedError:
                    lock_->getLockInfo(&pid, &host, &application);
                    readOnlyProblem =
                        QStringLiteral("another program writes %1 (process %2 on %3): "
                                       "history is shown but not recorded by this one")
                            .arg(path, QString::number(pid), host);
                    mayOpenLater_ = true;
                    break;
                case QLockFile::PermissionError:
                    readOnlyProblem = QStringLiteral("%1 is read-only (its lock file cannot be "
                                                     "made): history is shown but not recorded")
                                          .arg(path);
                    break;
                default:
                    readOnlyProblem = QStringLiteral("%1 cannot be locked for writing: history is "
                                                     "shown but not recorded")
                                          .arg(path);
                    mayOpenLater_ = true;
                    break;
                }
                lock_.reset();
            }
        }
    }
    const bool writing = write && readOnlyProblem.isEmpty();
    if (!writing && !hasContent) {
        const bool retry = mayOpenLater_ || !write;
        return closedFor(readOnlyProblem.isEmpty()
                             ? QStringLiteral("%1 holds no history yet").arg(path)
                             : readOnlyProblem,
                         retry);
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    QStringList options{QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000")};
    if (!writing)
        options << QStringLiteral("QSQLITE_OPEN_READONLY");
    if (immutable) {
        // A read-only file system keeps no WAL index; nobody can change the file there.
        options << QStringLiteral("QSQLITE_OPEN_URI");
        db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString() +
                           QStringLiteral("?immutable=1"));
    } else {
        db.setDatabaseName(path);
    }
    db.setConnectOptions(options.join(u';'));
    if (!db.open()) {
        const StoreFault fault = faultOf(db.lastError(), dialect_, path);
        return closedFor(fault.text, fault.passes());
    }

    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
        const StoreFault fault = faultOf(check.lastError(), dialect_, path);
        if (fault.kind == StoreFault::Kind::Locked || fault.kind == StoreFault::Kind::Damaged)
            return closedFor(fault.text, fault.passes());
        return closedFor(QStringLiteral("%1 is not a history database (%2)")
                                 .arg(path, check.lastError().databaseText()) +
                             kOffSuffix,
                         false);
    }
    const QString verdict = check.next() ? check.value(0).toString() : QString();
    if (verdict != QLatin1String("ok"))
        return closedFor(QStringLiteral("%1 is damaged (%2)").arg(path, verdict) + kOffSuffix,
                         false);
    check.finish();

    if (!writing) {
        const SchemaFound found = inspectSchema(db, dialect_);
        if (found.kind == SchemaFound::Kind::Failed) {
            const StoreFault fault = faultOf(found.error, dialect_, path);
            return closedFor(fault.text, fault.passes());
        }
        if (found.kind == SchemaFound::Kind::Foreign)
            return closedFor(QStringLiteral("%1 is not a history database (it holds other "
                                            "tables)")
                                     .arg(path) +
                                 kOffSuffix,
                             false);
        if (found.version > kSchemaVersion)
            return closedFor(QStringLiteral("%1 was made by a newer version of the program "
                                            "(history schema %2; this one knows up to %3)")
                                     .arg(path)
                                     .arg(found.version)
                                     .arg(kSchemaVersion) +
                                 kOffSuffix,
                             false);
        schemaVersion_ = found.version;
        mode_ = Mode::Reading;
        problem_ = readOnlyProblem;
        return mode_;
    }
    if (!prepareSchema())
        return mode_;
    mode_ = Mode::Writing;
    return mode_;
}

HistoryStore::Mode HistoryStore::openPostgres(bool write) {
    const PostgresTarget server = parsePostgresTarget(target_.text);
    if (!server.error.isEmpty())
        return closedFor(QStringLiteral("%1: %2; history is off")
                             .arg(withoutPassword(target_.text), server.error),
                         false);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName_);
    db.setHostName(server.host);
    db.setPort(server.port);
    db.setUserName(server.user);
    db.setPassword(server.password);
    db.setDatabaseName(server.database);
    // A server behind a network that went silent is given up within seconds, not after TCP's
    // quarter of an hour: data unacknowledged for 10 s, or an idle connection that answers no
    // probe, ends the connection. A slow statement on a live server is not cut short.
    db.setConnectOptions(QStringLiteral("connect_timeout=3;tcp_user_timeout=10000;keepalives=1;"
                                        "keepalives_idle=10;keepalives_interval=3;"
                                        "keepalives_count=3"));
    if (!db.open())
        return closedFor(QStringLiteral("%1 is unreachable (%2)")
                             .arg(place(), db.lastError().text().simplified()),
                         true);
    if (!write) {
        const SchemaFound found = inspectSchema(db, dialect_);
        if (found.kind == SchemaFound::Kind::Failed) {
            const StoreFault fault = faultOf(found.error, dialect_, place());
            return closedFor(fault.text, true);
        }
        if (found.kind == SchemaFound::Kind::Ours && found.version > kSchemaVersion)
            return closedFor(QStringLiteral("%1 holds a history of a newer version of the program "
                                            "(schema %2; this one knows up to %3); history is off")
                                 .arg(place())
                                 .arg(found.version)
                                 .arg(kSchemaVersion),
                             false);
        schemaVersion_ = found.kind == SchemaFound::Kind::Ours ? found.version : 0;
        mode_ = Mode::Reading;
        return mode_;
    }
    if (!prepareSchema())
        return mode_;
    mode_ = Mode::Writing;
    return mode_;
}

bool HistoryStore::prepareSchema() {
    QSqlDatabase db = database();
    QSqlError error;
    const SchemaFound before = inspectSchema(db, dialect_);
    if (before.kind == SchemaFound::Kind::Failed) {
        const StoreFault fault = faultOf(before.error, dialect_, place());
        closedFor(fault.text, fault.passes());
        return false;
    }
    if (before.kind == SchemaFound::Kind::Foreign) {
        closedFor(
            QStringLiteral("%1 is not a history database (it holds other tables)").arg(place()) +
                kOffSuffix,
            false);
        return false;
    }
    if (before.version > kSchemaVersion) {
        closedFor(QStringLiteral("%1 was made by a newer version of the program (history schema "
                                 "%2; this one knows up to %3)")
                          .arg(place())
                          .arg(before.version)
                          .arg(kSchemaVersion) +
                      kOffSuffix,
                  false);
        return false;
    }
    if (dialect_ == Dialect::Sqlite) {
        QSqlQuery journal(db);
        if (!journal.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !journal.next()) {
            const StoreFault fault = faultOf(journal.lastError(), dialect_, place());
            closedFor(fault.text, fault.passes());
            return false;
        }
        if (journal.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
            closedFor(QStringLiteral("%1 cannot keep a write-ahead log (journal mode %2); history "
                                     "is off")
                          .arg(place(), journal.value(0).toString()),
                      false);
            return false;
        }
        journal.finish();
        exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error);
    }
    if (before.version == kSchemaVersion) {
        schemaVersion_ = kSchemaVersion;
        return true;
    }

    // One transaction from the version found to this build's: all of it, or nothing.
    bool ok = beginWriting(error);
    if (ok && dialect_ == Dialect::Postgres)
        ok = exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(7717001)"), error);
    SchemaFound now;
    if (ok) {
        now = inspectSchema(db, dialect_);
        ok = now.kind == SchemaFound::Kind::Empty || now.kind == SchemaFound::Kind::Ours;
        error = now.error;
    }
    for (int version = now.version + 1; ok && version <= kSchemaVersion; ++version) {
        for (const QString& statement : schemaStep(dialect_, version)) {
            if (!exec(db, statement, error)) {
                ok = false;
                break;
            }
        }
    }
    if (ok)
        ok = exec(db, QStringLiteral("COMMIT"), error);
    if (!ok) {
        rollBack();
        const StoreFault fault = faultOf(error, dialect_, place());
        closedFor(fault.text, fault.passes());
        return false;
    }
    schemaVersion_ = kSchemaVersion;
    return true;
}

bool HistoryStore::beginWriting(QSqlError& error) {
    // SQLite takes the write lock at once, waiting for it, rather than failing half way.
    return exec(database(),
                dialect_ == Dialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE")
                                            : QStringLiteral("BEGIN"),
                error);
}

void HistoryStore::rollBack() {
    // A connection that broke has nothing to roll back.
    if (database().isOpen())
        QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
}

bool HistoryStore::readyToWrite() {
    if (mode_ == Mode::Writing)
        return true;
    if (!wantsToWrite_ || !mayOpenLater_)
        return false;
    if (mode_ == Mode::Reading && dialect_ == Dialect::Sqlite) {
        // Opened again, and checked again, only once the other writer let go.
        QLockFile probe(target_.text + QStringLiteral(".lock"));
        probe.setStaleLockTime(0);
        if (!probe.tryLock(0))
            return false;
    }
    open(true);
    return mode_ == Mode::Writing;
}

bool HistoryStore::readyToRead() {
    if (mode_ == Mode::Closed && mayOpenLater_)
        open(wantsToWrite_);
    return mode_ != Mode::Closed;
}

void HistoryStore::noteFailure(const QSqlError& error) {
    bool lost = false;
    if (dialect_ == Dialect::Postgres)
        lost = !database().isOpen() || !QSqlQuery(database()).exec(QStringLiteral("SELECT 1"));
    const StoreFault fault = faultOf(error, dialect_, place(), lost);
    if (fault.kind == StoreFault::Kind::Unreachable || fault.kind == StoreFault::Kind::Damaged) {
        // Opened again at the next write or read, when it may pass.
        closedFor(fault.text, fault.passes());
        return;
    }
    problem_ = fault.text;
}

std::optional<qint64> HistoryStore::serverId(const ServerKey& server, bool create,
                                             QSqlError& error) {
    const auto known = serverIds_.constFind(server);
    if (known != serverIds_.constEnd())
        return *known;
    QSqlDatabase db = database();
    if (create) {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO servers (game, host, port) VALUES (?, ?, ?) "
                                      "ON CONFLICT (game, host, port) DO NOTHING"));
        insert.addBindValue(server.game);
        insert.addBindValue(server.host);
        insert.addBindValue(server.port);
        if (!exec(insert, error))
            return std::nullopt;
    }
    QSqlQuery select(db);
    select.prepare(
        QStringLiteral("SELECT id FROM servers WHERE game = ? AND host = ? AND port = ?"));
    select.addBindValue(server.game);
    select.addBindValue(server.host);
    select.addBindValue(server.port);
    if (!exec(select, error) || !select.next())
        return std::nullopt;
    const qint64 id = select.value(0).toLongLong();
    serverIds_.insert(server, id);
    return id;
}

bool HistoryStore::write(const QList<Sample>& samples) {
    if (!readyToWrite())
        return false;
    if (samples.isEmpty())
        return true;
    QSqlError error;
    if (beginWriting(error) && writeRows(samples, error) &&
        exec(database(), QStringLiteral("COMMIT"), error)) {
        problem_.clear();
        return true;
    }
    rollBack();
    // Ids first seen in the rolled back transaction are gone with it.
    serverIds_.clear();
    noteFailure(error);
    return false;
}

bool HistoryStore::writeRows(const QList<Sample>& samples, QSqlError& error) {
    QList<qint64> ids;
    ids.reserve(samples.size());
    for (const Sample& sample : samples) {
        const std::optional<qint64> id = serverId(sample.server, true, error);
        if (!id)
            return false;
        ids << *id;
    }

    QSqlDatabase db = database();
    QSqlQuery fullInsert(db);
    if (samples.size() >= kSampleRowsPerInsert &&
        !fullInsert.prepare(samplesInsert(kSampleRowsPerInsert))) {
        error = fullInsert.lastError();
        return false;
    }
    for (qsizetype first = 0; first < samples.size(); first += kSampleRowsPerInsert) {
        const int rows = int(std::min<qsizetype>(kSampleRowsPerInsert, samples.size() - first));
        QSqlQuery partInsert(db);
        QSqlQuery& insert = rows == kSampleRowsPerInsert ? fullInsert : partInsert;
        if (rows != kSampleRowsPerInsert && !insert.prepare(samplesInsert(rows))) {
            error = insert.lastError();
            return false;
        }
        for (int row = 0; row < rows; ++row) {
            const Sample& sample = samples[first + row];
            const int at = row * kSampleColumns;
            insert.bindValue(at, ids[first + row]);
            insert.bindValue(at + 1, sample.timeMs);
            insert.bindValue(at + 2, sample.state);
            insert.bindValue(at + 3, optionalInt(sample.players));
            insert.bindValue(at + 4, optionalInt(sample.maxPlayers));
            insert.bindValue(at + 5, sample.map.isNull() ? QStringLiteral("") : sample.map);
            insert.bindValue(at + 6, sample.roundTripMs);
        }
        if (!exec(insert, error))
            return false;
    }

    const BatchTotals totals = totalsOf(samples, ids);
    QSqlQuery hours(db);
    hours.prepare(QStringLiteral(
        "INSERT INTO hours (server_id, hour_ms, samples, up_samples, players_sum, players_peak) "
        "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (server_id, hour_ms) DO UPDATE SET "
        "samples = hours.samples + excluded.samples, "
        "up_samples = hours.up_samples + excluded.up_samples, "
        "players_sum = hours.players_sum + excluded.players_sum, "
        "players_peak = CASE WHEN excluded.players_peak > hours.players_peak "
        "THEN excluded.players_peak ELSE hours.players_peak END"));
    for (const auto& [key, hour] : totals.hours) {
        hours.bindValue(0, key.serverId);
        hours.bindValue(1, key.hourMs);
        hours.bindValue(2, hour.samples);
        hours.bindValue(3, hour.upSamples);
        hours.bindValue(4, hour.playersSum);
        hours.bindValue(5, hour.playersPeak);
        if (!exec(hours, error))
            return false;
    }
    QSqlQuery maps(db);
    maps.prepare(QStringLiteral(
        "INSERT INTO hour_maps (server_id, hour_ms, map, seconds) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (server_id, hour_ms, map) DO UPDATE SET "
        "seconds = hour_maps.seconds + excluded.seconds"));
    for (const auto& [key, seconds] : totals.mapSeconds) {
        maps.bindValue(0, key.serverId);
        maps.bindValue(1, key.hourMs);
        maps.bindValue(2, key.map);
        maps.bindValue(3, seconds);
        if (!exec(maps, error))
            return false;
    }
    return true;
}

bool HistoryStore::prune(qint64 nowMs, Retention retention) {
    if (!readyToWrite())
        return false;
    QSqlDatabase db = database();
    QSqlError error;
    const qint64 samplesBefore = nowMs - retention.sampleDays * kDayMs;
    const qint64 hoursBefore = nowMs - retention.hourDays * kDayMs;
    bool ok = beginWriting(error);
    const QList<std::pair<QString, qint64>> deletions{
        {QStringLiteral("DELETE FROM samples WHERE time_ms < ?"), samplesBefore},
        {QStringLiteral("DELETE FROM hours WHERE hour_ms < ?"), hoursBefore},
        {QStringLiteral("DELETE FROM hour_maps WHERE hour_ms < ?"), hoursBefore},
    };
    for (const auto& [statement, before] : deletions) {
        if (!ok)
            break;
        QSqlQuery query(db);
        query.prepare(statement);
        query.addBindValue(before);
        ok = exec(query, error);
    }
    if (ok && exec(db, QStringLiteral("COMMIT"), error))
        return true;
    rollBack();
    noteFailure(error);
    return false;
}

Series HistoryStore::read(const ServerKey& server, qint64 fromMs, qint64 toMs, bool withSamples) {
    Series series;
    if (!readyToRead() || schemaVersion_ < 1)
        return series;
    QSqlError error;
    const std::optional<qint64> id = serverId(server, false, error);
    if (!id) {
        if (error.isValid())
            noteFailure(error);
        return series;
    }
    QSqlDatabase db = database();
    if (withSamples) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(QStringLiteral(
            "SELECT time_ms, state, players, max_players, map, round_trip_ms FROM samples "
            "WHERE server_id = ? AND time_ms >= ? AND time_ms < ? ORDER BY time_ms"));
        query.addBindValue(*id);
        query.addBindValue(fromMs);
        query.addBindValue(toMs);
        if (!exec(query, error)) {
            noteFailure(error);
            return series;
        }
        while (query.next()) {
            Sample sample;
            sample.server = server;
            sample.timeMs = query.value(0).toLongLong();
            sample.state = query.value(1).toString();
            sample.players = optionalInt(query.value(2));
            sample.maxPlayers = optionalInt(query.value(3));
            sample.map = query.value(4).toString();
            sample.roundTripMs = query.value(5).toLongLong();
            series.samples << sample;
        }
    }

    const qint64 firstHour = hourStart(fromMs);
    QSqlQuery hours(db);
    hours.setForwardOnly(true);
    hours.prepare(QStringLiteral("SELECT hour_ms, samples, up_samples, players_sum, players_peak "
                                 "FROM hours WHERE server_id = ? AND hour_ms >= ? AND hour_ms < ? "
                                 "ORDER BY hour_ms"));
    hours.addBindValue(*id);
    hours.addBindValue(firstHour);
    hours.addBindValue(toMs);
    if (!exec(hours, error)) {
        noteFailure(error);
        return series;
    }
    while (hours.next()) {
        HourSummary hour;
        hour.hourMs = hours.value(0).toLongLong();
        hour.samples = hours.value(1).toInt();
        hour.upSamples = hours.value(2).toInt();
        hour.playersMean =
            hour.upSamples > 0 ? hours.value(3).toDouble() / double(hour.upSamples) : 0.0;
        hour.playersPeak = hours.value(4).toInt();
        series.hours << hour;
    }

    if (schemaVersion_ < 2)
        return series;
    QSqlQuery maps(db);
    maps.setForwardOnly(true);
    maps.prepare(QStringLiteral("SELECT map, SUM(seconds) AS total FROM hour_maps "
                                "WHERE server_id = ? AND hour_ms >= ? AND hour_ms < ? "
                                "GROUP BY map ORDER BY total DESC, map"));
    maps.addBindValue(*id);
    maps.addBindValue(firstHour);
    maps.addBindValue(toMs);
    if (!exec(maps, error)) {
        noteFailure(error);
        return series;
    }
    while (maps.next())
        series.maps << MapTime{maps.value(0).toString(), maps.value(1).toLongLong()};
    return series;
}

QHash<ServerKey, QList<Bucket>> HistoryStore::buckets(const QList<ServerKey>& servers,
                                                      qint64 sinceMs, qint64 bucketMs) {
    QHash<ServerKey, QList<Bucket>> result;
    for (const ServerKey& server : servers)
        result.insert(server, {});
    if (bucketMs <= 0 || servers.isEmpty() || !readyToRead() || schemaVersion_ < 1)
        return result;
    QSqlDatabase db = database();
    QSqlError error;
    // The ids of all the servers asked, in one query.
    QSqlQuery known(db);
    known.setForwardOnly(true);
    if (!known.exec(QStringLiteral("SELECT id, game, host, port FROM servers"))) {
        noteFailure(known.lastError());
        return result;
    }
    QHash<qint64, ServerKey> asked;
    while (known.next()) {
        const ServerKey key{known.value(1).toString(), known.value(2).toString(),
                            known.value(3).toInt()};
        serverIds_.insert(key, known.value(0).toLongLong());
        if (result.contains(key))
            asked.insert(known.value(0).toLongLong(), key);
    }
    if (asked.isEmpty())
        return result;
    QStringList ids;
    for (auto it = asked.cbegin(); it != asked.cend(); ++it)
        ids << QString::number(it.key());

    // Integer division in both dialects: both operands are integers.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT server_id, time_ms / CAST(? AS BIGINT) AS bucket, "
                                 "MAX(CASE WHEN state IN (%1) THEN players END), "
                                 "MAX(CASE WHEN state IN (%1) THEN 1 ELSE 0 END) "
                                 "FROM samples WHERE time_ms >= ? AND server_id IN (%2) "
                                 "GROUP BY server_id, bucket ORDER BY server_id, bucket")
                      .arg(upStatesSql(), ids.join(QStringLiteral(", "))));
    query.addBindValue(bucketMs);
    query.addBindValue(sinceMs);
    if (!exec(query, error)) {
        noteFailure(error);
        return result;
    }
    while (query.next()) {
        Bucket bucket;
        bucket.startMs = query.value(1).toLongLong() * bucketMs;
        bucket.playersPeak = query.value(2).toInt();
        bucket.up = query.value(3).toInt() != 0;
        result[asked.value(query.value(0).toLongLong())] << bucket;
    }
    return result;
}

} // namespace utq::history
