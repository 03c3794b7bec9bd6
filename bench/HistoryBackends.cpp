#include "HistoryBackends.h"

#include "PostgresCluster.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace bench {
namespace {

qint64 sizeOf(const QString& path) {
    const QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

} // namespace

bool HistoryBackend::isPostgres() const { return target.startsWith(QLatin1String("postgresql:")); }

HistoryBackends::HistoryBackends() = default;

HistoryBackends::~HistoryBackends() = default;

bool HistoryBackends::startPostgres(QString& error) {
    cluster_ = std::make_unique<PostgresCluster>();
    if (cluster_->start())
        return true;
    error = cluster_->error();
    cluster_.reset();
    return false;
}

QList<HistoryBackend> HistoryBackends::fresh(const QString& phase) {
    QList<HistoryBackend> backends{
        {QStringLiteral("SQLite"), folder_.filePath(phase + QStringLiteral(".sqlite"))}};
    if (cluster_) {
        emptyPostgres();
        backends.append({QStringLiteral("PostgreSQL"), cluster_->url()});
    }
    return backends;
}

void HistoryBackends::emptyPostgres() {
    const HistoryBackend postgres{QStringLiteral("PostgreSQL"), cluster_->url()};
    const QString tables =
        scalar(postgres, QStringLiteral("SELECT string_agg(table_name, ', ') FROM "
                                        "information_schema.tables WHERE table_schema = "
                                        "current_schema()"))
            .toString();
    if (!tables.isEmpty())
        scalar(postgres, QStringLiteral("DROP TABLE %1 CASCADE").arg(tables));
}

QVariant HistoryBackends::scalar(const HistoryBackend& backend, const QString& sql) {
    const QString name = QStringLiteral("bench-own-%1").arg(++connections_);
    QVariant value;
    {
        QSqlDatabase db;
        if (backend.isPostgres()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(cluster_->port());
            db.setUserName(QStringLiteral("utquery"));
            db.setDatabaseName(QStringLiteral("history"));
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(backend.target);
        }
        if (!db.open()) {
            std::printf("  (%s: %s)\n", qPrintable(backend.name),
                        qPrintable(db.lastError().text()));
        } else {
            QSqlQuery query(db);
            if (!query.exec(sql))
                std::printf("  (%s: %s: %s)\n", qPrintable(backend.name), qPrintable(sql),
                            qPrintable(query.lastError().text()));
            else if (query.next())
                value = query.value(0);
            else
                value = QString(); // a statement without rows
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

HistoryBackends::FileBytes HistoryBackends::sqliteBytes(const HistoryBackend& backend) {
    FileBytes bytes;
    const QString wal = backend.target + QStringLiteral("-wal");
    bytes.beforeCheckpointDb = sizeOf(backend.target);
    bytes.beforeCheckpointWal = sizeOf(wal);
    if (!scalar(backend, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")).isValid())
        return bytes;
    bytes.db = sizeOf(backend.target);
    bytes.wal = sizeOf(wal);
    return bytes;
}

} // namespace bench
