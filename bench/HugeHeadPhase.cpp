// A client that sends a request head of 16 MB: the service must read no more of it than its
// bound, answer and close, and stay as large as it was.
#include "StatusdPhases.h"
#include "StatusdProcess.h"
#include "Summary.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace bench {
namespace {

constexpr long kHeadBytes = 16L * 1024 * 1024;
constexpr double kGrowthGoalMegabytes = 32;

// Sends the huge head until the service closes or all is sent, for at most 10 s; the status
// line it answered with, or why there was none.
std::string sendHugeHead(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return "no connection";
    }
    const std::string start = "GET / HTTP/1.1\r\nHost: x\r\nX-Filler: ";
    (void)::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
    const std::string chunk(64 * 1024, 'a');
    std::string answer;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (long sent = 0; sent < kHeadBytes && std::chrono::steady_clock::now() < until;) {
        pollfd ready{fd, POLLIN | POLLOUT, 0};
        if (::poll(&ready, 1, 100) <= 0)
            continue;
        if (ready.revents & POLLIN) {
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            answer.append(buffer, static_cast<size_t>(got));
        }
        if (ready.revents & (POLLERR | POLLHUP))
            break;
        if (ready.revents & POLLOUT) {
            const ssize_t put = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (put < 0)
                break;
            sent += put;
        }
    }
    ::close(fd);
    const size_t lineEnd = answer.find("\r\n");
    return lineEnd == std::string::npos ? "no answer" : answer.substr(0, lineEnd);
}

} // namespace

void runHugeHead(const StatusdCommand& command) {
    const QString figure = QStringLiteral("statusd memory growth under a 16 MB request head");
    StatusdProcess statusd(command.program, command.arguments);
    std::string error;
    if (!statusd.start(10000, error))
        return summary(
            figure, QStringLiteral("≤ %1 MB").arg(kGrowthGoalMegabytes),
            QStringLiteral("statusd did not start: %1").arg(QString::fromStdString(error)),
            Met::No);
    const long before = statusd.peakKib();
    const std::string answer = sendHugeHead(statusd.port());
    const long after = statusd.peakKib();
    const double growth = static_cast<double>(after - before) * 1024.0 / 1e6;
    std::printf("== huge head: answered \"%s\"; peak memory %s before, %s after\n\n",
                answer.c_str(), qPrintable(megabytes(before)), qPrintable(megabytes(after)));
    summary(figure, QStringLiteral("≤ %1 MB").arg(kGrowthGoalMegabytes),
            QStringLiteral("%1 MB (answered %2)")
                .arg(growth, 0, 'f', 1)
                .arg(QString::fromStdString(answer)),
            metIf(before > 0 && after > 0 && growth <= kGrowthGoalMegabytes));
    statusd.stop();
}

} // namespace bench
