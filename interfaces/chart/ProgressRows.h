// The rows of the drills' progress charts, made from stored runs: the finger drills' one row per run and
// the hiragana drill's rows per day and run number. Shared by the drills and the results viewer, so both
// draw the same chart from the same runs. Qt Core only.
#pragma once

#include "Database.h"

#include <QDate>
#include <QList>
#include <QString>
#include <array>

namespace halvor {

enum class GraphKind { Windmill, Blocks };

// The chart control counts rows in 16 bits; a longer history shows its newest rows.
constexpr int ChartRowLimit = 32767;

// One run of a finger drill: its value sits in one column, the others are 0.
struct ChartRow {
    QString label;  // "2001/05/14_3"
    int column = 1; // 1-based column that holds the value; the others are 0
    double value = 0;
};
// "yyyy/MM/dd_<round>".
QString ChartRowLabel(const QDate& day, int round);
// The windmill's speed in its one column; the blocks' in column 1 for two characters ("2"), else 2.
ChartRow FingerChartRow(GraphKind kind, const QDate& day, int round, const QString& cond1, double speed);

// One row of the hiragana drill's chart: the date and run number, and a value per series (the last known
// one for a series without a run under this label).
struct GraphRow {
    QString label;
    std::array<double, 3> values{};
};
// "yyyy/MM/dd_<round>" (round 0 when missing).
QString GraphLabel(const DB_T_KEY& record);
// Series 1 ("AI" or missing), 2 ("GA") or 3 (anything else), whatever the case of the code.
int GraphSeries(const DB_T_KEY& record);
// The chart rows of the records, which arrive in date and run order; beyond ChartRowLimit rows only the
// latest are kept.
QList<GraphRow> BuildGraphRows(const QList<DB_T_KEY>& records);

} // namespace halvor
