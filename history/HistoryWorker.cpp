#include "history/HistoryWorker.h"

#include <QDateTime>
#include <QTimer>

#include <atomic>

namespace utq::history {

namespace {

QString uniqueConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("utq-history-%1").arg(next++);
}

} // namespace

HistoryWorker::HistoryWorker(const HistorySettings& settings, WaitingSamples& waiting,
                             Publish publish, Count count)
    : settings_(settings), waiting_(waiting), publish_(std::move(publish)),
      count_(std::move(count)) {}

qint64 HistoryWorker::nowMs() const {
    return settings_.nowMs ? settings_.nowMs() : QDateTime::currentMSecsSinceEpoch();
}

void HistoryWorker::publish() {
    if (store_)
        publish_(store_->mode(), store_->problem());
}

void HistoryWorker::start() {
    store_ = std::make_unique<HistoryStore>(settings_.target, uniqueConnectionName());
    store_->open(settings_.write);
    if (store_->mode() == HistoryStore::Mode::Writing)
        store_->prune(nowMs(), settings_.retention);
    publish();
    flushTimer_ = new QTimer(this);
    connect(flushTimer_, &QTimer::timeout, this, [this] { flush(); });
    flushTimer_->start(std::max(1, settings_.flushMs));
    pruneTimer_ = new QTimer(this);
    connect(pruneTimer_, &QTimer::timeout, this, [this] { prune(); });
    pruneTimer_->start(std::max(1, settings_.pruneMs));
}

bool HistoryWorker::flush() {
    if (!store_ || !settings_.write)
        return false;
    const QList<Sample> batch = waiting_.takeAll();
    bool written = false;
    if (batch.isEmpty()) {
        // Nothing to write: still find out whether what kept the store closed has passed.
        if (store_->mode() != HistoryStore::Mode::Writing && store_->mayOpenLater())
            store_->write({});
        written = store_->mode() == HistoryStore::Mode::Writing;
    } else {
        written = store_->write(batch);
        count_(written, batch.size());
        // A store closed for good (a file that is no history) will never take them: keeping
        // them would only fill the memory.
        const bool closedForGood =
            store_->mode() == HistoryStore::Mode::Closed && !store_->mayOpenLater();
        if (!written && !closedForGood)
            waiting_.putBack(batch);
    }
    publish();
    return written;
}

void HistoryWorker::prune() {
    if (!store_ || store_->mode() != HistoryStore::Mode::Writing)
        return;
    store_->prune(nowMs(), settings_.retention);
    publish();
}

void HistoryWorker::stop() {
    delete flushTimer_;
    flushTimer_ = nullptr;
    delete pruneTimer_;
    pruneTimer_ = nullptr;
    flush();
    store_.reset();
}

Series HistoryWorker::read(const ServerKey& server, qint64 fromMs, qint64 toMs, bool withSamples) {
    if (!store_)
        return {};
    Series series = store_->read(server, fromMs, toMs, withSamples);
    publish();
    return series;
}

QHash<ServerKey, QList<Bucket>> HistoryWorker::buckets(const QList<ServerKey>& servers,
                                                       qint64 sinceMs, qint64 bucketMs) {
    if (!store_)
        return {};
    auto buckets = store_->buckets(servers, sinceMs, bucketMs);
    publish();
    return buckets;
}

} // namespace utq::history
