#include "history/StoreSql.h"

#include <QSqlQuery>
#include <QStringList>

namespace utq::history::sql {

bool exec(QSqlQuery& query, QSqlError& error) {
    if (query.exec())
        return true;
    error = query.lastError();
    return false;
}

bool exec(const QSqlDatabase& db, const QString& statement, QSqlError& error) {
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    error = query.lastError();
    return false;
}

QVariant optionalInt(const std::optional<int>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<int>());
}

std::optional<int> optionalInt(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toInt();
}

QString samplesInsert(int rows) {
    QStringList values;
    for (int row = 0; row < rows; ++row)
        values << QStringLiteral("(?, ?, ?, ?, ?, ?, ?)");
    return QStringLiteral("INSERT INTO samples (server_id, time_ms, state, players, max_players, "
                          "map, round_trip_ms) VALUES ") +
           values.join(QStringLiteral(", "));
}

} // namespace utq::history::sql
