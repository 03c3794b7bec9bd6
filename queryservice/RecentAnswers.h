#pragma once

#include "queryservice/QueryOutcome.h"

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
    // `reuseMs` 0: every page asks the server itself.
    explicit RecentAnswers(int reuseMs) : reuseMs_(reuseMs) {}

    struct Answer {
        QueryOutcome outcome;
        QDateTime askedAt;
    };
    using Done = std::function<void(const Answer&)>;

    // Calls `done` with a recent answer at once, when there is one; else when the query in
    // flight for the same server ends, or the one `start` begins. `nowMs` is any steady
    // clock's reading, and `clock` reads it again when a query ends; answers are delivered in
    // `context`'s thread.
    void ask(const QString& server, qint64 nowMs,
             const std::function<QFuture<QueryOutcome>()>& start, Done done, QObject* context,
             const std::function<qint64()>& clock);

private:
    struct Entry {
        bool inFlight = true;
        QList<Done> waiting;
        Answer answer;
        qint64 doneAtMs = 0;
    };
    void forgetOld(qint64 nowMs);

    int reuseMs_;
    QHash<QString, Entry> entries_;
};

} // namespace utq::queryservice
