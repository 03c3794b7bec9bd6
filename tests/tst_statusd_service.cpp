// utquery-statusd run as its systemd unit runs it: the unit's command line with the shipped
// defaults file's options, as an unprivileged user without capabilities, its history in a state
// folder of its own, its output going to the journal. Monitoring reads its health and figures
// as a Prometheus server would; the public may not; asked to stop, it ends what it was doing.
// systemd itself is not running here, so the test starts the program the way the unit says.
#include "EventLoopWait.h"
#include "Exposition.h"
#include "NetworkNamespace.h"
#include "StatusdChild.h"

#include "base/Games.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// A user of the range systemd gives its dynamic users.
constexpr uid_t kServiceUser = 61184;
// In the test's namespace, a network where packets go and nobody answers.
const QHostAddress kOutside(QStringLiteral("10.9.9.9"));

// NAME="value" lines of a shell-style defaults file; the last of a name counts.
QHash<QString, QString> variablesOf(const QString& path) {
    QHash<QString, QString> variables;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return variables;
    static const QRegularExpression assignment(QStringLiteral("^([A-Z_]+)=\"?([^\"]*)\"?$"));
    for (const QByteArray& line : file.readAll().split('\n'))
        if (const auto match = assignment.match(QString::fromUtf8(line.trimmed()));
            match.hasMatch())
            variables.insert(match.captured(1), match.captured(2));
    return variables;
}

// The unit's ExecStart, its $VARIABLES split at blanks as systemd splits them.
QStringList execStart(const QHash<QString, QString>& variables) {
    QFile unit(QStringLiteral(UTQ_UNIT_FILE));
    if (!unit.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : unit.readAll().split('\n'))
        if (line.startsWith("ExecStart=")) {
            QStringList command;
            for (const QString& word :
                 QString::fromUtf8(line.mid(10)).split(u' ', Qt::SkipEmptyParts))
                command += word.startsWith(u'$')
                               ? variables.value(word.mid(1)).split(u' ', Qt::SkipEmptyParts)
                               : QStringList{word};
            return command;
        }
    return {};
}

// The program as the unit starts it, here: in the namespace, as the service's user without
// privileges, with what systemd tells it in its environment.
void prepare(QProcess& statusd, const NetworkNamespace& ns, QStringList command,
             const QString& stateFolder) {
    command.replaceInStrings(QStringLiteral("/usr/sbin/utquery-statusd"),
                             QStringLiteral(UTQ_STATUSD));
    command.replaceInStrings(QStringLiteral("/var/lib/utquery-statusd"), stateFolder);
    const QString user = QString::number(kServiceUser);
    statusd.setProgram(QStringLiteral("ip"));
    statusd.setArguments(QStringList{"netns", "exec", ns.name(), "setpriv", "--reuid", user,
                                     "--regid", user, "--clear-groups", "--no-new-privs",
                                     "--inh-caps=-all", "--bounding-set=-all", "--"} +
                         command);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("8:4242"));
    environment.insert(QStringLiteral("STATE_DIRECTORY"), stateFolder);
    statusd.setProcessEnvironment(environment);
    statusd.setChildProcessModifier([] { ::umask(0077); });
}

// A folder the service's user may reach, as systemd makes its state folder.
QString stateFolderIn(const QTemporaryDir& dir, bool ownedByService) {
    const QString folder = dir.filePath(QStringLiteral("utquery-statusd"));
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ::mkdir(QFile::encodeName(folder).constData(), 0755);
    if (ownedByService &&
        ::chown(QFile::encodeName(folder).constData(), kServiceUser, kServiceUser) != 0)
        return {};
    return folder;
}

qint64 samplesIn(const QString& path) {
    qint64 count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("s"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT count(*) FROM samples")) && query.next())
            count = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("s"));
    return count;
}

QByteArray body(const QByteArray& answer) { return answer.mid(answer.indexOf("\r\n\r\n") + 4); }

} // namespace

class TestStatusdService : public QObject {
    Q_OBJECT
    NetworkNamespace ns_{{{"ip", "link", "add", "d0", "type", "veth", "peer", "name", "d1"},
                          {"ip", "addr", "add", "10.9.9.9/24", "dev", "d0"},
                          {"ip", "link", "set", "d0", "up"},
                          {"ip", "link", "set", "d1", "up"}}};
    std::unique_ptr<NetworkNamespace::Inside> inside_;

private slots:
    void initTestCase() {
        QVERIFY2(ns_.isReady(), qPrintable(ns_.whyNot()));
        inside_ = std::make_unique<NetworkNamespace::Inside>(ns_);
        QVERIFY(inside_->entered());
    }

    void runsAsItsUnitRunsIt() {
        QHash<QString, QString> variables = variablesOf(QStringLiteral(UTQ_DEFAULTS_FILE));
        QString& options = variables[QStringLiteral("UTQUERY_STATUSD_OPTIONS")];
        QVERIFY2(options.startsWith(QLatin1String("127.0.0.1:8080")), qPrintable(options));
        // As an administrator opens it to the network, and lets it ask the dummy network.
        options.replace(QLatin1String("127.0.0.1:8080"),
                        QLatin1String("0.0.0.0:8080 --allow 10.9.9.0/24"));
        const QStringList command = execStart(variables);
        QVERIFY2(command.contains(QStringLiteral("--history")), qPrintable(command.join(' ')));
        QTemporaryDir dir;
        const QString state = stateFolderIn(dir, true);
        QVERIFY(!state.isEmpty());
        QProcess statusd;
        prepare(statusd, ns_, command, state);
        QVERIFY(saysItServes(statusd));
        // The journal stamps each line; the line starts with what the service says.
        QVERIFY2(statusd.readLine().startsWith("utquery-statusd " UTQ_VERSION ": serving on"),
                 statusd.readAllStandardError().constData());

        // Healthy once its history is open, a moment after it serves.
        QByteArray health;
        QVERIFY2(waitUntil(
                     [&] {
                         health = fetch(QHostAddress::LocalHost, 8080, "/healthz");
                         return statusOf(health) == 200;
                     },
                     5000),
                 health.constData());
        QVERIFY2(body(health).startsWith("ok"), health.constData());
        // The public may not read either; the operator's monitoring may.
        QCOMPARE(statusOf(fetch(kOutside, 8080, "/metrics", kOutside)), 403);
        QCOMPARE(statusOf(fetch(kOutside, 8080, "/healthz", kOutside)), 403);
        const QByteArray scrape = fetch(QHostAddress::LocalHost, 8080, "/metrics");
        QVERIFY(scrape.contains("Content-Type: text/plain; version=0.0.4"));
        const Exposition figures = Exposition::read(body(scrape));
        QVERIFY2(figures.faults.isEmpty(), qPrintable(figures.faults.join('\n')));
        QCOMPARE(figures.value(R"(utquery_statusd_requests_total{route="/healthz",code="200"})"),
                 1);
        QCOMPARE(figures.value(R"(utquery_statusd_refusals_total{reason="metrics_from"})"), 2);
        QVERIFY(figures.value(QStringLiteral("process_resident_memory_bytes")) > 1e6);
        QVERIFY(figures.value(QStringLiteral("process_open_fds")) > 3);
        QCOMPARE(figures.types.value(QStringLiteral("utquery_statusd_query_duration_seconds")),
                 QStringLiteral("histogram"));
        QVERIFY(figures.samples.contains(QStringLiteral("utquery_statusd_history_writes_total")));

        // Asked to stop while a page waits for a server that never answers: the page is
        // answered, the round's samples are written, and it ends well within systemd's patience.
        QTcpSocket waiting;
        QVERIFY(askSilentServer(waiting));
        QTest::qWait(300);
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
        QCOMPARE(statusd.exitStatus(), QProcess::NormalExit);
        QVERIFY2(statusd.exitCode() == 0, statusd.readAllStandardError().right(3000).constData());
        QByteArray answer;
        QVERIFY(waitUntil(
            [&] {
                answer += waiting.readAll();
                return waiting.state() == QAbstractSocket::UnconnectedState;
            },
            2000));
        QCOMPARE(statusOf(answer + waiting.readAll()), 503);
        const QString history = state + QStringLiteral("/history.sqlite");
        struct stat file {};
        QVERIFY(::stat(QFile::encodeName(history).constData(), &file) == 0);
        QCOMPARE(file.st_uid, kServiceUser);
        QCOMPARE(file.st_mode & 0777, 0600u);
        QVERIFY2(samplesIn(history) > 0, "the samples of the round were not written at the stop");
    }

    // A state folder the service's user cannot write to, as after a restore made by root: the
    // pages are served, health says why it is not well, and the JSON log says so too.
    void unwritableHistoryIsUnhealthyAndSaysWhy() {
        QTemporaryDir dir;
        const QString state = stateFolderIn(dir, false);
        QProcess statusd;
        prepare(statusd, ns_,
                QStringList{QStringLiteral("/usr/sbin/utquery-statusd"), "127.0.0.1:8080",
                            "--history", "/var/lib/utquery-statusd/history.sqlite", "--log-format",
                            "json"} +
                    kNoMasters,
                state);
        QVERIFY(saysItServes(statusd));
        QByteArray health;
        QVERIFY(waitUntil(
            [&] {
                health = fetch(QHostAddress::LocalHost, 8080, "/healthz");
                return statusOf(health) == 503;
            },
            5000));
        QVERIFY2(body(health).startsWith("unhealthy: history: "), health.constData());
        QCOMPARE(statusOf(fetch(QHostAddress::LocalHost, 8080, ut99StartPath())), 200);
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
        QStringList messages;
        for (const QByteArray& line : statusd.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            QVERIFY2(object.contains(QStringLiteral("time")), line.constData());
            if (object.contains(QStringLiteral("status")))
                QVERIFY(object[QStringLiteral("target")].toString().startsWith(u'/'));
            messages << object[QStringLiteral("message")].toString();
        }
        QVERIFY2(messages.filter(QStringLiteral("history: ")).size() == 1,
                 qPrintable(messages.join('\n')));
    }

    // Ctrl-C, then Ctrl-C again: the second does not wait for the page under way.
    void aSecondSignalDoesNotWait() {
        QTemporaryDir dir;
        const QString state = stateFolderIn(dir, true);
        QProcess statusd;
        prepare(statusd, ns_,
                QStringList{QStringLiteral("/usr/sbin/utquery-statusd"), "127.0.0.1:8080",
                            "--allow", "10.9.9.0/24", "--page-seconds", "30"} +
                    kNoMasters,
                state);
        QVERIFY(saysItServes(statusd));
        QTcpSocket waiting;
        QVERIFY(askSilentServer(waiting));
        QTest::qWait(200);
        ::kill(static_cast<pid_t>(statusd.processId()), SIGINT);
        QVERIFY(
            waitUntil([&] { return statusd.readAllStandardOutput().contains("stopping"); }, 2000));
        ::kill(static_cast<pid_t>(statusd.processId()), SIGINT);
        // Well before the 3 s the first would give the page.
        QVERIFY(statusd.waitForFinished(2000));
        QVERIFY2(statusd.exitCode() == 0, statusd.readAllStandardError().right(3000).constData());
        QVERIFY(statusd.readAllStandardOutput().contains("again: stopping now"));
    }

private:
    // Asks for the status page of a server on the silent network; true once the request is out.
    static bool askSilentServer(QTcpSocket& waiting) {
        const utq::GameDescription& ut99 = utq::describe(utq::GameKind::UT99);
        waiting.connectToHost(QHostAddress::LocalHost, 8080);
        if (!waiting.waitForConnected(2000))
            return false;
        waiting.write("GET " +
                      utq::statusTarget(ut99.statusPage, ut99.statusPage.path,
                                        QStringLiteral("10.9.9.10"), QStringLiteral("7777"))
                          .toLatin1() +
                      " HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nConnection: close\r\n\r\n");
        return waitUntil([&] { return waiting.bytesToWrite() == 0; }, 2000);
    }
    // Starts it; true once it has said its first line.
    static bool saysItServes(QProcess& statusd) {
        statusd.start();
        return statusd.waitForStarted(5000) &&
               waitUntil([&] { return statusd.canReadLine(); }, 10000);
    }
    static QByteArray ut99StartPath() { return utq::describe(utq::GameKind::UT99).startPagePath; }
};

QTEST_GUILESS_MAIN(TestStatusdService)
#include "tst_statusd_service.moc"
