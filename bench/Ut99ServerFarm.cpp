#include "Ut99ServerFarm.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <queue>

namespace bench {
namespace {

constexpr uint32_t kWakeTag = UINT32_MAX;
// Requests taken from one socket in a row, so one busy port does not starve the others.
constexpr int kMostReadsInARow = 16;

// The clock of the kernel's receive time stamps (SO_TIMESTAMPNS), in microseconds.
long long nowUs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
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

bool Ut99ServerFarm::start(std::string& error) {
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
        const int on = 1;
        if (::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
            error = std::string("SO_TIMESTAMPNS: ") + std::strerror(errno);
            return false;
        }
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
        return a.dueUs > b.dueUs;
    };
    std::priority_queue<Pending, std::vector<Pending>, decltype(later)> pending(later);
    epoll_event events[256];
    for (;;) {
        int timeoutMs = -1;
        if (!pending.empty())
            timeoutMs = static_cast<int>(
                std::max<long long>((pending.top().dueUs - nowUs() + 999) / 1000, 0));
        const int ready = ::epoll_wait(epoll_, events, 256, timeoutMs);
        if (ready < 0 && errno != EINTR)
            return;
        for (int e = 0; e < ready; ++e) {
            if (events[e].data.u32 == kWakeTag)
                return;
            const int server = static_cast<int>(events[e].data.u32);
            for (int n = 0; n < kMostReadsInARow; ++n) {
                char request[2048];
                alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
                Pending answer{};
                iovec data{request, sizeof request};
                msghdr message{};
                message.msg_name = &answer.peer;
                message.msg_namelen = sizeof answer.peer;
                message.msg_iov = &data;
                message.msg_iovlen = 1;
                message.msg_control = control;
                message.msg_controllen = sizeof control;
                if (::recvmsg(fds_[static_cast<size_t>(server)], &message, 0) < 0)
                    break;
                long long arrived = nowUs();
                for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
                    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                        timespec stamp{};
                        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                        arrived = stamp.tv_sec * 1000000LL + stamp.tv_nsec / 1000;
                    }
                answer.server = server;
                answer.dueUs = arrived + delayMs_(server) * 1000LL;
                {
                    const std::lock_guard guard(lock_);
                    answer.request = requests_.size();
                    requests_.push_back({server, arrived});
                }
                pending.push(answer);
            }
        }
        while (!pending.empty() && pending.top().dueUs <= nowUs()) {
            const Pending answer = pending.top();
            pending.pop();
            const std::string& text = answers_[static_cast<size_t>(answer.server)];
            ::sendto(fds_[static_cast<size_t>(answer.server)], text.data(), text.size(), 0,
                     reinterpret_cast<const sockaddr*>(&answer.peer), sizeof answer.peer);
            const std::lock_guard guard(lock_);
            requests_[answer.request].answeredUs = nowUs();
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
    // +1 at each arrival, -1 at each answer; an answer at the same moment as an arrival
    // counts first.
    std::vector<std::pair<long long, int>> changes;
    std::vector<long long> arrivals;
    for (const Request& request : requests) {
        if (!asked[static_cast<size_t>(request.server)]++)
            ++figures.serversAsked;
        changes.push_back({request.arrivedUs, +1});
        changes.push_back({request.answeredUs < 0 ? LLONG_MAX : request.answeredUs, -1});
        arrivals.push_back(request.arrivedUs);
    }
    std::sort(changes.begin(), changes.end());
    int inFlight = 0;
    for (const auto& [at, change] : changes) {
        inFlight += change;
        figures.mostInFlight = std::max(figures.mostInFlight, inFlight);
    }
    // Taken in the order this thread read them, which differs a little from their stamps'.
    std::sort(arrivals.begin(), arrivals.end());
    std::deque<long long> lastSecond;
    for (const long long at : arrivals) {
        while (!lastSecond.empty() && lastSecond.front() <= at - 1000000)
            lastSecond.pop_front();
        lastSecond.push_back(at);
        if (static_cast<int>(lastSecond.size()) > figures.mostStartedInOneSecond) {
            figures.mostStartedInOneSecond = static_cast<int>(lastSecond.size());
            figures.busiestSecondSpanUs = at - lastSecond.front();
        }
    }
    return figures;
}

} // namespace bench
