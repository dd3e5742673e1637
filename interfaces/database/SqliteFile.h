// The results file on this computer: what may be done to what lies at the path, and its schema.
#pragma once

#include "DbCore.h"

#include <memory>

namespace halvor::db {

struct TableDef;

enum class Access { Read, Write };

struct ResultsFile {
    std::unique_ptr<Connection> connection; // null when the file could not be opened (failure recorded)
    bool current = false; // the table has every column of this version (a read-only older file may not)
    bool learnersCurrent = false; // the same for the registered learners' table
    explicit operator bool() const { return connection != nullptr; }
    QSqlDatabase& db() { return connection->db(); }
};

// The SQLite file at `path`, open and ready for `table`: a missing file or table is created, an older schema
// brought up to date. Anything that is not ours to read or write gives no connection, with the failure
// recorded; such a file is never changed.
ResultsFile openResultsFile(const QString& path, const TableDef& table, Access access);

} // namespace halvor::db
