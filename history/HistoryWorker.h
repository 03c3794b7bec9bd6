#pragma once

#include "history/History.h"
#include "history/HistoryStore.h"
#include "history/WaitingSamples.h"

#include <QObject>

#include <functional>
#include <memory>

class QTimer;

// The part of History that lives in its thread: it owns the store (Qt SQL's connections
// belong to the thread that made them) and its timers.
namespace utq::history {

class HistoryWorker : public QObject {
public:
    using Publish = std::function<void(HistoryStore::Mode, const QString&)>;
    // Told of each batch tried: whether it was committed, and its samples.
    using Count = std::function<void(bool written, qsizetype samples)>;

    HistoryWorker(const HistorySettings& settings, WaitingSamples& waiting, Publish publish,
                  Count count);

    // Each is called in the history's thread.
    void start();
    bool flush();
    void prune();
    // Writes what waits, closes the store and stops the timers.
    void stop();
    Series read(const ServerKey& server, qint64 fromMs, qint64 toMs, bool withSamples);
    QHash<ServerKey, QList<Bucket>> buckets(const QList<ServerKey>& servers, qint64 sinceMs,
                                            qint64 bucketMs);

private:
    void publish();
    qint64 nowMs() const;

    const HistorySettings& settings_;
    WaitingSamples& waiting_;
    Publish publish_;
    Count count_;
    std::unique_ptr<HistoryStore> store_;
    QTimer* flushTimer_ = nullptr;
    QTimer* pruneTimer_ = nullptr;
};

} // namespace utq::history
