#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QtEndian>

#include <optional>

// Well-formed replies of a UT3 server to the GameSpy v4 queries, built from a description of
// the server, for parser tests and for fake servers to send.
namespace ut3replies {

struct Player {
    QByteArray name;
    int score = 0;
    int ping = 0;
    int team = 0;
};

struct Team {
    QByteArray name;
    int score = 0;
};

struct Server {
    QByteArray name = "Fake UT3";
    QByteArray map = "DM-Deck";
    QByteArray gameType = "UTGame.UTDeathmatch";
    int maxPlayers = 16;
    std::optional<int> numPlayers;                  // the length of players when not given
    QList<QPair<QByteArray, QByteArray>> extraKeys; // after the usual keys, in this order
    QList<Player> players;
    QList<Team> teams;
};

inline QByteArray bigEndian(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

// 09 <session id> and the challenge as decimal text, NUL-padded to 12 bytes as UT3 does.
inline QByteArray challengeReply(quint32 sessionId, qint32 challenge) {
    QByteArray text = QByteArray::number(challenge);
    text += QByteArray(std::max<qsizetype>(12 - text.size(), 1), '\0');
    return '\x09' + bigEndian(sessionId) + text;
}

// 00 <session id> "splitnum" 00 <index, high bit on the last> <section the payload begins in>
inline QByteArray header(quint32 sessionId, int index, bool last, char section) {
    return '\0' + bigEndian(sessionId) + QByteArray("splitnum\0", 9) +
           static_cast<char>(index | (last ? 0x80 : 0)) + section;
}

// key 00 value 00 ..., ended by an empty key.
inline QByteArray serverKeys(const Server& server) {
    QList<QPair<QByteArray, QByteArray>> keys = {
        {"hostname", server.name},
        {"hostport", "7777"},
        {"numplayers", QByteArray::number(server.numPlayers.value_or(server.players.size()))},
        {"maxplayers", QByteArray::number(server.maxPlayers)},
        {"gamemode", "openplaying"},
        {"p1073741825", server.map},
        {"p1073741826", server.gameType}};
    keys += server.extraKeys;
    QByteArray bytes;
    for (const auto& [key, value] : keys)
        bytes += key + '\0' + value + '\0';
    return bytes + '\0';
}

// name 00, the index of the first value, the values each ended by 00, and an empty value.
inline QByteArray field(const QByteArray& name, const QList<QByteArray>& values) {
    QByteArray bytes = name + '\0' + '\0';
    for (const QByteArray& value : values)
        bytes += value + '\0';
    return bytes + '\0';
}

// 01, the fields player_ score_ ping_ team_, and an extra 00.
inline QByteArray playerSection(const Server& server) {
    QList<QByteArray> names, scores, pings, teams;
    for (const Player& player : server.players) {
        names += player.name;
        scores += QByteArray::number(player.score);
        pings += QByteArray::number(player.ping);
        teams += QByteArray::number(player.team);
    }
    return '\x01' + field("player_", names) + field("score_", scores) + field("ping_", pings) +
           field("team_", teams) + '\0';
}

// 02, the fields team_t score_t, and an extra 00.
inline QByteArray teamSection(const Server& server) {
    QList<QByteArray> names, scores;
    for (const Team& team : server.teams) {
        names += team.name;
        scores += QByteArray::number(team.score);
    }
    return '\x02' + field("team_t", names) + field("score_t", scores) + '\0';
}

// The full-stats reply in one datagram; in two, split before the teams; in three, one section
// each.
inline QList<QByteArray> fullStatsReply(quint32 sessionId, const Server& server,
                                        int datagrams = 1) {
    const QByteArray keys = serverKeys(server), players = playerSection(server),
                     teams = teamSection(server);
    if (datagrams <= 1)
        return {header(sessionId, 0, true, 0) + keys + players + teams};
    if (datagrams == 2)
        return {header(sessionId, 0, false, 0) + keys + players,
                header(sessionId, 1, true, 2) + teams};
    return {header(sessionId, 0, false, 0) + keys, header(sessionId, 1, false, 1) + players,
            header(sessionId, 2, true, 2) + teams};
}

} // namespace ut3replies
