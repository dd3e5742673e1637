// The drills' query texts in the Jet dialect, rewritten for SQLite or PostgreSQL and checked before they
// reach the engine. One adapter serves both, so a drill's clause means the same on the file and on the
// server.
#pragma once

#include <QString>
#include <optional>

namespace halvor::db {

enum class Dialect { Sqlite, Postgres };

// #yyyy/mm/dd# (also #yyyy/m/d#) outside quotes becomes 'yyyy-mm-dd'. For PostgreSQL a [Name] or "Name"
// becomes "name": the server's names are lower-cased. Everything else stays as written.
QString translateJet(const QString& jet, Dialect dialect = Dialect::Sqlite);

// The table's name as the dialect spells it: "T_Key" in the file, "t_key" on the server.
QString tableName(const QString& table, Dialect dialect);

// "SELECT * FROM <source>" followed by a clause that begins with where or order by (or is empty). Returns
// nothing, with the reason in *why, for anything that could be more than one select over that table. The
// source is the table itself unless given: the library puts a selection of the table there, named like it.
std::optional<QString> selectWithClause(const QString& table, const QString& clause, QString* why,
                                        Dialect dialect = Dialect::Sqlite, const QString& source = {});

// A whole "select ... from [<table>] ..." statement in the Jet dialect, checked the same way, with `source`
// (when given) in the place of the table.
std::optional<QString> selectStatement(const QString& table, const QString& statement, QString* why,
                                       Dialect dialect = Dialect::Sqlite, const QString& source = {});

} // namespace halvor::db
