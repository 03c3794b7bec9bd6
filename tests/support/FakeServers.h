#pragma once

// What fake game servers of the three games answer, for the service's page tests, the
// end-to-end tests and the benchmarks.
#include "FakeGameServer.h"
#include "Ut2004Replies.h"
#include "Ut3Replies.h"

#include <QtEndian>

namespace fakeservers {

// A UT99 server with two players and a rule, in one datagram.
inline FakeGameServer::Answer ut99(const QByteArray& name) {
    return [name](const QByteArray&, int) {
        return QList<QByteArray>{
            "\\hostname\\" + name +
            "\\mapname\\DM-Morpheus\\gametype\\DeathMatchPlus\\numplayers\\2\\maxplayers\\12"
            "\\player_0\\Low\\frags_0\\1\\ping_0\\ 20\\player_1\\High\\frags_1\\9\\ping_1\\ 30"
            "\\timelimit\\15\\queryid\\1.1\\final\\"};
    };
}

// A UT2004 server answering each request by its last byte, whatever the first four are:
// info, rules, players, or rules and players together (what qstat asks for); `nameField` is
// already encoded.
inline FakeGameServer::Answer ut2004(const QByteArray& nameField,
                                     const QList<ut2004replies::Player>& players) {
    return [nameField, players](const QByteArray& request, int) {
        using namespace ut2004replies;
        if (request.size() != 5)
            return QList<QByteArray>{};
        const QByteArray rules = rulesReply(
            {{"ServerMode", "dedicated"}, {"Mutator", "MutInstaGib"}, {"Mutator", "MutQuadJump"}});
        switch (request[4]) {
        case 0:
            return QList<QByteArray>{
                infoReply(nameField, "DM-Rankin", static_cast<quint32>(players.size()), 16)};
        case 1:
            return QList<QByteArray>{rules};
        case 2:
            return QList<QByteArray>{playersReply(players)};
        case 3:
            return QList<QByteArray>{rules, playersReply(players)};
        }
        return QList<QByteArray>{};
    };
}

// A UT3 server with two players on two teams.
inline ut3replies::Server ut3TwoPlayers(const QByteArray& name = "Fake UT3") {
    ut3replies::Server server;
    server.name = name;
    server.players = {{"Alice", 12, 40, 0}, {"Bob", 30, 55, 1}};
    server.teams = {{"Red", 1}, {"Blue", 3}};
    return server;
}

// A UT3 server: the challenge, then the full statistics in `datagrams` datagrams for a request
// that carries that challenge.
inline FakeGameServer::Answer ut3(const ut3replies::Server& server, int datagrams = 1) {
    constexpr qint32 kChallenge = -1287574694;
    return [server, datagrams](const QByteArray& request, int) {
        if (request.size() < 7 || static_cast<unsigned char>(request[0]) != 0xFE ||
            static_cast<unsigned char>(request[1]) != 0xFD)
            return QList<QByteArray>{};
        const quint32 session = qFromBigEndian<quint32>(request.constData() + 3);
        if (request[2] == '\x09')
            return QList<QByteArray>{ut3replies::challengeReply(session, kChallenge)};
        if (request[2] == '\0' && request.size() == 15 &&
            qFromBigEndian<qint32>(request.constData() + 7) == kChallenge)
            return ut3replies::fullStatsReply(session, server, datagrams);
        return QList<QByteArray>{}; // a stale or missing challenge is ignored
    };
}

} // namespace fakeservers
