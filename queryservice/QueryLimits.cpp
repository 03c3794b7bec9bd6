#include "queryservice/QueryLimits.h"

#include "queryservice/http/ClientKey.h"

namespace utq::queryservice {

QueryLimits::Verdict QueryLimits::admit(const QHostAddress& peer, qint64 nowMs) {
    const QHostAddress client = http::clientKey(peer);
    if (inFlight_ > 0 && running_ >= inFlight_)
        return Verdict::Busy;
    if (peer.isNull()) { // the service's own asking, which paces itself
        ++running_;
        return Verdict::Go;
    }
    if (perClientInFlight_ > 0 && runningPerClient_.value(client) >= perClientInFlight_)
        return Verdict::ClientBusy;
    if (perClientPerSecond_ > 0) {
        // Old windows are dropped now and then, so clients that came once cost nothing.
        if (windows_.size() > 4096)
            windows_.removeIf(
                [nowMs](const auto& entry) { return nowMs - entry.value().startMs >= 1000; });
        auto found = windows_.find(client);
        if (found == windows_.end())
            found = windows_.insert(client, {nowMs, 0});
        Window& window = found.value();
        if (nowMs - window.startMs >= 1000) // a client's second starts at its first query
            window = {nowMs, 0};
        if (window.count >= perClientPerSecond_)
            return Verdict::TooFast;
        ++window.count;
    }
    ++running_;
    if (perClientInFlight_ > 0)
        ++runningPerClient_[client];
    return Verdict::Go;
}

void QueryLimits::done(const QHostAddress& peer) {
    if (running_ > 0)
        --running_;
    if (peer.isNull())
        return;
    auto found = runningPerClient_.find(http::clientKey(peer));
    if (found != runningPerClient_.end() && --found.value() <= 0)
        runningPerClient_.erase(found);
}

} // namespace utq::queryservice
