#include "queryservice/Watcher.h"

#include "queryservice/StatusFinder.h"
#include "queryservice/pages/StatusJson.h"

#include <QHostAddress>

#include <algorithm>

namespace utq::queryservice {

history::ServerKey historyKey(const GameDescription& game, const QString& host, int port) {
    return {pages::apiName(game), host.trimmed().toLower(), port};
}

std::optional<history::Sample> sampleOf(const pages::Finding& finding, qint64 timeMs,
                                        int spanSeconds) {
    using State = pages::Finding::State;
    switch (finding.state) {
    case State::Busy:
    case State::TooFast:
    case State::ClientBusy:
    case State::NotAskedHere:
    case State::NoHost:
    case State::BadPort:
        return std::nullopt;
    default:
        break;
    }
    history::Sample sample;
    sample.server = historyKey(*finding.game, finding.host, finding.port);
    sample.timeMs = timeMs;
    sample.state = pages::stateName(finding.state);
    sample.spanSeconds = spanSeconds;
    if (history::isUp(sample.state)) {
        sample.players = finding.status.players;
        sample.maxPlayers = finding.status.maxPlayers;
        sample.map = finding.status.map.left(256);
        sample.roundTripMs = finding.roundTripMs;
    }
    return sample;
}

Watcher::Watcher(StatusFinder& finder, ServersSource servers, Record record, int sampleSeconds,
                 std::function<qint64()> nowMs, QObject* parent)
    : QObject(parent), finder_(finder), source_(std::move(servers)), record_(std::move(record)),
      sampleSeconds_(std::max(sampleSeconds, 1)), nowMs_(std::move(nowMs)), asking_({}, this),
      timer_(this), alive_(std::make_shared<Watcher*>(this)) {
    timer_.setInterval(sampleSeconds_ * 1000);
    connect(&timer_, &QTimer::timeout, this, &Watcher::round);
}

Watcher::~Watcher() = default;

void Watcher::start() {
    round();
    timer_.start();
}

bool Watcher::watches(const history::ServerKey& key) const { return keys_.contains(key); }

void Watcher::round() {
    // A round that overruns its period (thousands of servers, many silent) is let finish: the
    // next starts at the following tick instead of piling up behind it.
    if (left_ > 0)
        return;
    servers_ = source_();
    keys_.clear();
    for (const WatchedServer& server : std::as_const(servers_))
        keys_.insert(historyKey(*server.game, server.host, server.port.toInt()));
    left_ = quiet_ && quiet_() ? 0 : static_cast<int>(servers_.size());
    if (left_ == 0) {
        if (roundEnded_)
            roundEnded_();
        return;
    }
    const std::weak_ptr<Watcher*> alive = alive_;
    for (const WatchedServer& server : std::as_const(servers_)) {
        asking_.add([this, alive, server](std::function<void()> done) {
            finder_.find(*server.game, server.host, server.port, server.webPort, QHostAddress(),
                         [this, alive, done](const pages::Finding& finding) {
                             done();
                             if (alive.expired())
                                 return;
                             if (const auto sample = sampleOf(finding, nowMs_(), sampleSeconds_))
                                 record_(*sample);
                             if (--left_ == 0 && roundEnded_)
                                 roundEnded_();
                         });
        });
    }
}

} // namespace utq::queryservice
