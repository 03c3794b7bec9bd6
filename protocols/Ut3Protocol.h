#pragma once

#include "protocols/StatusBounds.h"

#include <QByteArray>
#include <QList>
#include <QMap>

#include <optional>

// UT3's GameSpy query protocol, version 4: a challenge request, then a full-stats request that
// carries the challenge, answered by one or more "splitnum" datagrams. Every request carries a
// 4-byte session id that the server echoes, so replies to another query can be told apart.
namespace utq::protocols::ut3 {

// FE FD 09 <session id>
QByteArray challengeRequest(quint32 sessionId);

// The challenge in a reply "09 <session id> <decimal text> 00...", possibly negative; none
// when the datagram is of another type or session, too short, or its text is not a number in
// signed 32-bit range. A challenge of 0 is a server that asks for none.
std::optional<qint32> parseChallenge(const QByteArray& datagram, quint32 sessionId);

// FE FD 00 <session id> <challenge, big-endian> FF FF FF 01: server keys, players and teams,
// answered in the splitnum format. Without a challenge, or with 0, the four challenge bytes are
// left out.
QByteArray fullStatsRequest(quint32 sessionId, std::optional<qint32> challenge);

// Collects the datagrams of one full-stats reply, in whatever order and as often as they come.
// Each starts with the 16-byte header 00 <session id> "splitnum" 00 <index> <section>: the
// index counts from 0 in its low 7 bits, its high bit marks the last datagram, and the section
// byte names the section (0 server keys, 1 players, 2 teams) the datagram's payload begins in.
class ReplyAssembly {
public:
    static constexpr int kMaxParts = 32;
    static constexpr qsizetype kMaxDatagram = 65535;

    struct Part {
        char section = 0;
        QByteArray payload; // what follows the header
    };

    explicit ReplyAssembly(quint32 sessionId) : sessionId_(sessionId) {}

    // Takes one datagram; false when it does not belong to the reply: another session, not a
    // splitnum reply, an index beyond kMaxParts or beyond the last one, a second last one, or
    // too large. A repeated part changes nothing.
    bool add(const QByteArray& datagram);
    // Every part from 0 to the last one is in.
    bool isComplete() const;
    bool isEmpty() const { return parts_.isEmpty(); }
    // The parts received so far, by index.
    const QMap<int, Part>& parts() const { return parts_; }

private:
    quint32 sessionId_;
    QMap<int, Part> parts_;
    std::optional<int> last_;
};

// The status the parts received so far describe; with parts missing, what the others hold.
// Each part is read on its own, from the section its header names, so a lost datagram costs
// only what it carried. Strings are capped at kMaxText characters, players and teams at
// kMaxEntries, rules at kMaxRules.
inline constexpr qsizetype kMaxText = bounds::kMaxText;
inline constexpr int kMaxEntries = bounds::kMaxPlayers;
inline constexpr int kMaxRules = bounds::kMaxRules;
ServerStatus statusFrom(const ReplyAssembly& reply);

} // namespace utq::protocols::ut3
