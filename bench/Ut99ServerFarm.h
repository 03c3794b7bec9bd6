#pragma once

// Many fake UT99 servers in one thread: a UDP socket each on loopback, every request answered
// after a delay of the server's own, as servers across the internet answer after their round
// trip. It keeps when each request entered the network (the kernel's time stamp, so this
// thread's own delays do not count) and when its answer left, so the network's view of a
// client's pace can be told: how many were asked at once, and how many began within one
// second.
#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class Ut99ServerFarm {
public:
    struct Server {
        uint32_t ipv4 = 0; // host byte order
        uint16_t port = 0;

        // "127.0.1.2", as a command line or a master's list names it.
        std::string address() const {
            return std::to_string(ipv4 >> 24) + '.' + std::to_string((ipv4 >> 16) & 255) + '.' +
                   std::to_string((ipv4 >> 8) & 255) + '.' + std::to_string(ipv4 & 255);
        }
    };
    struct Figures {
        long long requests = 0;
        int serversAsked = 0;
        int mostInFlight = 0; // requests come and not yet answered, at once
        int mostStartedInOneSecond = 0;
        long long busiestSecondSpanUs = 0; // from the first to the last of those
    };

    // `count` servers, `perAddress` on each of 127.0.1.1, 127.0.1.2, ...; server i answers
    // `answer(i)` after `delayMs(i)`.
    Ut99ServerFarm(int count, int perAddress, std::function<int(int)> delayMs,
                   std::function<std::string(int)> answer);
    ~Ut99ServerFarm();
    Ut99ServerFarm(const Ut99ServerFarm&) = delete;
    Ut99ServerFarm& operator=(const Ut99ServerFarm&) = delete;

    // Opens the sockets and starts answering; false with `error` when a socket failed.
    bool start(std::string& error);
    const std::vector<Server>& servers() const { return servers_; }
    Figures figures() const;

private:
    struct Pending {
        long long dueUs;
        int server;
        sockaddr_in peer;
        size_t request; // index into requests_
    };
    struct Request {
        int server;
        long long arrivedUs;
        long long answeredUs = -1;
    };

    void run();

    int count_;
    int perAddress_;
    std::function<int(int)> delayMs_;
    std::vector<std::string> answers_;
    std::vector<Server> servers_;
    std::vector<int> fds_;
    int epoll_ = -1;
    int wake_ = -1;
    std::thread thread_;
    mutable std::mutex lock_;
    std::vector<Request> requests_;
};

} // namespace bench
