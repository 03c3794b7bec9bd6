#include "history/HistoryStore.h"

#include "history/HourTotals.h"
#include "history/PostgresTarget.h"
#include "history/StoreFault.h"
#include "history/StoreSql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace utq::history {

using namespace sql;

namespace {

const QString kOffSuffix = QStringLiteral("; it is left as it is and history is off");

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

} // namespace utq::history
