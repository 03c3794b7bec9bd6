#pragma once

#include "history/HistoryStore.h"
#include "history/WaitingSamples.h"

#include <QMutex>
#include <QObject>
#include <QThread>

#include <atomic>

#include <functional>

// The history on a thread of its own, so that a slow disk or a database server far away never
// holds up a page: samples are gathered and written in one transaction every few seconds, old
// ones pruned every hour, and reads answer through a callback.
namespace utq::history {

struct HistorySettings {
    StoreTarget target;
    bool write = true;       // false: only read what another program writes
    int flushMs = 5000;      // samples are written this often
    int pruneMs = 3600000;   // and old ones dropped this often
    int maxWaiting = 100000; // samples kept while the store cannot write; the oldest go first
    Retention retention;
    std::function<qint64()> nowMs; // UTC milliseconds; none: the system's clock. Called in the
                                   // history's thread too.
};

class HistoryWorker;

// What the history has written since it started, for the service's figures.
struct WriteCounts {
    qint64 batches = 0;  // committed
    qint64 failures = 0; // that could not be: their samples wait for the next try
    qint64 samples = 0;  // committed
    qint64 waiting = 0;  // now
    qint64 dropped = 0;  // lost while the store could not write
};

class History : public QObject {
public:
    // Opens the store in its thread: until it has, mode() is Closed.
    explicit History(HistorySettings settings, QObject* parent = nullptr);
    // Writes what is waiting, then stops the thread.
    ~History() override;
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // The store's state, as last known; the problem notes samples dropped while waiting.
    HistoryStore::Mode mode() const;
    QString problem() const;
    qint64 nowMs() const;
    WriteCounts writeCounts() const;

    // From any thread. Nothing is kept when the history only reads.
    void record(const Sample& sample);
    // Writes what is waiting now, and calls `done` (in `context`'s thread) when it was tried.
    void flush(QObject* context = nullptr, std::function<void(bool written)> done = {});

    // Reads in the history's thread; `done` is called in `context`'s thread, unless it is gone.
    void read(const ServerKey& server, qint64 fromMs, qint64 toMs, bool withSamples,
              QObject* context, std::function<void(const Series&)> done);
    void buckets(const QList<ServerKey>& servers, qint64 sinceMs, qint64 bucketMs, QObject* context,
                 std::function<void(const QHash<ServerKey, QList<Bucket>>&)> done);

private:
    void setState(HistoryStore::Mode mode, const QString& problem);

    HistorySettings settings_;
    WaitingSamples waiting_;
    mutable QMutex stateMutex_;
    HistoryStore::Mode mode_ = HistoryStore::Mode::Closed;
    QString problem_;
    std::atomic<qint64> batches_{0};
    std::atomic<qint64> failures_{0};
    std::atomic<qint64> samples_{0};
    QThread thread_;
    HistoryWorker* worker_ = nullptr;
};

} // namespace utq::history
