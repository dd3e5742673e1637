// The drills' query texts in the Jet dialect, rewritten for SQLite and checked before they reach the engine.
#pragma once

#include <QString>
#include <optional>

namespace halvor::db {

// #yyyy/mm/dd# (also #yyyy/m/d#) outside quotes becomes 'yyyy-mm-dd'; everything else stays as written.
QString translateJet(const QString& jet);

// "SELECT * FROM <table>" followed by a clause that begins with where or order by (or is empty). Returns
// nothing, with the reason in *why, for anything that could be more than one select over that table.
std::optional<QString> selectWithClause(const QString& table, const QString& clause, QString* why);

// A whole "select ... from [<table>] ..." statement in the Jet dialect, checked the same way.
std::optional<QString> selectStatement(const QString& table, const QString& statement, QString* why);

} // namespace halvor::db
