// A trend chart on screen, drawn by the same painter as the printed page.
#pragma once

#include "TrendChart.h"

#include <QWidget>

namespace seiseki {

class ChartView : public QWidget {
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);
    void setChart(halvor::TrendChart chart);
    const halvor::TrendChart& chart() const { return chart_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    halvor::TrendChart chart_;
};

} // namespace seiseki
