#include "ProgressRows.h"

namespace halvor {

QString ChartRowLabel(const QDate& day, int round) {
    return day.toString(QStringLiteral("yyyy/MM/dd")) + QString::asprintf("_%d", round);
}

ChartRow FingerChartRow(GraphKind kind, const QDate& day, int round, const QString& cond1, double speed) {
    const int column = kind == GraphKind::Windmill || cond1 == QLatin1String("2") ? 1 : 2;
    return {ChartRowLabel(day, round), column, speed};
}

QList<GraphRow> BuildGraphRows(const QList<GraphPoint>& points) {
    QList<GraphRow> rows;
    std::array<double, 3> lastValue{};
    QString previousLabel;
    for (const GraphPoint& point : points) {
        if (rows.isEmpty() || point.label != previousLabel) {
            // A new row starts as a copy of every series' last known value.
            rows.append(GraphRow{point.label, lastValue});
        }
        rows.last().values[point.series - 1] = point.value;
        lastValue[point.series - 1] = point.value;
        previousLabel = point.label;
    }
    if (rows.size() > ChartRowLimit) {
        rows.remove(0, rows.size() - ChartRowLimit);
    }
    return rows;
}

} // namespace halvor
