#include "protocols/Ut2004Protocol.h"

#include "base/Utf16.h"
#include "platform/Windows1252.h"
#include "protocols/StatusBounds.h"

#include <QByteArrayView>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace utq::protocols::ut2004 {
namespace {

constexpr qsizetype kHeader = 5;

// Reads a datagram from front to back and never past its end.
class Reader {
public:
    explicit Reader(const QByteArray& data) : data_(data), pos_(kHeader) {}

    bool atEnd() const { return pos_ >= data_.size(); }

    std::optional<quint32> uint32() {
        if (pos_ + 4 > data_.size())
            return std::nullopt;
        const quint32 value = qFromLittleEndian<quint32>(data_.constData() + pos_);
        pos_ += 4;
        return value;
    }

    // A length is the engine's compact index, then come that many Windows-1252 bytes, or for a
    // negative length that many UCS-2 units, the last one a NUL. A length that reaches past the
    // datagram is a lie, and ends the reading.
    std::optional<QString> string() {
        const auto length = compactIndex();
        if (!length)
            return std::nullopt;
        const qsizetype left = data_.size() - pos_;
        QString text;
        if (*length >= 0) {
            if (*length > left)
                return std::nullopt;
            text = narrowText(QByteArrayView(data_).sliced(pos_, *length));
            pos_ += *length;
        } else {
            const qint64 units = -*length;
            if (units > left / 2)
                return std::nullopt;
            text.resize(units);
            for (qsizetype i = 0; i < units; ++i)
                text[i] = QChar(qFromLittleEndian<quint16>(data_.constData() + pos_ + 2 * i));
            pos_ += units * 2;
            // UCS-2 may hold lone surrogates, which no text can.
            return utf16::wellFormed(capped(untilNul(text)));
        }
        return capped(untilNul(text));
    }

private:
    // One to five bytes: the first holds the sign (bit 7), "more follows" (bit 6) and the lowest
    // six bits; each further byte seven more bits and, in bit 7, "more follows".
    std::optional<qint64> compactIndex() {
        if (atEnd())
            return std::nullopt;
        const auto first = static_cast<unsigned char>(data_[pos_++]);
        qint64 magnitude = first & 0x3F;
        bool more = (first & 0x40) != 0;
        for (int shift = 6; more; shift += 7) {
            if (atEnd() || shift > 27)
                return std::nullopt; // cut short, or longer than the engine writes
            const auto next = static_cast<unsigned char>(data_[pos_++]);
            magnitude |= static_cast<qint64>(next & 0x7F) << shift;
            more = (next & 0x80) != 0;
        }
        return (first & 0x80) ? -magnitude : magnitude;
    }

    // Colour codes, ESC and three colour bytes, keep their bytes as the characters of the same
    // value; the rest is Windows-1252, the code page of the servers' Windows.
    static QString narrowText(QByteArrayView bytes) {
        QString text;
        text.reserve(bytes.size());
        qsizetype plainFrom = 0;
        const auto flushPlain = [&](qsizetype to) {
            text += platform::windows1252::decode(
                bytes.sliced(plainFrom, to - plainFrom).toByteArray());
        };
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes[i] != '\x1b')
                continue;
            flushPlain(i);
            const qsizetype codeEnd = std::min(i + 4, bytes.size());
            text += QString::fromLatin1(bytes.sliced(i, codeEnd - i));
            plainFrom = codeEnd;
            i = codeEnd - 1;
        }
        flushPlain(bytes.size());
        return text;
    }

    static QString untilNul(const QString& text) {
        const qsizetype nul = text.indexOf(QChar(0));
        return nul < 0 ? text : text.left(nul);
    }

    static QString capped(QString text) {
        utf16::truncate(text, kMaxText);
        return text;
    }

    const QByteArray& data_;
    qsizetype pos_;
};

// A name as delivered: its plain text, and its runs when a code coloured any of it.
void readName(const QString& raw, QString& name, TextRuns& runs) {
    runs = colourRuns(raw);
    const bool coloured =
        std::any_of(runs.cbegin(), runs.cend(), [](const TextRun& run) { return run.colour; });
    name.clear();
    for (const TextRun& run : std::as_const(runs))
        name += run.text;
    if (!coloured)
        runs.clear();
}

std::optional<int> asInt(std::optional<quint32> value) {
    return value ? std::optional<int>(static_cast<qint32>(*value)) : std::nullopt;
}

} // namespace

QByteArray request(ReplyType type) {
    return QByteArray("\x79\x00\x00\x00", 4) + static_cast<char>(type);
}

std::optional<ReplyType> typeOf(const QByteArray& datagram) {
    if (datagram.size() < kHeader)
        return std::nullopt;
    const char type = datagram[4];
    if (type < 0 || type > 2)
        return std::nullopt;
    return static_cast<ReplyType>(type);
}

bool parseInfo(const QByteArray& datagram, Info& info) {
    if (typeOf(datagram) != ReplyType::Info)
        return false;
    Reader in(datagram);
    if (!in.uint32() || !in.string()) // server id, server address
        return false;
    const auto gamePort = in.uint32();
    if (!gamePort || !in.uint32()) // game port, query port
        return false;
    info.gamePort = static_cast<quint16>(*gamePort & 0xFFFF);
    const auto name = in.string();
    if (!name)
        return false;
    readName(*name, info.name, info.nameRuns);
    const auto map = in.string();
    if (!map)
        return false;
    info.map = withoutColourCodes(*map);
    const auto gameType = in.string();
    if (!gameType)
        return false;
    info.gameType = *gameType;
    info.players = asInt(in.uint32());
    info.maxPlayers = asInt(in.uint32());
    return info.players && info.maxPlayers;
}

bool parseRules(const QByteArray& datagram, QList<QPair<QString, QString>>& rules) {
    if (typeOf(datagram) != ReplyType::Rules)
        return false;
    Reader in(datagram);
    while (!in.atEnd() && rules.size() < bounds::kMaxRules) {
        const auto key = in.string();
        const auto value = key ? in.string() : std::nullopt;
        if (!value)
            return false;
        rules.append({*key, *value});
    }
    return true;
}

bool parsePlayers(const QByteArray& datagram, QList<PlayerStatus>& players) {
    if (typeOf(datagram) != ReplyType::Players)
        return false;
    Reader in(datagram);
    while (!in.atEnd() && players.size() < bounds::kMaxPlayers) {
        const auto id = in.uint32();
        const auto name = id ? in.string() : std::nullopt;
        const auto ping = name ? in.uint32() : std::nullopt;
        const auto score = ping ? in.uint32() : std::nullopt;
        const auto team = score ? in.uint32() : std::nullopt;
        if (!team)
            return false;
        if (*id == 0)
            continue; // scoreboard entries, not players
        PlayerStatus player;
        readName(*name, player.name, player.nameRuns);
        player.ping = static_cast<int>(*ping);
        player.score = static_cast<qint32>(*score);
        player.team = (*team & (1u << 29))   ? QStringLiteral("red")
                      : (*team & (1u << 30)) ? QStringLiteral("blue")
                                             : QString();
        players.append(player);
    }
    return true;
}

QString withoutColourCodes(const QString& text) {
    QString plain;
    for (const TextRun& run : colourRuns(text))
        plain += run.text;
    return plain;
}

TextRuns colourRuns(const QString& text) {
    const auto low = [](QChar c) {
        return static_cast<quint8>(c.unicode() & 0xFF);
    };
    TextRuns runs{{{}, std::nullopt}};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QChar(0x1B)) {
            if (i + 3 < text.size())
                runs.append({{}, Rgb{low(text[i + 1]), low(text[i + 2]), low(text[i + 3])}});
            i += 3; // a cut-off code at the end is dropped whole
            continue;
        }
        runs.last().text += c;
    }
    runs.removeIf([](const TextRun& run) { return run.text.isEmpty(); });
    return bounds::boundedRuns(std::move(runs)); // past the bound, the last run's colour goes on
}

} // namespace utq::protocols::ut2004
