#pragma once

#include "protocols/UdkBeacon.h"

#include <QFuture>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

// Finding a game's servers on the local network: a question broadcast on every network this
// machine is on, and whatever answers in a short time. UT2004's LAN question is not known, so
// it is not asked.
namespace utq::protocols {

enum class LanGame { UT99, UT3 };

// UT99: `REPORTQUERY` to the beacon ports, each server answering `ut <query port>`.
inline constexpr quint16 kUt99FirstBeaconPort = 8777;
inline constexpr quint16 kUt99LastBeaconPort = 8786;

// Answers are anybody's on the network: at most this many servers are kept, of one address
// (a machine runs a few servers, not hundreds) and altogether.
inline constexpr int kMaxLanServers = 256;
inline constexpr int kMaxLanServersPerAddress = 16;
// Past this many datagrams the search ends with what it has.
inline constexpr int kMaxLanDatagrams = 4096;
inline constexpr qsizetype kMaxUt99AnswerBytes = 64;
inline constexpr int kLanSearchMs = 1500;

struct LanServer {
    QHostAddress address;                   // where its answer came from
    quint16 queryPort = 0;                  // UT99: the port its status is asked on
    std::optional<udk::BeaconReply> beacon; // UT3: what its beacon said
};

struct LanSearchResult {
    enum class State {
        Searched,
        NoNetwork,    // no interface that is up has an IPv4 broadcast address
        CouldNotSend, // there were networks, and the question reached none
    };
    State state = State::Searched;
    QList<LanServer> servers;  // in the order they answered, each once
    int networksAsked = 0;     // interfaces the question went out on
    int ignored = 0;           // datagrams that were no answer, or past the bounds
    bool moreThanKept = false; // answers past kMaxLanServers or kMaxLanServersPerAddress
    // UT3: the beacon port could be had, so replies broadcast to it were heard as well.
    bool heardBeaconPort = false;

    // A few words for a page: "LAN: 3 found", "LAN: no network to search".
    QString summary() const;
};

// Searches for `game`'s servers for `waitMs`. Every socket is made before it returns, in the
// calling thread's network namespace; that thread needs an event loop, and the future
// finishes on it.
QFuture<LanSearchResult> searchLan(LanGame game, int waitMs = kLanSearchMs);

} // namespace utq::protocols
