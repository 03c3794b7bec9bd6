#include "protocols/UdkBeacon.h"

#include <QDataStream>
#include <QtEndian>

namespace utq::protocols::udk {
namespace {

constexpr char kVersion = 5;
constexpr quint32 kGameId = 0x4D5707DB;
constexpr qsizetype kHeaderBytes = 16;
constexpr quint32 kGameModeSetting = 32779;
constexpr quint32 kPasswordSetting = 7;
constexpr quint32 kMapProperty = 1073741825;
constexpr quint32 kGameTypeProperty = 1073741826;

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

} // namespace

QByteArray beaconQuery(quint64 nonce) { return header(1, 'Q', nonce); }

std::optional<BeaconReply> readBeaconReply(const QByteArray& datagram, quint64 nonce) {
    if (datagram.size() < kHeaderBytes)
        return std::nullopt;
    QByteArray expected = header(datagram[1], 'R', nonce);
    if (datagram.left(kHeaderBytes) != expected)
        return std::nullopt;
    QDataStream in(datagram.mid(kHeaderBytes));
    BeaconReply reply;
    quint32 port;
    qint32 openPublic, openPrivate, publicSlots, privateSlots, nameLength;
    in >> reply.ipv4 >> port >> openPublic >> openPrivate >> publicSlots >> privateSlots;
    reply.gamePort = static_cast<quint16>(port);
    reply.players = publicSlots - openPublic;
    reply.maxPlayers = publicSlots;
    in.skipRawData(9 + 8);
    in >> nameLength;
    QByteArray name(nameLength, '\0');
    in.readRawData(name.data(), nameLength);
    reply.ownerName = QString::fromUtf8(name.left(name.indexOf('\0')));
    qint32 settings;
    in >> settings;
    for (qint32 i = 0; i < settings; ++i) {
        quint32 id, value;
        quint8 advertised;
        in >> id >> value >> advertised;
        if (id == kGameModeSetting)
            reply.gameMode = gameModeName(value);
        else if (id == kPasswordSetting)
            reply.password = value != 0;
    }
    qint32 properties;
    in >> properties;
    for (qint32 i = 0; i < properties; ++i) {
        quint32 id;
        quint8 type, advertised;
        in >> id >> type;
        QString text;
        if (type == 4 || type == 6) {
            qint32 length;
            in >> length;
            QByteArray bytes(length, '\0');
            in.readRawData(bytes.data(), length);
            text = QString::fromUtf8(bytes.left(bytes.indexOf('\0')));
        } else {
            in.skipRawData(type == 1 || type == 5 ? 4 : type == 0 ? 0 : 8);
        }
        in >> advertised;
        if (id == kMapProperty)
            reply.map = text;
        else if (id == kGameTypeProperty)
            reply.gameType = text;
    }
    return reply;
}

} // namespace utq::protocols::udk
