#pragma once

#include "protocols/ServerStatus.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// UT2004's binary query protocol: a 5-byte request whose last byte names what is asked
// (0 server info, 1 rules, 2 players), answered by datagrams that start with a 4-byte version
// and the same type byte, then little-endian integers and length-prefixed strings.
namespace utq::protocols::ut2004 {

enum class ReplyType : char { Info = 0, Rules = 1, Players = 2 };

QByteArray request(ReplyType type);

// The reply type a datagram claims; none when it is too short to be a reply.
std::optional<ReplyType> typeOf(const QByteArray& datagram);

// Text longer than this is cut: no name or rule needs more, and a page must stay readable.
inline constexpr qsizetype kMaxText = 255;

// Each parser reads one datagram and says whether it was whole; a truncated or malformed
// datagram gives what could be read before the fault. Rules and players are added to what
// earlier datagrams gave, up to bounds::kMaxRules and bounds::kMaxPlayers; what is past them
// is not read. A lone surrogate in UCS-2 text becomes U+FFFD.
// Names come without their colour codes (ESC and three colour bytes), and in runs of one colour
// each where they had any.
struct Info {
    QString name;
    TextRuns nameRuns; // empty when the name had no colour
    QString map;       // without colour codes
    QString gameType;
    std::optional<int> players;
    std::optional<int> maxPlayers;
    quint16 gamePort = 0;
};
bool parseInfo(const QByteArray& datagram, Info& info);
bool parseRules(const QByteArray& datagram, QList<QPair<QString, QString>>& rules);
bool parsePlayers(const QByteArray& datagram, QList<PlayerStatus>& players);

// Text with colour codes, each ESC and three characters whose low bytes are red, green and blue:
// the plain text, and the text in runs of one colour each (the first without a colour when text
// comes before the first code), at most bounds::kMaxRunsPerName of them. Only the codes are taken
// out; other control characters are left for the page to drop.
QString withoutColourCodes(const QString& text);
TextRuns colourRuns(const QString& text);

} // namespace utq::protocols::ut2004
