#pragma once

// Hostile UT2004 servers on 127.0.0.1, one query port each: every query is answered with
// 1,896 players whose names are 50 colour runs each, about half a megabyte of datagrams sent
// at a steady pace (a burst would overflow the asker's receive buffer). They stop when told, or
// at the latest a minute after the last request.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class ColourBombServers {
public:
    explicit ColourBombServers(int servers);
    ~ColourBombServers() { stop(); }
    ColourBombServers(const ColourBombServers&) = delete;
    ColourBombServers& operator=(const ColourBombServers&) = delete;

    // Binds the ports and starts answering; false when it cannot.
    bool start();
    void stop();
    // Query ports (game port + 1).
    const std::vector<uint16_t>& queryPorts() const { return ports_; }

    // What one whole answer to the three requests is.
    int datagramsPerAnswer() const;
    size_t bytesPerAnswer() const;
    long long requestsTaken() const { return requests_.load(); }
    long long datagramsSent() const { return sent_.load(); }

    static constexpr int kPlayers = 1896;
    static constexpr int kRunsPerName = 50;

private:
    void run();

    int count_;
    std::vector<int> fds_;
    std::vector<uint16_t> ports_;
    std::string info_;
    std::string rules_;
    std::vector<std::string> players_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> requests_{0};
    std::atomic<long long> sent_{0};
};

} // namespace bench
