#include "protocols/Ut99Protocol.h"

#include "platform/Windows1252.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace utq::protocols::ut99 {
namespace {

// Windows-1252, the code page of the servers' Windows; Latin-1 but for 0x80 to 0x9F.
QString text(const QByteArray& bytes) {
    return platform::windows1252::decode(bytes.left(ReplyAssembly::kMaxText));
}

std::optional<int> number(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// A player's row as the server sends it: the team as a number, and the mesh, which names
// spectators.
struct PlayerRow {
    PlayerStatus player;
    std::optional<int> team;
    QString mesh;
};

constexpr int kNoTeam = 255;

// The names the game gives its four teams; none for other numbers.
QString teamName(std::optional<int> team) {
    static const QStringList names = {"Red", "Blue", "Green", "Gold"};
    return team && *team >= 0 && *team < names.size() ? names[*team] : QString();
}

// Deathmatch servers give every player a team number too (0 or 255), so team numbers count
// only where a key counts teams or the game type is one of teams.
bool countsTeams(const QString& key, const QString& value) {
    if (key == QLatin1String("maxteams") || key == QLatin1String("numteams"))
        return number(value).value_or(0) >= 2;
    return key.startsWith(QLatin1String("teamscore"));
}

bool isTeamGameType(const QString& gameType) {
    static const QStringList teamTypes = {"CTFGame", "TeamGamePlus", "Domination", "Assault"};
    return std::any_of(teamTypes.cbegin(), teamTypes.cend(), [&gameType](const QString& type) {
        return gameType.contains(type, Qt::CaseInsensitive);
    });
}

} // namespace

bool ReplyAssembly::add(const QByteArray& datagram) {
    if (!datagram.startsWith('\\'))
        return false;
    if (datagram.size() > kMaxBytes - bytes_)
        return overflow();
    // \key\value\key\value... ; "final" stands alone, without a value, before or after the
    // query id.
    const QList<QByteArray> tokens = datagram.mid(1).split('\\');
    QList<QPair<QString, QString>> items;
    std::optional<int> part;
    QString id;
    bool final = false;
    for (qsizetype i = 0; i < tokens.size();) {
        const QString key = text(tokens[i]).toLower();
        if (key == QLatin1String("final")) {
            final = true;
            i += (i + 1 < tokens.size() && tokens[i + 1].isEmpty()) ? 2 : 1;
            continue;
        }
        if (key.isEmpty() && i + 1 >= tokens.size())
            break; // the trailing backslash
        const QString value = i + 1 < tokens.size() ? text(tokens[i + 1]) : QString();
        i += 2;
        if (key == QLatin1String("queryid")) {
            id = value.section(u'.', 0, 0);
            part = value.section(u'.', 1, 1).toInt();
            continue;
        }
        items.append({key, value});
    }
    const bool unnumbered = !part;
    if (unnumbered) {
        // Replies without numbered parts are one datagram long.
        if (!final)
            return false;
        part = 1;
    } else if (*part < 1) {
        return false;
    } else if (*part > kMaxPart) {
        return overflow();
    } else if (queryId_.isEmpty()) {
        queryId_ = id;
    } else if (id != queryId_) {
        return false;
    }
    if (!parts_.contains(*part)) { // a repeated part changes nothing
        if (items.size() > kMaxItems - items_)
            return overflow();
        parts_.insert(*part, items);
        bytes_ += datagram.size();
        items_ += items.size();
    }
    if (final)
        finalPart_ = *part;
    unnumberedFinal_ = unnumberedFinal_ || unnumbered;
    return true;
}

bool ReplyAssembly::overflow() {
    overflowed_ = true;
    return false;
}

bool ReplyAssembly::isComplete() const {
    if (unnumberedFinal_)
        return true;
    if (finalPart_ == 0)
        return false;
    for (int part = 1; part <= finalPart_; ++part)
        if (!parts_.contains(part))
            return false;
    return true;
}

QList<QPair<QString, QString>> ReplyAssembly::items() const {
    QList<QPair<QString, QString>> all;
    for (const auto& part : parts_)
        all += part;
    return all;
}

ServerStatus statusFrom(const QList<QPair<QString, QString>>& items) {
    ServerStatus status;
    QMap<int, PlayerRow> rows; // by the players' numbers
    bool teamKeys = false;
    static const QRegularExpression playerKey(
        QStringLiteral("^(player|frags|ping|team|mesh)_(\\d+)$"));
    static const QStringList skipped = {"gamename", "gamever", "minnetver",  "location",
                                        "gamemode", "mesh",    "skin",       "face",
                                        "ngsecret", "echo",    "echo_replay"};
    for (const auto& [key, value] : items) {
        if (key == QLatin1String("hostname"))
            status.name = value;
        else if (key == QLatin1String("maptitle"))
            status.mapTitle = value;
        else if (key == QLatin1String("mapname"))
            status.map = value;
        else if (key == QLatin1String("gametype"))
            status.gameType = value;
        else if (key == QLatin1String("numplayers"))
            status.players = number(value);
        else if (key == QLatin1String("maxplayers"))
            status.maxPlayers = number(value);
        else if (key == QLatin1String("hostport"))
            status.gamePort = number(value);
        else if (const auto match = playerKey.match(key); match.hasMatch()) {
            PlayerRow& row = rows[match.captured(2).toInt()];
            const QString field = match.captured(1);
            if (field == QLatin1String("player"))
                row.player.name = value;
            else if (field == QLatin1String("frags"))
                row.player.score = number(value);
            else if (field == QLatin1String("ping"))
                row.player.ping = number(value);
            else if (field == QLatin1String("team"))
                row.team = number(value);
            else
                row.mesh = value;
        } else {
            teamKeys = teamKeys || countsTeams(key, value);
            if (!skipped.contains(key.section(u'_', 0, 0)) && !skipped.contains(key))
                status.rules.append({key, value});
        }
    }
    if (status.map.isEmpty())
        status.map = std::exchange(status.mapTitle, {}); // the title is all there is

    rows.removeIf([](const auto& row) { return row.value().player.name.isEmpty(); });
    const bool teams = (teamKeys || isTeamGameType(status.gameType)) &&
                       std::any_of(rows.cbegin(), rows.cend(), [](const PlayerRow& row) {
                           return !teamName(row.team).isEmpty();
                       });
    for (PlayerRow& row : rows) {
        const bool spectator = row.mesh.contains(QLatin1String("Spectator"), Qt::CaseInsensitive) ||
                               (teams && row.team == kNoTeam);
        if (teams && row.team && !spectator) {
            row.player.team = teamName(row.team);
            if (row.player.team.isEmpty())
                row.player.team = QString::number(*row.team);
        }
        (spectator ? status.spectators : status.playerList).append(row.player);
    }
    return status;
}

} // namespace utq::protocols::ut99
