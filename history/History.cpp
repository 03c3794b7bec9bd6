#include "history/History.h"

#include "history/HistoryWorker.h"

#include <QDateTime>
#include <QMetaObject>
#include <QMutexLocker>
#include <QPointer>

namespace utq::history {

namespace {

// Hands `result` to `done` in `context`'s thread, unless the context is gone by then; in the
// history's thread when there is no context.
template <typename Result>
void answer(const QPointer<QObject>& context, bool hadContext,
            const std::function<void(const Result&)>& done, Result result) {
    if (!done)
        return;
    if (!hadContext) {
        done(result);
        return;
    }
    if (!context)
        return;
    QMetaObject::invokeMethod(
        context.data(),
        [context, done, result = std::move(result)] {
            if (context)
                done(result);
        },
        Qt::QueuedConnection);
}

} // namespace

History::History(HistorySettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), waiting_(settings_.maxWaiting) {
    problem_ = QStringLiteral("the history is being opened");
    worker_ = new HistoryWorker(
        settings_, waiting_,
        [this](HistoryStore::Mode mode, const QString& problem) { setState(mode, problem); },
        [this](bool written, qsizetype samples) {
            (written ? batches_ : failures_) += 1;
            if (written)
                samples_ += samples;
        });
    worker_->moveToThread(&thread_);
    thread_.setObjectName(QStringLiteral("history"));
    thread_.start();
    QMetaObject::invokeMethod(worker_, [worker = worker_] { worker->start(); });
}

History::~History() {
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->stop(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void History::setState(HistoryStore::Mode mode, const QString& problem) {
    const QMutexLocker locker(&stateMutex_);
    mode_ = mode;
    problem_ = problem;
}

HistoryStore::Mode History::mode() const {
    const QMutexLocker locker(&stateMutex_);
    return mode_;
}

QString History::problem() const {
    QString problem;
    {
        const QMutexLocker locker(&stateMutex_);
        problem = problem_;
    }
    const qint64 dropped = waiting_.dropped();
    if (dropped == 0)
        return problem;
    const QString lost =
        QStringLiteral("%1 samples were lost while the history could not be written").arg(dropped);
    return problem.isEmpty() ? lost : problem + QStringLiteral("; ") + lost;
}

qint64 History::nowMs() const {
    return settings_.nowMs ? settings_.nowMs() : QDateTime::currentMSecsSinceEpoch();
}

WriteCounts History::writeCounts() const {
    return {batches_, failures_, samples_, waiting_.size(), waiting_.dropped()};
}

void History::record(const Sample& sample) {
    if (settings_.write)
        waiting_.add(sample);
}

void History::flush(QObject* context, std::function<void(bool written)> done) {
    QMetaObject::invokeMethod(worker_, [worker = worker_, guard = QPointer<QObject>(context),
                                        hadContext = context != nullptr, done = std::move(done)] {
        answer<bool>(guard, hadContext, done, worker->flush());
    });
}

void History::read(const ServerKey& server, qint64 fromMs, qint64 toMs, bool withSamples,
                   QObject* context, std::function<void(const Series&)> done) {
    QMetaObject::invokeMethod(worker_, [=, worker = worker_, guard = QPointer<QObject>(context),
                                        hadContext = context != nullptr] {
        answer<Series>(guard, hadContext, done, worker->read(server, fromMs, toMs, withSamples));
    });
}

void History::buckets(const QList<ServerKey>& servers, qint64 sinceMs, qint64 bucketMs,
                      QObject* context,
                      std::function<void(const QHash<ServerKey, QList<Bucket>>&)> done) {
    QMetaObject::invokeMethod(worker_, [=, worker = worker_, guard = QPointer<QObject>(context),
                                        hadContext = context != nullptr] {
        answer<QHash<ServerKey, QList<Bucket>>>(guard, hadContext, done,
                                                worker->buckets(servers, sinceMs, bucketMs));
    });
}

} // namespace utq::history
