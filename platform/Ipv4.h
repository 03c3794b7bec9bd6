#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// IPv4 addresses as the C library's socket functions see them. Addresses are in network
// byte order, as inet_addr gives them.
namespace utq::platform::ipv4 {

// inet_addr's reading of dotted text, short forms ("127.1") included; none where it answers
// INADDR_NONE, which 255.255.255.255 also gives.
std::optional<std::uint32_t> parse(const QString& text);

// inet_ntoa's dotted text.
QString format(std::uint32_t address);

struct Lookup {
    int code = 0; // 0, or getaddrinfo's EAI_* value
    std::optional<std::uint32_t> firstAddress;
};

// The IPv4 addresses of a host name, the first one in the resolver's order.
Lookup lookUp(const QString& name);

} // namespace utq::platform::ipv4
