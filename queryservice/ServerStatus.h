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
    QString map;
    QString gameType;
    std::optional<int> players;
    std::optional<int> maxPlayers;
    QList<PlayerStatus> playerList;
    QList<TeamScore> teams;               // where the server gives team scores
    QList<QPair<QString, QString>> rules; // in the order the server gave them
};

} // namespace utq::queryservice
