#include "ColourBombServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

// A player's record is 269 bytes: 32 of them make a datagram of 8,613 bytes, and the whole
// answer is 62 datagrams, under the 64 a query takes.
constexpr int kPlayersPerDatagram = 32;
constexpr auto kGap = std::chrono::microseconds(1000);
constexpr size_t kMostStreams = 256;
constexpr auto kIdleLimit = std::chrono::seconds(60);

void put32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

// The engine's length prefix ("compact index") for a positive length.
void putLength(std::string& out, uint32_t length) {
    out += static_cast<char>((length & 0x3F) | (length > 0x3F ? 0x40 : 0));
    for (length >>= 6; length != 0; length >>= 7)
        out += static_cast<char>((length & 0x7F) | (length > 0x7F ? 0x80 : 0));
}

void putString(std::string& out, const std::string& latin1) {
    putLength(out, static_cast<uint32_t>(latin1.size() + 1));
    out += latin1;
    out += '\0';
}

std::string header(char type) { return std::string("\x80\x00\x00\x00", 4) + type; }

// 50 runs of one letter, each in a colour of its own (ESC and three bytes, none of them 0).
std::string colourName(int player) {
    std::string name;
    for (int run = 0; run < ColourBombServers::kRunsPerName; ++run) {
        const int shade = player * ColourBombServers::kRunsPerName + run;
        name += '\x1B';
        name += static_cast<char>(1 + shade % 255);
        name += static_cast<char>(1 + (shade / 255) % 255);
        name += static_cast<char>(1 + (shade * 7) % 255);
        name += static_cast<char>('A' + (player + run) % 26);
    }
    return name;
}

struct Stream {
    int fd;
    sockaddr_in to;
    std::vector<const std::string*> datagrams;
    size_t sent = 0;
    Clock::time_point next;
};

} // namespace

ColourBombServers::ColourBombServers(int servers) : count_(servers) {
    info_ = header(0);
    put32(info_, 0);
    info_ += '\0'; // no address
    put32(info_, 7777);
    put32(info_, 7778);
    putString(info_, "Colour Bomb");
    putString(info_, "DM-Rankin");
    putString(info_, "xDeathMatch");
    put32(info_, kPlayers);
    put32(info_, 2000);
    put32(info_, 0);
    put32(info_, 0);
    putString(info_, "3");

    rules_ = header(1);
    for (const char* pair : {"ServerMode", "dedicated", "Mutator", "MutInstaGib"})
        putString(rules_, pair);

    for (int player = 0; player < kPlayers; ++player) {
        if (player % kPlayersPerDatagram == 0)
            players_.push_back(header(2));
        std::string& datagram = players_.back();
        put32(datagram, static_cast<uint32_t>(player + 1));
        putString(datagram, colourName(player));
        put32(datagram, 50);                            // ping
        put32(datagram, static_cast<uint32_t>(player)); // score
        put32(datagram, player % 2 ? 1u << 30 : 1u << 29);
    }
}

int ColourBombServers::datagramsPerAnswer() const { return 2 + static_cast<int>(players_.size()); }

size_t ColourBombServers::bytesPerAnswer() const {
    size_t bytes = info_.size() + rules_.size();
    for (const std::string& datagram : players_)
        bytes += datagram.size();
    return bytes;
}

bool ColourBombServers::start() {
    for (int server = 0; server < count_; ++server) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd < 0)
            return false;
        fds_.push_back(fd);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
            ntohs(address.sin_port) < 2)
            return false;
        ports_.push_back(ntohs(address.sin_port));
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void ColourBombServers::stop() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    for (const int fd : fds_)
        ::close(fd);
    fds_.clear();
}

void ColourBombServers::run() {
    std::vector<Stream> streams;
    std::vector<pollfd> waits;
    for (const int fd : fds_)
        waits.push_back({fd, POLLIN, 0});
    auto lastActive = Clock::now();
    while (!stopping_ && Clock::now() - lastActive < kIdleLimit) {
        ::poll(waits.data(), waits.size(), 1);
        for (const pollfd& wait : waits) {
            if (!(wait.revents & POLLIN))
                continue;
            char request[64];
            for (int taken = 0; taken < 64; ++taken) {
                sockaddr_in from{};
                socklen_t size = sizeof from;
                const ssize_t got = ::recvfrom(wait.fd, request, sizeof request, 0,
                                               reinterpret_cast<sockaddr*>(&from), &size);
                if (got < 0)
                    break;
                if (got != 5 || streams.size() >= kMostStreams)
                    continue;
                ++requests_;
                lastActive = Clock::now();
                // Info and rules at once; the players at the stream's pace.
                Stream stream{wait.fd, from, {}, 0, Clock::now()};
                const char type = request[4];
                if (type == 0)
                    stream.datagrams.push_back(&info_);
                if (type == 1 || type == 3)
                    stream.datagrams.push_back(&rules_);
                if (type == 2 || type == 3)
                    for (const std::string& datagram : players_)
                        stream.datagrams.push_back(&datagram);
                if (!stream.datagrams.empty())
                    streams.push_back(std::move(stream));
            }
        }
        const auto now = Clock::now();
        for (Stream& stream : streams) {
            while (stream.sent < stream.datagrams.size() && stream.next <= now) {
                const std::string& datagram = *stream.datagrams[stream.sent];
                if (::sendto(stream.fd, datagram.data(), datagram.size(), 0,
                             reinterpret_cast<const sockaddr*>(&stream.to), sizeof stream.to) < 0 &&
                    (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS))
                    break; // again on the next turn
                ++stream.sent;
                ++sent_;
                // Info and rules need no pause after them.
                if (datagram.size() > 1000)
                    stream.next = now + kGap;
            }
        }
        std::erase_if(streams,
                      [](const Stream& stream) { return stream.sent >= stream.datagrams.size(); });
    }
}

} // namespace bench
