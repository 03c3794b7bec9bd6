#pragma once

#include "queryservice/TargetPolicy.h"

#include <QHostAddress>
#include <QList>
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
    int maxQueriesPerClient = 4;
    int connectionsPerClient = 16;
    int maxConnections = 1000;
    int idleSeconds = 15;
    int sendSeconds = 30;
    int maxHeadBytes = 16 * 1024;
    int pageSeconds = 5;
    int reuseMs = 1500;
    QList<queryservice::Subnet> allowed; // special-purpose ranges that may be asked all the same
};

// Reads `arguments` (without the program's name); none, with `error` set, when they make no
// sense.
std::optional<StatusdOptions> parseStatusdOptions(const QStringList& arguments, QString& error);

inline constexpr char kStatusdUsage[] =
    "Usage: utquery-statusd [ADDRESS:PORT] [OPTION...]\n"
    "Serves the game servers' status pages over HTTP, querying each server when its page is\n"
    "asked for. A client is an IPv4 address or an IPv6 /64 network.\n"
    "  ADDRESS:PORT                where to listen (default 127.0.0.1:8080; [::1]:8080 for IPv6)\n"
    "  --max-queries N             status pages being made at once, at most (default 64)\n"
    "  --per-client N              status pages per client per second, at most (default 5)\n"
    "  --queries-per-client N      status pages being made for one client, at most (default 4)\n"
    "  --connections-per-client N  open connections of one client, at most (default 16)\n"
    "  --max-connections N         open connections in all, at most (default 1000); when all\n"
    "                              are taken, the clients holding most lose an idle one first\n"
    "  --idle-seconds N            a connection with no request in progress and nothing left to\n"
    "                              send closes after N s (default 15)\n"
    "  --send-seconds N            an answer must be read within N s, at any pace (default 30)\n"
    "  --max-head BYTES            largest request head taken (default 16384); no request takes\n"
    "                              a body\n"
    "  --page-seconds N            a status page is answered within N s, the server's name\n"
    "                              look-up included (default 5)\n"
    "  --reuse-ms N                a server's answer serves further pages for N ms, so a burst\n"
    "                              of reloads asks the server once (default 1500; 0: never)\n"
    "  --allow CIDR                when listening on anything but loopback, loopback, private,\n"
    "                              link-local, multicast and broadcast addresses are not asked;\n"
    "                              this range is asked all the same (repeatable; a clan whose\n"
    "                              game servers run on this machine gives --allow 127.0.0.1/32)\n";

} // namespace utq
