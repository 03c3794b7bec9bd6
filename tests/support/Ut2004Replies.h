#pragma once

// Well-formed UT2004 query replies, built byte by byte as a server sends them, for fake
// servers and parser tests.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QtEndian>

namespace ut2004replies {

inline QByteArray u32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// A string's length as the engine writes it, a "compact index" of 1 to 5 bytes: the first
// holds the sign (bit 7), "more follows" (bit 6) and the lowest 6 bits; each further byte holds
// 7 more bits, with "more follows" in bit 7.
inline QByteArray compactIndex(qint32 value) {
    quint32 magnitude = value < 0 ? 0u - static_cast<quint32>(value) : static_cast<quint32>(value);
    QByteArray bytes(1, static_cast<char>((value < 0 ? 0x80 : 0) | (magnitude & 0x3F)));
    magnitude >>= 6;
    if (magnitude != 0)
        bytes[0] = static_cast<char>(bytes[0] | 0x40);
    while (magnitude != 0) {
        const quint32 next = magnitude & 0x7F;
        magnitude >>= 7;
        bytes += static_cast<char>(next | (magnitude != 0 ? 0x80 : 0));
    }
    return bytes;
}

// A Latin-1 string: its length with the NUL, the bytes, the NUL.
inline QByteArray str(const QByteArray& latin1) {
    return compactIndex(static_cast<qint32>(latin1.size() + 1)) + latin1 + '\0';
}

// A UCS-2 string: minus the number of units with the NUL unit, then the units little-endian.
inline QByteArray wide(const QString& text) {
    QByteArray bytes = compactIndex(-static_cast<qint32>(text.size() + 1));
    for (QChar c : text + QChar(0)) {
        bytes += static_cast<char>(c.unicode() & 0xFF);
        bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

inline QByteArray header(char type) { return QByteArray("\x80\x00\x00\x00", 4) + type; }

// `nameField` is already encoded (str() or wide()).
inline QByteArray infoReply(const QByteArray& nameField, const QByteArray& map = "DM-Rankin",
                            quint32 players = 2, quint32 maxPlayers = 16,
                            const QByteArray& gameType = "xDeathMatch") {
    return header(0) + u32(0) + QByteArray(1, '\0') + u32(7777) + u32(7778) + nameField + str(map) +
           str(gameType) + u32(players) + u32(maxPlayers) + u32(0) + u32(0) + str("3");
}

inline QByteArray rulesReply(const QList<QPair<QByteArray, QByteArray>>& rules) {
    QByteArray reply = header(1);
    for (const auto& [key, value] : rules)
        reply += str(key) + str(value);
    return reply;
}

struct Player {
    quint32 id;
    QByteArray nameField; // encoded
    quint32 ping;
    qint32 score;
    quint32 team; // bit 29 red, bit 30 blue
};

inline QByteArray playersReply(const QList<Player>& players) {
    QByteArray reply = header(2);
    for (const Player& p : players)
        reply += u32(p.id) + p.nameField + u32(p.ping) + u32(static_cast<quint32>(p.score)) +
                 u32(p.team);
    return reply;
}

inline constexpr quint32 kRed = 1u << 29;
inline constexpr quint32 kBlue = 1u << 30;

} // namespace ut2004replies
