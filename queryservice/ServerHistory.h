#pragma once

#include "history/History.h"
#include "queryservice/Watcher.h"
#include "queryservice/pages/HistoryView.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <memory>

// The service's memory of the servers it watches: the watcher's samples go to the history, and
// the pages read it back, as each watched server's last day in small charts and as a server's
// history page and API answer.
namespace utq::queryservice {

struct HistoryServiceSettings {
    history::StoreTarget target;   // none: the service keeps no history
    int sampleSeconds = 60;        // each watched server is asked this often
    QList<WatchedServer> watch;    // beyond the clan's servers and the user's favourites
    std::function<qint64()> nowMs; // UTC milliseconds; none: the system's clock
    int flushMs = 5000;            // samples are written this often
    // Told once for each new problem of the store, and when it passes.
    std::function<void(const QString&)> log;
};

class ServerHistory : public QObject {
public:
    ServerHistory(HistoryServiceSettings settings, StatusFinder& finder,
                  Watcher::ServersSource listed, QObject* parent = nullptr);
    ~ServerHistory() override;

    bool on() const { return history_ != nullptr; }
    // Opens the store and starts watching.
    void start();

    // The last day of a watched server as a small chart; empty for a server not watched.
    QByteArray sparkline(const history::ServerKey& key) const;
    // The watched servers by address ("a.b.c.d:port"), for the lists' rows.
    QHash<QString, QByteArray> sparklinesByAddress() const;

    // A server's history over `range`, as its page and the API show it; `done` is called in
    // this object's thread, unless it is gone by then. False at once when too many are being
    // read: the caller answers "busy".
    bool view(const GameDescription& game, const QString& host, int port, pages::HistoryRange range,
              std::function<void(const pages::HistoryView&)> done);

    // What is wrong with the store, as the user reads it; empty when nothing is.
    QString problem() const;
    // Why the store cannot take samples now; empty when it can, or when only another copy of
    // the service writes it, or when no history is kept.
    QString whyNotWritable() const;
    history::WriteCounts writeCounts() const;
    const Watcher* watcher() const { return watcher_; }

private:
    void roundEnded();
    void refreshSparklines(const QList<WatchedServer>& servers);
    void tellProblem();
    qint64 now() const;

    HistoryServiceSettings settings_;
    Watcher::ServersSource listed_;
    Watcher::ServersSource watched_; // the listed servers and the settings' own
    std::unique_ptr<history::History> history_;
    Watcher* watcher_ = nullptr; // a child
    QHash<history::ServerKey, QList<history::Bucket>> buckets_;
    QHash<history::ServerKey, QByteArray> sparklines_;
    int reading_ = 0;
    QString toldProblem_;
};

} // namespace utq::queryservice
