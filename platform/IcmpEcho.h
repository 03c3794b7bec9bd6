#pragma once

#include <QByteArray>

#include <cstdint>

namespace utq::platform {

// One ICMP echo exchange over a socket of its own: an unprivileged ICMP datagram socket where
// the system allows it (net.ipv4.ping_group_range), otherwise a raw socket (root, or the
// cap_net_raw capability). Error codes are errno values.
class IcmpEcho {
public:
    IcmpEcho() = default;
    IcmpEcho(const IcmpEcho&) = delete;
    IcmpEcho& operator=(const IcmpEcho&) = delete;
    ~IcmpEcho();

    // Opens the socket; 0 or the errno of the last socket tried.
    int open();

    struct Reply {
        bool received = false;
        std::uint32_t roundTripMs = 0; // whole milliseconds, from a monotonic clock
        int error = 0;                 // ETIMEDOUT when nothing came in time, or the send's errno
    };
    // Sends one echo request with `payload` to `address` (network byte order) and waits at most
    // `timeoutMs` for its reply. Replies to other requests are passed over.
    Reply exchange(std::uint32_t address, const QByteArray& payload, int timeoutMs);

    // Closes the socket; 0 or errno.
    int close();

    bool isRaw() const { return raw_; }

private:
    int fd_ = -1;
    bool raw_ = false;
};

} // namespace utq::platform
