// Fuzzes the reading of UT2004 reply datagrams and of the colour codes in their names. The
// input is one datagram; its type byte chooses the parser that should take it, and the
// others must refuse it.
#include "protocols/Ut2004Protocol.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace utq::protocols;
using namespace utq::protocols::ut2004;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkColours(const QString& text) {
    const QString plain = withoutColourCodes(text);
    check(plain.size() <= text.size());
    check(!plain.contains(QChar(0x1B)));
    const TextRuns runs = colourRuns(text);
    qsizetype length = 0;
    for (const TextRun& run : runs) {
        check(!run.text.contains(QChar(0x1B)));
        check(!run.text.isEmpty());
        length += run.text.size();
    }
    check(length == plain.size());
}

// A name as the parser delivers it: no codes left, and runs only when they colour it, which
// joined give the name.
void checkName(const QString& name, const TextRuns& runs) {
    check(!name.contains(QChar(0x1B)));
    check(name.size() <= kMaxText);
    if (runs.isEmpty())
        return;
    QString joined;
    bool coloured = false;
    for (const TextRun& run : runs) {
        joined += run.text;
        coloured = coloured || run.colour.has_value();
    }
    check(coloured);
    check(joined == name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<ReplyType> type = typeOf(datagram);
    check(type.has_value() == (size >= 5 && data[4] <= 2));
    // What the header leaves: the most a body of this size can hold.
    const qsizetype body = size >= 5 ? static_cast<qsizetype>(size) - 5 : 0;

    Info info;
    const bool infoWhole = parseInfo(datagram, info);
    check(!infoWhole || type == ReplyType::Info);
    check(type == ReplyType::Info || (info.name.isEmpty() && !info.players));
    checkColours(info.name);
    checkName(info.name, info.nameRuns);
    checkColours(info.map);
    check(!info.map.contains(QChar(0x1B)));

    QList<QPair<QString, QString>> rules;
    const bool rulesWhole = parseRules(datagram, rules);
    check(!rulesWhole || type == ReplyType::Rules);
    check(type == ReplyType::Rules || rules.isEmpty());
    check(rules.size() <= body / 2); // a key and a value of one length byte each at least
    for (const auto& [key, value] : rules)
        checkColours(value);

    QList<PlayerStatus> players;
    const bool playersWhole = parsePlayers(datagram, players);
    check(!playersWhole || type == ReplyType::Players);
    check(type == ReplyType::Players || players.isEmpty());
    check(players.size() <= body / 17); // four integers and a string's length byte each
    for (const PlayerStatus& player : players) {
        checkColours(player.name);
        checkName(player.name, player.nameRuns);
    }

    // The same bytes as UTF-16 text, for names with any character in them.
    QString text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text += QChar(qFromLittleEndian<quint16>(data + i));
    checkColours(text);
    return 0;
}
