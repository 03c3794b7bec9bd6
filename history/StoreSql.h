#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariant>

#include <optional>

// The little the store's SQL needs on both databases: statements run with their error kept,
// optional numbers as NULL, and a many-row INSERT of samples.
namespace utq::history::sql {

inline constexpr qint64 kDayMs = 24LL * 3600 * 1000;
// Rows in one INSERT of samples: few round trips to a server, well under SQLite's 999
// parameters.
inline constexpr int kSampleRowsPerInsert = 100;
inline constexpr int kSampleColumns = 7;

// Runs the prepared `query`, or `statement` on `db`; false with `error` set when it failed.
bool exec(QSqlQuery& query, QSqlError& error);
bool exec(const QSqlDatabase& db, const QString& statement, QSqlError& error);

QVariant optionalInt(const std::optional<int>& value);
std::optional<int> optionalInt(const QVariant& value);

// "INSERT INTO samples (…) VALUES (?, …), …" for `rows` samples.
QString samplesInsert(int rows);

} // namespace utq::history::sql
