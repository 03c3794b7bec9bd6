#include "queryservice/StatusBounds.h"

#include "base/Utf16.h"

#include <algorithm>

namespace utq::queryservice::bounds {
namespace {

// Runs whose texts together are at most `length` characters.
void truncateRuns(TextRuns& runs, qsizetype length) {
    qsizetype kept = 0;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const qsizetype size = runs[i].text.size();
        utf16::truncate(runs[i].text, length - kept);
        kept += runs[i].text.size();
        if (runs[i].text.size() < size) { // the cut, maybe short of a pair's halves
            runs.resize(i + 1);
            break;
        }
    }
    runs.removeIf([](const TextRun& run) { return run.text.isEmpty(); });
}

// Hands out the characters left for one status.
class TextBudget {
public:
    bool spent() const { return left_ <= 0; }

    void take(QString& text) {
        utf16::truncate(text, std::min(kMaxText, left_));
        left_ -= text.size();
    }

    // A name in colours is written twice, as text and as runs; without runs left, plain.
    void takeName(QString& name, TextRuns& runs) {
        runs = boundedRuns(std::move(runs));
        if (!runs.isEmpty()) {
            const qsizetype length = std::min({name.size(), kMaxText, left_ / 2});
            truncateRuns(runs, length);
            if (runs.size() <= runsLeft_) {
                utf16::truncate(name, length);
                runsLeft_ -= runs.size();
                left_ -= 2 * name.size();
                return;
            }
            runs.clear();
        }
        take(name);
    }

private:
    qsizetype left_ = kMaxTotalText;
    qsizetype runsLeft_ = kMaxRuns;
};

void boundPlayers(QList<PlayerStatus>& players, TextBudget& budget) {
    if (players.size() > kMaxPlayers)
        players.resize(kMaxPlayers);
    for (qsizetype i = 0; i < players.size(); ++i) {
        if (budget.spent()) {
            players.resize(i);
            return;
        }
        budget.takeName(players[i].name, players[i].nameRuns);
        budget.take(players[i].team);
    }
}

qint64 textBytes(const QString& text) { return 24 + 2 * text.size(); }

qint64 runsBytes(const TextRuns& runs) {
    qint64 bytes = 0;
    for (const TextRun& run : runs)
        bytes += static_cast<qint64>(sizeof(TextRun)) + textBytes(run.text);
    return bytes;
}

qint64 playersBytes(const QList<PlayerStatus>& players) {
    qint64 bytes = 0;
    for (const PlayerStatus& player : players)
        bytes += static_cast<qint64>(sizeof(PlayerStatus)) + textBytes(player.name) +
                 textBytes(player.team) + runsBytes(player.nameRuns);
    return bytes;
}

} // namespace

TextRuns boundedRuns(TextRuns runs) {
    if (runs.size() <= kMaxRunsPerName)
        return runs;
    QString& last = runs[kMaxRunsPerName - 1].text;
    for (qsizetype i = kMaxRunsPerName; i < runs.size(); ++i)
        last += runs[i].text;
    runs.resize(kMaxRunsPerName);
    return runs;
}

ServerStatus bounded(ServerStatus status) {
    TextBudget budget;
    budget.takeName(status.name, status.nameRuns);
    budget.take(status.map);
    budget.take(status.mapTitle);
    budget.take(status.gameType);
    boundPlayers(status.playerList, budget);
    boundPlayers(status.spectators, budget);
    if (status.teams.size() > kMaxTeams)
        status.teams.resize(kMaxTeams);
    for (qsizetype i = 0; i < status.teams.size(); ++i) {
        if (budget.spent()) {
            status.teams.resize(i);
            break;
        }
        budget.take(status.teams[i].team);
    }
    if (status.rules.size() > kMaxRules)
        status.rules.resize(kMaxRules);
    for (qsizetype i = 0; i < status.rules.size(); ++i) {
        if (budget.spent()) {
            status.rules.resize(i);
            break;
        }
        budget.take(status.rules[i].first);
        budget.take(status.rules[i].second);
    }
    return status;
}

qint64 estimatedBytes(const ServerStatus& status) {
    qint64 bytes = static_cast<qint64>(sizeof(ServerStatus)) + textBytes(status.name) +
                   runsBytes(status.nameRuns) + textBytes(status.map) + textBytes(status.mapTitle) +
                   textBytes(status.gameType) + playersBytes(status.playerList) +
                   playersBytes(status.spectators);
    for (const TeamScore& team : status.teams)
        bytes += static_cast<qint64>(sizeof(TeamScore)) + textBytes(team.team);
    for (const auto& [key, value] : status.rules)
        bytes += textBytes(key) + textBytes(value);
    return bytes;
}

} // namespace utq::queryservice::bounds
