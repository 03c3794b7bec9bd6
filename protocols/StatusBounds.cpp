#include "protocols/StatusBounds.h"

#include "base/Utf16.h"

#include <algorithm>

namespace utq::protocols::bounds {
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

// At most `most` of `entries`, and of those only as many as the budget lasts for; `take`
// spends the budget on one entry's texts.
template <typename Entry, typename Take>
void boundList(QList<Entry>& entries, qsizetype most, TextBudget& budget, Take take) {
    if (entries.size() > most)
        entries.resize(most);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (budget.spent()) {
            entries.resize(i);
            return;
        }
        take(entries[i]);
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
    const auto takePlayer = [&budget](PlayerStatus& player) {
        budget.takeName(player.name, player.nameRuns);
        budget.take(player.team);
    };
    boundList(status.playerList, kMaxPlayers, budget, takePlayer);
    boundList(status.spectators, kMaxPlayers, budget, takePlayer);
    boundList(status.teams, kMaxTeams, budget,
              [&budget](TeamScore& team) { budget.take(team.team); });
    boundList(status.rules, kMaxRules, budget, [&budget](QPair<QString, QString>& rule) {
        budget.take(rule.first);
        budget.take(rule.second);
    });
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

} // namespace utq::protocols::bounds
