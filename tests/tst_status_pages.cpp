// Status-page addresses, which favourite row a tab's option buttons select, and the status
// service's HTML for what a server told.
#include "query/FavouriteSelection.h"
#include "query/StatusPages.h"
#include "queryservice/pages/StatusPages.h"

#include <QTest>

using namespace utq;
using namespace utq::query;
using utq::protocols::PlayerStatus;
using utq::protocols::Rgb;
using utq::protocols::ServerStatus;

namespace {

QString statusHtml(const ServerStatus& status) {
    utq::queryservice::pages::StatusView view;
    view.game = QStringLiteral("UT99");
    view.address = QStringLiteral("127.0.0.1:7778");
    return QString::fromUtf8(utq::queryservice::pages::statusPage(status, view));
}

} // namespace

class TestStatusPages : public QObject {
    Q_OBJECT
private slots:
    void plainValuesGiveTheTemplatesToTheCharacter() {
        QCOMPARE(ut99StatusAddress("q.example", "us.qel.example", "7778"),
                 "http://q.example/php/UTstats/index.php?txtip=us.qel.example&portnum=7778");
        QCOMPARE(ut2004StatusAddress("q.example", "1.2.3.4", "7777"),
                 "http://q.example/phpnuke/html/SQuery/"
                 "index.php?ip=1.2.3.4&port=7777&game=UT2004&block=1");
        QCOMPARE(ut3QuickStatusAddress("q.example", "1.2.3.4", "6500", "0"),
                 "http://q.example/qEl/UT3Query/"
                 "ut3query.php?serverip=1.2.3.4&serverqport=6500&serverwport=0");
        QCOMPARE(ut3FavouritesStatusAddress("us.example:8080", "1.2.3.4", "6500", "80"),
                 "http://us.example:8080/UT3Query/"
                 "ut3query.php?serverip=1.2.3.4&serverqport=6500&serverwport=80");
    }

    void emptyValuesLeaveTheKeysEmpty() {
        QCOMPARE(ut99StatusAddress("q", "", ""), "http://q/php/UTstats/index.php?txtip=&portnum=");
        QCOMPARE(ut2004StatusAddress("q", "", ""),
                 "http://q/phpnuke/html/SQuery/index.php?ip=&port=&game=UT2004&block=1");
        QCOMPARE(ut3FavouritesStatusAddress("q", "", "", ""),
                 "http://q/UT3Query/ut3query.php?serverip=&serverqport=&serverwport=");
    }

    void typedTextReachesThePageAsTypedAndAddsNoKey() {
        // The UT3 quick tab's own default texts are sent as they stand, blanks included.
        QCOMPARE(ut3QuickStatusAddress("q", "", "Query Port", "Server Web Port"),
                 "http://q/qEl/UT3Query/"
                 "ut3query.php?serverip=&serverqport=Query%20Port&serverwport=Server%20Web%20Port");
        QCOMPARE(ut99StatusAddress("q", "a&portnum=1", "7778#x"),
                 "http://q/php/UTstats/index.php?txtip=a%26portnum%3D1&portnum=7778%23x");
        QCOMPARE(ut2004StatusAddress("q", " 1.2.3.4 ", "77+7%"),
                 "http://q/phpnuke/html/SQuery/"
                 "index.php?ip=%201.2.3.4%20&port=77%2B7%25&game=UT2004&block=1");
        QCOMPARE(ut99StatusAddress("q", QStringLiteral("s\u00e9rver"), "1"),
                 "http://q/php/UTstats/index.php?txtip=s%C3%A9rver&portnum=1");
    }

    void startPages() {
        QCOMPARE(startPageAddress("127.0.0.1:81", kLobbyStartPath),
                 "http://127.0.0.1:81/php/UTstats/lobby2.html");
        QCOMPARE(startPageAddress("h", kVoiceStartPath), "http://h/qEl/TS3/index.php");
        QCOMPARE(startPageAddress("h", kUt2004StartPath), "http://h/qEl/04query.html");
        QCOMPARE(startPageAddress("h", kUt3StartPath), "http://h/qEl/ut3query.html");
    }

    void selectedRowOnEachTab() {
        const auto only = [](int i) {
            std::array<bool, 6> checked{};
            checked[static_cast<std::size_t>(i)] = true;
            return checked;
        };
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(selectedFavouriteRow(GameKind::UT99, only(i)), std::optional<int>(i + 1));
            QCOMPARE(selectedFavouriteRow(GameKind::UT3, only(i)), std::optional<int>(i + 1));
        }
        // serverOpt(1) to serverOpt(5) stand beside rows 2 to 6; serverOpt(6) selects nothing.
        for (int i = 0; i < 5; ++i)
            QCOMPARE(selectedFavouriteRow(GameKind::UT2004, only(i)), std::optional<int>(i + 2));
        QCOMPARE(selectedFavouriteRow(GameKind::UT2004, only(5)), std::nullopt);
        for (GameKind game : {GameKind::UT99, GameKind::UT2004, GameKind::UT3})
            QCOMPARE(selectedFavouriteRow(game, {}), std::nullopt);
    }

    void theMapsFileAndTitleAndSpectatorsApart() {
        ServerStatus status;
        status.name = QStringLiteral("Flags");
        status.map = QStringLiteral("CTF-Face");
        status.mapTitle = QStringLiteral("Facing Worlds");
        status.playerList = {{QStringLiteral("Ann"), 5, 50, QStringLiteral("Blue")}};
        status.spectators = {{QStringLiteral("Watcher"), 719, 86, {}}};
        QString html = statusHtml(status);
        QVERIFY2(html.contains("<td>CTF-Face (Facing Worlds)</td>"), qPrintable(html));
        const qsizetype spectators = html.indexOf("<h2>Spectators</h2>");
        QVERIFY(html.indexOf("Ann") < spectators);
        QVERIFY(html.indexOf("Watcher") > spectators);
        QVERIFY(html.indexOf("86", spectators) > spectators); // its ping, not its score
        QVERIFY(!html.contains("719"));
        // A title that repeats the file name is not shown twice; no spectators, no list.
        status.mapTitle = QStringLiteral("ctf-face");
        status.spectators.clear();
        html = statusHtml(status);
        QVERIFY(html.contains("<td>CTF-Face</td>"));
        QVERIFY(!html.contains("Spectators"));
        // An answer to an info request counts players without listing them.
        status.players = 12;
        status.playerList.clear();
        html = statusHtml(status);
        QVERIFY(!html.contains("Nobody is playing"));
        QVERIFY(html.contains("The server did not list its players."));
    }

    void controlCharactersFromServersNeverReachThePage() {
        const QString controls = QString::fromUtf8("\x01\x1f\x7f\u0085\u009f");
        ServerStatus status;
        status.name = "Bad" + controls + "Name\tTab";
        status.map = "DM-" + controls + "X";
        status.playerList = {{"P" + controls + "1", 1, 1, "T" + controls}};
        status.spectators = {{"S" + controls + "2", 1, 1, {}}};
        status.rules = {{"k" + controls, "v" + controls}};
        // Coloured runs are cleaned like any other text.
        ServerStatus coloured = status;
        coloured.nameRuns = {{status.name, Rgb{0x40, 0x40, 0xf8}}};
        coloured.playerList[0].nameRuns = {{status.playerList[0].name, Rgb{0xff, 0xff, 0x01}}};
        coloured.spectators[0].nameRuns = {{status.spectators[0].name, Rgb{0x01, 0x01, 0xf0}}};
        for (const QString& html : {statusHtml(status), statusHtml(coloured)}) {
            for (const QChar c : html)
                QVERIFY2(c == u'\n' || (c >= u' ' && c != u'\x7f' && (c < u'\x80' || c > u'\x9f')),
                         qPrintable(QString::number(c.unicode(), 16)));
            QVERIFY(html.contains("BadName Tab"));
            QVERIFY(html.contains("DM-X") && html.contains("P1") && html.contains("S2"));
            QVERIFY(html.contains("<td>k</td><td>v</td>"));
        }
        status.name = "Red" + controls;
        status.nameRuns = {{status.name, Rgb{0xff, 0xff, 0x01}}};
        QVERIFY(statusHtml(status).contains("<h1><span style=\"color:#ffff01\">Red</span></h1>"));
    }

    void colouredNamesInTheirRunsAndDarkColoursLifted() {
        ServerStatus status;
        status.name = QStringLiteral("Old <Dudes>");
        status.nameRuns = {{QStringLiteral("Old "), std::nullopt},
                           {QStringLiteral("<Dudes>"), Rgb{0xf8, 0x40, 0x40}}};
        QString html = statusHtml(status);
        QVERIFY2(html.contains("<h1>Old <span style=\"color:#f84040\">&lt;Dudes&gt;</span></h1>"),
                 qPrintable(html));
        QVERIFY(html.contains("<title>Old &lt;Dudes&gt;</title>"));
        // Too dark for the navy page: made lighter in steps, the hue kept, as the pages always
        // did it.
        const QList<QPair<Rgb, QString>> lifted = {
            {{0x01, 0x01, 0xf0}, "#6c6cfe"}, {{0x00, 0x00, 0x00}, "#787878"},
            {{0x40, 0x00, 0x00}, "#ff3131"}, {{0x20, 0x20, 0x20}, "#7a7a7a"},
            {{0x00, 0x40, 0x00}, "#00d600"}, {{0x80, 0x00, 0x80}, "#ff17ff"},
            {{0x40, 0x40, 0xf8}, "#5d5df9"}, {{0x10, 0x00, 0x30}, "#935dff"}};
        for (const auto& [colour, shown] : lifted) {
            PlayerStatus player{QStringLiteral("Dark"), 1, 1, {}};
            player.nameRuns = {{QStringLiteral("Dark"), colour}};
            status.playerList = {player};
            html = statusHtml(status);
            QVERIFY2(html.contains("<td><span style=\"color:" + shown + "\">Dark</span></td>"),
                     qPrintable(shown + ' ' + html));
        }
        // A name without runs is its plain text, whatever characters it has.
        status.nameRuns.clear();
        status.playerList.clear();
        status.name = QString::fromLatin1("\x1b\xff\x01\x01Raw");
        html = statusHtml(status);
        QVERIFY2(html.contains(QString::fromUtf8("<h1>\u00ffRaw</h1>")), qPrintable(html));
        QVERIFY(!html.contains("span"));
    }
};

QTEST_APPLESS_MAIN(TestStatusPages)
#include "tst_status_pages.moc"
