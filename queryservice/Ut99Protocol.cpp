#include "queryservice/Ut99Protocol.h"

#include "platform/Windows1252.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace utq::queryservice::ut99 {
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

} // namespace

bool ReplyAssembly::add(const QByteArray& datagram) {
    if (!datagram.startsWith('\\') || datagram.size() > kMaxBytes - bytes_)
        return false;
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
    } else if (*part < 1 || *part > kMaxPart) {
        return false;
    } else if (queryId_.isEmpty()) {
        queryId_ = id;
    } else if (id != queryId_) {
        return false;
    }
    if (!parts_.contains(*part)) { // a repeated part changes nothing
        if (items.size() > kMaxItems - items_)
            return false;
        parts_.insert(*part, items);
        bytes_ += datagram.size();
        items_ += items.size();
    }
    if (final)
        finalPart_ = *part;
    unnumberedFinal_ = unnumberedFinal_ || unnumbered;
    return true;
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
    QHash<int, PlayerStatus> players;
    QString mapTitle, mapName; // the title reads better; the package name is the fall-back
    static const QRegularExpression playerKey(QStringLiteral("^(player|frags|ping|team)_(\\d+)$"));
    static const QStringList skipped = {"gamename", "gamever",  "minnetver", "location",
                                        "gamemode", "hostport", "mesh",      "skin",
                                        "face",     "ngsecret", "echo",      "echo_replay"};
    for (const auto& [key, value] : items) {
        if (key == QLatin1String("hostname"))
            status.name = value;
        else if (key == QLatin1String("maptitle"))
            mapTitle = value;
        else if (key == QLatin1String("mapname"))
            mapName = value;
        else if (key == QLatin1String("gametype"))
            status.gameType = value;
        else if (key == QLatin1String("numplayers"))
            status.players = number(value);
        else if (key == QLatin1String("maxplayers"))
            status.maxPlayers = number(value);
        else if (const auto match = playerKey.match(key); match.hasMatch()) {
            PlayerStatus& player = players[match.captured(2).toInt()];
            const QString field = match.captured(1);
            if (field == QLatin1String("player"))
                player.name = value;
            else if (field == QLatin1String("frags"))
                player.score = number(value);
            else if (field == QLatin1String("ping"))
                player.ping = number(value);
            else
                player.team = value.trimmed() == QLatin1String("255") ? QString() : value.trimmed();
        } else if (!skipped.contains(key.section(u'_', 0, 0)) && !skipped.contains(key))
            status.rules.append({key, value});
    }
    status.map = mapTitle.isEmpty() ? mapName : mapTitle;
    QList<int> indexes = players.keys();
    std::sort(indexes.begin(), indexes.end());
    for (int index : indexes)
        if (!players[index].name.isEmpty())
            status.playerList.append(players[index]);
    return status;
}

} // namespace utq::queryservice::ut99
