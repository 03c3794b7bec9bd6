// Reading UT2004's binary replies: info, rules and players, wide and coloured names, and
// datagrams that are cut short or lie about their lengths.
#include "Ut2004Replies.h"

#include "protocols/Ut2004Protocol.h"

#include <QTest>

using namespace utq::protocols;
using namespace utq::protocols::ut2004;

using namespace ut2004replies;

class TestUt2004Protocol : public QObject {
    Q_OBJECT
private slots:
    void requestsNameTheirType() {
        QCOMPARE(request(ReplyType::Info), QByteArray("\x79\x00\x00\x00\x00", 5));
        QCOMPARE(request(ReplyType::Players), QByteArray("\x79\x00\x00\x00\x02", 5));
    }

    void theInfoReply() {
        Info info;
        QVERIFY(parseInfo(infoReply(str("FakeServer")), info));
        QCOMPARE(info.name, "FakeServer");
        QVERIFY(info.nameRuns.isEmpty()); // no colour codes, no runs
        QCOMPARE(info.map, "DM-Rankin");
        QCOMPARE(info.gameType, "xDeathMatch");
        QCOMPARE(info.players, 2);
        QCOMPARE(info.maxPlayers, 16);
        QCOMPARE(info.gamePort, 7777);
    }

    void wideAndColouredNames() {
        Info info;
        QVERIFY(parseInfo(infoReply(wide(QString::fromUtf8("Caf\u00e9 \u65e5\u672c"))), info));
        QCOMPARE(info.name, QString::fromUtf8("Caf\u00e9 \u65e5\u672c"));
        // The 0x01 after a wide length of 64 units is the length's second byte.
        const QByteArray sixtyFour = wide(QString(63, u'W'));
        QVERIFY(sixtyFour.startsWith("\xc0\x01"));
        QVERIFY(parseInfo(infoReply(sixtyFour), info));
        QCOMPARE(info.name, QString(63, u'W'));
        QCOMPARE(info.map, "DM-Rankin");

        QVERIFY(parseInfo(infoReply(str("\x1b\xf8\x40\x40Old \x1b\x40\x40\xf8"
                                        "Dudes")),
                          info));
        const TextRuns& runs = info.nameRuns;
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[0].colour, (Rgb{0xf8, 0x40, 0x40}));
        QCOMPARE(runs[0].text, "Old ");
        QCOMPARE(runs[1].colour, (Rgb{0x40, 0x40, 0xf8}));
        QCOMPARE(runs[1].text, "Dudes");
        QCOMPARE(info.name, "Old Dudes");
        // Only the codes are taken out: other control characters are the page's to drop.
        QVERIFY(parseInfo(infoReply(str("\x1b\xff\xff\x01Red\x01\x7f")), info));
        QCOMPARE(info.name, "Red\x01\x7f");
        QCOMPARE(info.nameRuns, (TextRuns{{"Red\x01\x7f", Rgb{0xff, 0xff, 0x01}}}));
        // Text before the first code has no colour; players' names are read the same way.
        QList<PlayerStatus> players;
        QVERIFY(parsePlayers(playersReply({{1, str("Ann \x1b\x01\xff\x01Green"), 40, 3, kRed},
                                           {2, str("Bob"), 50, 4, kBlue}}),
                             players));
        QCOMPARE(players[0].name, "Ann Green");
        QCOMPARE(players[0].nameRuns,
                 (TextRuns{{"Ann ", std::nullopt}, {"Green", Rgb{0x01, 0xff, 0x01}}}));
        QCOMPARE(players[1].name, "Bob");
        QVERIFY(players[1].nameRuns.isEmpty());
        QCOMPARE(withoutColourCodes(QString::fromLatin1("cut\x1b\x10")),
                 "cut"); // a code cut off at the end
        QCOMPARE(withoutColourCodes(QString::fromLatin1("plain")), "plain");
    }

    void lengthsAreCompactIndexes() {
        // The encodings real servers send: 193 and 155 bytes, 16 and 64 UCS-2 units.
        QCOMPARE(compactIndex(193), QByteArray("\x41\x03"));
        QCOMPARE(compactIndex(155), QByteArray("\x5b\x02"));
        QCOMPARE(compactIndex(-16), QByteArray("\x90"));
        QCOMPARE(compactIndex(-64), QByteArray("\xc0\x01"));

        // A name past 63 bytes, as a few colour codes make it, and what follows it.
        QByteArray coloured;
        QString plain;
        for (int i = 0; i < 12; ++i) {
            coloured += "\x1b\x01\xff\x01Part" + QByteArray::number(i) + ' ';
            plain += "Part" + QString::number(i) + ' ';
        }
        QVERIFY(coloured.size() > 100);
        Info info;
        QVERIFY(parseInfo(infoReply(str(coloured), "DM-After", 7, 24), info));
        QCOMPARE(info.name, plain);
        QCOMPARE(info.nameRuns.size(), 12);
        for (const TextRun& run : info.nameRuns)
            QCOMPARE(run.colour, (Rgb{0x01, 0xff, 0x01}));
        QCOMPARE(info.map, "DM-After");
        QCOMPARE(info.players, 7);
        QCOMPARE(info.maxPlayers, 24);

        // UCS-2 names of one-byte and two-byte lengths.
        const QString shortWide = QString::fromUtf8("\u65e5\u672c Fighter");
        const QString longWide = QString::fromUtf8("\u00c9quipe ") + QString(90, u'\u0416');
        QList<PlayerStatus> players;
        QVERIFY(parsePlayers(
            playersReply({{1, wide(shortWide), 40, 3, kRed}, {2, wide(longWide), 50, 4, kBlue}}),
            players));
        QCOMPARE(players.size(), 2);
        QCOMPARE(players[0].name, shortWide);
        QCOMPARE(players[1].name, longWide);
        QCOMPARE(players[1].score, 4);

        // Text beyond 255 characters is cut there; the datagram still reads on.
        QVERIFY(parseInfo(infoReply(str(QByteArray(600, 'x')), "DM-Long"), info));
        QCOMPARE(info.name, QString(255, u'x'));
        QCOMPARE(info.map, "DM-Long");
        // The Windows code page, with colour codes' bytes kept as they are.
        QVERIFY(parseInfo(infoReply(str("\x1b\x80\x9f\x80"
                                        "Caf\xe9\x99 \x80")),
                          info));
        QCOMPARE(info.name, QString::fromUtf8("Caf\u00e9\u2122 \u20ac"));
        QCOMPARE(info.nameRuns.size(), 1);
        QCOMPARE(info.nameRuns[0].colour, (Rgb{0x80, 0x9f, 0x80}));
    }

    void rulesOverSeveralDatagrams() {
        QList<QPair<QString, QString>> rules;
        QVERIFY(parseRules(header(1) + str("ServerMode") + str("dedicated") + str("Mutator") +
                               str("MutInstaGib"),
                           rules));
        QVERIFY(parseRules(
            header(1) + str("Mutator") + str("MutQuadJump") + str("Tick Rate") + str("35"), rules));
        QCOMPARE(rules.size(), 4);
        QCOMPARE(rules[1], (QPair<QString, QString>("Mutator", "MutInstaGib")));
        QCOMPARE(rules[3], (QPair<QString, QString>("Tick Rate", "35")));
    }

    void playersWithTeamsAndScoreboardEntries() {
        QList<PlayerStatus> players;
        const QByteArray reply = header(2) + u32(1) + str("Alice") + u32(40) + u32(12) +
                                 u32(1u << 29) + u32(0) + str("Red Team Score") + u32(0) + u32(5) +
                                 u32(0) + u32(2) + str("Bob") + u32(55) +
                                 u32(static_cast<quint32>(-3)) + u32(1u << 30);
        QVERIFY(parsePlayers(reply, players));
        QCOMPARE(players.size(), 2);
        QCOMPARE(players[0].name, "Alice");
        QCOMPARE(players[0].ping, 40);
        QCOMPARE(players[0].score, 12);
        QCOMPARE(players[0].team, "red");
        QCOMPARE(players[1].score, -3);
        QCOMPARE(players[1].team, "blue");
    }

    // A server's reply is bounded as it is read: 256 players and 256 rules over all its
    // datagrams, 16 colour runs a name (the rest of the name in the last run's colour).
    void boundsWhileReading() {
        QList<Player> rows;
        for (quint32 id = 1; id <= 200; ++id)
            rows.append({id, str("P" + QByteArray::number(id)), 10, 1, kRed});
        QList<PlayerStatus> players;
        QVERIFY(parsePlayers(playersReply(rows), players));
        QVERIFY(parsePlayers(playersReply(rows), players));
        QCOMPARE(players.size(), 256);
        QList<QPair<QByteArray, QByteArray>> many;
        for (int rule = 0; rule < 200; ++rule)
            many.append({"Rule" + QByteArray::number(rule), "1"});
        QList<QPair<QString, QString>> rules;
        QVERIFY(parseRules(rulesReply(many), rules));
        QVERIFY(parseRules(rulesReply(many), rules));
        QCOMPARE(rules.size(), 256);

        QByteArray name;
        for (int run = 0; run < 20; ++run)
            name += "\x1b" + QByteArray(3, static_cast<char>(0x40 + run)) + "ab";
        Info info;
        QVERIFY(parseInfo(infoReply(str(name)), info));
        QCOMPARE(info.name, QString(40, u'a').replace(QStringLiteral("aa"), QStringLiteral("ab")));
        QCOMPARE(info.nameRuns.size(), 16);
        QCOMPARE(info.nameRuns.last().colour, (Rgb{0x4f, 0x4f, 0x4f}));
        QCOMPARE(info.nameRuns.last().text, QString(5, u'a').replace(u'a', QStringLiteral("ab")));
    }

    // UCS-2 holds lone surrogates that no text may: each becomes U+FFFD, pairs stay.
    void loneSurrogatesAreReplaced() {
        const QString pair = QString::fromUtf8("\U0001F600");
        const QString text = QChar(0xDC00) + pair + QChar(0xD800) + u'x' + QChar(0xDBFF);
        QList<PlayerStatus> players;
        QVERIFY(parsePlayers(playersReply({{1, wide(text), 1, 1, 0}}), players));
        QCOMPARE(players[0].name, QString(u'\uFFFD') + pair + u'\uFFFD' + u'x' + u'\uFFFD');
        QList<QPair<QString, QString>> rules;
        QVERIFY(parseRules(header(1) + wide(text) + wide(pair + QChar(0xD800)), rules));
        QCOMPARE(rules[0].first, players[0].name);
        QCOMPARE(rules[0].second, pair + u'\uFFFD');
    }

    void cutShortOrLyingDatagrams() {
        const QByteArray whole = infoReply(str("FakeServer"));
        for (qsizetype cut = 0; cut < whole.size() - 12; ++cut) {
            Info info;
            parseInfo(whole.left(cut), info); // never reads past the end
        }
        Info info;
        QVERIFY(!parseInfo(whole.left(20), info));
        // A length far beyond the datagram.
        QVERIFY(!parseInfo(infoReply(QByteArray("\x7f"
                                                "short",
                                                6)),
                           info));
        QVERIFY(!parseInfo(infoReply(QByteArray("\xff"
                                                "ab",
                                                3)),
                           info));
        // Compact indexes longer than five bytes, or far beyond the datagram.
        QVERIFY(!parseInfo(infoReply(QByteArray("\x40\x80\x80\x80\x80\x01", 6) + "ab"), info));
        QVERIFY(!parseInfo(infoReply(compactIndex(100000) + "ab"), info));
        QVERIFY(!parseInfo(infoReply(compactIndex(-100000) + "ab"), info));
        QVERIFY(!parseInfo(infoReply(compactIndex(std::numeric_limits<qint32>::min() + 1)), info));
        QList<QPair<QString, QString>> rules;
        QVERIFY(!parseRules(header(1) + str("key-without-value"), rules));
        QList<PlayerStatus> players;
        QVERIFY(!parsePlayers(header(2) + u32(7) + str("Half"), players));
        QVERIFY(players.isEmpty());
        QVERIFY(!parseInfo(header(2) + u32(0), info)); // the wrong type
        QCOMPARE(typeOf("abc"), std::nullopt);
        QCOMPARE(typeOf(QByteArray("\x80\x00\x00\x00\x09", 5)), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(TestUt2004Protocol)
#include "tst_ut2004_protocol.moc"
