// What a trend chart shows: one line per series over rows (days), a gap where a series has no value. Plain
// data, made by the results viewer and drawn by paintTrendChart.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace halvor {

struct TrendChart {
    QString title;
    QString valueAxisTitle; // the unit of the values, "回／分"
    QString emptyText;      // shown when no series has a value
    QStringList seriesNames;
    QStringList rowLabels;
    QVector<QVector<double>> cells; // [row][series]; NaN where the series has no value on that row
    bool hasValues() const { return !rowLabels.isEmpty() && !seriesNames.isEmpty(); }
};

} // namespace halvor
