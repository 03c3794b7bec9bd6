#pragma once

#include "queryservice/TargetPolicy.h"
#include "queryservice/http/Request.h"

#include <QHostAddress>
#include <QList>

// Who a request is from when a reverse proxy of the operator's carries it: the proxy names the
// client in X-Forwarded-For or Forwarded (RFC 7239). Only a trusted proxy is believed;
// anybody else could name whom they like.
namespace utq::queryservice {

// The client that `request` is counted for. From a peer in `trustedProxies`, the last hop in
// X-Forwarded-For (or else the for= of Forwarded) that is not itself a trusted proxy; the
// peer itself when that is missing or malformed, and when the peer is no trusted proxy.
QHostAddress forwardedClient(const http::Request& request, const QHostAddress& peer,
                             const QList<Subnet>& trustedProxies);

} // namespace utq::queryservice
