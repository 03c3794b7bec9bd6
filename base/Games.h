#pragma once

#include "base/GameKind.h"
#include "base/Hosts.h"

#include <QString>

#include <array>
#include <span>
#include <utility>

// What the program knows of each game, in one place that both ends read: the window builds
// its addresses, favourites files and pickers from it, and the status service routes and
// queries by it. A game that is added here, with its protocol, its tabs and its favourites
// template, is a game the whole program knows.
namespace utq {

// A status page of the status service, as the window asks for it and the service serves it.
struct StatusPage {
    const char* path;
    const char* hostKey;    // the server's name or address
    const char* portKey;    // the port, as the game's tabs take it
    const char* webPortKey; // UT3: the server's web-statistics port; none elsewhere
    // Keys of fixed value that follow the others in the address (UT2004's game and block).
    std::array<std::pair<const char*, const char*>, 2> fixedItems;
};

// Where a preset's address comes from: one of the clan's hosts, or the entry's own text.
enum class PresetAddress { Own, UsHost, UkHost };

// One entry of a query tab's preset picker, and what it puts into the tab's fields.
struct PresetEntry {
    const char* label; // as the picker lists it; "{tag}" stands for the clan tag
    PresetAddress address;
    const char* ownAddress;           // the address text, for PresetAddress::Own
    std::array<const char*, 2> ports; // the fields after the address, as many as the picker fills
    bool clanServer;                  // a server of the clan's, which start pages show
};

// Where a start page's row finds one of a server's ports: which field of a favourite and which
// port of a preset holds it; -1 where the game has no such port.
struct ListedPort {
    int favouriteField;
    int presetPort;
};

struct GameDescription {
    GameKind kind;
    const char* name;          // "UT99", as pages and messages name the game
    const char* startPagePath; // the page the game's web views open before any query
    const char* listPagePath;  // every server its lists find: the masters' and the LAN's
    StatusPage statusPage;     // what "Begin Query" asks for
    // The favourites tab's page where it has a path of its own (UT3), on the host
    // Hosts::ut3FavouritesPageHost() names; null where it is statusPage.
    const char* favouritesPagePath;
    int queryPortOffset; // the port queried is the one typed plus this
    // Where the query port most often is when the one asked is silent: the port typed plus
    // usualOffset, or usualPort where that is not 0.
    int usualOffset;
    int usualPort;
    const char* portHint;     // how to find the port to type, for the service's pages
    const char* helpPortHint; // the same, as the game's help box says it

    const char* favouritesFile; // beside the executable
    int favouriteFields;        // fields per favourite row, as many key stems
    std::array<const char*, 4> keyStems;
    bool firstFavouriteLocked; // row 1 is loaded and saved, but cannot be edited or picked

    int presetFields; // how many fields the preset picker fills: the address and its ports
    std::span<const PresetEntry> presets;

    // A start page's row: the port its status page takes, the server's web port, and the game
    // port players join at (the unreal:// link).
    ListedPort statusPort;
    ListedPort webPort;
    ListedPort joinPort;

    constexpr int usualQueryPort(int typed) const {
        return usualPort ? usualPort : typed + usualOffset;
    }
};

inline constexpr std::array<GameKind, 3> kGameKinds = {GameKind::UT99, GameKind::UT2004,
                                                       GameKind::UT3};

namespace games {

inline constexpr PresetEntry kUt99Presets[] = {
    {"{tag} US", PresetAddress::UsHost, "", {"7778", "7777"}, true},
    {"{tag} UK", PresetAddress::UkHost, "", {"7778", "7777"}, true},
    {"Custom", PresetAddress::Own, "", {"", ""}, false},
};
inline constexpr PresetEntry kUt2004Presets[] = {
    {"{tag}", PresetAddress::Own, "Server Closed", {"7777", nullptr}, false},
    {"Custom", PresetAddress::Own, "", {"7777", nullptr}, false},
};
inline constexpr PresetEntry kUt3Presets[] = {
    {"{tag}", PresetAddress::UkHost, "", {"6500", "0"}, true},
    {"Custom", PresetAddress::Own, "", {"6500", "0"}, false},
};

inline constexpr GameDescription kUt99{
    GameKind::UT99,
    "UT99",
    "/php/UTstats/lobby2.html",
    "/servers/ut99",
    {"/php/UTstats/index.php", "txtip", "portnum", nullptr, {}},
    nullptr,
    0,
    1, // the game port typed where the query port belongs
    0,
    "The query port of a UT99 server is most often its game port plus 1: server port 7777 would "
    "be 7778.",
    "The query port is in most cases the game port plus 1.\nExample: server port 7777 would be "
    "7778",
    "utservers.ini",
    4,
    {"ServerName", "ServerIP", "ServerPort", "QueryPort"},
    false,
    3,
    kUt99Presets,
    {3, 0}, // QueryPort; the preset's query port
    {-1, -1},
    {2, 1}, // ServerPort; the preset's game port
};

inline constexpr GameDescription kUt2004{
    GameKind::UT2004,
    "UT2004",
    "/qEl/04query.html",
    "/servers/ut2004",
    {"/phpnuke/html/SQuery/index.php",
     "ip",
     "port",
     nullptr,
     {{{"game", "UT2004"}, {"block", "1"}}}},
    nullptr,
    1,
    0, // the query port typed where the game port belongs
    0,
    "Give the server's game port, most often 7777; the query goes to the port after it.",
    "The status page needs the server's game port (\"Server Port\", 7777 by default), not its "
    "query port.",
    "ut04servers.ini",
    3,
    // The UT99 keys without the query port: only the file tells the two games apart.
    {"ServerName", "ServerIP", "ServerPort", nullptr},
    true,
    2,
    kUt2004Presets,
    {2, 0}, // ServerPort: the status page takes the game port
    {-1, -1},
    {-1, -1},
};

inline constexpr GameDescription kUt3{
    GameKind::UT3,
    "UT3",
    "/qEl/ut3query.html",
    "/servers/ut3",
    {"/qEl/UT3Query/ut3query.php", "serverip", "serverqport", "serverwport", {}},
    "/UT3Query/ut3query.php",
    0,
    0,
    6500,
    "The query port of a UT3 server is most often 6500, whatever its game port.",
    "Q Port is the query port, 6500 by default; W Port the web port",
    "ut3servers.ini",
    4,
    {"UT3ServerName", "UT3ServerIP", "UT3ServerPort", "Serverwport"},
    false,
    3,
    kUt3Presets,
    {2, 0}, // UT3ServerPort, the query port
    {3, 1}, // Serverwport
    {-1, -1},
};

// The one page of the status service that belongs to no game: the clan's voice server.
inline constexpr auto kVoicePagePath = "/qEl/TS3/index.php";

} // namespace games

// The address a preset puts into the picker's address field.
QString presetAddress(const PresetEntry& preset, const Hosts& hosts);

// The address of a status page below its host: `path` (the page's own, or the favourites tab's),
// then the server's address, its port and, where the page takes one, its web port, each
// percent-encoded as a query value so that no typed character adds a key of its own, then the
// page's fixed items.
QString statusTarget(const StatusPage& page, const char* path, const QString& address,
                     const QString& port, const QString& webPort = {});

constexpr const GameDescription& describe(GameKind game) {
    switch (game) {
    case GameKind::UT99:
        return games::kUt99;
    case GameKind::UT2004:
        return games::kUt2004;
    case GameKind::UT3:
        return games::kUt3;
    }
    return games::kUt99; // not reached: the switch names every game
}

} // namespace utq
