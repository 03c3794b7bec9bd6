// The bounds every game's status is held to when its query ends, whatever the reader let by.
#include "protocols/StatusBounds.h"

#include <QTest>

using namespace utq::protocols;

namespace {

QString joined(const TextRuns& runs) {
    QString text;
    for (const TextRun& run : runs)
        text += run.text;
    return text;
}

} // namespace

class TestStatusBounds : public QObject {
    Q_OBJECT
private slots:
    void everyPartIsBounded() {
        ServerStatus status;
        // Cut at 1,024 characters, not between the halves of the pair there.
        status.name = QString(1023, u'n') + QString::fromUtf8("\U0001F600") + QString(4000, u'n');
        for (int run = 0; run < 20; ++run)
            status.nameRuns.append({status.name.mid(run * 250, 250), Rgb{1, 2, quint8(run)}});
        for (int i = 0; i < 300; ++i) {
            status.playerList.append({QString(100, u'p'), 1, 2, "red"});
            for (int run = 0; run < 10; ++run)
                status.playerList.last().nameRuns.append({QString(10, u'p'), Rgb{}});
            status.spectators.append({QString(100, u's'), {}, {}, {}});
            status.rules.append({"Rule" + QString::number(i), QString(2000, u'v')});
            status.teams.append({"Team" + QString::number(i), i});
        }
        const ServerStatus bounded = bounds::bounded(status);
        QCOMPARE(bounded.name, QString(1023, u'n'));
        QCOMPARE(bounded.nameRuns.size(), 5); // of 250 characters, the last cut
        QCOMPARE(joined(bounded.nameRuns), bounded.name);
        QCOMPARE(bounded.playerList.size(), 256);
        // 1,024 runs in all: the server's 5, then 101 players' 10; the names after are plain.
        QCOMPARE(bounded.playerList[100].nameRuns.size(), 10);
        QVERIFY(bounded.playerList[101].nameRuns.isEmpty());
        QCOMPARE(bounded.playerList[101].name, QString(100, u'p'));
        QCOMPARE(bounded.spectators.size(), 256);
        QCOMPARE(bounded.teams.size(), 16);
        // The rules come last, and get what the texts before them left.
        QVERIFY(!bounded.rules.isEmpty() && bounded.rules.size() < 20);
        qsizetype total = 2 * bounded.name.size();
        for (const PlayerStatus& player : bounded.playerList + bounded.spectators)
            total += player.name.size() * (player.nameRuns.isEmpty() ? 1 : 2) + player.team.size();
        for (const TeamScore& team : bounded.teams)
            total += team.team.size();
        for (const auto& [key, value] : bounded.rules) {
            QVERIFY(value.size() <= bounds::kMaxText);
            total += key.size() + value.size();
        }
        QVERIFY2(total <= bounds::kMaxTotalText, qPrintable(QString::number(total)));
        QVERIFY(bounds::estimatedBytes(bounded) < bounds::estimatedBytes(status) / 5);
    }
};

QTEST_APPLESS_MAIN(TestStatusBounds)
#include "tst_status_bounds.moc"
