// The results file on this computer: what may be done to what lies at the path, and its schema.
#pragma once

#include "DbCore.h"

#include <memory>

namespace halvor::db {

struct TableDef;

enum class Access { Read, Write };

struct ResultsFile {
    std::shared_ptr<Connection> connection; // null when the file could not be opened (failure recorded)
    bool current = false; // the table has every column of this version (a read-only older file may not)
    bool learnersCurrent = false; // the same for the registered learners' table
    explicit operator bool() const { return connection != nullptr; }
    QSqlDatabase& db() { return connection->db(); }
};

// What an error of the file stands for: another program holding it, a disk that did not take the write, a
// damaged file, or else.
Problem fileProblem(const QSqlError& error);

// The SQLite file at `path`, open and ready for `table`: a missing file or table is created, an older schema
// brought up to date. Anything that is not ours to read or write gives no connection, with the failure
// recorded; such a file is never changed.
ResultsFile openResultsFile(const QString& path, const TableDef& table, Access access);

// While it lives, the results files this thread opens for writing stay open (until the file at the path is
// another one), so a save neither opens the file again nor has the disk write out the log as the last
// connection to it closes. The library's own threads hold one.
class FileSession {
public:
    FileSession();
    ~FileSession();
    FileSession(const FileSession&) = delete;
    FileSession& operator=(const FileSession&) = delete;
};

} // namespace halvor::db
