#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// What a status query learnt about a game server, the same for the three games.
namespace utq::queryservice {

struct PlayerStatus {
    QString name;
    std::optional<int> score; // frags or score
    std::optional<int> ping;
    QString team;
};

struct TeamScore {
    QString team;
    std::optional<int> score;
};

struct ServerStatus {
    QString name;
    QString map;      // the map's file name, such as CTF-Face
    QString mapTitle; // its title, such as Facing Worlds, where the server gives one
    QString gameType;
    std::optional<int> players;
    std::optional<int> maxPlayers;
    QList<PlayerStatus> playerList;
    QList<PlayerStatus> spectators;       // where the server tells them from players
    QList<TeamScore> teams;               // where the server gives team scores
    QList<QPair<QString, QString>> rules; // in the order the server gave them
};

} // namespace utq::queryservice
