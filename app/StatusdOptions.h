#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

// The stand-alone status service's command line.
namespace utq {

struct StatusdOptions {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 8080;
    int maxQueriesInFlight = 64;
    int maxQueriesPerClientPerSecond = 5;
};

// Reads `arguments` (without the program's name); none, with `error` set, when they make no
// sense.
std::optional<StatusdOptions> parseStatusdOptions(const QStringList& arguments, QString& error);

inline constexpr char kStatusdUsage[] =
    "Usage: utquery-statusd [ADDRESS:PORT] [--max-queries N] [--per-client N]\n"
    "Serves the game servers' status pages over HTTP, querying each server when its page is\n"
    "asked for.\n"
    "  ADDRESS:PORT     where to listen (default 127.0.0.1:8080; [::1]:8080 for IPv6)\n"
    "  --max-queries N  game servers asked at once, at most (default 64)\n"
    "  --per-client N   status pages per client per second, at most (default 5)\n";

} // namespace utq
