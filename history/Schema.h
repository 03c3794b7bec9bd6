#pragma once

#include <QString>
#include <QStringList>

// The history's tables in the two SQL dialects it speaks. Each version is reached from the one
// before by its own statements, so a new database and an old one end up the same.
namespace utq::history {

enum class Dialect { Sqlite, Postgres };

// The statements that take a database of version `version - 1` to `version`; version 1 makes
// the tables from nothing. Each ends by storing `version` in schema_version.
QStringList schemaStep(Dialect dialect, int version);

// A query of the names of the tables in the database's own schema (none of the engine's).
QString tableNamesQuery(Dialect dialect);

// The sample states that count as up, as an SQL list: "'up', 'partial'".
QString upStatesSql();

} // namespace utq::history
