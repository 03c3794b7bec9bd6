#include "queryservice/RecentAnswers.h"

namespace utq::queryservice {
namespace {

// Past this many servers, answers that are no longer fresh are dropped at once.
constexpr qsizetype kTidyAbove = 1024;

} // namespace

void RecentAnswers::ask(const QString& server, qint64 nowMs,
                        const std::function<QFuture<QueryOutcome>()>& start, Done done,
                        QObject* context, const std::function<qint64()>& clock) {
    const QDateTime askedAt = QDateTime::currentDateTime();
    if (reuseMs_ <= 0) {
        start().then(context, [done = std::move(done), askedAt](const QueryOutcome& outcome) {
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
        entries_.erase(found);
    }
    Entry& entry = entries_[server];
    entry.waiting.append(std::move(done));
    entry.answer.askedAt = askedAt;
    start().then(context, [this, server, clock](const QueryOutcome& outcome) {
        auto found = entries_.find(server);
        if (found == entries_.end())
            return;
        Entry& entry = found.value();
        entry.inFlight = false;
        entry.answer.outcome = outcome;
        entry.doneAtMs = clock();
        const QList<Done> waiting = std::exchange(entry.waiting, {});
        const Answer answer = entry.answer;
        for (const Done& done : waiting)
            done(answer);
    });
}

void RecentAnswers::forgetOld(qint64 nowMs) {
    entries_.removeIf([this, nowMs](const auto& entry) {
        return !entry.value().inFlight && nowMs - entry.value().doneAtMs >= reuseMs_;
    });
}

} // namespace utq::queryservice
