#pragma once

// A network namespace of the bench's own, with its loopback up, and /etc/netns/NAME/ for the
// files `ip netns exec NAME` puts in place of /etc's (resolv.conf, hosts). Both are deleted
// with it, and an earlier run's leftovers (their process gone) when the next one starts.
#include <string>

namespace bench {

class BenchNamespace {
public:
    BenchNamespace();
    ~BenchNamespace();
    BenchNamespace(const BenchNamespace&) = delete;
    BenchNamespace& operator=(const BenchNamespace&) = delete;

    bool isReady() const { return ready_; }
    const std::string& whyNot() const { return why_; }
    const std::string& name() const { return name_; }

    // Writes /etc/netns/NAME/`file`.
    bool writeEtcFile(const std::string& file, const std::string& text);
    // Moves the calling thread into the namespace, for good: its sockets, and the threads and
    // processes it starts, are there.
    bool enterOnThisThread() const;

private:
    std::string name_;
    bool made_ = false;
    bool ready_ = false;
    std::string why_;
};

} // namespace bench
