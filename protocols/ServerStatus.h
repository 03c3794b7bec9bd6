#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QtGlobal>

#include <optional>

// What a status query learnt about a game server, the same for the three games.
namespace utq::protocols {

// A colour as a server gave it, 0 to 255 each.
struct Rgb {
    quint8 red = 0;
    quint8 green = 0;
    quint8 blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A piece of a name in one colour; none where the server gave no colour.
struct TextRun {
    QString text;
    std::optional<Rgb> colour;
    friend bool operator==(const TextRun&, const TextRun&) = default;
};

// A name's runs, where its server coloured it: their texts, joined, are the name.
using TextRuns = QList<TextRun>;

struct PlayerStatus {
    QString name;
    std::optional<int> score; // frags or score
    std::optional<int> ping;
    QString team;
    // The name in colours, when the server coloured it; empty otherwise. Given a default, so that
    // a row can be written as {name, score, ping, team}.
    TextRuns nameRuns = {};
};

struct TeamScore {
    QString team;
    std::optional<int> score;
};

struct ServerStatus {
    QString name;
    TextRuns nameRuns; // the name in colours, when the server coloured it; empty otherwise
    QString map;       // the map's file name, such as CTF-Face
    QString mapTitle;  // its title, such as Facing Worlds, where the server gives one
    QString gameType;
    std::optional<int> players;
    std::optional<int> maxPlayers;
    std::optional<int> gamePort; // where players join, where the server tells it
    QList<PlayerStatus> playerList;
    QList<PlayerStatus> spectators;       // where the server tells them from players
    QList<TeamScore> teams;               // where the server gives team scores
    QList<QPair<QString, QString>> rules; // in the order the server gave them
};

} // namespace utq::protocols
