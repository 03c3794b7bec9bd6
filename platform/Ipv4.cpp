#include "platform/Ipv4.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace utq::platform::ipv4 {

std::optional<std::uint32_t> parse(const QString& text) {
    const in_addr_t address = ::inet_addr(text.toLocal8Bit().constData());
    if (address == INADDR_NONE)
        return std::nullopt;
    return address;
}

QString format(std::uint32_t address) {
    in_addr in{};
    in.s_addr = address;
    return QString::fromLatin1(::inet_ntoa(in));
}

Lookup lookUp(const QString& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address rather than one per socket type
    addrinfo* found = nullptr;
    const int code = ::getaddrinfo(name.toLocal8Bit().constData(), nullptr, &hints, &found);
    if (code != 0)
        return {code, std::nullopt};
    Lookup result;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next)
        if (entry->ai_family == AF_INET) {
            result.firstAddress =
                reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            break;
        }
    ::freeaddrinfo(found);
    if (!result.firstAddress)
        result.code = EAI_NODATA;
    return result;
}

} // namespace utq::platform::ipv4
