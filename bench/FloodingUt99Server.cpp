#include "FloodingUt99Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPlayersPerPart = 4;
constexpr size_t kMostStreams = 64;
// Sends per stream and turn: a stream behind its pace catches up over several turns.
constexpr long long kMostBurst = 256;
constexpr auto kIdleLimit = std::chrono::seconds(60);

struct Stream {
    sockaddr_in to{};
    Clock::time_point begun;
    long long sent = 0;
    bool over = false;
};

bool sameSender(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

} // namespace

std::string floodPart(long long part) {
    std::string datagram;
    if (part == 1)
        datagram = "\\hostname\\Flooding UT99\\mapname\\DM-Deck16][\\gametype\\DeathMatchPlus"
                   "\\numplayers\\16\\maxplayers\\16";
    for (int slot = 0; slot < kPlayersPerPart; ++slot) {
        const std::string index = std::to_string((part - 1) * kPlayersPerPart + slot);
        datagram += "\\player_" + index + "\\Flooder " + index + "\\frags_" + index + "\\" +
                    std::to_string(part % 50) + "\\ping_" + index + "\\ 25\\team_" + index + "\\0";
    }
    return datagram + "\\queryid\\1." + std::to_string(part);
}

FloodingUt99Server::FloodingUt99Server(int datagramsPerSecond, int streamSeconds)
    : datagramsPerSecond_(datagramsPerSecond), streamSeconds_(streamSeconds) {}

bool FloodingUt99Server::start() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return false;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
    return true;
}

void FloodingUt99Server::stop() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void FloodingUt99Server::run() {
    std::vector<Stream> streams;
    const auto streamLength = std::chrono::seconds(streamSeconds_);
    auto lastActive = Clock::now();
    while (!stopping_ && Clock::now() - lastActive < kIdleLimit) {
        // New requests: each sender (address and port) gets one stream.
        char request[2048];
        for (int taken = 0; taken < 64; ++taken) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t got = ::recvfrom(fd_, request, sizeof request, 0,
                                           reinterpret_cast<sockaddr*>(&from), &size);
            if (got <= 0)
                break;
            if (std::string(request, static_cast<size_t>(got)).find("\\status\\") ==
                std::string::npos)
                continue;
            bool known = false;
            for (const Stream& stream : streams)
                known = known || sameSender(stream.to, from);
            if (!known && streams.size() < kMostStreams) {
                streams.push_back({from, Clock::now(), 0, false});
                ++streams_;
            }
        }

        const auto now = Clock::now();
        for (Stream& stream : streams) {
            if (stream.over)
                continue;
            if (now - stream.begun >= streamLength) {
                stream.over = true;
                continue;
            }
            lastActive = now;
            const double seconds = std::chrono::duration<double>(now - stream.begun).count();
            const auto due = static_cast<long long>(seconds * datagramsPerSecond_) + 1;
            for (long long burst = 0; stream.sent < due && burst < kMostBurst; ++burst) {
                const std::string datagram = floodPart(stream.sent + 1);
                if (::sendto(fd_, datagram.data(), datagram.size(), 0,
                             reinterpret_cast<const sockaddr*>(&stream.to), sizeof stream.to) < 0) {
                    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS)
                        stream.over = true; // the port is gone
                    break;
                }
                ++stream.sent;
                ++sent_;
            }
        }
        pollfd wait{fd_, POLLIN, 0};
        ::poll(&wait, 1, 1);
    }
}

} // namespace bench
