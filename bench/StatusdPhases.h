#pragma once

// The parts of the statusd load bench, each against a fresh utquery-statusd so that one part's
// crash or memory does not colour the next. Each prints its own lines and summary rows.
#include <QString>

#include <string>
#include <vector>

namespace bench {

struct StatusdCommand {
    std::string program;
    std::vector<std::string> arguments; // after the listening address the bench chooses
    QString shown() const;
};

struct MixedLoadOptions {
    int connections = 32;
    int seconds = 60;
    QString label;    // tells runs with different statusd arguments apart in the table
    bool api = false; // the JSON API's /api/v1/status for the three servers, not their pages
};

struct FloodOptions {
    int clients = 3;
    int streamSeconds = 10;         // each flood stream stops after this
    int datagramsPerSecond = 10000; // per stream
    int waitSeconds = 25;           // for the pages
};

// Three fake game servers, N keep-alive connections asking for a mix of their pages and a
// start page; pages per second, latency, failures, and statusd's peak memory after it.
void runMixedLoad(const StatusdCommand& statusd, const MixedLoadOptions& options);
// A UT99 server that never ends its answer: the page's time and size, statusd's peak memory.
void runFlood(const StatusdCommand& statusd, const FloodOptions& options);
// A request head of 16 MB: the answer, and how much statusd grew.
void runHugeHead(const StatusdCommand& statusd);
// Clients that ask for a silent server's page and leave before the answer; statusd must live.
void runGivingUpClients(const StatusdCommand& statusd, int clients);
// The phases below measure what one stranger can do within the service's own limits: statusd
// runs with its default limits and `--allow 127.0.0.0/8`, so that it asks the fakes on
// loopback whatever its policy for special-purpose addresses.

// Hostile UT2004 servers answering with 1,896 players of 50 colour runs each; one client
// asks for 60 of them, a bystander for the live script: memory, CPU, the bystander's wait.
void runColourBomb(const StatusdCommand& statusd);
// A name server that never answers and random names from six clients; a hosts-file name's
// page every second during that and after it.
void runSlowResolverFlood(const StatusdCommand& statusd);
// 64 addresses x 16 idle connections; a new client each second: served or not.
void runLockout(const StatusdCommand& statusd);

// "12.3 MB" (millions of bytes) from KiB, or "unknown".
QString megabytes(long kib);

} // namespace bench
