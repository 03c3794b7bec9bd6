#include "EventLoopWait.h"
#include "NetworkNamespace.h"
#include "PostgresCluster.h"
#include "history/History.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

#include <optional>

using namespace utq::history;

// Passes a client's connections through to a server on loopback. Armed, it lets the next COMMIT
// through and waits for the server's answer, then cuts both ends instead of passing it on:
// the transaction is committed and the client cannot know.
class CommitCutter : public QObject {
public:
    CommitCutter(quint16 serverPort) : serverPort_(serverPort) {
        listener_.listen(QHostAddress::LocalHost);
        connect(&listener_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = listener_.nextPendingConnection())
                pass(client);
        });
    }
    quint16 port() const { return listener_.serverPort(); }
    bool armed = false;
    bool cut = false;

private:
    void pass(QTcpSocket* client) {
        auto* server = new QTcpSocket(client);
        server->connectToHost(QHostAddress::LocalHost, serverPort_);
        auto committing = std::make_shared<bool>(false);
        connect(client, &QTcpSocket::readyRead, server, [=, this] {
            const QByteArray bytes = client->readAll();
            *committing = *committing || (armed && bytes.contains(QByteArray("COMMIT", 7)));
            server->write(bytes);
        });
        connect(server, &QTcpSocket::readyRead, client, [=, this] {
            const QByteArray bytes = server->readAll();
            if (!*committing)
                return void(client->write(bytes));
            armed = false;
            cut = true;
            server->abort();
            client->abort();
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
    }

    QTcpServer listener_;
    quint16 serverPort_;
};

// The history on a real PostgreSQL server that goes away and comes back.
class TestHistoryPostgres : public QObject {
    Q_OBJECT

    PostgresCluster cluster_;
    const QString password_ = QStringLiteral("never-shown-7f3a");
    const ServerKey server_{QStringLiteral("ut99"), QStringLiteral("game.example"), 7777};
    static constexpr qint64 kNowMs = 1'800'000'000'000; // 2027-01-15

    QList<Sample> samples(int first, int count) const {
        QList<Sample> made;
        for (int i = first; i < first + count; ++i) {
            Sample sample{server_, kNowMs - 86'400'000 + i * 1000LL, QStringLiteral("up"), i % 16,
                          16,      QStringLiteral("DM-Deck16][")};
            sample.roundTripMs = 20;
            made.append(sample);
        }
        return made;
    }

    // The flush's answer, once it came.
    static std::optional<bool> flushed(History& history, int timeoutMs = 30000) {
        std::optional<bool> written;
        QObject context;
        history.flush(&context, [&](bool ok) { written = ok; });
        waitUntil([&] { return written.has_value(); }, timeoutMs);
        return written;
    }

    // Every sample time the database holds, as the history reads it back.
    static QList<qint64> storedTimes(History& history, const ServerKey& server) {
        std::optional<QList<qint64>> times;
        QObject context;
        history.read(server, kNowMs - 2 * 86'400'000, kNowMs + 1, true, &context,
                     [&](const Series& series) {
                         times.emplace();
                         for (const Sample& sample : series.samples)
                             times->append(sample.timeMs);
                     });
        waitUntil([&] { return times.has_value(); }, 30000);
        return times.value_or(QList<qint64>{});
    }

private slots:
    void initTestCase() { QVERIFY2(cluster_.start(), qPrintable(cluster_.error())); }

    // An address the store cannot use is named in its problem without its password.
    void aTargetThatCannotBeUsedKeepsItsPassword() {
        const QStringList targets{"postgresql://utquery:%1@127.0.0.1:5432",
                                  "postgresql://utquery:%1@127.0.0.1:port/history",
                                  "postgres://utquery:%1@[::1/history"};
        for (const QString& target : targets) {
            HistoryStore store({target.arg(password_)}, QStringLiteral("unusable"));
            QCOMPARE(store.open(), HistoryStore::Mode::Closed);
            QVERIFY2(!store.problem().isEmpty() && !store.problem().contains(password_),
                     qPrintable(store.problem()));
        }
    }

    // Killed mid-flush, with samples waiting: what was committed stays, the problem names the
    // server but not the password, and everything waiting is written once it is back.
    void losesNothingWhileTheServerIsAway() {
        HistorySettings settings;
        settings.target = {cluster_.url(password_)};
        settings.flushMs = 200;
        settings.nowMs = [] {
            return kNowMs;
        };
        History history(settings);
        UTQ_TRY_COMPARE(history.mode(), HistoryStore::Mode::Writing, 20000);

        QList<Sample> all = samples(0, 3);
        for (const Sample& sample : all)
            history.record(sample);
        QCOMPARE(flushed(history), std::optional<bool>(true));

        // A flush big enough to be under way when the server dies.
        const QList<Sample> big = samples(3, 5000);
        for (const Sample& sample : big)
            history.record(sample);
        all += big;
        std::optional<bool> bigWritten;
        QObject context;
        history.flush(&context, [&](bool ok) { bigWritten = ok; });
        cluster_.kill();
        UTQ_TRY_VERIFY(bigWritten.has_value(), 30000);
        qInfo("the flush under way when the server died: %s",
              *bigWritten ? "written" : "not written");

        const QList<Sample> meanwhile = samples(5003, 3);
        for (const Sample& sample : meanwhile)
            history.record(sample);
        all += meanwhile;
        QCOMPARE(flushed(history), std::optional<bool>(false));
        const QString where = QStringLiteral("127.0.0.1:%1").arg(cluster_.port());
        QVERIFY2(history.problem().contains(where), qPrintable(history.problem()));
        QVERIFY2(!history.problem().contains(password_), qPrintable(history.problem()));
        QVERIFY2(history.problem().contains(QStringLiteral("unreachable")),
                 qPrintable(history.problem()));

        QVERIFY2(cluster_.restart(), qPrintable(cluster_.error()));
        // The history's own timer writes what waits.
        UTQ_TRY_VERIFY(history.problem().isEmpty(), 20000);
        QList<qint64> expected;
        for (const Sample& sample : all)
            expected.append(sample.timeMs);
        UTQ_TRY_COMPARE(storedTimes(history, server_), expected, 20000);
    }

    // The connection breaks after the server committed a flush but before it said so: written
    // again, the samples would count twice.
    void aCommitThatWasNotConfirmedIsNotWrittenTwice() {
        CommitCutter cutter(cluster_.port());
        const ServerKey server{QStringLiteral("ut2004"), QStringLiteral("cut.example"), 7778};
        HistorySettings settings;
        settings.target = {
            QStringLiteral("postgresql://utquery@127.0.0.1:%1/history").arg(cutter.port())};
        settings.flushMs = 3600000;
        settings.nowMs = [] {
            return kNowMs;
        };
        History history(settings);
        UTQ_TRY_COMPARE(history.mode(), HistoryStore::Mode::Writing, 20000);
        QList<Sample> batch = samples(0, 3);
        for (Sample& sample : batch) {
            sample.server = server;
            history.record(sample);
        }
        cutter.armed = true;
        QCOMPARE(flushed(history), std::optional<bool>(false));
        QVERIFY(cutter.cut);
        Sample later = samples(3, 1).first();
        later.server = server;
        history.record(later);
        QCOMPARE(flushed(history), std::optional<bool>(true));
        QCOMPARE(storedTimes(history, server).size(), 4);
    }

    // The network to the server fails silently: nothing comes back, not even a refusal. A
    // flush gives up within seconds, not after TCP's quarter of an hour, and the history can
    // be closed meanwhile; once packets pass again, what waits is written.
    void aSilentNetworkIsGivenUp() {
        // The history in one namespace, the server in another, a cable between them.
        NetworkNamespace client;
        NetworkNamespace server;
        QVERIFY2(client.isReady() && server.isReady(),
                 qPrintable(client.whyNot() + server.whyNot()));
        QVERIFY(client.exec({"ip", "link", "add", "utqa", "type", "veth", "peer", "name", "utqb",
                             "netns", server.name()}));
        QVERIFY(client.exec({"ip", "addr", "add", "10.77.0.1/24", "dev", "utqa"}));
        QVERIFY(client.exec({"ip", "link", "set", "utqa", "up"}));
        QVERIFY(server.exec({"ip", "addr", "add", "10.77.0.2/24", "dev", "utqb"}));
        QVERIFY(server.exec({"ip", "link", "set", "utqb", "up"}));
        PostgresCluster cluster(QStringLiteral("10.77.0.2"));
        {
            NetworkNamespace::Inside inside(server);
            QVERIFY(inside.entered());
            QVERIFY2(cluster.start(), qPrintable(cluster.error()));
        }
        HistorySettings settings;
        settings.target = {cluster.url()};
        settings.flushMs = 3600000;
        settings.nowMs = [] {
            return kNowMs;
        };
        std::unique_ptr<History> history;
        {
            NetworkNamespace::Inside inside(client); // its thread stays there
            QVERIFY(inside.entered());
            history = std::make_unique<History>(settings);
        }
        UTQ_TRY_COMPARE(history->mode(), HistoryStore::Mode::Writing, 20000);
        history->record(samples(0, 1).first());
        QCOMPARE(flushed(*history), std::optional<bool>(true));

        // The server's end of the cable is pulled: what is sent is lost on the way.
        QVERIFY(server.exec({"ip", "link", "set", "utqb", "down"}));
        auto heal = qScopeGuard([&] { server.exec({"ip", "link", "set", "utqb", "up"}); });
        history->record(samples(1, 1).first());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(flushed(*history, 90000), std::optional<bool>(false));
        qInfo("a flush gave up on the silent server after %lld ms: %s", clock.elapsed(),
              qPrintable(history->problem()));
        QVERIFY2(history->problem().contains(QStringLiteral("unreachable")),
                 qPrintable(history->problem()));

        heal.dismiss();
        QVERIFY(server.exec({"ip", "link", "set", "utqb", "up"}));
        UTQ_TRY_COMPARE(flushed(*history), std::optional<bool>(true), 30000);
        QCOMPARE(storedTimes(*history, server_).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestHistoryPostgres)
#include "tst_history_postgres.moc"
