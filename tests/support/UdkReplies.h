#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QtEndian>

#include <optional>

// UT3 LAN beacon replies built field by field from a description of the server, for reader
// tests and fake beacons; the counts and lengths can be made to lie.
namespace udkreplies {

inline QByteArray be32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

inline QByteArray header(char type, quint64 nonce, char platform = 1) {
    QByteArray bytes = QByteArray("\x05") + platform + be32(0x4D5707DB) + 'S' + type;
    QByteArray nonceBytes(8, '\0');
    qToBigEndian(nonce, nonceBytes.data());
    return bytes + nonceBytes;
}

struct Property {
    quint32 id = 0;
    char type = 0;
    QByteArray value; // as sent, a string's length included
};

// A string as the engine sends it: its length counting the NUL it ends with.
inline QByteArray engineString(const QByteArray& text) {
    return be32(static_cast<quint32>(text.size() + 1)) + text + '\0';
}

inline Property stringProperty(quint32 id, const QByteArray& text) {
    return {id, 4, engineString(text)};
}

struct Server {
    char platform = 1;
    quint32 ipv4 = 0x0AD50002; // 10.213.0.2
    quint32 gamePort = 7777;
    qint32 openPublic = 12, openPrivate = 2, publicSlots = 16, privateSlots = 2;
    QByteArray ownerName = "Fake UT3 LAN";
    QList<QPair<quint32, quint32>> settings = {{32779, 4}, {7, 1}, {10, 3}}; // id, value index
    QList<Property> properties = {
        stringProperty(1073741825, "WAR-Torlan"),
        {268435704, 1, be32(20)},              // an int32: the frag limit
        {268435705, 3, QByteArray(8, '\x01')}, // a double
        {268435706, 6, be32(3) + "abc"},       // a blob
        {268435707, 7, be32(2024) + be32(1)},  // a date
        stringProperty(1073741826, "UTGame.UTOnslaughtGame"),
    };
    // Lies: these instead of the true name length and counts.
    std::optional<qint32> nameLength, settingsCount, propertiesCount;
};

inline QByteArray reply(const Server& server, quint64 nonce) {
    QByteArray bytes = header('R', nonce, server.platform) + be32(server.ipv4) +
                       be32(server.gamePort) + be32(server.openPublic) + be32(server.openPrivate) +
                       be32(server.publicSlots) + be32(server.privateSlots) +
                       QByteArray("\x01\x01\x00\x01\x00\x00\x00\x00\x00", 9) +
                       QByteArray(8, '\x07'); // flags, owner id
    if (server.nameLength)
        bytes += be32(static_cast<quint32>(*server.nameLength)) + server.ownerName;
    else
        bytes += engineString(server.ownerName);
    bytes += be32(static_cast<quint32>(server.settingsCount.value_or(server.settings.size())));
    for (const auto& [id, value] : server.settings)
        bytes += be32(id) + be32(value) + '\x01';
    bytes += be32(static_cast<quint32>(server.propertiesCount.value_or(server.properties.size())));
    for (const Property& property : server.properties)
        bytes += be32(property.id) + property.type + property.value + '\x01';
    return bytes;
}

} // namespace udkreplies
