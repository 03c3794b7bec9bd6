#include "queryservice/RecentAnswers.h"

#include "protocols/StatusBounds.h"

#include <QPointer>

#include <algorithm>

namespace utq::queryservice {

using protocols::QueryOutcome;
namespace bounds = protocols::bounds;

namespace {

// Past this many servers, answers that are no longer fresh are dropped at once.
constexpr qsizetype kTidyAbove = 1024;

} // namespace

void RecentAnswers::ask(const QString& server, qint64 nowMs,
                        const std::function<QFuture<QueryOutcome>()>& start, Done done,
                        QObject* context, const std::function<qint64()>& clock) {
    const QDateTime askedAt = QDateTime::currentDateTime();
    if (reuseMs_ <= 0) {
        start().then([guard = QPointer<QObject>(context), done = std::move(done),
                      askedAt](const QueryOutcome& outcome) {
            if (guard)
                done({outcome, askedAt});
        });
        return;
    }
    if (entries_.size() > kTidyAbove)
        forgetOld(nowMs);
    auto found = entries_.find(server);
    if (found != entries_.end()) {
        Entry& entry = found.value();
        if (entry.inFlight)
            return entry.waiting.append(std::move(done));
        if (nowMs - entry.doneAtMs < reuseMs_)
            return done(entry.answer);
        forget(found);
    }
    Entry& entry = entries_[server];
    entry.waiting.append(std::move(done));
    entry.answer.askedAt = askedAt;
    // The answer is taken in the thread that asked, where the query ran, unless `context` (which
    // holds this) is gone by then. Not then(context, …): Qt 6.4 asserts on a context gone.
    start().then(
        [this, guard = QPointer<QObject>(context), server, clock](const QueryOutcome& outcome) {
            if (!guard)
                return;
            auto found = entries_.find(server);
            if (found == entries_.end())
                return;
            Entry& entry = found.value();
            entry.inFlight = false;
            entry.answer.outcome = outcome;
            entry.doneAtMs = clock();
            entry.bytes = bounds::estimatedBytes(outcome.status);
            keptBytes_ += entry.bytes;
            const QList<Done> waiting = std::exchange(entry.waiting, {});
            const Answer answer = entry.answer;
            if (entry.bytes > budgetBytes_)
                forget(found); // for the pages that waited only
            keepWithinBudget();
            for (const Done& done : waiting)
                done(answer);
        });
}

void RecentAnswers::forgetOld(qint64 nowMs) {
    for (auto entry = entries_.begin(); entry != entries_.end();)
        entry = !entry->inFlight && nowMs - entry->doneAtMs >= reuseMs_ ? forget(entry)
                                                                        : std::next(entry);
}

RecentAnswers::Entries::iterator RecentAnswers::forget(Entries::iterator entry) {
    keptBytes_ -= entry->bytes;
    return entries_.erase(entry);
}

void RecentAnswers::keepWithinBudget() {
    if (keptBytes_ <= budgetBytes_)
        return;
    QList<std::pair<qint64, QString>> done;
    for (auto entry = entries_.cbegin(); entry != entries_.cend(); ++entry)
        if (!entry->inFlight)
            done.append({entry->doneAtMs, entry.key()});
    std::sort(done.begin(), done.end());
    for (const auto& [doneAtMs, server] : done) {
        if (keptBytes_ <= budgetBytes_)
            break;
        forget(entries_.find(server));
    }
}

} // namespace utq::queryservice
