#include "platform/IcmpEcho.h"

#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace utq::platform {
namespace {

std::uint16_t checksum(const QByteArray& data) {
    std::uint32_t sum = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    qsizetype i = 0;
    for (; i + 1 < data.size(); i += 2)
        sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (i < data.size())
        sum += static_cast<std::uint32_t>(bytes[i] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t nextSequence() {
    static std::atomic<std::uint16_t> sequence{static_cast<std::uint16_t>(::getpid())};
    return ++sequence;
}

QByteArray echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                       const QByteArray& payload) {
    QByteArray packet(8, '\0');
    packet[0] = static_cast<char>(ICMP_ECHO);
    packet[4] = static_cast<char>(identifier >> 8);
    packet[5] = static_cast<char>(identifier & 0xFF);
    packet[6] = static_cast<char>(sequence >> 8);
    packet[7] = static_cast<char>(sequence & 0xFF);
    packet += payload;
    const std::uint16_t sum = checksum(packet);
    packet[2] = static_cast<char>(sum >> 8);
    packet[3] = static_cast<char>(sum & 0xFF);
    return packet;
}

} // namespace

IcmpEcho::~IcmpEcho() {
    if (fd_ >= 0)
        ::close(fd_);
}

int IcmpEcho::open() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ >= 0)
        return 0;
    fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ >= 0) {
        raw_ = true;
        return 0;
    }
    return errno;
}

IcmpEcho::Reply IcmpEcho::exchange(std::uint32_t address, const QByteArray& payload,
                                   int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    // A datagram socket's identifier is its local port, which the kernel picks and checks.
    const auto identifier = static_cast<std::uint16_t>(::getpid());
    const std::uint16_t sequence = nextSequence();
    const QByteArray request = echoRequest(identifier, sequence, payload);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;

    const Clock::time_point sent = Clock::now();
    if (::sendto(fd_, request.constData(), static_cast<size_t>(request.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return {false, 0, errno};
    const Clock::time_point deadline = sent + std::chrono::milliseconds(qMax(0, timeoutMs));

    QByteArray buffer(65536, '\0');
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return {false, 0, ETIMEDOUT};
        pollfd wait{fd_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return {false, 0, errno};
        if (ready == 0)
            return {false, 0, ETIMEDOUT};
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length = ::recvfrom(fd_, buffer.data(), static_cast<size_t>(buffer.size()), 0,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength);
        const Clock::time_point arrived = Clock::now();
        if (length < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return {false, 0, errno};
        }
        // A raw socket sees every ICMP message with its IP header in front; a datagram
        // socket sees only the ICMP part of replies to its own identifier.
        const auto* data = reinterpret_cast<const unsigned char*>(buffer.constData());
        qsizetype offset = 0;
        if (raw_) {
            if (length < static_cast<ssize_t>(sizeof(iphdr)))
                continue;
            offset = (data[0] & 0x0F) * 4;
        }
        if (length - offset < 8)
            continue;
        const unsigned char* icmp = data + offset;
        const auto replyIdentifier = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
        const auto replySequence = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
        if (icmp[0] != ICMP_ECHOREPLY || replySequence != sequence ||
            from.sin_addr.s_addr != address)
            continue;
        if (raw_ && replyIdentifier != identifier)
            continue;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(arrived - sent).count();
        return {true, static_cast<std::uint32_t>(elapsed), 0};
    }
}

int IcmpEcho::close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
}

} // namespace utq::platform
