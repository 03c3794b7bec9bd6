#pragma once

#include <QString>

#include <cstdint>

namespace utq::net {

// The program's network probe: turns a host name into a dotted IPv4 address and sends one
// ICMP echo request to it. Failures never raise: they are told by the results and the three
// public fields. Each call opens what it needs and closes it before it returns.
class PingIPv4 {
public:
    // The step at which the last failing Ping stopped: 1 the address is not dotted IPv4 text,
    // 2 no ICMP socket could be opened, 3 no reply in time, 4 the socket would not close.
    // A later success leaves it as it is.
    std::int32_t Reason = 0;
    // The platform's error code for the failing step of the last Ping (errno); 0 otherwise.
    std::int32_t Status = 0;
    // Milliseconds of the last successful Ping's reply.
    std::int32_t RoundTripTime = 0;

    // Sends one echo request carrying `Data` to the dotted address `IP` and waits at most
    // `TimeoutMS` for the reply. Names are not resolved and blanks are not trimmed here.
    bool Ping(const QString& IP, std::int32_t TimeoutMS, const QString& Data);

    // Dotted IPv4 text for a name or address, spaces around it ignored: 0 and `IP` written, or
    // the resolver's nonzero code and `IP` as it was. Text that inet_addr accepts passes
    // through as written, without asking the resolver.
    std::int32_t Resolve(const QString& NameOrIP, QString& IP);
};

} // namespace utq::net
