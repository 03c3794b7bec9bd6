#pragma once

#include "protocols/QueryOutcome.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QHostAddress>
#include <QObject>

#include <functional>

// Answers of game servers, kept for a moment: pages asked for one server while its query is
// under way, or shortly after, share that query, so a burst of reloads asks the server once.
namespace utq::queryservice {

class RecentAnswers {
public:
    // What the answers kept may hold together, by bounds::estimatedBytes: thousands of real
    // servers' answers, dozens of the largest a status may be.
    static constexpr qint64 kBudgetBytes = 12 * 1024 * 1024;

    // `reuseMs` 0: every page asks the server itself. Past `budgetBytes`, the answers that
    // ended first are dropped; an answer larger than the budget reaches the pages waiting for
    // it and is not kept.
    explicit RecentAnswers(int reuseMs, qint64 budgetBytes = kBudgetBytes)
        : reuseMs_(reuseMs), budgetBytes_(budgetBytes) {}

    struct Answer {
        protocols::QueryOutcome outcome;
        QDateTime askedAt;
    };
    using Done = std::function<void(const Answer&)>;

    // Calls `done` with a recent answer at once, when there is one; else when the query in
    // flight for the same server ends, or the one `start` begins. `nowMs` is any steady
    // clock's reading, and `clock` reads it again when a query ends; answers are delivered in
    // the thread the query runs in, which is `context`'s, and not once `context` is gone.
    void ask(const QString& server, qint64 nowMs,
             const std::function<QFuture<protocols::QueryOutcome>()>& start, Done done,
             QObject* context, const std::function<qint64()>& clock);

    // The estimated bytes of the answers kept.
    qint64 keptBytes() const { return keptBytes_; }

private:
    struct Entry {
        bool inFlight = true;
        QList<Done> waiting;
        Answer answer;
        qint64 doneAtMs = 0;
        qint64 bytes = 0; // counted in keptBytes_ once the answer is in
    };
    using Entries = QHash<QString, Entry>;

    void forgetOld(qint64 nowMs);
    Entries::iterator forget(Entries::iterator entry);
    void keepWithinBudget();

    int reuseMs_;
    qint64 budgetBytes_;
    qint64 keptBytes_ = 0;
    Entries entries_;
};

} // namespace utq::queryservice
