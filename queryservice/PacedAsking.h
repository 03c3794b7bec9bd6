#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

// Asks many servers without flooding the network in between: a list of two thousand is
// asked at most `inFlight` at a time and `perSecond` new ones a second, evenly spaced, since
// a home router's table of connections and the user's uplink are shared with everything
// else the user does.
namespace utq::queryservice {

// Servers of a list asked at once, and new ones a second: 2,000 servers take 52 s.
inline constexpr int kListQueriesInFlight = 24;
inline constexpr int kListQueriesPerSecond = 40;

struct PaceLimits {
    int inFlight = kListQueriesInFlight;
    int perSecond = kListQueriesPerSecond;
};

class PacedAsking : public QObject {
public:
    // One question; it calls `done` once, whenever it ends.
    using Question = std::function<void(std::function<void()> done)>;

    explicit PacedAsking(PaceLimits limits = {}, QObject* parent = nullptr);

    void add(Question question);
    // Drops the questions not asked yet; those under way end as they will.
    void clear();

    // What the bounds let start at `nowMs` (a steady clock's milliseconds): each question
    // starts at least 1000 / perSecond ms after the one before, and only while fewer than
    // inFlight are under way. Called by the timer; public for tests.
    void pump(qint64 nowMs);

    qsizetype waiting() const { return waiting_.size(); }
    int inFlight() const { return inFlight_; }
    // The most under way at once and started within one second, since this object was made.
    int mostInFlight() const { return mostInFlight_; }
    int mostInOneSecond() const { return mostInOneSecond_; }

private:
    void ended();

    PaceLimits limits_;
    std::deque<Question> waiting_;
    int inFlight_ = 0;
    qint64 nextStartMs_ = -1; // none: the next may start at once
    std::deque<qint64> startsInLastSecond_;
    int mostInFlight_ = 0;
    int mostInOneSecond_ = 0;
    QElapsedTimer clock_;
    QTimer tick_;
    std::shared_ptr<PacedAsking*> alive_;
};

} // namespace utq::queryservice
