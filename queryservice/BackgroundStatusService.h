#pragma once

#include "queryservice/StatusService.h"

#include <QThread>

// The status service on a thread of its own, so that pages are served and servers queried
// while the window is busy, and the window never waits on them.
namespace utq::queryservice {

class BackgroundStatusService {
public:
    explicit BackgroundStatusService(ServiceSettings settings);
    // Stops the thread; pages still being made are dropped.
    ~BackgroundStatusService();

    BackgroundStatusService(const BackgroundStatusService&) = delete;
    BackgroundStatusService& operator=(const BackgroundStatusService&) = delete;

    // Starts the thread and waits until the service listens on 127.0.0.1; its port, or 0.
    quint16 start();
    // "127.0.0.1:port", the host part of the pages' addresses.
    QString hostAndPort() const;

private:
    ServiceSettings settings_;
    QThread thread_;
    StatusService* service_ = nullptr; // lives on thread_
    quint16 port_ = 0;
};

} // namespace utq::queryservice
