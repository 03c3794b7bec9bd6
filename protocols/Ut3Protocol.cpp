#include "protocols/Ut3Protocol.h"

#include "platform/Windows1252.h"

#include <QByteArrayView>
#include <QSet>
#include <QStringDecoder>
#include <QtEndian>

namespace utq::protocols::ut3 {
namespace {

constexpr qsizetype kHeader = 16;
constexpr QByteArrayView kSplitnum("splitnum\0", 9);
// Server keys kept for reading; more than the rules shown, since some become status fields.
constexpr int kMaxKeys = 4 * kMaxRules;

QByteArray bigEndian(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray requestHead(char type, quint32 sessionId) {
    return QByteArray("\xFE\xFD", 2) + type + bigEndian(sessionId);
}

bool isDigits(QByteArrayView text) {
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return !text.isEmpty();
}

// UTF-8 where the bytes are valid UTF-8, otherwise the Windows code page older servers use.
QString text(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8(bytes);
    if (utf8.hasError())
        decoded = platform::windows1252::decode(bytes.toByteArray());
    if (decoded.size() > kMaxText) {
        decoded.truncate(kMaxText);
        if (decoded.back().isHighSurrogate())
            decoded.chop(1);
    }
    return decoded;
}

std::optional<int> number(QByteArrayView value) {
    bool ok = false;
    const int n = value.toByteArray().trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

// Reads a payload from front to back and never past its end.
class Reader {
public:
    explicit Reader(const QByteArray& data) : data_(data) {}

    bool atEnd() const { return pos_ >= data_.size(); }
    qsizetype pos() const { return pos_; }
    void seek(qsizetype pos) { pos_ = pos; }

    std::optional<unsigned char> byte() {
        if (atEnd())
            return std::nullopt;
        return static_cast<unsigned char>(data_[pos_++]);
    }

    std::optional<unsigned char> peek() const {
        if (atEnd())
            return std::nullopt;
        return static_cast<unsigned char>(data_[pos_]);
    }

    // A NUL-terminated string; none when the payload ends first, as a cut-off string is not
    // the one the server sent.
    std::optional<QByteArrayView> string() {
        const qsizetype nul = data_.indexOf('\0', pos_);
        if (nul < 0) {
            pos_ = data_.size();
            return std::nullopt;
        }
        const QByteArrayView value(data_.constData() + pos_, nul - pos_);
        pos_ = nul + 1;
        return value;
    }

private:
    const QByteArray& data_;
    qsizetype pos_ = 0;
};

struct PlayerFields {
    std::optional<QString> name;
    std::optional<int> score;
    std::optional<int> ping;
    QString team;
};

struct TeamFields {
    QString name;
    std::optional<int> score;
};

// What the parts hold, before it is turned into a status.
struct Collected {
    QList<QPair<QString, QString>> keys;
    QMap<int, PlayerFields> players;
    QMap<int, TeamFields> teams;

    void addKey(QByteArrayView key, QByteArrayView value) {
        if (keys.size() < kMaxKeys)
            keys.append({text(key), text(value)});
    }

    // Field names end in "_" for players and "_t" for teams; values of fields not shown are
    // passed over, and so are empty values (a bot's, or a field's end), which tell nothing.
    void addField(QByteArrayView field, int index, QByteArrayView value) {
        if (index >= kMaxEntries || value.isEmpty())
            return;
        if (field == "player_") {
            players[index].name = text(value);
        } else if (field == "score_") {
            players[index].score = number(value);
        } else if (field == "ping_") {
            players[index].ping = number(value);
        } else if (field == "team_") {
            players[index].team = text(value);
        } else if (field == "team_t") {
            teams[index].name = text(value);
        } else if (field == "score_t") {
            teams[index].score = number(value);
        }
    }
};

// Text that begins with a section byte (1 players, 2 teams) or a stray byte of 2 or less is
// where a section starts, not a key or value.
bool startsSection(QByteArrayView text) {
    return !text.isEmpty() && static_cast<unsigned char>(text.front()) <= 2;
}

// A server bug leaves some "p<number>" keys without their value, so that what is read as the
// value is the next key, or the start of the next section.
bool isNotAValue(QByteArrayView value) {
    return (value.startsWith('p') && isDigits(value.sliced(1))) || startsSection(value);
}

bool isFieldName(QByteArrayView name) {
    static const QList<QByteArrayView> names = {"player_", "score_", "ping_",  "team_",
                                                "deaths_", "pid_",   "team_t", "score_t"};
    return names.contains(name);
}

// Server keys: key 00 value 00 ..., ended by an empty key. A key starting with a byte of 2 or
// less is the start of the next section, after a key that lost its value took the terminator;
// a key named like a player or team field is one too, in a part whose header names the wrong
// section.
// Players and teams: a section byte, then fields of name 00 <index of the first value> values
// 00 ... and an empty value; bytes of 2 or less between fields (section bytes and terminators)
// are passed over. Bots are empty values in every field, before, between or after the players,
// so an empty value does not end a field: the next field's name or section does.
void readPart(const ReplyAssembly::Part& part, Collected& out) {
    Reader in(part.payload);
    bool keys = part.section == 0;
    while (!in.atEnd()) {
        if (keys) {
            const qsizetype start = in.pos();
            const auto key = in.string();
            if (!key)
                return;
            if (key->isEmpty() || startsSection(*key) || isFieldName(*key)) {
                if (!key->isEmpty())
                    in.seek(start);
                keys = false;
                continue;
            }
            const qsizetype valueStart = in.pos();
            const auto value = in.string();
            if (!value)
                return;
            if (isNotAValue(*value)) {
                out.addKey(*key, {});
                in.seek(valueStart);
                continue;
            }
            out.addKey(*key, *value);
            continue;
        }
        if (*in.peek() <= 2) {
            in.byte();
            continue;
        }
        const auto field = in.string();
        const auto first = field ? in.byte() : std::nullopt;
        if (!first)
            return;
        for (int index = *first;; ++index) {
            const qsizetype start = in.pos();
            const auto value = in.string();
            if (!value)
                return;
            if (isFieldName(*value) || startsSection(*value)) {
                in.seek(start);
                break;
            }
            out.addField(*field, index, *value);
        }
    }
}

// Keys shown under a readable name.
const QHash<QString, QString>& ruleNames() {
    static const QHash<QString, QString> names = {
        {"p268435703", "Bots"}, {"p268435704", "Frag limit"}, {"p268435705", "Time limit"},
        {"s0", "Bot skill"},    {"s6", "Pure server"},        {"s7", "Password"},
        {"s8", "Versus bots"},  {"s10", "Forced respawn"},    {"s32779", "Game mode"},
    };
    return names;
}

// "mapname" holds every key again as a comma list, not the map; the others carry nothing a
// player reads.
const QSet<QString>& droppedKeys() {
    static const QSet<QString> dropped = {"mapname",    "s1",        "s9",  "s11",
                                          "s12",        "s13",       "s14", "p268435706",
                                          "p268435968", "p268435969"};
    return dropped;
}

// Custom mutators, then stock ones; each a list separated by 0x1C.
const QSet<QString>& mutatorKeys() {
    static const QSet<QString> keys = {"p1073741828", "p1073741829", "p268435717"};
    return keys;
}

} // namespace

QByteArray challengeRequest(quint32 sessionId) { return requestHead('\x09', sessionId); }

std::optional<qint32> parseChallenge(const QByteArray& datagram, quint32 sessionId) {
    if (datagram.size() < 6 || datagram[0] != '\x09' ||
        qFromBigEndian<quint32>(datagram.constData() + 1) != sessionId)
        return std::nullopt;
    QByteArrayView digits = QByteArrayView(datagram).sliced(5);
    if (const qsizetype nul = digits.indexOf('\0'); nul >= 0)
        digits.truncate(nul); // the NUL padding
    const bool negative = digits.startsWith('-');
    if (negative)
        digits = digits.sliced(1);
    // Leading zeros aside, more than ten digits cannot be in range.
    while (digits.size() > 1 && digits.front() == '0')
        digits = digits.sliced(1);
    if (!isDigits(digits) || digits.size() > 10)
        return std::nullopt;
    const qint64 magnitude = digits.toByteArray().toLongLong();
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

QByteArray fullStatsRequest(quint32 sessionId, std::optional<qint32> challenge) {
    QByteArray request = requestHead('\x00', sessionId);
    if (challenge && *challenge != 0)
        request += bigEndian(static_cast<quint32>(*challenge));
    return request + QByteArray("\xFF\xFF\xFF\x01", 4);
}

bool ReplyAssembly::add(const QByteArray& datagram) {
    if (datagram.size() < kHeader || datagram.size() > kMaxDatagram || datagram[0] != '\0' ||
        qFromBigEndian<quint32>(datagram.constData() + 1) != sessionId_ ||
        QByteArrayView(datagram).sliced(5, kSplitnum.size()) != kSplitnum)
        return false;
    const auto packet = static_cast<unsigned char>(datagram[14]);
    // Some servers mark a reply of one datagram with FF.
    const int index = packet == 0xFF ? 0 : packet & 0x7F;
    const bool last = (packet & 0x80) != 0;
    if (index >= kMaxParts)
        return false;
    if (last_ && (index > *last_ || (last && index != *last_)))
        return false;
    if (last && !parts_.isEmpty() && parts_.lastKey() > index)
        return false;
    if (!parts_.contains(index))
        parts_.insert(index, {datagram[15], datagram.sliced(kHeader)});
    if (last)
        last_ = index;
    return true;
}

bool ReplyAssembly::isComplete() const {
    // Parts beyond the last one are refused, so a full count means none is missing.
    return last_ && parts_.size() == *last_ + 1;
}

ServerStatus statusFrom(const ReplyAssembly& reply) {
    Collected collected;
    for (const ReplyAssembly::Part& part : reply.parts())
        readPart(part, collected);

    ServerStatus status;
    QString description;
    QStringList mutators;
    std::optional<qsizetype> mutatorsRule;
    QSet<QString> seen;
    const auto addRule = [&status](const QString& key, const QString& value) {
        if (status.rules.size() < kMaxRules)
            status.rules.append({key, value});
    };
    for (const auto& [key, value] : collected.keys) {
        if (seen.contains(key))
            continue; // the first value counts
        seen.insert(key);
        if (key == QLatin1String("hostname")) {
            status.name = value;
        } else if (key == QLatin1String("numplayers")) {
            status.players = number(value.toUtf8());
        } else if (key == QLatin1String("maxplayers")) {
            status.maxPlayers = number(value.toUtf8());
        } else if (key == QLatin1String("p1073741825")) {
            status.map = value;
        } else if (key == QLatin1String("p1073741826")) {
            status.gameType = value;
        } else if (mutatorKeys().contains(key)) {
            for (const QString& part : value.split(QChar(0x1C))) {
                const QString mutator = part.trimmed();
                if (!mutator.isEmpty() && !mutators.contains(mutator))
                    mutators.append(mutator); // the stock lists repeat one another
            }
            if (!mutatorsRule && status.rules.size() < kMaxRules) {
                mutatorsRule = status.rules.size();
                addRule(QStringLiteral("Mutators"), {});
            }
        } else if (key == QLatin1String("p1073741827")) {
            description = value; // the name, if the server has no host name
            if (!value.isEmpty())
                addRule(QStringLiteral("Description"), value);
        } else if (droppedKeys().contains(key)) {
            continue;
        } else if (const auto name = ruleNames().constFind(key); name != ruleNames().cend()) {
            addRule(*name, value);
        } else {
            addRule(key, value);
        }
    }
    if (status.name.isEmpty())
        status.name = description;
    if (mutatorsRule)
        status.rules[*mutatorsRule].second = mutators.join(QStringLiteral(", ")).left(kMaxText);

    for (auto team = collected.teams.cbegin(); team != collected.teams.cend(); ++team)
        status.teams.append(
            {team->name.isEmpty() ? QString::number(team.key()) : team->name, team->score});
    for (const PlayerFields& fields : collected.players) {
        if (!fields.name)
            continue; // a part with the names is missing
        PlayerStatus player{*fields.name, fields.score, fields.ping, fields.team.trimmed()};
        bool isIndex = false;
        const int teamIndex = player.team.toInt(&isIndex);
        if (isIndex && collected.teams.contains(teamIndex) &&
            !collected.teams[teamIndex].name.isEmpty())
            player.team = collected.teams[teamIndex].name;
        status.playerList.append(player);
    }
    return status;
}

} // namespace utq::protocols::ut3
