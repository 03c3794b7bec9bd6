// utquery-statusd keeping the watched servers' history in a real SQLite file: killed without
// warning again and again while it writes, it loses nothing it committed and goes on where it
// was; a file that is not a history is left as it is while live status is served. And the
// same pages and API from a real PostgreSQL server that the test starts.
#include "EventLoopWait.h"
#include "FakeGameServer.h"
#include "FakeServers.h"
#include "NetworkNamespace.h"
#include "PostgresCluster.h"
#include "StatusdChild.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QByteArray body(const QByteArray& answer) { return answer.mid(answer.indexOf("\r\n\r\n") + 4); }

QStringList statusdCommand(quint16 port, const QString& history, quint16 watched) {
    return QStringList{
               QStringLiteral(UTQ_STATUSD),        QStringLiteral("127.0.0.1:%1").arg(port),
               QStringLiteral("--allow"),          QStringLiteral("127.0.0.1/32"),
               QStringLiteral("--history"),        history,
               QStringLiteral("--watch"),          QStringLiteral("ut99:127.0.0.1:%1").arg(watched),
               QStringLiteral("--sample-seconds"), QStringLiteral("1")} +
           kNoMasters;
}

// What the file holds, read by a connection of the test's own: the watched server's samples
// (the only one that answers), and whether SQLite finds it sound. -1 when it cannot be read.
qint64 samplesIn(const QString& path, bool* sound = nullptr) {
    qint64 count = -1;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT count(*) FROM samples WHERE state = 'up'")) &&
                query.next())
                count = query.value(0).toLongLong();
            if (sound)
                *sound = query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next() &&
                         query.value(0).toString() == QLatin1String("ok");
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return count;
}

QByteArray hashOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

} // namespace

class TestStatusdHistory : public QObject {
    Q_OBJECT
    // The service watches the build's clan servers too, whose names it looks up: everything
    // here runs in a network namespace of its own, where no look-up leaves the machine.
    NetworkNamespace ns_;
    std::unique_ptr<NetworkNamespace::Inside> inside_;

private slots:
    void initTestCase() {
        QVERIFY2(ns_.isReady(), qPrintable(ns_.whyNot()));
        inside_ = std::make_unique<NetworkNamespace::Inside>(ns_);
        QVERIFY(inside_->entered());
    }

    void killedWhileWritingLosesNothingCommitted() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        FakeGameServer server(fakeservers::ut99("Watched"));
        const quint16 port = freeTcpPort();
        qint64 before = 0;
        // Killed at a different moment of its one-second rounds each time.
        for (int run = 0; run < 4; ++run) {
            QProcess statusd;
            QVERIFY(startServing(statusd, statusdCommand(port, path, server.port())));
            QVERIFY2(
                waitUntil([&] { return samplesIn(path) > before + 2; }, 15000),
                qPrintable(QStringLiteral("run %1: no new samples after %2").arg(run).arg(before)));
            QTest::qWait(100 + 237 * run);
            statusd.kill();
            statusd.waitForFinished(5000);
            bool sound = false;
            const qint64 after = samplesIn(path, &sound);
            QVERIFY2(sound, "the file is damaged");
            QVERIFY2(after > before,
                     qPrintable(QStringLiteral("%1 then %2").arg(before).arg(after)));
            before = after;
        }
        // What earlier runs kept is served by the next.
        QProcess statusd;
        QVERIFY(startServing(statusd, statusdCommand(port, path, server.port())));
        const QJsonObject history =
            QJsonDocument::fromJson(
                body(fetch(QHostAddress::LocalHost, port,
                           "/api/v1/history?game=ut99&host=127.0.0.1&port=" +
                               QByteArray::number(server.port()) + "&range=24h")))
                .object();
        QVERIFY2(history[QStringLiteral("points")].toArray().size() >= before,
                 qPrintable(QJsonDocument(history).toJson()));
        QCOMPARE(history[QStringLiteral("summary")][QStringLiteral("playersPeak")].toInt(), 2);
        statusd.kill();
        statusd.waitForFinished(5000);
    }

    // Two services on one file: the second reads what the first writes, asks no server
    // itself, and takes the writing over once the first is gone.
    void aSecondCopyReadsThenTakesOver() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        FakeGameServer server(fakeservers::ut99("Shared"));
        const quint16 firstPort = freeTcpPort();
        QProcess first;
        const QStringList eachRoundAsks = {QStringLiteral("--reuse-ms"), QStringLiteral("0")};
        QVERIFY(
            startServing(first, statusdCommand(firstPort, path, server.port()) + eachRoundAsks));
        QVERIFY(waitUntil([&] { return samplesIn(path) > 0; }, 10000));
        const quint16 secondPort = freeTcpPort();
        QProcess second;
        QVERIFY(
            startServing(second, statusdCommand(secondPort, path, server.port()) + eachRoundAsks));
        const QByteArray target =
            "/api/v1/history?game=ut99&host=127.0.0.1&port=" + QByteArray::number(server.port());
        QJsonObject read;
        QVERIFY(waitUntil(
            [&] {
                read = QJsonDocument::fromJson(
                           body(fetch(QHostAddress::LocalHost, secondPort, target)))
                           .object();
                return read[QStringLiteral("points")].toArray().size() >= 3;
            },
            10000));
        QVERIFY2(read[QStringLiteral("problem")].toString().contains("another program"),
                 qPrintable(read[QStringLiteral("problem")].toString()));
        // One asking a round, the first copy's: 4 s of rounds bring about 4 requests, not 8.
        const qsizetype asked = server.requests.size();
        keepRunningFor(4000);
        QVERIFY2(server.requests.size() - asked <= 6,
                 qPrintable(QString::number(server.requests.size() - asked)));
        first.kill();
        first.waitForFinished(5000);
        const qint64 left = samplesIn(path);
        QVERIFY(waitUntil([&] { return samplesIn(path) > left + 2; }, 15000));
        second.kill();
        second.waitForFinished(5000);
    }

    void servedTheSameFromPostgres() {
        PostgresCluster cluster;
        QVERIFY2(cluster.start(), qPrintable(cluster.error()));
        FakeGameServer server(fakeservers::ut99("Kept in PostgreSQL"));
        const quint16 port = freeTcpPort();
        QProcess statusd;
        QVERIFY(startServing(
            statusd, statusdCommand(port, cluster.url(QStringLiteral("pw")), server.port())));
        const QByteArray target =
            "?game=ut99&host=127.0.0.1&port=" + QByteArray::number(server.port());
        QJsonObject history;
        QVERIFY(waitUntil(
            [&] {
                history = QJsonDocument::fromJson(body(fetch(QHostAddress::LocalHost, port,
                                                             "/api/v1/history" + target)))
                              .object();
                return history[QStringLiteral("points")].toArray().size() >= 2;
            },
            15000));
        QCOMPARE(
            history[QStringLiteral("summary")][QStringLiteral("maps")][0][QStringLiteral("map")]
                .toString(),
            QStringLiteral("DM-Morpheus"));
        const QByteArray page =
            fetch(QHostAddress::LocalHost, port, "/history" + target + "&range=7d");
        QCOMPARE(statusOf(page), 200);
        QVERIFY(page.contains("<svg") && page.contains("DM-Morpheus") && !page.contains("pw@"));
        statusd.kill();
        statusd.waitForFinished(5000);
    }

    void fileThatIsNoHistoryIsLeftAloneAndLiveStatusServed() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        file.write(noise);
        file.close();
        const QByteArray hash = hashOf(path);
        FakeGameServer server(fakeservers::ut99("Live"));
        const quint16 port = freeTcpPort();
        QProcess statusd;
        statusd.setProcessChannelMode(QProcess::MergedChannels);
        QVERIFY(startServing(statusd, statusdCommand(port, path, server.port())));
        const QByteArray target =
            "?game=ut99&host=127.0.0.1&port=" + QByteArray::number(server.port());
        const QByteArray live = fetch(QHostAddress::LocalHost, port, "/api/v1/status" + target);
        QVERIFY2(body(live).contains("\"state\":\"up\""), live.constData());
        const QByteArray page = fetch(QHostAddress::LocalHost, port, "/history" + target);
        QCOMPARE(statusOf(page), 200);
        QVERIFY2(page.contains("not a history"), page.constData());
        QByteArray said;
        QVERIFY(waitUntil(
            [&] {
                said += statusd.readAll();
                return said.contains("history: ");
            },
            10000));
        QVERIFY2(said.contains("not a history"), said.constData());
        statusd.kill();
        statusd.waitForFinished(5000);
        QCOMPARE(hashOf(path), hash);
    }
};

QTEST_GUILESS_MAIN(TestStatusdHistory)
#include "tst_statusd_history.moc"
