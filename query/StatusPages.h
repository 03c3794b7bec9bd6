#pragma once

#include <QString>

// Addresses of the status pages that show a game server's live status, and of the pages the
// web views open before any query. Values are taken as the boxes hold them and are
// percent-encoded as query values, so a typed '&', '#', '+', '%' or blank reaches the page
// as typed and can never add a key of its own.
namespace utq::query {

inline constexpr auto kLobbyStartPath = "/php/UTstats/lobby2.html";
inline constexpr auto kVoiceStartPath = "/qEl/TS3/index.php";
inline constexpr auto kUt2004StartPath = "/qEl/04query.html";
inline constexpr auto kUt3StartPath = "/qEl/ut3query.html";

QString startPageAddress(const QString& host, const QString& path);

QString ut99StatusAddress(const QString& host, const QString& address, const QString& queryPort);

QString ut2004StatusAddress(const QString& host, const QString& address, const QString& gamePort);

QString ut3QuickStatusAddress(const QString& host, const QString& address, const QString& queryPort,
                              const QString& webPort);

QString ut3FavouritesStatusAddress(const QString& host, const QString& address,
                                   const QString& queryPort, const QString& webPort);

} // namespace utq::query
