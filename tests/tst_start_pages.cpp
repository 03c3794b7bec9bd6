// The games' start pages over real HTTP: the clan's servers, then the user's favourites read
// from real files in a temporary program folder (escaped, empty rows left out, read again once
// saved, a broken file costing only its own rows), the script that fills them and the policy
// that lets only it run, and utquery-statusd, which has no favourites to list.
#include "EventLoopWait.h"
#include "StatusdChild.h"

#include "favourites/FavouritesFile.h"
#include "queryservice/BackgroundStatusService.h"
#include "queryservice/pages/StatusPages.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace utq;
using namespace utq::queryservice;

namespace {

struct Page {
    int status = 0;
    QByteArray body;
    QByteArray policy;
    QByteArray type;
    QByteArray sniffing;
};

Page get(const QString& address) {
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(address)));
    waitUntil([reply] { return reply->isFinished(); }, 10000);
    Page page{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
              reply->rawHeader("Content-Security-Policy"), reply->rawHeader("Content-Type"),
              reply->rawHeader("X-Content-Type-Options")};
    delete reply;
    return page;
}

// The labels of a start page's rows, in their order, as the page's text has them.
QStringList labels(const QByteArray& body) {
    static const QRegularExpression label(
        QStringLiteral("<tr data-game=[^>]*><td class=\"label\"[^>]*><a [^>]*>([^<]*)</a>"));
    QStringList found;
    for (const auto& match : label.globalMatch(QString::fromUtf8(body)))
        found << match.captured(1);
    return found;
}

// The tokens of one directive of a Content-Security-Policy.
QStringList directive(const QByteArray& policy, const QString& name) {
    for (const QString& part : QString::fromLatin1(policy).split(u';')) {
        QStringList tokens = part.split(u' ', Qt::SkipEmptyParts);
        if (!tokens.isEmpty() && tokens.takeFirst() == name)
            return tokens;
    }
    return {};
}

void save(const QString& path, const QByteArray& bytes) {
    // As the window saves: a new file put in the old one's place.
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    QVERIFY(file.commit());
}

} // namespace

class TestStartPages : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;
    std::unique_ptr<BackgroundStatusService> service_;
    QString base_;

    QString path(GameKind game) const { return folder_.filePath(favourites::fileName(game)); }
    Page startPage(GameKind game) const {
        return get(base_ + QLatin1String(describe(game).startPagePath));
    }

private slots:
    void initTestCase() {
        ServiceSettings settings;
        settings.clanServers[GameKind::UT99] = {{"{qEl} US", "us.qel.example", "7778", {}, "7777"},
                                                {"{qEl} UK", "uk.qel.example", "7778", {}, "7777"}};
        settings.clanServers[GameKind::UT3] = {{"{qEl}", "uk.qel.example", "6500", "0"}};
        settings.favouritesFolder = folder_.path();
        service_ = std::make_unique<BackgroundStatusService>(settings);
        QVERIFY(service_->start() != 0);
        base_ = QStringLiteral("http://") + service_->hostAndPort();
    }
    void init() {
        for (const GameKind game : kGameKinds) {
            const QString file = path(game);
            QFileInfo(file).isDir() ? QDir(file).removeRecursively() : QFile::remove(file);
        }
    }

    void theClansServersThenTheFavouritesEachLinkedToItsStatusPage() {
        favourites::Favourites ut99;
        ut99[0] = {"<b>&\"x\"", "10.0.0.1", "7777", "7778"};
        ut99[2] = {"", "third.example", "7790", "7791"}; // no name: its address labels it
        ut99[3] = {"Nowhere", "", "7777", "7778"};       // nothing to ask
        ut99[5] = {"Our US again", "US.qel.example", "7777", "7778"}; // listed once
        save(path(GameKind::UT99), favourites::fileText(GameKind::UT99, ut99));
        favourites::Favourites ut2004;
        ut2004[1] = {"Onslaught", "ons.example", "7787"};
        save(path(GameKind::UT2004), favourites::fileText(GameKind::UT2004, ut2004));
        favourites::Favourites ut3;
        ut3[0] = {"Warfare", "war.example", "6510", "8080"};
        save(path(GameKind::UT3), favourites::fileText(GameKind::UT3, ut3));

        Page page = startPage(GameKind::UT99);
        QCOMPARE(page.status, 200);
        QCOMPARE(labels(page.body), QStringList({"{qEl} US", "{qEl} UK",
                                                 "&lt;b&gt;&amp;&quot;x&quot;", "third.example"}));
        QVERIFY(!page.body.contains("<b>&"));
        // UT99 asks the query port and joins at the game port.
        QVERIFY(page.body.contains(
            "data-host=\"10.0.0.1\" data-port=\"7778\"><td class=\"label\" title=\"10.0.0.1:7778\">"
            "<a href=\"/php/UTstats/index.php?txtip=10.0.0.1&amp;portnum=7778\">"));
        QVERIFY(page.body.contains("<a href=\"unreal://10.0.0.1:7777\">Join</a>"));
        QVERIFY(page.body.contains("<a href=\"unreal://us.qel.example:7777\">Join</a>"));
        QVERIFY(page.body.contains("<a href=\"/php/UTstats/lobby2.html\">Reload</a>"));

        // UT2004's page takes the game port; it has no clan server and no join link.
        page = startPage(GameKind::UT2004);
        QCOMPARE(labels(page.body), QStringList({"Onslaught"}));
        QVERIFY(page.body.contains("<a href=\"/phpnuke/html/SQuery/"
                                   "index.php?ip=ons.example&amp;port=7787&amp;game=UT2004&amp;"
                                   "block=1\">"));
        QVERIFY(!page.body.contains("unreal:"));

        // UT3's takes the query port and the web port.
        page = startPage(GameKind::UT3);
        QCOMPARE(labels(page.body), QStringList({"{qEl}", "Warfare"}));
        QVERIFY(page.body.contains("data-game=\"ut3\" data-host=\"war.example\" data-port=\"6510\" "
                                   "data-web-port=\"8080\""));
        QVERIFY(page.body.contains("<a href=\"/qEl/UT3Query/ut3query.php?serverip=war.example&amp;"
                                   "serverqport=6510&amp;serverwport=8080\">"));
    }

    void aFileSavedAfterStartShowsItsNewRowAtTheNextLoad() {
        favourites::Favourites rows;
        rows[0] = {"First", "first.example", "7777", "7778"};
        save(path(GameKind::UT99), favourites::fileText(GameKind::UT99, rows));
        QCOMPARE(labels(startPage(GameKind::UT99).body).mid(2), QStringList({"First"}));

        rows[1] = {"Second", "second.example", "7777", "7778"};
        save(path(GameKind::UT99), favourites::fileText(GameKind::UT99, rows));
        QCOMPARE(labels(startPage(GameKind::UT99).body).mid(2), QStringList({"First", "Second"}));
    }

    void aFileThatCannotBeReadListsTheClansServersOnly_data() {
        QTest::addColumn<QByteArray>("bytes"); // what stands where the file belongs
        QTest::addColumn<bool>("folder");      // a folder of its name instead
        QByteArray junk(64 * 1024, '\0');
        for (qsizetype i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<char>((i * 7919) % 251);
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("binary junk") << junk << false;
        QTest::newRow("another section")
            << QByteArray("[OTHER]\r\nServerIP=x.example\r\n") << false;
        QTest::newRow("a folder") << QByteArray() << true;
    }
    void aFileThatCannotBeReadListsTheClansServersOnly() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, folder);
        if (folder)
            QVERIFY(QDir().mkpath(path(GameKind::UT99)));
        else if (!bytes.isEmpty())
            save(path(GameKind::UT99), bytes);
        const Page page = startPage(GameKind::UT99);
        QCOMPARE(page.status, 200);
        QCOMPARE(labels(page.body), QStringList({"{qEl} US", "{qEl} UK"}));
    }

    void aHugeFileStillListsItsRows() {
        // 20 MB of another section before the favourites: read once, as the window reads it.
        QByteArray text = "[Junk]\r\n";
        const QByteArray line = "Padding=" + QByteArray(70, 'p') + "\r\n";
        while (text.size() < 20 * 1024 * 1024)
            text += line;
        favourites::Favourites rows;
        rows[4] = {"Deep down", "deep.example", "7777", "7778"};
        save(path(GameKind::UT99), text + favourites::fileText(GameKind::UT99, rows));
        QCOMPARE(labels(startPage(GameKind::UT99).body).mid(2), QStringList({"Deep down"}));
    }

    void onlyTheServicesOwnScriptRunsAndOnlyOnStartPages() {
        const Page script = get(base_ + QLatin1String(pages::kLiveScriptPath));
        QCOMPARE(script.status, 200);
        QCOMPARE(script.type, "text/javascript; charset=utf-8");
        QCOMPARE(script.sniffing, "nosniff");
        QVERIFY(script.body.contains("textContent"));
        QVERIFY(!script.body.contains("innerHTML"));

        for (const GameKind game : kGameKinds) {
            const Page page = startPage(game);
            QCOMPARE(directive(page.policy, "script-src"), QStringList({"'self'"}));
            QCOMPARE(directive(page.policy, "default-src"), QStringList({"'none'"}));
            QCOMPARE(page.body.count("<script"), 1);
            QVERIFY(page.body.contains("<script src=\"/qEl/live.js\" defer></script>"));
        }
        // Status and error pages run nothing.
        const Page error = get(base_ + "/php/UTstats/index.php?txtip=x.example&portnum=port");
        QVERIFY(error.body.contains("not a port"));
        QCOMPARE(error.policy, pages::kContentSecurityPolicy);
        QCOMPARE(get(base_ + "/qEl/TS3/index.php").policy, pages::kContentSecurityPolicy);
    }

    void statusdListsTheClansServersAndNoFavourites() {
        // utquery-statusd lies beside the build's favourites files, and lists none of them.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess statusd;
        statusd.start(QStringLiteral(UTQ_STATUSD),
                      QStringList{QStringLiteral("127.0.0.1:%1").arg(port)} + kNoMasters);
        QVERIFY(statusd.waitForStarted(5000));
        QVERIFY(waitUntil([&] { return statusd.canReadLine(); }, 10000));
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        const auto rows = [&base](GameKind game) {
            return labels(get(base + QLatin1String(describe(game).startPagePath)).body).size();
        };
        QCOMPARE(rows(GameKind::UT99), 2);
        QCOMPARE(rows(GameKind::UT2004), 0);
        QCOMPARE(rows(GameKind::UT3), 1);
        statusd.terminate();
        QVERIFY(statusd.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestStartPages)
#include "tst_start_pages.moc"
