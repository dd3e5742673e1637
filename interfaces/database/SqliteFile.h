// The results file on this computer: what may be done to what lies at the path, and its schema.
#pragma once

#include "DbCore.h"

#include <memory>

namespace halvor::db {

struct TableDef;

enum class Access { Read, Write };

// The SQLite file at `path`, open and ready for `table`: a missing file or table is created, an older schema
// brought up to date. Anything that is not ours to read or write gives null, with the failure recorded; such
// a file is never changed.
std::unique_ptr<Connection> openResultsFile(const QString& path, const TableDef& table, Access access);

} // namespace halvor::db
