#include "PostgresCluster.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kProgramMs = 60000; // initdb, createdb
constexpr int kReadyMs = 20000;   // the server's start and its stop
const QString kUser = QStringLiteral("utquery");
const QString kDatabase = QStringLiteral("history");
const QString kServerUser = QStringLiteral("postgres");

bool runningAsRoot() { return ::geteuid() == 0; }

quint16 freePort(const QString& address) {
    QTcpServer probe;
    probe.listen(QHostAddress(address), 0);
    return probe.serverPort();
}

// The processes whose parent is `parent`, from /proc.
QList<pid_t> childrenOf(qint64 parent) {
    QList<pid_t> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces, so count from its end.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            children.append(pid);
    }
    return children;
}

} // namespace

PostgresCluster::PostgresCluster(QString listenAddress)
    : listenAddress_(std::move(listenAddress)), folder_(QDir::tempPath() + "/utq-postgres-XXXXXX") {
    dataDir_ = folder_.filePath(QStringLiteral("data"));
}

PostgresCluster::~PostgresCluster() { stop(); }

QString PostgresCluster::url(const QString& password) const {
    const QString user = password.isEmpty() ? kUser : kUser + ':' + password;
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(user, listenAddress_)
        .arg(port_)
        .arg(kDatabase);
}

bool PostgresCluster::isRunning() const {
    return server_ && server_->state() != QProcess::NotRunning;
}

bool PostgresCluster::fail(const QString& why) {
    error_ = why;
    return false;
}

QString PostgresCluster::logTail() const {
    QFile log(folder_.filePath(QStringLiteral("postgres.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = log.readAll();
    return QString::fromLocal8Bit(text.right(2000));
}

bool PostgresCluster::findPrograms() {
    if (!binDir_.isEmpty())
        return true;
    QStringList candidates;
    QProcess config;
    config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
    if (config.waitForFinished(10000) && config.exitCode() == 0)
        candidates << QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed();
    // Debian's server packages keep their programs per major version; the newest first.
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    const QStringList majors =
        versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString& major : majors)
        candidates << versions.filePath(major + QStringLiteral("/bin"));
    for (const QString& dir : candidates) {
        if (QFile::exists(dir + "/initdb") && QFile::exists(dir + "/postgres")) {
            binDir_ = dir;
            return true;
        }
    }
    return fail(QStringLiteral("PostgreSQL's server programs (initdb, postgres) were not found "
                               "through pg_config or in /usr/lib/postgresql/*/bin: install the "
                               "postgresql package (scripts/setup.sh does)"));
}

void PostgresCluster::prepare(QProcess& process, const QString& program, QStringList arguments,
                              bool asServerUser) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.remove(QStringLiteral("PGPASSWORD"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder_.path());
    QString path = binDir_ + '/' + program;
    if (asServerUser && runningAsRoot()) {
        // setpriv replaces itself with the program, so the process is the server itself.
        arguments.prepend(path);
        arguments = QStringList{"--reuid=" + kServerUser, "--regid=" + kServerUser,
                                QStringLiteral("--init-groups"), QStringLiteral("--")} +
                    arguments;
        path = QStringLiteral("setpriv");
    }
    process.setProgram(path);
    process.setArguments(arguments);
}

bool PostgresCluster::run(const QString& program, const QStringList& arguments, bool asServerUser) {
    QProcess process;
    prepare(process, program, arguments, asServerUser);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForFinished(kProgramMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(5000);
        return fail(QStringLiteral("%1 failed (%2): %3")
                        .arg(program, process.errorString(),
                             QString::fromLocal8Bit(process.readAll()).right(2000)));
    }
    return true;
}

bool PostgresCluster::makeCluster() {
    if (!folder_.isValid())
        return fail("no temporary folder: " + folder_.errorString());
    if (runningAsRoot()) {
        const passwd* user = ::getpwnam(qPrintable(kServerUser));
        if (!user)
            return fail(QStringLiteral("no user \"postgres\" to run the server as (the server "
                                       "refuses root): install the postgresql package"));
        if (::chown(QFile::encodeName(folder_.path()).constData(), user->pw_uid, user->pw_gid) != 0)
            return fail(QStringLiteral("cannot give %1 to postgres").arg(folder_.path()));
    }
    if (!run(QStringLiteral("initdb"),
             {"-D", dataDir_, "--auth=trust", "-U", kUser, "--no-sync", "-E", "UTF8", "--locale=C",
              "--no-instructions"},
             true))
        return false;
    // initdb trusts the loopback's connections; another address trusts its own subnet.
    QFile access(QDir(dataDir_).filePath(QStringLiteral("pg_hba.conf")));
    if (listenAddress_ != QLatin1String("127.0.0.1") &&
        (!access.open(QIODevice::Append) || access.write("host all all samenet trust\n") < 0))
        return fail("cannot write " + access.fileName());
    return true;
}

bool PostgresCluster::waitUntilReady() {
    const QStringList ping{"-q", "-h",  listenAddress_, "-p",      QString::number(port_),
                           "-U", kUser, "-d",           "postgres"};
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kReadyMs) {
        if (!isRunning())
            return fail("postgres ended at its start: " + logTail());
        QProcess isReady;
        prepare(isReady, QStringLiteral("pg_isready"), ping, false);
        isReady.start();
        if (isReady.waitForFinished(5000) && isReady.exitCode() == 0)
            return true;
        QThread::msleep(20);
    }
    return fail(QStringLiteral("postgres took no connection within %1 s: %2")
                    .arg(kReadyMs / 1000)
                    .arg(logTail()));
}

bool PostgresCluster::start() {
    QElapsedTimer clock;
    clock.start();
    error_.clear();
    if (isRunning())
        return true;
    if (!findPrograms())
        return false;
    if (!made_) {
        if (!makeCluster())
            return false;
        made_ = true;
    }
    if (port_ == 0)
        port_ = freePort(listenAddress_);
    server_ = std::make_unique<QProcess>();
    prepare(*server_, QStringLiteral("postgres"),
            {"-D", dataDir_, "-c", "listen_addresses=" + listenAddress_, "-p",
             QString::number(port_), "-k", folder_.path(), "-c", "fsync=off", "-c",
             "full_page_writes=off"},
            true);
    // A file, not a pipe: a test that does not run its event loop for a while must not stall
    // the server on a full pipe.
    server_->setStandardOutputFile(folder_.filePath(QStringLiteral("postgres.log")),
                                   QIODevice::Append);
    server_->setStandardErrorFile(folder_.filePath(QStringLiteral("postgres.log")),
                                  QIODevice::Append);
    server_->start();
    if (!server_->waitForStarted(kProgramMs))
        return fail("postgres did not start: " + server_->errorString());
    if (!waitUntilReady()) {
        kill();
        return false;
    }
    if (!databaseMade_) {
        if (!run(QStringLiteral("createdb"),
                 {"-h", listenAddress_, "-p", QString::number(port_), "-U", kUser, kDatabase},
                 false))
            return false;
        databaseMade_ = true;
    }
    startMs_ = clock.elapsed();
    return true;
}

bool PostgresCluster::stop() {
    if (!isRunning())
        return true;
    ::kill(static_cast<pid_t>(server_->processId()), SIGINT);
    if (server_->waitForFinished(kReadyMs))
        return true;
    kill();
    return fail("postgres did not stop within its time: " + logTail());
}

void PostgresCluster::kill() {
    if (!isRunning())
        return;
    const qint64 postmaster = server_->processId();
    // Its processes are named while it is still their parent, and come to this process when
    // it dies, to be reaped here rather than left as zombies; none may be left holding the
    // shared memory that a restart needs free.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const QList<pid_t> children = childrenOf(postmaster);
    ::kill(static_cast<pid_t>(postmaster), SIGKILL);
    for (const pid_t child : children)
        ::kill(child, SIGKILL);
    server_->waitForFinished(kReadyMs);
    QElapsedTimer clock;
    clock.start();
    for (const pid_t child : children) {
        while (::waitpid(child, nullptr, WNOHANG) == 0 && clock.elapsed() < kReadyMs)
            QThread::msleep(5);
    }
}
