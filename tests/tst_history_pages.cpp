// A watched server's history as the service draws and tells it: the page, its chart, the small
// charts of the start and list pages, and the API's JSON. Whatever a server called its map or
// a user typed as its host stays text; a year of hours stays a page of sane size.
#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/ListPages.h"
#include "queryservice/pages/StartPages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace utq;
using namespace utq::queryservice::pages;

namespace {

constexpr qint64 kHourMs = 3600000;
constexpr qint64 kToMs = 1796846400000; // 2026-12-09T20:00:00Z
const QString kHostile = QStringLiteral("</title><script>x()</script>\" onload=\"y\x01\x1b'");
const QString kHostileClean = QStringLiteral("</title><script>x()</script>\" onload=\"y'");

// `count` points `stepMs` apart up to kToMs, each up with `players`.
QList<HistoryPoint> points(int count, qint64 stepMs, int players = 5) {
    QList<HistoryPoint> list;
    for (int i = 0; i < count; ++i)
        list.append({kToMs - (count - i) * stepMs, players * 0.5, players, 1});
    return list;
}

HistoryView viewOf(HistoryRange range, QList<HistoryPoint> list) {
    HistoryView view;
    view.game = &describe(GameKind::UT99);
    view.host = QStringLiteral("ut.example");
    view.port = 7778;
    view.range = range;
    view.fromMs = kToMs - rangeMs(range);
    view.toMs = kToMs;
    view.points = std::move(list);
    view.playersPeak = 5;
    view.playersMean = 2.5;
    view.upShare = 1;
    return view;
}

qsizetype drawn(const QByteArray& svg, const char* element) {
    return svg.count(QByteArray("<") + element + ' ');
}

// The coordinates pairs of every polygon.
qsizetype coordinates(const QByteArray& page) {
    static const QRegularExpression polygon(QStringLiteral("<polygon [^>]*points=\"([^\"]*)\""));
    qsizetype count = 0;
    for (const auto& match : polygon.globalMatch(QString::fromUtf8(page)))
        count += match.captured(1).count(u' ') + 1;
    return count;
}

} // namespace

class TestHistoryPages : public QObject {
    Q_OBJECT
private slots:
    void hostileHostMapAndProblemStayText() {
        HistoryView view = viewOf(HistoryRange::Day, points(60, 60000));
        view.host = kHostile;
        view.maps = {{kHostile, 4000}};
        view.problem = kHostile;
        const QByteArray page = historyPage(view);
        QCOMPARE(page.count("<script"), 1); // the service's own, from its address
        QVERIFY(page.contains("<script src=\"/qEl/history.js\" defer></script>"));
        QVERIFY(!page.contains("\" onload="));
        QVERIFY(!page.contains('\x01') && !page.contains('\x1b'));
        QVERIFY(page.contains("<p class=\"warn problem\">&lt;/title&gt;&lt;script&gt;x()"));
        QVERIFY(page.contains("&quot; onload=&quot;y'</td><td>1 h 6 min</td>"));
        // Links carry the host percent-encoded: it adds no key of its own.
        QVERIFY(page.contains("host=%3C%2Ftitle%3E%3Cscript%3Ex%28%29%3C%2Fscript%3E%22%20onload"));

        const QJsonObject json = QJsonDocument::fromJson(historyJson(view)).object();
        QCOMPARE(json["host"].toString(), kHostileClean);
        QCOMPARE(json["problem"].toString(), kHostileClean);
        QCOMPARE(json["summary"]["maps"][0]["map"].toString(), kHostileClean);

        // The start page's history link, beside the service's own small chart.
        ListedServer server{kHostile, kHostile, "7778"};
        server.sparkline = sparklineSvg({kToMs - 24 * kHourMs, kToMs, points(96, 900000)});
        const QByteArray start = startPage(GameKind::UT99, {server});
        QCOMPARE(start.count("<script"), 1);
        QVERIFY(!start.contains("\" onload="));
        QVERIFY(start.contains("<td class=\"history\"><svg class=\"sparkline\""));
    }

    void emptyHistoryDrawsABaselineAndSaysSo() {
        const QByteArray line = sparklineSvg({kToMs - 24 * kHourMs, kToMs, {}});
        QVERIFY(line.contains("<title>Players in the last 24 hours: no history yet</title>"));
        QCOMPARE(drawn(line, "line"), 1);
        QCOMPARE(drawn(line, "polygon") + drawn(line, "rect"), 0);

        HistoryView view = viewOf(HistoryRange::Week, {});
        view.playersPeak = 0;
        view.playersMean = 0;
        view.watched = false;
        const QByteArray page = historyPage(view);
        QVERIFY(page.contains("This server is not watched; its history starts when it is a "
                              "favourite or a clan server."));
        QVERIFY(page.contains("No samples in this range yet"));
        QVERIFY(!page.contains("nan") && !page.contains("inf"));
        const QJsonObject json = QJsonDocument::fromJson(historyJson(view)).object();
        QCOMPARE(json["points"].toArray().size(), 0);
        QCOMPARE(json["watched"].toBool(true), false);
        QVERIFY(json["problem"].isNull());
    }

    // Nothing asked is a gap, a server down a red line: neither drawn as zero players. An up
    // server without players is still a line, and a day without players scales to 1.
    void gapsAndDownTimesAreNotZeroLines() {
        QList<HistoryPoint> day = points(96, 900000, 0);
        for (int i = 30; i < 40; ++i)
            day[i].up = 0;
        day.remove(60, 10);
        const QByteArray line = sparklineSvg({kToMs - 24 * kHourMs, kToMs, day});
        QCOMPARE(drawn(line, "polygon"), 3); // up before the down time, before the gap, after it
        QCOMPARE(drawn(line, "rect"), 1);
        QVERIFY(line.contains("peak 0; no answer at times"));
        QVERIFY(!line.contains("nan") && !line.contains("inf"));
        QVERIFY2(line.size() < 4000, QByteArray::number(line.size()));
    }

    // Whatever the store hands over, the page stays numbers and of bounded size.
    void nonsenseNumbersAndTimesStayBounded() {
        HistoryView view = viewOf(HistoryRange::Year, points(100, kHourMs));
        view.fromMs = 0; // 1970: 680 month starts
        view.points[3].playersNow = qQNaN();
        view.points[4].playersPeak = -7;
        view.playersMean = qInf();
        view.upShare = qQNaN();
        const QByteArray page = historyPage(view);
        QVERIFY(!page.contains("nan") && !page.contains("inf"));
        QVERIFY2(page.count("data-time=") <= 40, QByteArray::number(page.count("data-time=")));
        QVERIFY(QJsonDocument::fromJson(historyJson(view)).isObject());
    }

    void aYearOfHoursIsThinnedToWhatTheChartShows() {
        QList<HistoryPoint> year = points(8760, kHourMs, 12);
        year.remove(4000, 240); // ten days nobody asked
        const QByteArray page = historyPage(viewOf(HistoryRange::Year, year));
        QCOMPARE(drawn(page, "polygon"), 2);
        QVERIFY2(coordinates(page) <= 730, QByteArray::number(coordinates(page)));
        QVERIFY2(page.size() < 60000, QByteArray::number(page.size()));
        const QByteArray dayPage = historyPage(viewOf(HistoryRange::Day, points(1440, 60000)));
        QVERIFY2(dayPage.size() < 60000, QByteArray::number(dayPage.size()));
        qInfo("page bytes: a day of 1,440 samples %lld, a year of hours %lld",
              qint64(dayPage.size()), qint64(page.size()));
    }

    void rangesByTheirNamesOnlyEachLinkedAndTheCurrentMarked() {
        for (const HistoryRange range :
             {HistoryRange::Day, HistoryRange::Week, HistoryRange::Month, HistoryRange::Year})
            QCOMPARE(rangeOfName(rangeName(range)), range);
        for (const char* other : {"", "24H", " 24h", "24h ", "1d", "7D", "365d", "1y&x=1"})
            QVERIFY2(!rangeOfName(QString::fromLatin1(other)), other);
        QCOMPARE(rangeMs(HistoryRange::Year), 365 * 24 * kHourMs);

        const QByteArray page = historyPage(viewOf(HistoryRange::Month, points(720, kHourMs)));
        for (const char* name : {"24h", "7d", "30d", "1y"})
            QVERIFY(
                page.contains("/history?game=ut99&amp;host=ut.example&amp;port=7778&amp;range=" +
                              QByteArray(name)));
        QVERIFY(page.contains("range=30d\" class=\"current\" aria-current=\"page\">30 days</a>"));
        QVERIFY(page.contains("/php/UTstats/index.php?txtip=ut.example&amp;portnum=7778"));
        QVERIFY(
            page.contains("<time datetime=\"2026-12-09T20:00:00Z\">2026-12-09 20:00 UTC</time>"));
    }

    void theApisShape() {
        HistoryView view = viewOf(HistoryRange::Week, points(2, kHourMs));
        view.points[1].up = 2.0 / 3;
        view.points[1].playersNow = 10.0 / 3;
        view.maps = {{QStringLiteral("CTF-Face"), 12000}};
        const QByteArray text = historyJson(view);
        const QJsonObject json = QJsonDocument::fromJson(text).object();
        QCOMPARE(json.keys(), QStringList({"from", "game", "host", "points", "port", "problem",
                                           "range", "summary", "to", "watched"}));
        QCOMPARE(json["game"].toString(), "ut99");
        QCOMPARE(json["port"].toInt(), 7778);
        QCOMPARE(json["range"].toString(), "7d");
        QCOMPARE(json["to"].toString(), "2026-12-09T20:00:00Z");
        QVERIFY(text.contains("{\"playersNow\":2.5,\"playersPeak\":5,\"time\":"
                              "\"2026-12-09T18:00:00Z\",\"up\":1}"));
        QVERIFY(text.contains("\"playersNow\":3.33,") && text.contains("\"up\":0.6667}"));
        QVERIFY(text.contains("\"summary\":{\"maps\":[{\"map\":\"CTF-Face\",\"seconds\":12000}],"
                              "\"playersMean\":2.5,\"playersPeak\":5,\"upShare\":1}"));
    }

    // Without sparklines the list page is as it was; with them, each watched server's chart is
    // a template the script copies, and the row drawn by the service has it too.
    void theListPageHoldsEachWatchedServersChart() {
        ListView view; // UT2004's history takes the game port, one under the query port
        view.game = &describe(GameKind::UT2004);
        for (const char* host : {"10.0.0.1", "10.0.0.2"}) {
            ListRow row;
            row.host = QLatin1String(host);
            row.queryPort = 7778;
            view.rows.append(row);
        }
        QVERIFY(!listPage(view).contains("class=\"history\""));
        view.sparklines.insert(QStringLiteral("10.0.0.1:7778"),
                               sparklineSvg({kToMs - 24 * kHourMs, kToMs, points(96, 900000)}));
        const QByteArray page = listPage(view);
        const QByteArray link =
            "<a href=\"/history?game=ut2004&amp;host=10.0.0.1&amp;port=7777&amp;range=24h\">"
            "<svg class=\"sparkline\"";
        QVERIFY(page.contains("<template data-server=\"10.0.0.1:7778\">" + link));
        QVERIFY(page.contains("<td class=\"history\">" + link));
        QVERIFY(page.contains("<td class=\"history\"></td>")); // the other row's
        QCOMPARE(page.count("<template"), 1);
    }
};

QTEST_APPLESS_MAIN(TestHistoryPages)
#include "tst_history_pages.moc"
