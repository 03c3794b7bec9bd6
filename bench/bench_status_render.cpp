// Time to write one server's status as the API's JSON and as its HTML page, on the service's
// only thread: a hostile UT2004 server's "colour bomb" as its reader used to keep it whole,
// the same bomb as it is kept now, and the largest statuses the bounds let by. Figures only.
#include "Summary.h"
#include "Ut2004Replies.h"
#include "protocols/StatusBounds.h"
#include "protocols/Ut2004Protocol.h"
#include "queryservice/pages/StatusJson.h"
#include "queryservice/pages/StatusPages.h"

#include <QElapsedTimer>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace utq::protocols;
using namespace utq::queryservice;

namespace {

constexpr int kRounds = 15;

// The median of `rounds` runs of `work`, in ms.
double medianMs(const std::function<void()>& work, int rounds = kRounds) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// A name of `runs` runs of `each` characters, each run in another colour, as a server sends it.
QByteArray colouredName(int runs, int each) {
    QByteArray name;
    for (int run = 0; run < runs; ++run)
        name += "\x1b" + QByteArray(3, static_cast<char>(0x40 + run % 64)) + QByteArray(each, 'x');
    return name;
}

// A player whose name is `runs` runs of `each` characters, each run in another colour, built
// here rather than read, so that it may hold more runs than the reader keeps.
PlayerStatus playerNamed(int runs, int each) {
    PlayerStatus player{{}, 1, 50, QStringLiteral("red")};
    for (int run = 0; run < runs; ++run) {
        const auto value = static_cast<quint8>(0x40 + run % 64);
        player.nameRuns.append({QString(each, u'x'), Rgb{value, value, value}});
        player.name += player.nameRuns.last().text;
    }
    return player;
}

// 1,896 players of 50 colour runs and 280 rules of 200 characters: what UT2004's reader kept
// of such a server before it was bounded. Built here, since the reader no longer keeps it.
ServerStatus unboundedBomb() {
    ServerStatus status;
    status.name = QStringLiteral("Bomb");
    status.map = QStringLiteral("DM-Bomb");
    status.players = 1896;
    status.maxPlayers = 2000;
    const PlayerStatus player = playerNamed(50, 1);
    for (int i = 0; i < 1896; ++i)
        status.playerList.append(player);
    for (int rule = 0; rule < 280; ++rule)
        status.rules.append({QStringLiteral("Rule%1").arg(rule), QString(200, u'v')});
    return status;
}

// The same server's datagrams through the reader and the final bound, as a query keeps them.
ServerStatus boundedBomb() {
    using namespace ut2004replies;
    ServerStatus status;
    ut2004::Info info;
    ut2004::parseInfo(infoReply(str("Bomb"), "DM-Bomb", 1896, 2000), info);
    status.name = info.name;
    status.map = info.map;
    status.players = info.players;
    status.maxPlayers = info.maxPlayers;
    QList<Player> rows;
    for (quint32 id = 1; id <= 237; ++id)
        rows.append({id, str(colouredName(50, 1)), 50, 1, kRed});
    for (int datagram = 0; datagram < 8; ++datagram)
        ut2004::parsePlayers(playersReply(rows), status.playerList);
    QList<QPair<QByteArray, QByteArray>> rules;
    for (int rule = 0; rule < 280; ++rule)
        rules.append({"Rule" + QByteArray::number(rule), QByteArray(200, 'v')});
    ut2004::parseRules(rulesReply(rules), status.rules);
    return bounds::bounded(status);
}

// The most rows of the most runs the bounds allow, the rest of the text in rules.
ServerStatus largestByRuns() {
    ServerStatus status;
    status.name = QStringLiteral("Runs");
    const PlayerStatus player = playerNamed(16, 1);
    for (int i = 0; i < 1000; ++i) {
        status.playerList.append(player);
        status.spectators.append(player);
        status.teams.append({QStringLiteral("Team"), i});
        status.rules.append({QStringLiteral("Rule%1").arg(i), QString(1000, u'v')});
    }
    return bounds::bounded(status);
}

// The longest texts the bounds allow: names of 256 characters in 16 runs, long rules.
ServerStatus largestByText() {
    ServerStatus status;
    status.name = QString(2000, u'n');
    const PlayerStatus player = playerNamed(16, 16);
    for (int i = 0; i < 1000; ++i) {
        status.playerList.append(player);
        status.spectators.append(player);
        status.rules.append({QString(2000, u'k'), QString(2000, u'v')});
    }
    return bounds::bounded(status);
}

struct Rendered {
    double jsonMs = 0;
    double htmlMs = 0;
    qsizetype jsonBytes = 0;
    qsizetype htmlBytes = 0;
};

Rendered render(const ServerStatus& status, int rounds = kRounds) {
    pages::Finding finding;
    finding.state = pages::Finding::State::Up;
    finding.game = &utq::describe(utq::GameKind::UT2004);
    finding.host = QStringLiteral("127.0.0.1");
    finding.port = 7777;
    finding.status = status;
    finding.askedAt = QDateTime::currentDateTime();
    pages::StatusView view;
    view.game = QStringLiteral("UT2004");
    view.address = QStringLiteral("127.0.0.1:7777");
    view.refreshTarget = QStringLiteral("/");
    view.queriedAt = finding.askedAt;
    Rendered rendered;
    rendered.jsonMs = medianMs(
        [&] { rendered.jsonBytes = pages::jsonText(pages::statusJson(finding)).size(); }, rounds);
    rendered.htmlMs =
        medianMs([&] { rendered.htmlBytes = pages::statusPage(status, view).size(); }, rounds);
    return rendered;
}

} // namespace

int main() {
    std::printf("one status written as API JSON and as the HTML page, median of %d; %s build\n\n",
                kRounds, bench::buildKind());
    std::printf("%-30s %8s %8s %10s %10s %9s %6s\n", "status", "JSON ms", "HTML ms", "JSON bytes",
                "HTML bytes", "players", "runs");
    const auto row = [](const char* label, const ServerStatus& status, int rounds = kRounds) {
        qsizetype runs = 0;
        for (const PlayerStatus& player : status.playerList + status.spectators)
            runs += player.nameRuns.size();
        const Rendered rendered = render(status, rounds);
        std::printf("%-30s %8.2f %8.2f %10lld %10lld %9lld %6lld\n", label, rendered.jsonMs,
                    rendered.htmlMs, static_cast<long long>(rendered.jsonBytes),
                    static_cast<long long>(rendered.htmlBytes),
                    static_cast<long long>(status.playerList.size() + status.spectators.size()),
                    static_cast<long long>(runs));
        return rendered;
    };
    const Rendered old = row("colour bomb, unbounded (before)", unboundedBomb(), 5);
    const Rendered bomb = row("colour bomb, bounded", boundedBomb());
    const Rendered byRuns = row("largest bounded: most runs", largestByRuns());
    const Rendered byText = row("largest bounded: longest texts", largestByText());
    const ServerStatus huge = unboundedBomb();
    std::printf("\nbounding the unbounded bomb itself: %.2f ms\n",
                medianMs([&huge] { bounds::bounded(huge); }));
    std::printf("estimated bytes kept for reuse: unbounded bomb %lld, largest bounded %lld\n",
                static_cast<long long>(bounds::estimatedBytes(huge)),
                static_cast<long long>(std::max(bounds::estimatedBytes(largestByRuns()),
                                                bounds::estimatedBytes(largestByText()))));

    const double json = std::max(byRuns.jsonMs, byText.jsonMs);
    const double html = std::max(byRuns.htmlMs, byText.htmlMs);
    const auto ms = [](double value) {
        return QStringLiteral("%1 ms").arg(value, 0, 'f', 2);
    };
    bench::summary(QStringLiteral("largest bounded status as JSON"), QStringLiteral("≤ 5 ms"),
                   ms(json), bench::metIf(json <= 5));
    bench::summary(QStringLiteral("largest bounded status as HTML"), QStringLiteral("≤ 5 ms"),
                   ms(html), bench::metIf(html <= 5));
    bench::summary(QStringLiteral("colour bomb as JSON, bounded (unbounded before)"),
                   QStringLiteral("≤ 5 ms"),
                   QStringLiteral("%1 (%2 before)").arg(ms(bomb.jsonMs), ms(old.jsonMs)),
                   bench::metIf(bomb.jsonMs <= 5));
    return 0;
}
