#include "queryservice/http/ClientKey.h"

#include <algorithm>

namespace utq::queryservice::http {

QHostAddress clientKey(const QHostAddress& peer) {
    bool isIPv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QHostAddress(ipv4);
    if (peer.protocol() != QAbstractSocket::IPv6Protocol)
        return peer;
    // Built anew, so a scope (fe80::1%eth0) is dropped as well.
    Q_IPV6ADDR network = peer.toIPv6Address();
    std::fill(std::begin(network.c) + 8, std::end(network.c), quint8{0});
    return QHostAddress(network);
}

} // namespace utq::queryservice::http
