#include "PostgresCluster.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>

// The test's own PostgreSQL server, through the driver the history uses.
class TestPostgresCluster : public QObject {
    Q_OBJECT

    PostgresCluster cluster_;

    // A new connection to the cluster's database, by its URL.
    QSqlDatabase connect(const QString& name) {
        const QUrl url(cluster_.url());
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(url.host());
        db.setPort(url.port());
        db.setUserName(url.userName());
        db.setDatabaseName(url.path().mid(1));
        db.open();
        return db;
    }

    QStringList names(const QString& connection) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        QStringList found;
        if (query.exec(QStringLiteral("SELECT name FROM players ORDER BY name")))
            while (query.next())
                found << query.value(0).toString();
        return found;
    }

private slots:
    void initTestCase() {
        QVERIFY2(cluster_.start(), qPrintable(cluster_.error()));
        qInfo("the cluster made and started in %lld ms", cluster_.startMs());
        QVERIFY(cluster_.url().startsWith(QStringLiteral("postgresql://utquery@127.0.0.1:")));
    }

    void takesQueriesThroughQpsql() {
        {
            QSqlDatabase db = connect(QStringLiteral("first"));
            QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("CREATE TABLE players (name TEXT PRIMARY KEY)")));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO players VALUES ('Ada'), ('Bob')")));
            QCOMPARE(names(db.connectionName()), (QStringList{"Ada", "Bob"}));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("first"));
    }

    // Committed rows outlive a stop and a kill; meanwhile nothing answers on the port.
    void keepsWhatWasCommittedAcrossStopAndKill() {
        const quint16 port = cluster_.port();
        QVERIFY2(cluster_.stop(), qPrintable(cluster_.error()));
        QVERIFY(!connect(QStringLiteral("stopped")).isOpen());
        QSqlDatabase::removeDatabase(QStringLiteral("stopped"));
        QVERIFY2(cluster_.restart(), qPrintable(cluster_.error()));
        QCOMPARE(cluster_.port(), port);
        {
            QSqlDatabase db = connect(QStringLiteral("second"));
            QCOMPARE(names(db.connectionName()), (QStringList{"Ada", "Bob"}));
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("INSERT INTO players VALUES ('Cy')")));
            cluster_.kill();
            QVERIFY(!cluster_.isRunning());
            QVERIFY(!QSqlQuery(db).exec(QStringLiteral("SELECT 1")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("second"));
        QVERIFY(!connect(QStringLiteral("killed")).isOpen());
        QSqlDatabase::removeDatabase(QStringLiteral("killed"));
        QVERIFY2(cluster_.restart(), qPrintable(cluster_.error()));
        qInfo("restarted after a kill in %lld ms", cluster_.startMs());
        {
            QSqlDatabase db = connect(QStringLiteral("third"));
            QCOMPARE(names(db.connectionName()), (QStringList{"Ada", "Bob", "Cy"}));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("third"));
    }
};

QTEST_GUILESS_MAIN(TestPostgresCluster)
#include "tst_postgres_cluster.moc"
