#include "StatusdProcess.h"

#include "HttpConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

namespace bench {
namespace {

constexpr size_t kKeptOutputBytes = 16 * 1024;
constexpr int kStopWaitMs = 5000;

using Clock = std::chrono::steady_clock;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

} // namespace

uint16_t freeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

StatusdProcess::StatusdProcess(std::string program, std::vector<std::string> arguments,
                               std::vector<std::string> launcher)
    : program_(std::move(program)), arguments_(std::move(arguments)),
      launcher_(std::move(launcher)) {}

StatusdProcess::~StatusdProcess() { stop(); }

bool StatusdProcess::start(int timeoutMs, std::string& error) {
    port_ = freeTcpPort();
    int pipeEnds[2];
    if (port_ == 0 || ::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = "no free port or no pipe";
        return false;
    }
    std::vector<std::string> words = launcher_;
    words.insert(words.end(), {program_, "127.0.0.1:" + std::to_string(port_)});
    words.insert(words.end(), arguments_.begin(), arguments_.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    const int spawned =
        ::posix_spawnp(&pid_, words.front().c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        pid_ = -1;
        error = "cannot start " + words.front() + ": " + std::strerror(spawned);
        return false;
    }
    reader_ = std::thread([this, fd = pipeEnds[0]] { drain(fd); });

    const auto begun = Clock::now();
    while (elapsedMs(begun) < timeoutMs) {
        if (!alive()) {
            error = "it ended at once (" + fate() + "): " + outputTail(8);
            return false;
        }
        HttpConnection probe;
        if (probe.open(port_, 200))
            return true;
        sleepMs(20);
    }
    error = "it did not listen within " + std::to_string(timeoutMs) + " ms";
    stop();
    return false;
}

void StatusdProcess::drain(int fd) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // every writer is gone: the process ended
        const std::lock_guard lock(outputLock_);
        outputTail_.append(buffer, static_cast<size_t>(got));
        if (outputTail_.size() > 2 * kKeptOutputBytes)
            outputTail_.erase(0, outputTail_.size() - kKeptOutputBytes);
    }
    ::close(fd);
}

void StatusdProcess::reap(bool block) {
    if (pid_ < 0 || reaped_)
        return;
    int status = 0;
    rusage usage{};
    pid_t got;
    do
        got = ::wait4(pid_, &status, block ? 0 : WNOHANG, &usage);
    while (got < 0 && errno == EINTR);
    if (got != pid_)
        return;
    reaped_ = true;
    waitStatus_ = status;
    maxRssKib_ = usage.ru_maxrss; // KiB on Linux
}

bool StatusdProcess::alive() {
    reap(false);
    return pid_ >= 0 && !reaped_;
}

std::string StatusdProcess::fate() {
    if (alive())
        return "running";
    if (pid_ < 0)
        return "not started";
    if (stoppedByUs_)
        return "stopped";
    if (WIFEXITED(waitStatus_))
        return "exited with status " + std::to_string(WEXITSTATUS(waitStatus_));
    if (WIFSIGNALED(waitStatus_)) {
        const int signal = WTERMSIG(waitStatus_);
        const char* name = ::sigabbrev_np(signal);
        return std::string("crashed (") + (name ? "SIG" + std::string(name) : "signal") + " " +
               std::to_string(signal) + ")";
    }
    return "ended";
}

bool StatusdProcess::endedOnItsOwn() { return pid_ >= 0 && !alive() && !stoppedByUs_; }

long StatusdProcess::peakKib() {
    if (alive()) {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmHWM:", 0) == 0)
                return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    reap(false);
    return reaped_ ? maxRssKib_ : -1;
}

long StatusdProcess::rssKib() {
    if (!alive())
        return -1;
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

double StatusdProcess::cpuSeconds() const {
    if (pid_ < 0 || reaped_)
        return -1;
    std::ifstream file("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command's name, which is in parentheses and may hold spaces.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index)
        if (index == 14 || index == 15) // utime, stime
            ticks += std::stod(field);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void StatusdProcess::stop() {
    if (alive()) {
        stoppedByUs_ = true;
        ::kill(pid_, SIGTERM);
        const auto begun = Clock::now();
        while (alive() && elapsedMs(begun) < kStopWaitMs)
            sleepMs(10);
        if (alive()) {
            ::kill(pid_, SIGKILL);
            reap(true);
        }
    }
    if (reader_.joinable())
        reader_.join();
}

std::string StatusdProcess::outputTail(int lines) const {
    const std::lock_guard lock(outputLock_);
    size_t from = outputTail_.size();
    // Skip a final line break, then go back `lines` lines.
    if (from > 0 && outputTail_[from - 1] == '\n')
        --from;
    for (int line = 0; line < lines && from > 0; ++line) {
        const size_t newline = outputTail_.rfind('\n', from - 1);
        from = newline == std::string::npos ? 0 : newline;
    }
    std::string tail = outputTail_.substr(from);
    return tail.empty() || tail[0] != '\n' ? tail : tail.substr(1);
}

} // namespace bench
