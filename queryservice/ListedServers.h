#pragma once

#include "base/GameKind.h"
#include "queryservice/pages/StartPages.h"

// Which servers a game's start page and the API's list of it name: the clan's, then the user's
// favourites.
namespace utq::queryservice {

// The favourites of `game` that a start page lists, from the game's favourites file in
// `folder`: the rows with an address, in the file's order. None when `folder` is empty (the
// stand-alone service has no user) or the file cannot be read.
QList<pages::ListedServer> favouriteServers(GameKind game, const QString& folder);

// What a start page lists: `clanServers`, then the favourites in `favouritesFolder` that are
// not one of them already (the favourites a user starts with are the clan's servers), each
// with the address that joins it where its game has one.
QList<pages::ListedServer> listedServers(GameKind game,
                                         const QList<pages::ListedServer>& clanServers,
                                         const QString& favouritesFolder);

} // namespace utq::queryservice
