#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A real PostgreSQL server of the test's own: a fresh cluster in a temporary folder, listening
// on 127.0.0.1 only (or on an address of a network namespace of the test's, for the hosts of
// its subnet), with one database "history" that user "utquery" may use without a
// password. Run as user postgres when the test runs as root, since the server refuses root.
// Stopped, and its folder deleted, with the object.
class PostgresCluster {
public:
    explicit PostgresCluster(QString listenAddress = QStringLiteral("127.0.0.1"));
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // Makes the cluster (the first time) and starts the server; true once it takes
    // connections to "history". False with error() saying why: PostgreSQL not installed, a
    // program that failed, with the end of its log.
    bool start();
    // A fast shutdown: sessions are ended, what was committed is kept.
    bool stop();
    // The server goes away without a goodbye: the postmaster and its processes are killed.
    void kill();
    // Starts it again on the same port and data.
    bool restart() { return start(); }

    bool isRunning() const;
    QString error() const { return error_; }
    quint16 port() const { return port_; }
    // "postgresql://utquery@127.0.0.1:PORT/history" (its listening address); with a password, which
    // the server, trusting every local connection, never checks: to see that it is never shown.
    QString url(const QString& password = {}) const;
    // How long the last start() took, the cluster's making included.
    qint64 startMs() const { return startMs_; }

private:
    bool findPrograms();
    bool makeCluster();
    bool waitUntilReady();
    // Runs one of PostgreSQL's programs to its end; false, with error_, when it fails.
    bool run(const QString& program, const QStringList& arguments, bool asServerUser);
    void prepare(QProcess& process, const QString& program, QStringList arguments,
                 bool asServerUser) const;
    bool fail(const QString& why);
    QString logTail() const;

    QString listenAddress_;
    QString binDir_;
    QTemporaryDir folder_;
    QString dataDir_;
    bool made_ = false;
    bool databaseMade_ = false;
    quint16 port_ = 0;
    std::unique_ptr<QProcess> server_;
    QString error_;
    qint64 startMs_ = 0;
};
