#pragma once

#include "base/Subnets.h"

#include <functional>

// Which addresses a status service may send queries to. A service that strangers reach, or
// that any web page on its machine can make ask, must not be a way into the networks behind
// it or a scanner of its own machine: special-purpose addresses (loopback, private,
// link-local, documentation, multicast, ...) and the machine's own addresses are refused, in
// any spelling, unless the operator allows a range of them.
namespace utq::queryservice {

// Not a public unicast address: where a query could reach the service's own machine or
// network, or many hosts at once.
bool isSpecialPurpose(const QHostAddress& address);

struct TargetPolicy {
    bool refuseSpecialPurpose = false; // false: every address may be asked
    QList<Subnet> allowed;             // special-purpose or own ranges asked all the same
    // Whether an address (as plainAddress gives it) is this machine's own; refused like a
    // special-purpose one when set.
    std::function<bool(const QHostAddress&)> isOwnAddress;

    bool allows(const QHostAddress& address) const;
};

} // namespace utq::queryservice
