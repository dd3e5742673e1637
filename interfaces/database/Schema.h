// The results tables as both engines hold them: columns in table order, with the schema version that
// brought each one. One list serves the SQLite file and the school's server.
#pragma once

#include <QString>
#include <vector>

namespace halvor::db {

enum class Type { Date, SmallInt, Text, Real, Uuid };

struct ColumnDef {
    const char* name; // as the SQLite file spells it; the server's name is the lower-cased one
    Type type;
    int since; // schema version that added the column
};

struct TableDef {
    const char* name;  // "T_Key", "T_Digit"
    const char* drill; // drill-number column
    const char* round; // run-number column
    std::vector<ColumnDef> columns;
};

const TableDef& keyTableDef();
const TableDef& digitTableDef();
const std::vector<const TableDef*>& resultTables();

// Version 2 gave every row its learner and its run id, and added the outbox and the registered learners.
// Version 3 gave a registered learner the roster's attendance number and reading (Number, Furigana).
constexpr int kSchemaVersion = 3;

// The columns the library fills itself, after the record's.
constexpr const char* kLearnerColumn = "Learner";
constexpr const char* kRunIdColumn = "RunId";

} // namespace halvor::db
