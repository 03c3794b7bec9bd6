#include "Ut99ServerFarm.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <queue>

namespace bench {
namespace {

constexpr uint32_t kWakeTag = UINT32_MAX;
// Requests taken from one socket in a row, so one busy port does not starve the others.
constexpr int kMostReadsInARow = 16;

long long steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

Ut99ServerFarm::Ut99ServerFarm(int count, int perAddress, std::function<int(int)> delayMs,
                               std::function<std::string(int)> answer)
    : count_(count), perAddress_(std::max(perAddress, 1)), delayMs_(std::move(delayMs)) {
    answers_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        answers_.push_back(answer(i));
}

Ut99ServerFarm::~Ut99ServerFarm() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)::write(wake_, &one, sizeof one);
        thread_.join();
    }
    for (const int fd : fds_)
        ::close(fd);
    if (epoll_ >= 0)
        ::close(epoll_);
    if (wake_ >= 0)
        ::close(wake_);
}

long long Ut99ServerFarm::nowMs() const { return (steadyNs() - startedNs_) / 1000000; }

bool Ut99ServerFarm::start(std::string& error) {
    startedNs_ = steadyNs();
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u32 = kWakeTag;
    if (epoll_ < 0 || wake_ < 0 || ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event) != 0) {
        error = std::string("epoll: ") + std::strerror(errno);
        return false;
    }
    for (int i = 0; i < count_; ++i) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = "socket " + std::to_string(i) + ": " + std::strerror(errno);
            return false;
        }
        fds_.push_back(fd);
        Server server;
        server.ipv4 = (127u << 24) | (1u << 8) | static_cast<uint32_t>(1 + i / perAddress_);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(server.ipv4);
        socklen_t size = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            error = "bind " + std::to_string(i) + ": " + std::strerror(errno);
            return false;
        }
        server.port = ntohs(address.sin_port);
        servers_.push_back(server);
        event.data.u32 = static_cast<uint32_t>(i);
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
            error = std::string("epoll_ctl: ") + std::strerror(errno);
            return false;
        }
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void Ut99ServerFarm::run() {
    const auto later = [](const Pending& a, const Pending& b) {
        return a.dueMs > b.dueMs;
    };
    std::priority_queue<Pending, std::vector<Pending>, decltype(later)> pending(later);
    epoll_event events[256];
    for (;;) {
        int timeoutMs = -1;
        if (!pending.empty())
            timeoutMs = static_cast<int>(std::max<long long>(pending.top().dueMs - nowMs(), 0));
        const int ready = ::epoll_wait(epoll_, events, 256, timeoutMs);
        if (ready < 0 && errno != EINTR)
            return;
        for (int e = 0; e < ready; ++e) {
            if (events[e].data.u32 == kWakeTag)
                return;
            const int server = static_cast<int>(events[e].data.u32);
            for (int n = 0; n < kMostReadsInARow; ++n) {
                char request[2048];
                Pending answer{};
                socklen_t size = sizeof answer.peer;
                if (::recvfrom(fds_[static_cast<size_t>(server)], request, sizeof request, 0,
                               reinterpret_cast<sockaddr*>(&answer.peer), &size) < 0)
                    break;
                const long long now = nowMs();
                answer.server = server;
                answer.dueMs = now + delayMs_(server);
                {
                    const std::lock_guard guard(lock_);
                    answer.request = requests_.size();
                    requests_.push_back({server, now});
                }
                pending.push(answer);
            }
        }
        while (!pending.empty() && pending.top().dueMs <= nowMs()) {
            const Pending answer = pending.top();
            pending.pop();
            const std::string& text = answers_[static_cast<size_t>(answer.server)];
            ::sendto(fds_[static_cast<size_t>(answer.server)], text.data(), text.size(), 0,
                     reinterpret_cast<const sockaddr*>(&answer.peer), sizeof answer.peer);
            const std::lock_guard guard(lock_);
            requests_[answer.request].answeredMs = nowMs();
        }
    }
}

Ut99ServerFarm::Figures Ut99ServerFarm::figures() const {
    std::vector<Request> requests;
    {
        const std::lock_guard guard(lock_);
        requests = requests_;
    }
    Figures figures;
    figures.requests = static_cast<long long>(requests.size());
    std::vector<char> asked(static_cast<size_t>(count_), 0);
    // +1 at each arrival, -1 at each answer; an arrival at the same moment as an answer
    // counts after it.
    std::vector<std::pair<long long, int>> changes;
    std::deque<long long> lastSecond;
    for (const Request& request : requests) { // in order of arrival
        if (!asked[static_cast<size_t>(request.server)]++)
            ++figures.serversAsked;
        changes.push_back({request.arrivedMs, +1});
        changes.push_back({request.answeredMs < 0 ? LLONG_MAX : request.answeredMs, -1});
        while (!lastSecond.empty() && lastSecond.front() <= request.arrivedMs - 1000)
            lastSecond.pop_front();
        lastSecond.push_back(request.arrivedMs);
        figures.mostStartedInOneSecond =
            std::max(figures.mostStartedInOneSecond, static_cast<int>(lastSecond.size()));
    }
    std::sort(changes.begin(), changes.end());
    int inFlight = 0;
    for (const auto& [at, change] : changes) {
        inFlight += change;
        figures.mostInFlight = std::max(figures.mostInFlight, inFlight);
    }
    return figures;
}

} // namespace bench
