#include "queryservice/QueryLimits.h"

namespace utq::queryservice {

QueryLimits::Verdict QueryLimits::admit(const QHostAddress& client, qint64 nowMs) {
    if (inFlight_ > 0 && running_ >= inFlight_)
        return Verdict::Busy;
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
    return Verdict::Go;
}

void QueryLimits::done() {
    if (running_ > 0)
        --running_;
}

} // namespace utq::queryservice
