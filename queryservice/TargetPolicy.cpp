#include "queryservice/TargetPolicy.h"

#include <QtEndian>

namespace utq::queryservice {
namespace {

Subnet subnet(const char* network, int prefix) {
    return {QHostAddress(QLatin1String(network)), prefix};
}

const QList<Subnet>& specialRanges() {
    static const QList<Subnet> ranges = {
        subnet("0.0.0.0", 8),      // "this network"
        subnet("10.0.0.0", 8),     // private
        subnet("100.64.0.0", 10),  // shared address space (carrier NAT)
        subnet("127.0.0.0", 8),    // loopback
        subnet("169.254.0.0", 16), // link-local
        subnet("172.16.0.0", 12),  // private
        subnet("192.0.0.0", 24),   // protocol assignments
        subnet("192.168.0.0", 16), // private
        subnet("198.18.0.0", 15),  // benchmarking
        subnet("224.0.0.0", 4),    // multicast
        subnet("240.0.0.0", 4),    // reserved, and the broadcast address
        subnet("::", 8),           // unspecified, loopback, IPv4-compatible
        subnet("fc00::", 7),       // unique local
        subnet("fe80::", 10),      // link-local
        subnet("fec0::", 10),      // site-local
        subnet("ff00::", 8),       // multicast
    };
    return ranges;
}

// The IPv4 address inside a 6to4 (2002::/16) or NAT64 (64:ff9b::/96) address, which reaches
// that IPv4 host.
std::optional<QHostAddress> embeddedIPv4(const QHostAddress& address) {
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    if (address.isInSubnet(subnet("2002::", 16)))
        return QHostAddress(qFromBigEndian<quint32>(bytes.c + 2));
    if (address.isInSubnet(subnet("64:ff9b::", 96)))
        return QHostAddress(qFromBigEndian<quint32>(bytes.c + 12));
    return std::nullopt;
}

} // namespace

std::optional<Subnet> parseSubnet(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.contains(u'/')) {
        const QHostAddress single(trimmed);
        if (single.isNull())
            return std::nullopt;
        const QHostAddress plain = plainAddress(single);
        return Subnet{plain, plain.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128};
    }
    const Subnet parsed = QHostAddress::parseSubnet(trimmed);
    if (parsed.first.isNull() || parsed.second < 0)
        return std::nullopt;
    return parsed;
}

QHostAddress plainAddress(const QHostAddress& address) {
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped && address.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress(ipv4)
                                                                         : address;
}

bool isSpecialPurpose(const QHostAddress& address) {
    const QHostAddress plain = plainAddress(address);
    if (plain.isNull())
        return true;
    if (const auto inner = embeddedIPv4(plain))
        return isSpecialPurpose(*inner);
    for (const Subnet& range : specialRanges())
        if (plain.isInSubnet(range))
            return true;
    return false;
}

bool TargetPolicy::allows(const QHostAddress& address) const {
    if (!refuseSpecialPurpose || !isSpecialPurpose(address))
        return true;
    const QHostAddress plain = plainAddress(address);
    for (const Subnet& range : allowed)
        if (plain.isInSubnet(range))
            return true;
    return false;
}

} // namespace utq::queryservice
