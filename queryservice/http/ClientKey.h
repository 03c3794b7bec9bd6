#pragma once

#include <QHostAddress>

// Who a peer is, for every per-client bound: an IPv4 address, or the /64 network of an IPv6
// address, since one household or one server is usually given a whole /64 and may pick any
// address in it. An IPv4 address written as IPv6 (::ffff:a.b.c.d) is that IPv4 address.
namespace utq::queryservice::http {

QHostAddress clientKey(const QHostAddress& peer);

} // namespace utq::queryservice::http
