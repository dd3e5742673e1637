// Where the drill keeps its runs and how they are stored and read back for the progress chart.
#pragma once

#include "Database.h"

#include <QDate>
#include <QList>
#include <QString>
#include <array>

namespace hiragana {

constexpr int kDrillNumber = 23;

// The path of VUR.MDB, shared by every drill of the suite.
QString GetDatabasePath();

// The statement that finds today's runs of a kind, in the database's Jet dialect.
QString RoundQuery(const QDate& day, const QString& code);

using SaveOutcome = halvor::db::SaveOutcome;
// Stores a finished run of a kind (0..2) with its whole seconds as a new T_Key row, numbered after the
// runs of the same day and kind already stored. Nothing is stored when today's runs cannot be counted.
SaveOutcome SaveRun(const QString& databasePath, const QDate& day, int kind, int seconds);

// What the drill starts when it closes: the text of its command line after its own program token (the
// quoted path of the menu that started it, and that menu's arguments). Empty when there is none.
QString ReturnCommandOf(const QString& commandLine);

// The statement that reads every run of this drill in date and run order.
QString GraphQuery();

// One row of the progress chart: the date and run number, and a value per series (the last known one for
// a series without a run under this label).
struct GraphRow {
    QString label;
    std::array<double, 3> values{};
};
// "yyyy/MM/dd_<round>" (round 0 when missing).
QString GraphLabel(const DB_T_KEY& record);
// Series 1 ("AI" or missing), 2 ("GA") or 3 (anything else), whatever the case of the code.
int GraphSeries(const DB_T_KEY& record);
// The chart rows of the records, which arrive in date and run order. The chart's rows are counted in 16
// bits, so beyond 32767 rows only the latest are kept.
QList<GraphRow> BuildGraphRows(const QList<DB_T_KEY>& records);

} // namespace hiragana
