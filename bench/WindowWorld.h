#pragma once

// What the main window sees when a player runs it, all on loopback: its status service on a
// thread of its own, set as the program sets its built-in one, with the clan's servers
// (looked up here, never on the network), a history beside the program, and one master that
// lists 2,000 fake UT99 servers answering after 20 to 200 ms.
#include "FakeMaster.h"
#include "Ut99ServerFarm.h"
#include "base/Hosts.h"
#include "queryservice/BackgroundStatusService.h"

#include <QTemporaryDir>

#include <memory>

namespace bench {

class WindowWorld {
public:
    static constexpr int kListed = 2000;

    WindowWorld();
    ~WindowWorld();

    // Starts the servers and the service; false with `error` when one could not.
    bool start(QString& error);
    // The window's hosts: its pages come from the service.
    utq::Hosts hosts() const;
    // The UT99 list page, as a start page's link opens it.
    QString ut99ListAddress() const;

private:
    QTemporaryDir folder_;
    Ut99ServerFarm farm_;
    std::unique_ptr<FakeMaster> master_;
    std::unique_ptr<utq::queryservice::BackgroundStatusService> service_;
};

// A script for every page of the window's web profile that makes the pages' own clocks run
// `factor` times as fast: their timers and performance.now(), which is all the pages' live
// refresh uses, so an hour of refreshing passes in a minute.
QString timeWarpScript(int factor);

} // namespace bench
