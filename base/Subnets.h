#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// Address ranges as an operator writes them in options: which peers a bound spares, which
// targets a policy allows.
namespace utq {

using Subnet = QPair<QHostAddress, int>;

// "10.0.0.0/8", "127.0.0.1" (one address) or "fd00::/8"; none when it is no such thing.
std::optional<Subnet> parseSubnet(const QString& text);

// `address` lies in one of `ranges`.
bool inAnyRange(const QHostAddress& address, const QList<Subnet>& ranges);

// An IPv4 address written as IPv6 (::ffff:a.b.c.d) as the IPv4 address it is, and any address
// without its scope (fe80::1%eth0 is fe80::1).
QHostAddress plainAddress(const QHostAddress& address);

} // namespace utq
