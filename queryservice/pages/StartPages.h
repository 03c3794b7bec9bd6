#pragma once

#include "base/GameKind.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// The pages the web views open on, before anything is queried. A game's start page lists the
// clan's servers and the user's favourites of that game at once, without their status, so it
// loads as fast as a static page; the service's own script then asks for each row's status
// and fills it in. Without the script the rows are still links to their status pages.
namespace utq::queryservice::pages {

// A server a start page lists, its ports as the game's query tab takes them.
struct ListedServer {
    QString label; // the favourite's name, or the preset's label with the clan tag
    QString host;  // as the picker or the favourites file gives it
    QString port;  // the port the game's status page takes
    // Given defaults, so that a server of a game without them is written {label, host, port}.
    QString webPort = {};      // UT3: the server's web port, where known
    QString joinPort = {};     // UT99: the game port players join at, where known
    bool favourite = false;    // one of the user's favourites, not one of the clan's servers
    int row = 0;               // its favourites row, 1 to 6; the clan's servers count from 1 too
    QString joinAddress = {};  // what starts the game client at it, when joinPort is known
    QByteArray sparkline = {}; // its last day as sparklineSvg() draws it; empty: not watched
};

// The clan's servers of each game, first on its start page.
using ClanServers = QMap<GameKind, QList<ListedServer>>;

// Where the service serves the script that fills the start pages' rows.
inline constexpr auto kLiveScriptPath = "/qEl/live.js";

// The start pages' Content-Security-Policy: the status pages' (no script, nothing from
// elsewhere), with this service's own scripts, and their questions to this service, allowed.
// No inline script is ever allowed, so a name a server or a file gave can never run.
inline constexpr char kStartPagePolicy[] =
    "default-src 'none'; script-src 'self'; connect-src 'self'; style-src 'unsafe-inline'; "
    "img-src 'self'; frame-ancestors 'none'";

// The start page of `game`'s tabs: what to type, then `servers`, each a link to its status page.
QByteArray startPage(GameKind game, const QList<ListedServer>& servers);

// The clan's voice server, and how to connect to it.
QByteArray voiceServerPage(const QString& voiceHost);

} // namespace utq::queryservice::pages
