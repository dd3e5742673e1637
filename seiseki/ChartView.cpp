#include "ChartView.h"

#include "ChartPainter.h"
#include "Common.h"

#include <QPainter>

namespace seiseki {

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(200, 150);
}

void ChartView::setChart(halvor::TrendChart chart) {
    chart_ = std::move(chart);
    update();
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    halvor::paintTrendChart(painter, rect(), chart_, CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 9));
}

} // namespace seiseki
