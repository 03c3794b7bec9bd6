#pragma once

// A UDP port that takes requests and never answers: a server that is down but not refusing,
// so a query waits out all its tries (or a name server that never answers). It counts what
// came, to tell when the queries have started.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace bench {

class SilentUdpPort {
public:
    // On `ipv4`:`port` (host byte order; 0: a free port).
    explicit SilentUdpPort(uint32_t ipv4 = INADDR_LOOPBACK, uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(ipv4);
        socklen_t size = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~SilentUdpPort() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SilentUdpPort(const SilentUdpPort&) = delete;
    SilentUdpPort& operator=(const SilentUdpPort&) = delete;

    uint16_t port() const { return port_; }
    // Takes what is waiting, at most a bounded number; the count of all taken so far.
    long long requestsTaken() {
        char request[2048];
        for (int taken = 0; taken < 10000; ++taken) {
            if (::recv(fd_, request, sizeof request, 0) < 0)
                break;
            ++requests_;
        }
        return requests_;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    long long requests_ = 0;
};

} // namespace bench
