#include "queryservice/TargetPolicy.h"

namespace utq::queryservice {
namespace {

struct SpecialRange {
    const char* network;
    int prefix;
};

// The IANA special-purpose address registries (RFC 6890 and the RFCs that add to it), with
// multicast, the old site-local range and the reserved space. Some entries are globally
// reachable by the registry's own account (AS112, AMT, ORCHIDv2...), but no game server lives
// there, and a service that strangers drive has no reason to send anything to them.
constexpr SpecialRange kSpecialRanges[] = {
    // IPv4
    {"0.0.0.0", 8},       // "this network"
    {"10.0.0.0", 8},      // private
    {"100.64.0.0", 10},   // shared address space (carrier-grade NAT)
    {"127.0.0.0", 8},     // loopback
    {"169.254.0.0", 16},  // link-local
    {"172.16.0.0", 12},   // private
    {"192.0.0.0", 24},    // IETF protocol assignments (DS-Lite, NAT64 discovery, ...)
    {"192.0.2.0", 24},    // documentation (TEST-NET-1)
    {"192.31.196.0", 24}, // AS112 (DNAME redirection)
    {"192.52.193.0", 24}, // AMT relays
    {"192.88.99.0", 24},  // former 6to4 relay anycast
    {"192.168.0.0", 16},  // private
    {"192.175.48.0", 24}, // AS112 (direct delegation)
    {"198.18.0.0", 15},   // benchmarking
    {"198.51.100.0", 24}, // documentation (TEST-NET-2)
    {"203.0.113.0", 24},  // documentation (TEST-NET-3)
    {"224.0.0.0", 4},     // multicast
    {"240.0.0.0", 4},     // reserved, and the limited broadcast address
    // IPv6
    {"::", 8},              // unspecified, loopback, IPv4-compatible and IPv4-mapped
    {"64:ff9b::", 96},      // NAT64, well-known prefix: reaches IPv4 hosts through a translator
    {"64:ff9b:1::", 48},    // NAT64, local-use prefix
    {"100::", 64},          // discard-only
    {"2001::", 23},         // IETF protocol assignments: Teredo 2001::/32, benchmarking
                            // 2001:2::/48, AMT, AS112, ORCHID and ORCHIDv2, DRIP
    {"2001:db8::", 32},     // documentation
    {"2002::", 16},         // 6to4: reaches the IPv4 host written inside it
    {"2620:4f:8000::", 48}, // AS112 (direct delegation)
    {"3fff::", 20},         // documentation
    {"5f00::", 16},         // segment routing (SRv6) identifiers
    {"fc00::", 7},          // unique local
    {"fe80::", 10},         // link-local
    {"fec0::", 10},         // site-local, deprecated
    {"ff00::", 8},          // multicast
};

const QList<Subnet>& specialRanges() {
    static const QList<Subnet> ranges = [] {
        QList<Subnet> parsed;
        for (const SpecialRange& range : kSpecialRanges)
            parsed.append({QHostAddress(QLatin1String(range.network)), range.prefix});
        return parsed;
    }();
    return ranges;
}

} // namespace

bool isSpecialPurpose(const QHostAddress& address) {
    const QHostAddress plain = plainAddress(address);
    return plain.isNull() || inAnyRange(plain, specialRanges());
}

bool TargetPolicy::allows(const QHostAddress& address) const {
    if (!refuseSpecialPurpose)
        return true;
    const QHostAddress plain = plainAddress(address);
    if (!isSpecialPurpose(plain) && !(isOwnAddress && isOwnAddress(plain)))
        return true;
    return inAnyRange(plain, allowed);
}

} // namespace utq::queryservice
