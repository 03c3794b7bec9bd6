#pragma once

// utquery-statusd as a child process on a free port of 127.0.0.1: its output drained in a
// thread (it logs a line per request, and a full pipe would stall it), its fate and its peak
// memory readable while it runs and after it ended, whether it was stopped or crashed.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class StatusdProcess {
public:
    // `launcher` comes before the program on the command line, such as `ip netns exec NAME`,
    // which must end by running the program in its own place.
    StatusdProcess(std::string program, std::vector<std::string> arguments,
                   std::vector<std::string> launcher = {});
    ~StatusdProcess();
    StatusdProcess(const StatusdProcess&) = delete;
    StatusdProcess& operator=(const StatusdProcess&) = delete;

    // Starts it and waits until it accepts connections, at most `timeoutMs`; `error` says why
    // not.
    bool start(int timeoutMs, std::string& error);
    uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }

    // Running, as far as can be told without waiting.
    bool alive();
    // "running", "exited with status N", or "crashed (signal name)"; a stop by stop() is
    // "stopped".
    std::string fate();
    bool endedOnItsOwn();
    // Peak resident memory in KiB: VmHWM while it runs, its maximum resident size once it
    // ended; -1 when unknown.
    long peakKib();
    // Resident memory now (VmRSS) in KiB; -1 once it ended.
    long rssKib();
    // User and system CPU time so far, in seconds; -1 once it ended.
    double cpuSeconds() const;
    // Ends it: TERM, then KILL when it has not ended within a few seconds.
    void stop();
    // The last lines it wrote.
    std::string outputTail(int lines) const;

private:
    void reap(bool block);
    void drain(int fd);

    std::string program_;
    std::vector<std::string> arguments_;
    std::vector<std::string> launcher_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
    bool reaped_ = false;
    bool stoppedByUs_ = false;
    int waitStatus_ = 0;
    long maxRssKib_ = -1;
    std::thread reader_;
    mutable std::mutex outputLock_;
    std::string outputTail_;
};

// A port of 127.0.0.1 that nothing listened on a moment ago.
uint16_t freeTcpPort();

} // namespace bench
