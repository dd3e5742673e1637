// The drills' progress charts set up and filled on the chart control: titles, series names and rows, the
// same in each drill's chart window and in the results viewer.
#pragma once

#include "ProgressRows.h"

class CMSChart;

namespace halvor {

// Line chart, legend, title "これまでの練習結果" and the drill's series ("速度"; "二本指最高速度",
// "四本指最高速度").
void SetUpFingerChart(CMSChart& chart, GraphKind kind);
// One chart row per run, in order; the blocks write 0 in the column a run does not use.
void FillFingerChart(CMSChart& chart, GraphKind kind, const QList<ChartRow>& rows);

// The hiragana drill's chart: its title, three series, footnote and value-axis title.
void SetUpKanaChart(CMSChart& chart);
void FillKanaChart(CMSChart& chart, const QList<GraphRow>& rows);

// While a chart's rows are being read (away from the window's thread), the empty chart says so and shows no
// sample; false takes the note away and allows the sample again.
void ShowChartLoading(CMSChart& chart, bool loading);

} // namespace halvor
