// A few addresses fill every connection the service holds with idle ones: newcomers must still
// be served, one after another, while the crowd stays.
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCrowdAddresses = 64;
constexpr int kConnectionsEach = 16;
constexpr int kNewcomers = 20;
constexpr int kFetchMs = 2000;

// A blocking connection from 127.0.`subnet`.`host` to 127.0.0.1:`port`; -1 when refused.
int connectFrom(int subnet, int host, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr =
        htonl((127u << 24) | (static_cast<uint32_t>(subnet) << 8) | static_cast<uint32_t>(host));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One page over a connection of its own, within kFetchMs; its time in ms, or -1 when it was
// not a 200 answer.
double fetchFrom(int host, uint16_t port) {
    const auto start = Clock::now();
    const int fd = connectFrom(3, host, port);
    if (fd < 0)
        return -1;
    const std::string request =
        "GET /php/UTstats/lobby2.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    std::string answer;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0)
        for (;;) {
            const auto left =
                kFetchMs -
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            pollfd ready{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0)
                break;
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            answer.append(buffer, static_cast<size_t>(got));
        }
    ::close(fd);
    if (answer.rfind("HTTP/1.1 200 ", 0) != 0)
        return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Connections the service has not closed (nothing came, no hang-up).
int stillOpen(const std::vector<int>& fds) {
    int open = 0;
    for (const int fd : fds) {
        pollfd ready{fd, POLLIN, 0};
        open += ::poll(&ready, 1, 0) == 0 ? 1 : 0;
    }
    return open;
}

} // namespace

void runLockout(const StatusdCommand& command) {
    const QString figure =
        QStringLiteral("newcomers served while 64 addresses hold 16 idle connections each");
    const QString goal = QStringLiteral("%1 of %1").arg(kNewcomers);
    std::vector<std::string> arguments = command.arguments;
    arguments.insert(arguments.end(),
                     {"--connections-per-client", "16", "--max-connections", "1000"});
    StatusdProcess statusd(command.program, arguments);
    std::string error;
    if (!statusd.start(10000, error))
        return summary(
            figure, goal,
            QStringLiteral("statusd did not start: %1").arg(QString::fromStdString(error)),
            Met::No);

    std::printf("== %d addresses x %d idle connections against --max-connections 1000, then %d "
                "newcomers one after another\n",
                kCrowdAddresses, kConnectionsEach, kNewcomers);
    ::usleep(300 * 1000); // the connection that saw statusd listen is gone, not a free slot
    std::vector<int> crowd;
    for (int address = 1; address <= kCrowdAddresses; ++address)
        for (int i = 0; i < kConnectionsEach; ++i)
            if (const int fd = connectFrom(2, address, statusd.port()); fd >= 0)
                crowd.push_back(fd);
    ::usleep(500 * 1000);
    const int heldBefore = stillOpen(crowd);
    int served = 0;
    double slowestMs = 0;
    for (int newcomer = 1; newcomer <= kNewcomers && statusd.alive(); ++newcomer) {
        const double ms = fetchFrom(newcomer, statusd.port());
        served += ms >= 0 ? 1 : 0;
        slowestMs = std::max(slowestMs, ms);
    }
    const int heldAfter = stillOpen(crowd);
    for (const int fd : crowd)
        ::close(fd);
    statusd.stop();

    std::printf("%zu crowd connections made, %d held by the service, %d after the newcomers; "
                "%d of %d newcomers served, slowest in %.1f ms\n\n",
                crowd.size(), heldBefore, heldAfter, served, kNewcomers, slowestMs);
    summary(figure, goal, QStringLiteral("%1 of %2").arg(served).arg(kNewcomers),
            metIf(served == kNewcomers));
}

} // namespace bench
