#include "base/Subnets.h"

#include <algorithm>

namespace utq {

bool inAnyRange(const QHostAddress& address, const QList<Subnet>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [&address](const Subnet& range) { return address.isInSubnet(range); });
}

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
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        return QHostAddress(ipv4);
    QHostAddress plain = address;
    plain.setScopeId(QString()); // fe80::1%eth0 is still fe80::1
    return plain;
}

} // namespace utq
