#pragma once

// Where the history bench keeps its histories: SQLite files in a temporary folder, and a
// PostgreSQL server of its own on 127.0.0.1, whose history tables are dropped before each phase
// so that every phase starts from an empty database.
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

class PostgresCluster;

namespace bench {

struct HistoryBackend {
    QString name;   // "SQLite", "PostgreSQL"
    QString target; // a file's path, or a postgresql:// address
    bool isPostgres() const;
};

class HistoryBackends {
public:
    HistoryBackends();
    ~HistoryBackends();
    HistoryBackends(const HistoryBackends&) = delete;
    HistoryBackends& operator=(const HistoryBackends&) = delete;

    // Starts the PostgreSQL server; false with `error` when it cannot (the phases then measure
    // SQLite alone).
    bool startPostgres(QString& error);
    // A new SQLite file named after `phase`, and the PostgreSQL database emptied.
    QList<HistoryBackend> fresh(const QString& phase);

    // The first column of the first row of `sql` on `backend`'s database, through a connection
    // of the bench's own; invalid when it failed (the error is printed).
    QVariant scalar(const HistoryBackend& backend, const QString& sql);
    // The SQLite file's size after its write-ahead log is folded in, and the log's size.
    struct FileBytes {
        qint64 beforeCheckpointDb = -1;
        qint64 beforeCheckpointWal = -1;
        qint64 db = -1;
        qint64 wal = -1;
    };
    FileBytes sqliteBytes(const HistoryBackend& backend);

private:
    void emptyPostgres();

    QTemporaryDir folder_;
    std::unique_ptr<PostgresCluster> cluster_;
    int connections_ = 0;
};

} // namespace bench
