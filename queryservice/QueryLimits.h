#pragma once

#include <QHash>
#include <QHostAddress>

// What keeps a status service that others can reach from being turned into a flood of
// queries: a bound on queries in flight, and on queries per client per second.
namespace utq::queryservice {

class QueryLimits {
public:
    // 0 means no bound.
    QueryLimits(int inFlight, int perClientPerSecond)
        : inFlight_(inFlight), perClientPerSecond_(perClientPerSecond) {}

    enum class Verdict { Go, Busy, TooFast };
    // Counts a query of `client` at `nowMs` (any steady clock) when it may go.
    Verdict admit(const QHostAddress& client, qint64 nowMs);
    // A query that was let go has ended.
    void done();

    int running() const { return running_; }

private:
    struct Window {
        qint64 startMs = 0;
        int count = 0;
    };
    int inFlight_;
    int perClientPerSecond_;
    int running_ = 0;
    QHash<QHostAddress, Window> windows_;
};

} // namespace utq::queryservice
