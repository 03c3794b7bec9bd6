// The UT99 masters' lists: the validate, the list read in pieces, and masters on loopback that
// answer well, slowly, without end, with garbage, too much, or not at all.
#include "EventLoopWait.h"
#include "FakeMaster.h"

#include "protocols/GameSpyValidate.h"
#include "protocols/MasterListReader.h"
#include "protocols/MasterQuery.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>

using namespace utq::protocols;
using Kind = MasterOutcome::Kind;
using State = MasterListReader::State;

namespace {

QByteArray listOf(const QList<QByteArray>& entries) {
    QByteArray list;
    for (const QByteArray& entry : entries)
        list += "\\ip\\" + entry;
    return list + "\\final\\";
}

// `count` entries of distinct addresses from 198.18.0.0 (`port` 0: distinct ports of one).
QList<QByteArray> manyEntries(int count, const QByteArray& address = {}) {
    QList<QByteArray> entries;
    for (int i = 0; i < count; ++i)
        entries.append(address.isEmpty()
                           ? QHostAddress(0xC6120000u + i).toString().toLatin1() + ":7778"
                           : address + ':' + QByteArray::number(i + 1));
    return entries;
}

ListedServer server(const char* address, quint16 port) {
    return {QHostAddress(QString::fromLatin1(address)), port};
}

// Runs one master's exchange to its end (a test that hangs fails at 8 s instead).
MasterOutcome ask(const FakeMaster& master, int deadlineMs = 3000) {
    MasterQuery query(FakeMaster::address(), master.port(), deadlineMs);
    query.start();
    waitUntil([&] { return query.isFinished(); }, 8000);
    if (!query.isFinished())
        return {static_cast<Kind>(-1), {}, {}, false, 0, 0}; // shows as -1 where it fails
    return query.outcome();
}

} // namespace

class TestMasterList : public QObject {
    Q_OBJECT
private slots:
    void theValidate() {
        QCOMPARE(gameSpyValidate("wookie", "Z5Nfb0"), QByteArray("2/TYFMRc"));
        QCOMPARE(gameSpyValidate("wookie"), QByteArray("2/TYFMRc"));
        QVERIFY(gameSpyValidate("wookie", "").isEmpty());
    }

    void aListSplitAnywhereReadsTheSame() {
        const QByteArray list = listOf({"192.0.2.1:7778", "192.0.2.2:7778", "198.51.100.7:8889"});
        const QList<ListedServer> expected{server("192.0.2.1", 7778), server("192.0.2.2", 7778),
                                           server("198.51.100.7", 8889)};
        QRandomGenerator random(7);
        for (int round = 0; round < 200; ++round) {
            MasterListReader reader;
            for (qsizetype at = 0; at < list.size();) {
                const qsizetype step = round < 60 ? round % 30 + 1 : random.bounded(1, 12);
                reader.feed(QByteArrayView(list).sliced(at, qMin(step, list.size() - at)));
                at += step;
            }
            QCOMPARE(reader.state(), State::Complete);
            QCOMPARE(reader.servers(), expected);
        }
    }

    void onlyWellFormedEntriesAreKeptOnce() {
        MasterListReader reader;
        reader.feed(listOf({"1.2.3.4:0",        "1.2.3.4:65536",       "256.1.1.1:7778",
                            "1.2.3:7778",       "1.2.3.4.5:7778",      "01.2.3.4:7778",
                            " 1.2.3.4:7778",    "1.2.3.4:7778x",       "1.2.3.4",
                            "1.2.3.4:",         "1.2.3.4:+80",         "1.2.3.4:07778",
                            "[::1]:7778",       "host.example:7778",   "",
                            "1.2.3.\xff:7778",  QByteArray(5000, '1'), "255.255.255.255:65535",
                            "203.0.113.5:7778", "203.0.113.5:7778",    "0.0.0.0:1",
                            "203.0.113.5:7778"}));
        QCOMPARE(reader.state(), State::Complete);
        QCOMPARE(reader.servers(),
                 QList<ListedServer>({server("255.255.255.255", 65535), server("203.0.113.5", 7778),
                                      server("0.0.0.0", 1)}));
        QCOMPARE(reader.leftOut().malformed, 17);
        QCOMPARE(reader.leftOut().duplicates, 2);
    }

    void aRefusalOrOtherWordsAreNoList() {
        MasterListReader echo;
        QCOMPARE(echo.feed("\\echo\\validation failed\\final\\"), State::Refused);
        MasterListReader page;
        QCOMPARE(page.feed("HTTP/1.0 400 Bad Request\r\n\r\n"), State::NotAList);
        MasterListReader cut;
        QCOMPARE(cut.feed("\\ip\\192.0.2.1:7778\\hostname\\x\\ip\\192.0.2.2:7778\\final\\"),
                 State::NotAList);
        QCOMPARE(cut.servers(), QList<ListedServer>({server("192.0.2.1", 7778)}));
    }

    void aListExactlyAtTheBoundsIsWhole() {
        MasterListReader reader;
        QCOMPARE(reader.feed(listOf(manyEntries(MasterListReader::kMostEntries))), State::Complete);
        QCOMPARE(reader.servers().size(), MasterListReader::kMostEntries);
        // Whole at kMostBytes, cut one byte later (the filler is one malformed entry).
        for (const qsizetype extra : {0, 1}) {
            const QByteArray entry = "\\ip\\192.0.2.1:7778";
            const qsizetype count = (MasterListReader::kMostBytes - 7) / entry.size() - 1;
            const qsizetype filler = MasterListReader::kMostBytes - 7 - count * entry.size() - 4;
            MasterListReader full;
            full.feed(entry.repeated(count) + "\\ip\\" + QByteArray(filler + extra, '1') +
                      "\\final\\");
            QCOMPARE(full.state(), extra == 0 ? State::Complete : State::TooLarge);
            QCOMPARE(full.bytesRead(), MasterListReader::kMostBytes);
            QCOMPARE(full.servers().size(), 1);
        }
    }

    void aGoodMaster() {
        QFETCH(bool, finalAfterChallenge);
        FakeMaster master(listOf({"192.0.2.1:7778", "192.0.2.2:7778"}));
        master.finalAfterChallenge = finalAfterChallenge;
        const MasterOutcome outcome = ask(master);
        QCOMPARE(outcome.kind, Kind::Listed);
        QCOMPARE(outcome.servers,
                 QList<ListedServer>({server("192.0.2.1", 7778), server("192.0.2.2", 7778)}));
        QVERIFY(outcome.ended);
        QCOMPARE(outcome.text(), QStringLiteral("listed 2"));
        QCOMPARE(master.refusals, 0);
        const QByteArray sent = master.received.value(0);
        QVERIFY2(sent.startsWith("\\gamename\\ut\\location\\0\\validate\\") &&
                     sent.endsWith("\\final\\\\list\\\\gamename\\ut\\final\\"),
                 sent.constData());
    }
    void aGoodMaster_data() {
        QTest::addColumn<bool>("finalAfterChallenge");
        QTest::newRow("challenge then final") << true;
        QTest::newRow("challenge alone") << false;
    }
    void anEndlessListStopsAtTheByteBound() {
        FakeMaster master("\\ip\\192.0.2.1:7778");
        master.endless = true;
        const MasterOutcome outcome = ask(master);
        QCOMPARE(outcome.kind, Kind::TooLarge);
        QCOMPARE(outcome.bytes, MasterListReader::kMostBytes);
        QCOMPARE(outcome.servers, QList<ListedServer>({server("192.0.2.1", 7778)}));
        QVERIFY(outcome.leftOut.duplicates > 200000);
        QVERIFY(!outcome.ended);
    }

    void aListDrippedSlowerThanTheDeadline() {
        FakeMaster master(listOf({"192.0.2.1:7778", "192.0.2.2:7778", "192.0.2.3:7778"}));
        master.dripMs = 15;
        const MasterOutcome outcome = ask(master, 500);
        QCOMPARE(outcome.kind, Kind::TooSlow);
        QVERIFY(outcome.servers.size() < 3);
        QVERIFY(outcome.text().startsWith(QStringLiteral("too slow")));
    }

    void garbageInsteadOfAList() {
        QByteArray garbage = "HTTP/1.1 200 OK\r\n\r\n";
        QRandomGenerator random(3);
        for (int i = 0; i < 4096; ++i)
            garbage.append(char(random.bounded(256)));
        FakeMaster master(garbage);
        const MasterOutcome outcome = ask(master);
        QCOMPARE(outcome.kind, Kind::Garbage);
        QVERIFY(outcome.servers.isEmpty());
    }

    void aHundredThousandEntries() {
        FakeMaster master(listOf(manyEntries(100000)));
        const MasterOutcome outcome = ask(master);
        QCOMPARE(outcome.kind, Kind::TooLarge);
        QCOMPARE(outcome.servers.size(), MasterListReader::kMostEntries);
        QCOMPARE(outcome.servers.first(), server("198.18.0.0", 7778));
        QCOMPARE(outcome.text(), QStringLiteral("too large, kept 20,000"));
    }

    void tenThousandPortsOfOneAddress() {
        FakeMaster master(listOf(manyEntries(10000, "192.0.2.66") + manyEntries(2)));
        const MasterOutcome outcome = ask(master);
        QCOMPARE(outcome.kind, Kind::Listed);
        QCOMPARE(outcome.servers.size(), MasterListReader::kMostPortsPerAddress + 2);
        QCOMPARE(outcome.servers.last(), server("198.18.0.1", 7778));
        QCOMPARE(outcome.leftOut.overPortCap, 10000 - MasterListReader::kMostPortsPerAddress);
    }

    void aClosedPort() {
        QTcpServer closed;
        QVERIFY(closed.listen(FakeMaster::address()));
        const quint16 port = closed.serverPort();
        closed.close();
        MasterQuery query(FakeMaster::address(), port, 3000);
        query.start();
        QVERIFY(!query.isFinished()); // never from within start()
        QVERIFY(waitUntil([&] { return query.isFinished(); }, 5000));
        QCOMPARE(query.outcome().kind, Kind::Refused);
        QCOMPARE(query.outcome().text(), QStringLiteral("refused the connection"));
    }

    void aWrongChallengeForm() {
        QFETCH(QByteArray, challenge);
        FakeMaster master(listOf({"192.0.2.1:7778"}));
        master.otherChallenge = challenge;
        const MasterOutcome outcome = ask(master, 500);
        QCOMPARE(outcome.kind, Kind::WrongChallenge);
        QCOMPARE(master.received.value(0), QByteArray()); // nothing was sent to it
    }
    void aWrongChallengeForm_data() {
        QTest::addColumn<QByteArray>("challenge");
        QTest::newRow("other key") << QByteArray("\\status\\\\secure\\ABCDEF\\final\\");
        QTest::newRow("short") << QByteArray("\\basic\\\\secure\\ABC\\final\\");
        QTest::newRow("long") << QByteArray("\\basic\\\\secure\\ABCDEFGH\\final\\");
        QTest::newRow("backslash inside") << QByteArray("\\basic\\\\secure\\AB\\DEF");
        QTest::newRow("text") << QByteArray("220 welcome\r\n");
        QTest::newRow("then closed") << QByteArray("\\basic\\");
    }

    void aRefusedValidate() {
        QFETCH(FakeMaster::Refusal, refusal);
        FakeMaster master(listOf({"192.0.2.1:7778"}));
        master.gameKey = "Xx5Nb0";
        master.refusal = refusal;
        const MasterOutcome outcome = ask(master);
        QCOMPARE(master.refusals, 1);
        QCOMPARE(outcome.kind, Kind::ValidateRefused);
        QCOMPARE(outcome.text(), QStringLiteral("refused the validate"));
    }
    void aRefusedValidate_data() {
        QTest::addColumn<FakeMaster::Refusal>("refusal");
        QTest::newRow("echo") << FakeMaster::Refusal::Echo;
        QTest::newRow("closed") << FakeMaster::Refusal::Close;
    }

    // A list that is asked no more (its service going) ends its exchange mid-list.
    void anExchangeEndedEarlyStops() {
        FakeMaster dripping(listOf(manyEntries(50)));
        dripping.dripMs = 5;
        auto query = std::make_unique<MasterQuery>(FakeMaster::address(), dripping.port());
        query->start();
        QVERIFY(waitUntil([&] { return dripping.listsStarted == 1; }, 2000));
        query.reset();
        keepRunningFor(100);
        QVERIFY(dripping.bytesSent < listOf(manyEntries(50)).size()); // it stopped with them
    }
};

QTEST_GUILESS_MAIN(TestMasterList)
#include "tst_master_list.moc"
