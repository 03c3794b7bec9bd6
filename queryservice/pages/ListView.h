#pragma once

#include "base/Games.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What a game's list of servers holds at one moment, as its page and the API show it: where
// the servers came from, and each server as far as it has been asked.
namespace utq::queryservice::pages {

// A master server, or the search of the local network, and what it gave.
struct ListSource {
    QString name;  // "master.333networks.com:28900", or "LAN"
    QString state; // the API's word: "asking", "listed", "no-answer", ...
    int listed = 0;
    QString text; // as the page says it: "listed 1,204", "no answer"
};

struct ListRow {
    QString host; // an IPv4 address
    int queryPort = 0;
    QStringList sources;                       // the masters that listed it, "LAN"
    QString state = QStringLiteral("waiting"); // "waiting" until asked, then the API's state
    QString name;
    QString map;
    QString gameType;
    std::optional<int> playersNow;
    std::optional<int> playersMax;
    qint64 roundTripMs = -1;
    std::optional<int> gamePort; // where players join, once the server told it (UT99)
};

struct ListView {
    const GameDescription* game = nullptr;
    QList<ListSource> masters; // none for a game without an internet list here
    // "off" where it is not searched, "unavailable" for a game whose beacon is not known.
    ListSource lan{QStringLiteral("LAN"), QStringLiteral("off"), 0, QStringLiteral("not searched")};
    QStringList malformedMasters; // settings entries that are no master's address
    QList<ListRow> rows;
    // The address that joins a server at __HOST__ and __PORT__ (its game port), where the game
    // has one.
    QString joinTemplate;
    bool complete = false; // every source has ended and every row was asked
    // The watched servers' last day as sparklineSvg() draws it, by "ip:queryPort".
    QHash<QString, QByteArray> sparklines;
};

} // namespace utq::queryservice::pages
