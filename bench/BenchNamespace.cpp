#include "BenchNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

extern char** environ;

namespace bench {
namespace {

namespace fs = std::filesystem;

const std::string kPrefix = "utq-bench-";
const fs::path kEtcNetns = "/etc/netns";

// Runs `ip` with `arguments`, its output thrown away; true when it succeeded.
bool ip(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "ip");
    std::vector<char*> argv;
    for (std::string& word : arguments)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, "ip", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void removeEtcFolder(const std::string& name) {
    std::error_code ignored;
    fs::remove_all(kEtcNetns / name, ignored);
    fs::remove(kEtcNetns, ignored); // only when no one else has a folder there
}

// Namespaces and folders of earlier runs whose process is gone (killed before it cleaned up).
void removeLeftovers() {
    for (const fs::path& folder : {fs::path("/run/netns"), kEtcNetns}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(kPrefix, 0) != 0)
                continue;
            const long pid = std::strtol(name.c_str() + kPrefix.size(), nullptr, 10);
            if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) {
                ip({"netns", "delete", name});
                removeEtcFolder(name);
            }
        }
    }
}

} // namespace

BenchNamespace::BenchNamespace() : name_(kPrefix + std::to_string(::getpid())) {
    removeLeftovers();
    ip({"netns", "delete", name_});
    made_ = ip({"netns", "add", name_});
    if (!made_) {
        why_ = "ip netns add " + name_ + " failed (not root, or no ip?)";
        return;
    }
    if (!ip({"netns", "exec", name_, "ip", "link", "set", "lo", "up"})) {
        why_ = "its loopback did not come up";
        return;
    }
    std::error_code error;
    fs::create_directories(kEtcNetns / name_, error);
    if (error) {
        why_ = "cannot make " + (kEtcNetns / name_).string() + ": " + error.message();
        return;
    }
    ready_ = true;
}

BenchNamespace::~BenchNamespace() {
    if (made_)
        ip({"netns", "delete", name_});
    removeEtcFolder(name_);
}

bool BenchNamespace::writeEtcFile(const std::string& file, const std::string& text) {
    std::ofstream out(kEtcNetns / name_ / file, std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

bool BenchNamespace::enterOnThisThread() const {
    const int fd = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    return entered;
}

} // namespace bench
