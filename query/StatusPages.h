#pragma once

#include "base/Games.h"

#include <QString>

// Addresses of the status pages that show a game server's live status, and of the pages the
// web views open before any query, as the games' descriptions name them. Values are taken as
// the boxes hold them and are percent-encoded as query values, so a typed '&', '#', '+', '%'
// or blank reaches the page as typed and can never add a key of its own.
namespace utq::query {

inline constexpr auto kLobbyStartPath = games::kUt99.startPagePath;
inline constexpr auto kVoiceStartPath = games::kVoicePagePath;
inline constexpr auto kUt2004StartPath = games::kUt2004.startPagePath;
inline constexpr auto kUt3StartPath = games::kUt3.startPagePath;

QString startPageAddress(const QString& host, const QString& path);

// The page `path` (a game's status page, or its favourites page) on `host`, for the server at
// `address` and `port`, with the web port where the page takes one.
QString statusAddress(const QString& host, const StatusPage& page, const char* path,
                      const QString& address, const QString& port, const QString& webPort = {});

QString ut99StatusAddress(const QString& host, const QString& address, const QString& queryPort);

QString ut2004StatusAddress(const QString& host, const QString& address, const QString& gamePort);

QString ut3QuickStatusAddress(const QString& host, const QString& address, const QString& queryPort,
                              const QString& webPort);

QString ut3FavouritesStatusAddress(const QString& host, const QString& address,
                                   const QString& queryPort, const QString& webPort);

} // namespace utq::query
