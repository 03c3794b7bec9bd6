#include "protocols/UdkBeacon.h"

#include "base/Utf16.h"
#include "protocols/StatusBounds.h"

#include <QByteArrayView>
#include <QtEndian>

#include <iterator>

namespace utq::protocols::udk {
namespace {

constexpr char kVersion = 5;
constexpr quint32 kGameId = 0x4D5707DB;
constexpr qsizetype kHeaderBytes = 16;
// Advertise, LAN match, uses stats, join in progress, invites, presence, join via presence,
// arbitration, and in version 5 anti-cheat.
constexpr qsizetype kFlagBytes = 9;
constexpr qsizetype kOwnerIdBytes = 8;
constexpr quint32 kGameModeSetting = 32779;
constexpr quint32 kPasswordSetting = 7;
constexpr quint32 kMapProperty = 1073741825;
constexpr quint32 kGameTypeProperty = 1073741826;

enum DataType : quint8 { Empty, Int32, Int64, Double, String, Float, Blob, DateTime };

QByteArray header(char platform, char type, quint64 nonce) {
    QByteArray bytes(kHeaderBytes, '\0');
    bytes[0] = kVersion;
    bytes[1] = platform;
    qToBigEndian(kGameId, bytes.data() + 2);
    bytes[6] = 'S';
    bytes[7] = type;
    qToBigEndian(nonce, bytes.data() + 8);
    return bytes;
}

QString gameModeName(quint32 index) {
    static const char* const names[] = {"Deathmatch",  "Team Deathmatch", "Capture the Flag",
                                        "Vehicle CTF", "Warfare",         "Duel",
                                        "Campaign",    "Greed",           "Betrayal"};
    return index < std::size(names) ? QString::fromLatin1(names[index]) : QString();
}

// Reads from front to back, never past the end: every read that would is a failure, and the
// reply is no reply.
class Reader {
public:
    explicit Reader(QByteArrayView data) : data_(data) {}

    std::optional<quint32> uint32() {
        if (!has(4))
            return std::nullopt;
        const auto value = qFromBigEndian<quint32>(data_.data() + pos_);
        pos_ += 4;
        return value;
    }
    std::optional<quint8> byte() {
        if (!has(1))
            return std::nullopt;
        return static_cast<quint8>(data_[pos_++]);
    }
    bool skip(qsizetype bytes) {
        if (!has(bytes))
            return false;
        pos_ += bytes;
        return true;
    }
    // A count or length: not negative, at most `bound`.
    std::optional<int> count(int bound) {
        const auto value = uint32();
        if (!value || *value > static_cast<quint32>(bound))
            return std::nullopt;
        return static_cast<int>(*value);
    }
    // A 4-byte length then that many bytes of UTF-8; the engine counts a NUL at the end.
    std::optional<QString> string() {
        const auto length = count(kMaxStringBytes);
        if (!length || !has(*length))
            return std::nullopt;
        QByteArrayView bytes = data_.sliced(pos_, *length);
        pos_ += *length;
        if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
            bytes.truncate(nul);
        QString text = QString::fromUtf8(bytes);
        utf16::truncate(text, bounds::kMaxText);
        return text;
    }

private:
    bool has(qsizetype bytes) const { return bytes >= 0 && bytes <= data_.size() - pos_; }

    QByteArrayView data_;
    qsizetype pos_ = 0;
};

// The value of a property of `type`; its text where it is a string.
std::optional<QString> propertyValue(Reader& in, quint8 type) {
    switch (type) {
    case Empty:
        return QString();
    case Int32:
    case Float:
        return in.skip(4) ? std::optional(QString()) : std::nullopt;
    case Int64:
    case Double:
    case DateTime:
        return in.skip(8) ? std::optional(QString()) : std::nullopt;
    case String:
        return in.string();
    case Blob: {
        const auto length = in.count(kMaxStringBytes);
        return length && in.skip(*length) ? std::optional(QString()) : std::nullopt;
    }
    }
    return std::nullopt; // a type that tells nothing of its size
}

} // namespace

QByteArray beaconQuery(quint64 nonce) { return header(1, 'Q', nonce); }

std::optional<BeaconReply> readBeaconReply(const QByteArray& datagram, quint64 nonce) {
    if (datagram.size() < kHeaderBytes || datagram.size() > kMaxReplyBytes ||
        datagram.first(kHeaderBytes) != header(datagram[1], 'R', nonce))
        return std::nullopt;
    Reader in(QByteArrayView(datagram).sliced(kHeaderBytes));
    BeaconReply reply;
    const auto ipv4 = in.uint32();
    const auto gamePort = in.uint32();
    const auto openPublic = in.count(kMaxSlots);
    const auto openPrivate = in.count(kMaxSlots);
    const auto publicSlots = in.count(kMaxSlots);
    const auto privateSlots = in.count(kMaxSlots);
    if (!ipv4 || !gamePort || !openPublic || !openPrivate || !publicSlots || !privateSlots ||
        *openPrivate > *privateSlots || *openPublic > *publicSlots || *gamePort == 0 ||
        *gamePort > 65535)
        return std::nullopt;
    reply.ipv4 = *ipv4;
    reply.gamePort = static_cast<quint16>(*gamePort);
    reply.players = *publicSlots - *openPublic;
    reply.maxPlayers = *publicSlots;
    const auto ownerName = in.skip(kFlagBytes + kOwnerIdBytes) ? in.string() : std::nullopt;
    const auto settings = ownerName ? in.count(kMaxSettings) : std::nullopt;
    if (!settings)
        return std::nullopt;
    reply.ownerName = *ownerName;
    for (int i = 0; i < *settings; ++i) {
        const auto id = in.uint32();
        const auto value = in.uint32();
        if (!id || !value || !in.byte()) // the last its advertisement type
            return std::nullopt;
        if (*id == kGameModeSetting)
            reply.gameMode = gameModeName(*value);
        else if (*id == kPasswordSetting)
            reply.password = *value != 0;
    }
    const auto properties = in.count(kMaxProperties);
    if (!properties)
        return std::nullopt;
    for (int i = 0; i < *properties; ++i) {
        const auto id = in.uint32();
        const auto type = in.byte();
        const auto value = type ? propertyValue(in, *type) : std::nullopt;
        if (!id || !value || !in.byte())
            return std::nullopt;
        if (*id == kMapProperty)
            reply.map = *value;
        else if (*id == kGameTypeProperty)
            reply.gameType = *value;
    }
    return reply;
}

} // namespace utq::protocols::udk
