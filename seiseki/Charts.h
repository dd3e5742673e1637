// A learner's three progress charts as the viewer and the printed page show them: one line per windmill
// level, block mode or hiragana kind that was practised, named as the tables name them, one point per day
// practised (that day's best), nothing where a course was not practised that day. No widgets.
#pragma once

#include "Database.h"
#include "TrendChart.h"
#include "Weakness.h"

#include <QList>
#include <array>

namespace seiseki {

// The windmill's, the blocks' and the hiragana drill's chart.
constexpr int kCharts = 3;
std::array<halvor::TrendChart, kCharts> learnerCharts(const QList<DB_RUN>& runs);
// Kana per minute of each hiragana run (its kana / seconds × 60), one row per run in the order read: the
// three lessons' runs on one line, the にがて runs (their kana from `kanaUnits`, the hiragana drill's unit
// rows, joined by run id) on another, beside the national targets for the end of primary school and for
// junior high school.
halvor::TrendChart kanaPerMinuteChart(const QList<DB_RUN>& runs, const QList<halvor::UnitHistory>& kanaUnits);
// What a point stands for, said once under the charts.
QString chartNote();

} // namespace seiseki
