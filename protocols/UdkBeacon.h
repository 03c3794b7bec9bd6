#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// UT3's LAN beacon (the engine's UDK beacon): a client broadcasts a 16-byte query to UDP 14001,
// and each LAN server answers with its game's facts. Every datagram starts with the same
// header: packet version 5, the platform, the game id 0x4D5707DB, two type letters ('S' 'Q' a
// query, 'S' 'R' a reply) and the client's 8-byte nonce, echoed in the reply. Integers are
// big-endian.
namespace utq::protocols::udk {

inline constexpr quint16 kBeaconPort = 14001;

// What is read of a reply, beyond the datagram's end never. Real replies hold a few hundred
// bytes, a dozen settings and properties and short texts; anything far past that is not one.
inline constexpr qsizetype kMaxReplyBytes = 8192;
inline constexpr qsizetype kMaxStringBytes = 1024; // a name, a map, a blob
inline constexpr int kMaxSettings = 64;
inline constexpr int kMaxProperties = 64;
inline constexpr int kMaxSlots = 1024; // each of the four slot counts

// The query with the client's nonce, from platform 1 (what clients send; any platform's
// reply is taken).
QByteArray beaconQuery(quint64 nonce);

// One server's answer.
struct BeaconReply {
    quint32 ipv4 = 0; // the address the server gives for itself
    quint16 gamePort = 0;
    int players = 0;    // public slots taken
    int maxPlayers = 0; // public slots
    QString ownerName;  // what UT3 shows as the server's name
    QString map;
    QString gameType; // the game class, as the server names it
    QString gameMode; // "Deathmatch", "Warfare"...; empty when not given or not known
    bool password = false;
};

// The reply in `datagram` to the query with `nonce`; none when the datagram is not one: a
// header of another version, game, type or nonce, a field cut off by the datagram's end, a
// count or length past the bounds above, slot counts that do not add up, or a game port of 0
// or past 65535.
std::optional<BeaconReply> readBeaconReply(const QByteArray& datagram, quint64 nonce);

} // namespace utq::protocols::udk
