// The results tables as both engines hold them: columns in table order, with the schema version that
// brought each one. One list serves the SQLite file and the school's server.
#pragma once

#include <QString>
#include <vector>

namespace halvor::db {

enum class Type { Date, SmallInt, Text, Real, Uuid, Timestamp, PlainText, Integer };

struct ColumnDef {
    const char* name; // as the SQLite file spells it; the server's name is the lower-cased one
    Type type;
    int since; // schema version that added the column
};

struct TableDef {
    const char* name;   // "T_Key", "T_Digit"
    const char* drill;  // drill-number column
    const char* round;  // run-number column
    const char* course; // with the drill number, what one day's runs are numbered within; null for none
    std::vector<ColumnDef> columns; // in both places
};

const TableDef& keyTableDef();
const TableDef& digitTableDef();
const std::vector<const TableDef*>& resultTables();

// Version 2 gave every row its learner and its run id, and added the outbox and the registered learners.
// Version 3 gave a registered learner the roster's attendance number and reading (Number, Furigana).
// Version 4 gave every run the moment it finished and the run id it conflicts with; on the server, the
// moment and the login it arrived from, and the one function that adds runs.
// Version 5 (server only) added who is at which computer now (halvor_presence, halvor_report) and the
// announcements of its changes and of every run that lands.
// Version 6 added T_Unit: one row per unit (kana, key) a run practised, stored and sent with the run.
constexpr int kSchemaVersion = 6;

// The columns the library fills itself, after the record's.
constexpr const char* kLearnerColumn = "Learner";
constexpr const char* kRunIdColumn = "RunId";
constexpr const char* kFinishedColumn = "Finished";
constexpr const char* kConflictColumn = "Conflict";

// T_Unit: a run's units. RunId, Learner, Y4mmdd and Drill are the run's own; the rest is the unit's
// (DB_UNIT). Not a results table: its rows join a run (LocalSave.h) and have no number of their own.
const TableDef& unitTableDef();
// What a run's unit rows may hold, here and on the server (server-schema.sql checks the same).
constexpr int kMaxUnitsPerRun = 400;
constexpr int kMaxUnitLength = 4; // a kana pair such as きゃ, a key, a small kana with the one before
constexpr int kMaxUnitCount = 120000;
constexpr int kMaxUnitMeanMs = 3600000;

// The columns of `table` on the server: the file's, then what the server itself records of a run (when it
// arrived and from which login and address).
std::vector<ColumnDef> serverColumns(const TableDef& table);

} // namespace halvor::db
