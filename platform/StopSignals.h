#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM and SIGINT, turned into a call in the event loop's thread, so that a service asked
// to stop can end what it is doing rather than die in the middle of it. One object at a time.
namespace utq::platform {

class StopSignals : public QObject {
public:
    // `asked` is called with the signal's name ("SIGTERM") for each signal that arrives.
    explicit StopSignals(std::function<void(const char* signal)> asked, QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when the signals could not be caught: they then end the process as by default.
    bool caught() const { return notifier_ != nullptr; }

private:
    void read();

    std::function<void(const char*)> asked_;
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace utq::platform
