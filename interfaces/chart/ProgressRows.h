// The rows of the drills' progress charts: the finger drills' one row per run and the hiragana drill's rows
// per day and run number, from the values each drill reads. Qt Core only; the chart knows no stored record.
#pragma once

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
// One run as the hiragana chart reads it.
struct GraphPoint {
    QString label;  // "yyyy/MM/dd_<round>"
    int series = 1; // 1 to 3
    double value = 0;
};
// The chart rows of the runs, which arrive in date and run order: runs that share a label fill one row;
// beyond ChartRowLimit rows only the latest are kept.
QList<GraphRow> BuildGraphRows(const QList<GraphPoint>& points);

} // namespace halvor
