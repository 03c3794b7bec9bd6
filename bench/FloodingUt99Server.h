#pragma once

// A hostile UT99 server on 127.0.0.1: each \status\ request starts a stream of reply parts
// with rising \queryid\1.N numbers, a few new players in each, and never a \final\ part. A
// stream lasts a bounded time at a set pace; the server stops when told, or at the latest a
// minute after its last stream ended.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace bench {

class FloodingUt99Server {
public:
    FloodingUt99Server(int datagramsPerSecond, int streamSeconds);
    ~FloodingUt99Server() { stop(); }
    FloodingUt99Server(const FloodingUt99Server&) = delete;
    FloodingUt99Server& operator=(const FloodingUt99Server&) = delete;

    // Binds a port and starts answering; false when it cannot.
    bool start();
    uint16_t port() const { return port_; }
    void stop();

    long long datagramsSent() const { return sent_.load(); }
    int streamsStarted() const { return streams_.load(); }

private:
    void run();

    int datagramsPerSecond_;
    int streamSeconds_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> sent_{0};
    std::atomic<int> streams_{0};
};

// Reply part `part` (from 1) of a stream: the server's name in the first, players in all.
std::string floodPart(long long part);

} // namespace bench
