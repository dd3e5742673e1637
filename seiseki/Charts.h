// A learner's three progress charts, as the drills draw them, from the runs the viewer read.
#pragma once

#include "Database.h"

#include <QList>
#include <array>

class CMSChart;
class QWidget;

namespace seiseki {

// The windmill's, the blocks' and the hiragana drill's chart.
constexpr int kCharts = 3;
std::array<CMSChart*, kCharts> makeCharts(QWidget* parent);
// Sets up and fills the charts from `runs` (any order; each drill's chart takes its runs in the order the
// drill reads them). A drill without runs shows an empty grid with a note instead of the sample.
void fillCharts(const std::array<CMSChart*, kCharts>& charts, const QList<DB_RUN>& runs);

} // namespace seiseki
