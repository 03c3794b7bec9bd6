#pragma once

#include <QHash>
#include <QHostAddress>

// What keeps a status service that others can reach from being turned into a flood of
// queries: a bound on pages in flight, in all and per client, and on pages per client per
// second. A page is in flight from its request to its answer, name look-up included. A client
// is what clientKey() makes of an address; no address is the service's own asking (its lists),
// which paces itself and is bound only by the pages in flight in all.
namespace utq::queryservice {

class QueryLimits {
public:
    // 0 means no bound.
    QueryLimits(int inFlight, int perClientPerSecond, int perClientInFlight = 0)
        : inFlight_(inFlight), perClientPerSecond_(perClientPerSecond),
          perClientInFlight_(perClientInFlight) {}

    enum class Verdict { Go, Busy, TooFast, ClientBusy };
    // Counts a query from `peer` at `nowMs` (any steady clock) when it may go.
    Verdict admit(const QHostAddress& peer, qint64 nowMs);
    // A query from `peer` that was let go has ended.
    void done(const QHostAddress& peer = {});

    int running() const { return running_; }

private:
    struct Window {
        qint64 startMs = 0;
        int count = 0;
    };
    int inFlight_;
    int perClientPerSecond_;
    int perClientInFlight_;
    int running_ = 0;
    QHash<QHostAddress, Window> windows_;
    QHash<QHostAddress, int> runningPerClient_;
};

} // namespace utq::queryservice
