#include "history/HistoryStore.h"

#include "history/HourTotals.h"
#include "history/StoreFault.h"
#include "history/StoreSql.h"

#include <QSqlQuery>
#include <QVariant>

namespace utq::history {

using namespace sql;

// Writing: a batch of samples and its hours in one transaction, and pruning.

bool HistoryStore::write(const QList<Sample>& given) {
    if (!readyToWrite())
        return false;
    QList<Sample> samples = given;
    QSqlError error;
    if (!samples.isEmpty() && !unconfirmed_.isEmpty() && !dropCommitted(samples, error)) {
        noteFailure(error);
        return false;
    }
    if (samples.isEmpty())
        return true;
    bool committing = false;
    if (beginWriting(error) && writeRows(samples, error)) {
        committing = true;
        if (exec(database(), QStringLiteral("COMMIT"), error)) {
            problem_.clear();
            return true;
        }
    }
    rollBack();
    // Ids first seen in the rolled back transaction are gone with it.
    serverIds_.clear();
    noteFailure(error);
    // The server may have committed what it could not confirm: found out before writing again.
    if (committing && dialect_ == Dialect::Postgres && mode_ != Mode::Writing)
        unconfirmed_ = samples;
    return false;
}

bool HistoryStore::dropCommitted(QList<Sample>& samples, QSqlError& error) {
    // One transaction: any of its samples tells whether all of them were written.
    const Sample& marker = unconfirmed_.last();
    QSqlQuery found(database());
    found.prepare(QStringLiteral("SELECT 1 FROM samples JOIN servers ON servers.id = "
                                 "samples.server_id WHERE servers.game = ? AND servers.host = ? "
                                 "AND servers.port = ? AND samples.time_ms = ?"));
    found.addBindValue(marker.server.game);
    found.addBindValue(marker.server.host);
    found.addBindValue(marker.server.port);
    found.addBindValue(marker.timeMs);
    if (!exec(found, error))
        return false;
    if (found.next()) {
        QHash<ServerKey, QSet<qint64>> written;
        for (const Sample& sample : std::as_const(unconfirmed_))
            written[sample.server].insert(sample.timeMs);
        samples.removeIf([&](const Sample& sample) {
            return written.value(sample.server).contains(sample.timeMs);
        });
    }
    unconfirmed_.clear();
    return true;
}

bool HistoryStore::writeRows(const QList<Sample>& samples, QSqlError& error) {
    QList<qint64> ids;
    ids.reserve(samples.size());
    for (const Sample& sample : samples) {
        const std::optional<qint64> id = serverId(sample.server, true, error);
        if (!id)
            return false;
        ids << *id;
    }

    QSqlDatabase db = database();
    QSqlQuery fullInsert(db);
    if (samples.size() >= kSampleRowsPerInsert &&
        !fullInsert.prepare(samplesInsert(kSampleRowsPerInsert))) {
        error = fullInsert.lastError();
        return false;
    }
    for (qsizetype first = 0; first < samples.size(); first += kSampleRowsPerInsert) {
        const int rows = int(std::min<qsizetype>(kSampleRowsPerInsert, samples.size() - first));
        QSqlQuery partInsert(db);
        QSqlQuery& insert = rows == kSampleRowsPerInsert ? fullInsert : partInsert;
        if (rows != kSampleRowsPerInsert && !insert.prepare(samplesInsert(rows))) {
            error = insert.lastError();
            return false;
        }
        for (int row = 0; row < rows; ++row) {
            const Sample& sample = samples[first + row];
            const int at = row * kSampleColumns;
            insert.bindValue(at, ids[first + row]);
            insert.bindValue(at + 1, sample.timeMs);
            insert.bindValue(at + 2, sample.state);
            insert.bindValue(at + 3, optionalInt(sample.players));
            insert.bindValue(at + 4, optionalInt(sample.maxPlayers));
            insert.bindValue(at + 5, sample.map.isNull() ? QStringLiteral("") : sample.map);
            insert.bindValue(at + 6, sample.roundTripMs);
        }
        if (!exec(insert, error))
            return false;
    }

    const BatchTotals totals = totalsOf(samples, ids);
    QSqlQuery hours(db);
    hours.prepare(QStringLiteral(
        "INSERT INTO hours (server_id, hour_ms, samples, up_samples, players_sum, players_peak) "
        "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (server_id, hour_ms) DO UPDATE SET "
        "samples = hours.samples + excluded.samples, "
        "up_samples = hours.up_samples + excluded.up_samples, "
        "players_sum = hours.players_sum + excluded.players_sum, "
        "players_peak = CASE WHEN excluded.players_peak > hours.players_peak "
        "THEN excluded.players_peak ELSE hours.players_peak END"));
    for (const auto& [key, hour] : totals.hours) {
        hours.bindValue(0, key.serverId);
        hours.bindValue(1, key.hourMs);
        hours.bindValue(2, hour.samples);
        hours.bindValue(3, hour.upSamples);
        hours.bindValue(4, hour.playersSum);
        hours.bindValue(5, hour.playersPeak);
        if (!exec(hours, error))
            return false;
    }
    QSqlQuery maps(db);
    maps.prepare(QStringLiteral(
        "INSERT INTO hour_maps (server_id, hour_ms, map, seconds) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (server_id, hour_ms, map) DO UPDATE SET "
        "seconds = hour_maps.seconds + excluded.seconds"));
    for (const auto& [key, seconds] : totals.mapSeconds) {
        maps.bindValue(0, key.serverId);
        maps.bindValue(1, key.hourMs);
        maps.bindValue(2, key.map);
        maps.bindValue(3, seconds);
        if (!exec(maps, error))
            return false;
    }
    return true;
}

bool HistoryStore::prune(qint64 nowMs, Retention retention) {
    if (!readyToWrite())
        return false;
    QSqlDatabase db = database();
    QSqlError error;
    const qint64 samplesBefore = nowMs - retention.sampleDays * kDayMs;
    const qint64 hoursBefore = nowMs - retention.hourDays * kDayMs;
    bool ok = beginWriting(error);
    // Server by server, so that each deletion walks the (server, time) keys that are there
    // anyway, instead of reading the whole of every table every hour.
    QList<qint64> servers;
    QSqlQuery ids(db);
    ok = ok && ids.exec(QStringLiteral("SELECT id FROM servers"));
    while (ok && ids.next())
        servers.append(ids.value(0).toLongLong());
    if (!ok && !error.isValid())
        error = ids.lastError();
    const QList<std::pair<QString, qint64>> deletions{
        {QStringLiteral("DELETE FROM samples WHERE server_id = ? AND time_ms < ?"), samplesBefore},
        {QStringLiteral("DELETE FROM hours WHERE server_id = ? AND hour_ms < ?"), hoursBefore},
        {QStringLiteral("DELETE FROM hour_maps WHERE server_id = ? AND hour_ms < ?"), hoursBefore},
    };
    for (const auto& [statement, before] : deletions) {
        QSqlQuery query(db);
        ok = ok && query.prepare(statement);
        for (qsizetype i = 0; ok && i < servers.size(); ++i) {
            query.addBindValue(servers[i]);
            query.addBindValue(before);
            ok = exec(query, error);
        }
        if (!ok && !error.isValid())
            error = query.lastError();
    }
    if (ok && exec(db, QStringLiteral("COMMIT"), error))
        return true;
    rollBack();
    noteFailure(error);
    return false;
}

} // namespace utq::history
