// A trend chart drawn straight with a painter, on screen and on paper alike, on any thread: lines that skip
// the rows a series has no value on (never a 0 that was not measured), the value axis from 0, row labels
// thinned so they never overlap, and a legend below that keeps every name whole.
#pragma once

#include "TrendChart.h"

#include <QFont>
#include <QRectF>

class QPainter;

namespace halvor {

void paintTrendChart(QPainter& painter, const QRectF& area, const TrendChart& chart, const QFont& font);

// The height the legend takes at a width, for tests and layouts.
double trendLegendHeight(const TrendChart& chart, double width, const QFont& font);
// The rows whose labels are drawn at a plot width: every n-th, n as small as lets them stand apart.
QList<int> labelledRows(const QStringList& labels, double plotWidth, const QFont& font);

} // namespace halvor
