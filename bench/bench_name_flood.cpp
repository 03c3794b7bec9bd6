// utquery-statusd in a network namespace of its own whose only name server never answers,
// flooded with made-up server names from six client addresses, while one more client asks
// twice a second for a server named in the hosts file: how many of those pages find the
// server, and how long they take, during the flood and after it. --statusd PATH measures
// another build of it, for the figures before and after.
#include "FakeNameServer.h"
#include "FakeServers.h"
#include "NamespaceEtc.h"
#include "NetworkNamespace.h"
#include "Summary.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr quint16 kServicePort = 8080;
constexpr int kFloodClients = 6;
constexpr int kKnownEveryMs = 500;
constexpr int kKnownFromMs = 2000;
constexpr int kAfterMs = 5000;
constexpr int kLastAnswersMs = 8000;

// One page asked on a connection of its own, and what became of it.
struct Page {
    std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
    QElapsedTimer clock;
    QByteArray answer;
    bool known = false;
    bool duringFlood = false;
    qint64 ms = -1; // once answered
    QString state() const {
        static const QRegularExpression state(QStringLiteral("\"state\":\"([a-z-]+)\""));
        const auto match = state.match(QString::fromUtf8(answer));
        return match.hasMatch() ? match.captured(1) : QStringLiteral("none");
    }
};

void ask(std::vector<std::unique_ptr<Page>>& pages, const QString& host, quint16 port,
         const QHostAddress& from, bool known, bool duringFlood) {
    auto& page = pages.emplace_back(std::make_unique<Page>());
    page->known = known;
    page->duringFlood = duringFlood;
    page->clock.start();
    Page* asked = page.get();
    QObject::connect(asked->socket.get(), &QTcpSocket::readyRead,
                     [asked] { asked->answer += asked->socket->readAll(); });
    QObject::connect(asked->socket.get(), &QTcpSocket::disconnected, [asked] {
        asked->answer += asked->socket->readAll();
        asked->ms = asked->clock.elapsed();
    });
    asked->socket->bind(from);
    asked->socket->connectToHost(QHostAddress::LocalHost, kServicePort);
    asked->socket->write(QStringLiteral("GET /api/v1/status?game=ut99&host=%1&port=%2 HTTP/1.1\r\n"
                                        "Host: 127.0.0.1\r\nConnection: close\r\n\r\n")
                             .arg(host)
                             .arg(port)
                             .toUtf8());
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The known name's pages of one period: "k of n up; median, slowest".
QString knownFigure(const std::vector<std::unique_ptr<Page>>& pages, bool duringFlood, bool& all) {
    std::vector<qint64> times;
    int up = 0;
    int asked = 0;
    for (const auto& page : pages) {
        if (!page->known || page->duringFlood != duringFlood)
            continue;
        ++asked;
        up += page->state() == QLatin1String("up") ? 1 : 0;
        if (page->ms >= 0)
            times.push_back(page->ms);
    }
    all = asked > 0 && up == asked;
    std::sort(times.begin(), times.end());
    return QStringLiteral("%1 of %2 up; median %3 ms, slowest %4 ms")
        .arg(up)
        .arg(asked)
        .arg(times.empty() ? -1 : times[times.size() / 2])
        .arg(times.empty() ? -1 : times.back());
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption statusdPath(QStringLiteral("statusd"),
                                         QStringLiteral("The utquery-statusd to measure."),
                                         QStringLiteral("path"), QStringLiteral(UTQ_STATUSD));
    const QCommandLineOption floodSeconds(QStringLiteral("seconds"),
                                          QStringLiteral("How long the flood lasts (default 10)."),
                                          QStringLiteral("n"), QStringLiteral("10"));
    parser.addOptions({statusdPath, floodSeconds});
    parser.addHelpOption();
    parser.process(app);
    const int seconds = std::clamp(parser.value(floodSeconds).toInt(), 3, 120);
    const QString figure = QStringLiteral("name flood: a hosts-file name's pages %1");

    NetworkNamespace ns;
    const NamespaceEtc etc(ns.name(), "nameserver 127.0.0.53\noptions timeout:30 attempts:3\n",
                           "127.0.0.1 localhost\n127.0.0.9 gameserver.lan\n");
    if (!ns.isReady() || !etc.ok()) {
        bench::summary(figure.arg(QStringLiteral("during the flood")), QStringLiteral("all up"),
                       QStringLiteral("n/a: no network namespace (%1)").arg(ns.whyNot()),
                       bench::Met::NotMeasured);
        return 0;
    }
    NetworkNamespace::Inside inside(ns);
    const FakeNameServer silent(QHostAddress(QStringLiteral("127.0.0.53")), 53);
    FakeGameServer game(fakeservers::ut99("Known By Name"), 0,
                        QHostAddress(QStringLiteral("127.0.0.9")));
    QProcess statusd;
    statusd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    statusd.start(QStringLiteral("ip"),
                  {"netns", "exec", ns.name(), parser.value(statusdPath),
                   QStringLiteral("127.0.0.1:%1").arg(kServicePort), "--allow", "127.0.0.0/8"});
    QElapsedTimer starting;
    starting.start();
    while (!statusd.canReadLine() && starting.elapsed() < 10000)
        statusd.waitForReadyRead(100);
    if (!statusd.readLine().contains("serving on")) {
        bench::summary(figure.arg(QStringLiteral("during the flood")), QStringLiteral("all up"),
                       QStringLiteral("statusd did not start"), bench::Met::No);
        return 1;
    }
    // Its log is read and dropped, so that a full pipe never stalls it.
    QObject::connect(&statusd, &QProcess::readyReadStandardOutput,
                     [&statusd] { statusd.readAllStandardOutput(); });

    std::printf("== %d clients ask for a made-up name twice a second each for %d s; the only "
                "name server never answers; one more client asks for a hosts-file name every "
                "%d ms from %d ms into the flood to %d ms after it\n",
                kFloodClients, seconds, kKnownEveryMs, kKnownFromMs, kAfterMs);
    std::vector<std::unique_ptr<Page>> pages;
    bool flooding = true;
    QTimer flood;
    QObject::connect(&flood, &QTimer::timeout, [&] {
        for (int client = 0; client < kFloodClients; ++client)
            ask(pages,
                QStringLiteral("x%1.flood.example").arg(QRandomGenerator::global()->generate()),
                7778, QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + client)), false, true);
    });
    QTimer known;
    QObject::connect(&known, &QTimer::timeout, [&] {
        ask(pages, QStringLiteral("gameserver.lan"), game.port(), QHostAddress::LocalHost, true,
            flooding);
    });
    flood.start(500);
    // From its first page on, a name stays in Qt's own cache of look-ups for a minute: it is
    // first asked once the flood is under way.
    runFor(kKnownFromMs);
    known.start(kKnownEveryMs);
    runFor(std::max(seconds * 1000 - kKnownFromMs, 0));
    flood.stop();
    flooding = false;
    runFor(kAfterMs);
    known.stop();
    QElapsedTimer last;
    last.start();
    while (last.elapsed() < kLastAnswersMs &&
           std::any_of(pages.begin(), pages.end(), [](const auto& page) { return page->ms < 0; }))
        runFor(100);

    QMap<QString, int> floodStates;
    for (const auto& page : pages)
        if (!page->known)
            ++floodStates[page->state()];
    QStringList states;
    for (auto state = floodStates.cbegin(); state != floodStates.cend(); ++state)
        states.append(QStringLiteral("%1 %2").arg(state.value()).arg(state.key()));
    bool allDuring = false;
    bool allAfter = false;
    const QString during = knownFigure(pages, true, allDuring);
    const QString after = knownFigure(pages, false, allAfter);
    std::printf("flood pages: %s; questions that reached the silent name server: %d\n",
                qPrintable(states.join(QStringLiteral(", "))), silent.questions());
    std::printf("hosts-file name during the flood: %s\nhosts-file name after it: %s\n\n",
                qPrintable(during), qPrintable(after));
    bench::summary(figure.arg(QStringLiteral("during the flood")), QStringLiteral("all up"), during,
                   bench::metIf(allDuring));
    bench::summary(figure.arg(QStringLiteral("after the flood")), QStringLiteral("all up"), after,
                   bench::metIf(allAfter));
    pages.clear();
    statusd.terminate();
    statusd.waitForFinished(5000);
    return 0;
}
