#pragma once

#include "base/Games.h"
#include "protocols/ServerStatus.h"

#include <QDateTime>
#include <QString>

namespace utq::queryservice::pages {

// What became of one request for a server's status, whether it is then shown as a page or
// sent as JSON.
struct Finding {
    enum class State {
        Up,
        Partial,      // part of the server's answer did not come
        NoAnswer,     // silence or refusal, on the port asked and its usual neighbour
        UnknownHost,  // the name could not be found, or is no name at all
        LateLookUp,   // the name's look-up did not end before the deadline
        NoHost,       // nothing was given as the server
        BadPort,      // the port given is no port
        Busy,         // too many servers are being asked
        TooFast,      // this client asked too often in one second
        ClientBusy,   // too many of this client's pages are being made
        NotAskedHere, // the address is one this service does not ask
    };

    State state = State::NoAnswer;
    const GameDescription* game = nullptr;
    QString host;                   // as given, trimmed
    QString portText;               // as given
    int port = 0;                   // the port given, when it is one
    int queryPort = 0;              // the port asked last: the one that answered, when one did
    protocols::ServerStatus status; // for Up and Partial
    qint64 roundTripMs = -1;
    QDateTime askedAt;
    QString note;          // how the server was found, when it was not where told
    QString webStatistics; // the server's own statistics pages (UT3), when given a web port
};

// The HTTP status a finding is answered with, as a page or as JSON: a refusal of the service's
// own says so; what became of the server itself is told in the body.
constexpr int httpStatusOf(Finding::State state) {
    switch (state) {
    case Finding::State::Busy:
        return 503;
    case Finding::State::TooFast:
    case Finding::State::ClientBusy:
        return 429;
    case Finding::State::NotAskedHere:
        return 403;
    case Finding::State::Up:
    case Finding::State::Partial:
    case Finding::State::NoAnswer:
    case Finding::State::UnknownHost:
    case Finding::State::LateLookUp:
    case Finding::State::NoHost:
    case Finding::State::BadPort:
        return 200;
    }
    return 200; // not reached: the switch names every state
}

} // namespace utq::queryservice::pages
