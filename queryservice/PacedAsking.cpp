#include "queryservice/PacedAsking.h"

#include <algorithm>

namespace utq::queryservice {
namespace {

// How often the queue is looked at while it holds questions.
constexpr int kTickMs = 20;

} // namespace

PacedAsking::PacedAsking(PaceLimits limits, QObject* parent)
    : QObject(parent), limits_(limits), tick_(this), alive_(std::make_shared<PacedAsking*>(this)) {
    limits_.inFlight = std::max(limits_.inFlight, 1);
    limits_.perSecond = std::max(limits_.perSecond, 1);
    clock_.start();
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, [this] { pump(clock_.elapsed()); });
}

void PacedAsking::add(Question question) {
    waiting_.push_back(std::move(question));
    if (!tick_.isActive())
        tick_.start();
}

void PacedAsking::clear() { waiting_.clear(); }

void PacedAsking::pump(qint64 nowMs) {
    // A millisecond more than an even share of the second: the clock counts whole
    // milliseconds, and the start after `perSecond` of them must be a full second later.
    const qint64 spacingMs = 1000 / limits_.perSecond + 1;
    // At first, and after a pause, the pace starts afresh, without a burst to catch up.
    if (nextStartMs_ < 0 || nextStartMs_ < nowMs - kTickMs)
        nextStartMs_ = nowMs;
    while (!waiting_.empty() && inFlight_ < limits_.inFlight && nextStartMs_ <= nowMs) {
        while (!startsInLastSecond_.empty() && startsInLastSecond_.front() <= nowMs - 1000)
            startsInLastSecond_.pop_front();
        if (static_cast<int>(startsInLastSecond_.size()) >= limits_.perSecond)
            break;
        Question question = std::move(waiting_.front());
        waiting_.pop_front();
        ++inFlight_;
        nextStartMs_ += spacingMs;
        startsInLastSecond_.push_back(nowMs);
        mostInFlight_ = std::max(mostInFlight_, inFlight_);
        mostInOneSecond_ = std::max(mostInOneSecond_, static_cast<int>(startsInLastSecond_.size()));
        // A question that ends after this object is gone ends nowhere.
        question([alive = std::weak_ptr<PacedAsking*>(alive_), ended = false]() mutable {
            if (const auto self = alive.lock(); self && !ended) {
                ended = true;
                (*self)->ended();
            }
        });
    }
    if (waiting_.empty())
        tick_.stop();
}

void PacedAsking::ended() {
    if (inFlight_ > 0)
        --inFlight_;
}

} // namespace utq::queryservice
