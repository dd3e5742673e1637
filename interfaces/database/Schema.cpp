#include "Schema.h"

namespace halvor::db {

namespace {

// The thirteen columns both tables share, in table order; only the drill and run-number names differ.
std::vector<ColumnDef> sharedColumns(const char* drill, const char* round) {
    return {
        {"Y4mmdd", Type::Date, 1},  {drill, Type::SmallInt, 1}, {round, Type::SmallInt, 1},
        {"REM", Type::Text, 1},     {"COND1", Type::Text, 1},   {"COND2", Type::Text, 1},
        {"Time", Type::Real, 1},    {"result1", Type::Real, 1}, {"result2", Type::Real, 1},
        {"result3", Type::Real, 1}, {"result4", Type::Real, 1}, {"result5", Type::Real, 1},
        {"ERR1", Type::Text, 1},
    };
}

void addOwnColumns(TableDef& t) {
    t.columns.push_back({kLearnerColumn, Type::Text, 2});
    t.columns.push_back({kRunIdColumn, Type::Uuid, 2});
    t.columns.push_back({kFinishedColumn, Type::Timestamp, 4});
    t.columns.push_back({kConflictColumn, Type::Uuid, 4});
}

} // namespace

const TableDef& keyTableDef() {
    static const TableDef def = [] {
        // The hiragana drill numbers each practice kind (COND1) apart; the block drill's COND1 follows its
        // drill number, so numbering within it changes nothing there.
        TableDef t{"T_Key", "Tavrel", "Round", "COND1", sharedColumns("Tavrel", "Round")};
        t.columns.push_back({"ERR2", Type::Text, 1});
        t.columns.push_back({"ERR3", Type::Text, 1});
        addOwnColumns(t);
        return t;
    }();
    return def;
}

const TableDef& digitTableDef() {
    static const TableDef def = [] {
        // The windmill numbers a day's runs over all its levels.
        TableDef t{"T_Digit", "Pelvoran", "round", nullptr, sharedColumns("Pelvoran", "round")};
        addOwnColumns(t);
        return t;
    }();
    return def;
}

const std::vector<const TableDef*>& resultTables() {
    static const std::vector<const TableDef*> all = {&keyTableDef(), &digitTableDef()};
    return all;
}

const TableDef& unitTableDef() {
    static const TableDef def{"T_Unit",
                              "Drill",
                              nullptr,
                              nullptr,
                              {{kRunIdColumn, Type::Uuid, 5},
                               {kLearnerColumn, Type::Text, 5},
                               {"Y4mmdd", Type::Date, 5},
                               {"Drill", Type::SmallInt, 5},
                               {"Unit", Type::PlainText, 5},
                               {"Attempts", Type::Integer, 5},
                               {"Misses", Type::Integer, 5},
                               {"MeanMs", Type::Integer, 5},
                               {"WrongKey", Type::PlainText, 5}}};
    return def;
}

std::vector<ColumnDef> serverColumns(const TableDef& table) {
    std::vector<ColumnDef> out = table.columns;
    out.push_back({"Received", Type::Timestamp, 4});
    out.push_back({"Sent_From", Type::PlainText, 4});
    return out;
}

} // namespace halvor::db
