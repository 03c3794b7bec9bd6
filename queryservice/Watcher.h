#pragma once

#include "base/Games.h"
#include "history/Sample.h"
#include "queryservice/PacedAsking.h"
#include "queryservice/pages/Finding.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Watches servers on the service's own schedule, whether or not anyone looks at them: every
// watched server is asked once a round, through the same finder as the pages and at the lists'
// pace, and what each asking found is one sample of its history.
namespace utq::queryservice {

class StatusFinder;

struct WatchedServer {
    const GameDescription* game = nullptr;
    QString host;
    QString port;         // as its status page takes it
    QString webPort = {}; // UT3, where known
};

// The history's name of a watched server.
history::ServerKey historyKey(const GameDescription& game, const QString& host, int port);

// The sample a finding makes; none when the service itself did not ask (busy, refused), since
// that says nothing of the server.
std::optional<history::Sample> sampleOf(const pages::Finding& finding, qint64 timeMs,
                                        int spanSeconds);

class Watcher : public QObject {
public:
    // Gives the servers to watch, read afresh each round (favourites files change).
    using ServersSource = std::function<QList<WatchedServer>()>;
    // Takes each sample as it is made.
    using Record = std::function<void(const history::Sample&)>;

    Watcher(StatusFinder& finder, ServersSource servers, Record record, int sampleSeconds,
            std::function<qint64()> nowMs, QObject* parent = nullptr);
    ~Watcher() override;

    // Starts the rounds: one at once, then one every sampleSeconds.
    void start();
    // Asks every watched server once, unless the round before is still under way. Called by
    // the timer; public for tests.
    void round();
    // Called once each round has its last sample.
    void onRoundEnded(std::function<void()> ended) { roundEnded_ = std::move(ended); }
    // While `quiet` says so, a round asks nobody: another program keeps the history.
    void setQuiet(std::function<bool()> quiet) { quiet_ = std::move(quiet); }
    // The servers watched in the last round.
    const QList<WatchedServer>& servers() const { return servers_; }
    bool watches(const history::ServerKey& key) const;
    bool roundUnderWay() const { return left_ > 0; }

private:
    StatusFinder& finder_;
    ServersSource source_;
    Record record_;
    int sampleSeconds_;
    std::function<qint64()> nowMs_;
    PacedAsking asking_; // a child, so that it moves to the service's thread with it
    QTimer timer_;
    QList<WatchedServer> servers_;
    QSet<history::ServerKey> keys_;
    int left_ = 0;
    std::function<void()> roundEnded_;
    std::function<bool()> quiet_;
    std::shared_ptr<Watcher*> alive_;
};

} // namespace utq::queryservice
