#include "platform/StopSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace utq::platform {
namespace {

// Written by the handler, which may only do what is async-signal-safe: write a byte.
volatile sig_atomic_t writeEnd = -1;

void onSignal(int number) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    if (writeEnd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals(std::function<void(const char*)> asked, QObject* parent)
    : QObject(parent), asked_(std::move(asked)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    writeEnd = pipe_[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGTERM, &action, nullptr) != 0 || sigaction(SIGINT, &action, nullptr) != 0)
        return;
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::read);
}

StopSignals::~StopSignals() {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(SIGTERM, &byDefault, nullptr);
    sigaction(SIGINT, &byDefault, nullptr);
    writeEnd = -1;
    for (const int end : pipe_)
        if (end >= 0)
            ::close(end);
}

void StopSignals::read() {
    char bytes[16];
    ssize_t got = 0;
    while ((got = ::read(pipe_[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < got; ++i)
            asked_(bytes[i] == SIGINT ? "SIGINT" : "SIGTERM");
}

} // namespace utq::platform
