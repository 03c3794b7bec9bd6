#include "queryservice/ServerHistory.h"

#include "queryservice/StatusFinder.h"

#include <QDateTime>
#include <QHostAddress>
#include <QSet>

#include <algorithm>

namespace utq::queryservice {
namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000;
// A small chart's bars: half an hour each, 48 in a day.
constexpr qint64 kSparkBucketMs = 30 * 60 * 1000;
constexpr qint64 kHourMs = 3600 * 1000;
// History pages being read at once; more are answered "busy", so a flood of them cannot queue
// up work for the database without end.
constexpr int kMaxReading = 32;

pages::Sparkline sparklineOf(const QList<history::Bucket>& buckets, qint64 nowMs) {
    pages::Sparkline line{nowMs - kDayMs, nowMs, {}, kSparkBucketMs};
    for (const history::Bucket& bucket : buckets)
        line.points.append({bucket.startMs, double(bucket.playersPeak), bucket.playersPeak,
                            bucket.up ? 1.0 : 0.0});
    return line;
}

pages::HistoryView viewOf(const history::Series& series, pages::HistoryRange range) {
    pages::HistoryView view;
    view.range = range;
    if (range == pages::HistoryRange::Day) {
        for (const history::Sample& sample : series.samples) {
            const int players = sample.players.value_or(0);
            view.points.append(
                {sample.timeMs, double(players), players, history::isUp(sample.state) ? 1.0 : 0.0});
        }
    } else {
        for (const history::HourSummary& hour : series.hours)
            view.points.append({hour.hourMs, hour.playersMean, hour.playersPeak,
                                hour.samples > 0 ? double(hour.upSamples) / hour.samples : 0});
    }
    qint64 samples = 0;
    qint64 up = 0;
    double playerSum = 0;
    for (const history::HourSummary& hour : series.hours) {
        samples += hour.samples;
        up += hour.upSamples;
        playerSum += hour.playersMean * hour.upSamples;
        view.playersPeak = std::max(view.playersPeak, hour.playersPeak);
    }
    view.playersMean = up > 0 ? playerSum / double(up) : 0;
    view.upShare = samples > 0 ? double(up) / double(samples) : 0;
    for (const history::MapTime& map : series.maps)
        view.maps.append({map.map, map.seconds});
    return view;
}

} // namespace

ServerHistory::ServerHistory(HistoryServiceSettings settings, StatusFinder& finder,
                             Watcher::ServersSource listed, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), listed_(std::move(listed)) {
    if (settings_.target.text.isEmpty())
        return;
    if (!settings_.nowMs)
        settings_.nowMs = [] {
            return QDateTime::currentMSecsSinceEpoch();
        };
    history::HistorySettings store;
    store.target = settings_.target;
    store.flushMs = settings_.flushMs;
    store.nowMs = settings_.nowMs;
    history_ = std::make_unique<history::History>(store);
    watched_ = [this] {
        QList<WatchedServer> all = listed_ ? listed_() : QList<WatchedServer>();
        QSet<history::ServerKey> keys;
        for (const WatchedServer& server : std::as_const(all))
            keys.insert(historyKey(*server.game, server.host, server.port.toInt()));
        for (const WatchedServer& extra : std::as_const(settings_.watch)) {
            const history::ServerKey key = historyKey(*extra.game, extra.host, extra.port.toInt());
            if (!keys.contains(key)) {
                keys.insert(key);
                all.append(extra);
            }
        }
        return all;
    };
    watcher_ = new Watcher(
        finder, watched_, [this](const history::Sample& sample) { history_->record(sample); },
        settings_.sampleSeconds, settings_.nowMs, this);
    // A copy that only reads the history (the console beside the main window) leaves the
    // asking and the writing to the one that writes; its charts still follow the file.
    watcher_->setQuiet([this] { return history_->mode() == history::HistoryStore::Mode::Reading; });
    watcher_->onRoundEnded([this] { roundEnded(); });
}

ServerHistory::~ServerHistory() = default;

qint64 ServerHistory::now() const { return settings_.nowMs(); }

void ServerHistory::start() {
    if (!watcher_)
        return;
    // The charts of what earlier runs kept are there for the first pages, before any round.
    refreshSparklines(watched_());
    watcher_->start();
    // A store that cannot be used is told at once, not after the first round.
    history_->flush(this, [this](bool) { tellProblem(); });
}

QString ServerHistory::problem() const {
    if (!history_)
        return QStringLiteral("This service keeps no history.");
    return history_->problem();
}

QString ServerHistory::whyNotWritable() const {
    if (!history_ || history_->mode() != history::HistoryStore::Mode::Closed)
        return {};
    const QString problem = history_->problem();
    return problem.isEmpty() ? QStringLiteral("the history is closed") : problem;
}

history::WriteCounts ServerHistory::writeCounts() const {
    return history_ ? history_->writeCounts() : history::WriteCounts{};
}

void ServerHistory::tellProblem() {
    const QString problem = history_->problem();
    if (problem == toldProblem_)
        return;
    if (settings_.log)
        settings_.log(problem.isEmpty() ? QStringLiteral("history: written again")
                                        : QStringLiteral("history: ") + problem);
    toldProblem_ = problem;
}

void ServerHistory::roundEnded() {
    // The round's samples are written before the charts are read, so that they show them.
    history_->flush(this, [this](bool) {
        tellProblem();
        refreshSparklines(watcher_->servers());
    });
}

void ServerHistory::refreshSparklines(const QList<WatchedServer>& servers) {
    const qint64 nowMs = now();
    QList<history::ServerKey> known;
    QList<history::ServerKey> fresh;
    for (const WatchedServer& server : servers) {
        const history::ServerKey key = historyKey(*server.game, server.host, server.port.toInt());
        (buckets_.contains(key) ? known : fresh).append(key);
    }
    // Servers no longer watched lose their charts.
    const QSet<history::ServerKey> stillWatched(known.cbegin(), known.cend());
    for (auto it = buckets_.begin(); it != buckets_.end();)
        it = stillWatched.contains(it.key()) ? std::next(it) : buckets_.erase(it);
    const auto store = [this, nowMs](qint64 sinceMs) {
        return [this, nowMs,
                sinceMs](const QHash<history::ServerKey, QList<history::Bucket>>& read) {
            for (auto it = read.cbegin(); it != read.cend(); ++it) {
                QList<history::Bucket>& kept = buckets_[it.key()];
                kept.removeIf([nowMs, sinceMs](const history::Bucket& bucket) {
                    // Those of a clock that since went back go too.
                    return bucket.startMs >= sinceMs || bucket.startMs < nowMs - kDayMs ||
                           bucket.startMs > nowMs;
                });
                kept.append(it.value());
            }
            sparklines_.clear();
            for (auto it = buckets_.cbegin(); it != buckets_.cend(); ++it)
                sparklines_.insert(it.key(), pages::sparklineSvg(sparklineOf(it.value(), nowMs)));
        };
    };
    // Known servers read only their last two buckets again; new ones their whole day.
    if (!known.isEmpty()) {
        const qint64 sinceMs = (nowMs / kSparkBucketMs - 1) * kSparkBucketMs;
        history_->buckets(known, sinceMs, kSparkBucketMs, this, store(sinceMs));
    }
    if (!fresh.isEmpty()) {
        for (const history::ServerKey& key : std::as_const(fresh))
            buckets_.insert(key, {});
        const qint64 sinceMs = (nowMs - kDayMs) / kSparkBucketMs * kSparkBucketMs;
        history_->buckets(fresh, sinceMs, kSparkBucketMs, this, store(sinceMs));
    }
}

QByteArray ServerHistory::sparkline(const history::ServerKey& key) const {
    return sparklines_.value(key);
}

QHash<QString, QByteArray> ServerHistory::sparklinesByAddress() const {
    QHash<QString, QByteArray> byAddress;
    for (auto it = sparklines_.cbegin(); it != sparklines_.cend(); ++it)
        if (QHostAddress(it.key().host).protocol() == QAbstractSocket::IPv4Protocol)
            byAddress.insert(it.key().host + u':' + QString::number(it.key().port), it.value());
    return byAddress;
}

bool ServerHistory::view(const GameDescription& game, const QString& host, int port,
                         pages::HistoryRange range,
                         std::function<void(const pages::HistoryView&)> done) {
    pages::HistoryView empty;
    empty.game = &game;
    empty.host = host.trimmed();
    empty.port = port;
    empty.range = range;
    empty.toMs = history_ ? now() : QDateTime::currentMSecsSinceEpoch();
    empty.fromMs = empty.toMs - pages::rangeMs(range);
    const history::ServerKey key = historyKey(game, host, port);
    empty.watched = watcher_ && watcher_->watches(key);
    empty.problem = problem();
    if (!history_) {
        done(empty);
        return true;
    }
    if (reading_ >= kMaxReading)
        return false;
    ++reading_;
    // Hours that began before the range still count for the part within it.
    const qint64 fromMs =
        range == pages::HistoryRange::Day ? empty.fromMs : empty.fromMs / kHourMs * kHourMs;
    history_->read(key, fromMs, empty.toMs + 1, range == pages::HistoryRange::Day, this,
                   [this, empty, range, done = std::move(done)](const history::Series& series) {
                       --reading_;
                       pages::HistoryView view = viewOf(series, range);
                       view.game = empty.game;
                       view.host = empty.host;
                       view.port = empty.port;
                       view.fromMs = empty.fromMs;
                       view.toMs = empty.toMs;
                       view.watched = empty.watched;
                       view.problem = problem(); // as it is once the store was read
                       done(view);
                   });
    return true;
}

} // namespace utq::queryservice
