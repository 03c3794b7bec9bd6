#include "history/HistoryStore.h"

#include "history/HourTotals.h"
#include "history/StoreFault.h"
#include "history/StoreSql.h"

#include <QSqlQuery>
#include <QVariant>

namespace utq::history {

using namespace sql;

// Reading: one server's range, and many servers' buckets for the small charts.

Series HistoryStore::read(const ServerKey& server, qint64 fromMs, qint64 toMs, bool withSamples) {
    Series series;
    if (!readyToRead() || schemaVersion_ < 1)
        return series;
    QSqlError error;
    const std::optional<qint64> id = serverId(server, false, error);
    if (!id) {
        if (error.isValid())
            noteFailure(error);
        return series;
    }
    QSqlDatabase db = database();
    if (withSamples) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(QStringLiteral(
            "SELECT time_ms, state, players, max_players, map, round_trip_ms FROM samples "
            "WHERE server_id = ? AND time_ms >= ? AND time_ms < ? ORDER BY time_ms"));
        query.addBindValue(*id);
        query.addBindValue(fromMs);
        query.addBindValue(toMs);
        if (!exec(query, error)) {
            noteFailure(error);
            return series;
        }
        while (query.next()) {
            Sample sample;
            sample.server = server;
            sample.timeMs = query.value(0).toLongLong();
            sample.state = query.value(1).toString();
            sample.players = optionalInt(query.value(2));
            sample.maxPlayers = optionalInt(query.value(3));
            sample.map = query.value(4).toString();
            sample.roundTripMs = query.value(5).toLongLong();
            series.samples << sample;
        }
    }

    const qint64 firstHour = hourStart(fromMs);
    QSqlQuery hours(db);
    hours.setForwardOnly(true);
    hours.prepare(QStringLiteral("SELECT hour_ms, samples, up_samples, players_sum, players_peak "
                                 "FROM hours WHERE server_id = ? AND hour_ms >= ? AND hour_ms < ? "
                                 "ORDER BY hour_ms"));
    hours.addBindValue(*id);
    hours.addBindValue(firstHour);
    hours.addBindValue(toMs);
    if (!exec(hours, error)) {
        noteFailure(error);
        return series;
    }
    while (hours.next()) {
        HourSummary hour;
        hour.hourMs = hours.value(0).toLongLong();
        hour.samples = hours.value(1).toInt();
        hour.upSamples = hours.value(2).toInt();
        hour.playersMean =
            hour.upSamples > 0 ? hours.value(3).toDouble() / double(hour.upSamples) : 0.0;
        hour.playersPeak = hours.value(4).toInt();
        series.hours << hour;
    }

    if (schemaVersion_ < 2)
        return series;
    QSqlQuery maps(db);
    maps.setForwardOnly(true);
    maps.prepare(QStringLiteral("SELECT map, SUM(seconds) AS total FROM hour_maps "
                                "WHERE server_id = ? AND hour_ms >= ? AND hour_ms < ? "
                                "GROUP BY map ORDER BY total DESC, map"));
    maps.addBindValue(*id);
    maps.addBindValue(firstHour);
    maps.addBindValue(toMs);
    if (!exec(maps, error)) {
        noteFailure(error);
        return series;
    }
    while (maps.next())
        series.maps << MapTime{maps.value(0).toString(), maps.value(1).toLongLong()};
    return series;
}

QHash<ServerKey, QList<Bucket>> HistoryStore::buckets(const QList<ServerKey>& servers,
                                                      qint64 sinceMs, qint64 bucketMs) {
    QHash<ServerKey, QList<Bucket>> result;
    for (const ServerKey& server : servers)
        result.insert(server, {});
    if (bucketMs <= 0 || servers.isEmpty() || !readyToRead() || schemaVersion_ < 1)
        return result;
    QSqlDatabase db = database();
    QSqlError error;
    // The ids of all the servers asked, in one query.
    QSqlQuery known(db);
    known.setForwardOnly(true);
    if (!known.exec(QStringLiteral("SELECT id, game, host, port FROM servers"))) {
        noteFailure(known.lastError());
        return result;
    }
    QHash<qint64, ServerKey> asked;
    while (known.next()) {
        const ServerKey key{known.value(1).toString(), known.value(2).toString(),
                            known.value(3).toInt()};
        serverIds_.insert(key, known.value(0).toLongLong());
        if (result.contains(key))
            asked.insert(known.value(0).toLongLong(), key);
    }
    if (asked.isEmpty())
        return result;
    QStringList ids;
    for (auto it = asked.cbegin(); it != asked.cend(); ++it)
        ids << QString::number(it.key());

    // Integer division in both dialects: both operands are integers.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT server_id, time_ms / CAST(? AS BIGINT) AS bucket, "
                                 "MAX(CASE WHEN state IN (%1) THEN players END), "
                                 "MAX(CASE WHEN state IN (%1) THEN 1 ELSE 0 END) "
                                 "FROM samples WHERE time_ms >= ? AND server_id IN (%2) "
                                 "GROUP BY server_id, bucket ORDER BY server_id, bucket")
                      .arg(upStatesSql(), ids.join(QStringLiteral(", "))));
    query.addBindValue(bucketMs);
    query.addBindValue(sinceMs);
    if (!exec(query, error)) {
        noteFailure(error);
        return result;
    }
    while (query.next()) {
        Bucket bucket;
        bucket.startMs = query.value(1).toLongLong() * bucketMs;
        bucket.playersPeak = query.value(2).toInt();
        bucket.up = query.value(3).toInt() != 0;
        result[asked.value(query.value(0).toLongLong())] << bucket;
    }
    return result;
}

} // namespace utq::history
