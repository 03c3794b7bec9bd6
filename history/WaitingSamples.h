#pragma once

#include "history/Sample.h"

#include <QList>
#include <QMutex>

// The samples waiting to be written, shared by the threads that record them and the history's
// own. Bounded: when the store cannot write for long, the oldest go first, and are counted.
namespace utq::history {

class WaitingSamples {
public:
    explicit WaitingSamples(int limit) : limit_(limit > 0 ? limit : 1) {}

    void add(const Sample& sample);
    QList<Sample> takeAll();
    // Puts back samples that could not be written, before those recorded since.
    void putBack(const QList<Sample>& samples);
    qsizetype size() const;
    // How many were dropped since the start.
    qint64 dropped() const;

private:
    void keepWithinLimit();

    mutable QMutex mutex_;
    QList<Sample> samples_;
    int limit_;
    qint64 dropped_ = 0;
};

} // namespace utq::history
