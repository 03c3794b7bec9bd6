#include "history/WaitingSamples.h"

#include <QMutexLocker>

namespace utq::history {

void WaitingSamples::add(const Sample& sample) {
    const QMutexLocker locker(&mutex_);
    samples_ << sample;
    keepWithinLimit();
}

QList<Sample> WaitingSamples::takeAll() {
    const QMutexLocker locker(&mutex_);
    return std::exchange(samples_, {});
}

void WaitingSamples::putBack(const QList<Sample>& samples) {
    const QMutexLocker locker(&mutex_);
    samples_ = samples + samples_;
    keepWithinLimit();
}

qsizetype WaitingSamples::size() const {
    const QMutexLocker locker(&mutex_);
    return samples_.size();
}

qint64 WaitingSamples::dropped() const {
    const QMutexLocker locker(&mutex_);
    return dropped_;
}

void WaitingSamples::keepWithinLimit() {
    const qsizetype excess = samples_.size() - limit_;
    if (excess <= 0)
        return;
    samples_.remove(0, excess);
    dropped_ += excess;
}

} // namespace utq::history
