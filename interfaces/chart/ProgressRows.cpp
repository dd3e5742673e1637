#include "ProgressRows.h"

namespace halvor {

QString ChartRowLabel(const QDate& day, int round) {
    return day.toString(QStringLiteral("yyyy/MM/dd")) + QString::asprintf("_%d", round);
}

ChartRow FingerChartRow(GraphKind kind, const QDate& day, int round, const QString& cond1, double speed) {
    const int column = kind == GraphKind::Windmill || cond1 == QLatin1String("2") ? 1 : 2;
    return {ChartRowLabel(day, round), column, speed};
}

QString GraphLabel(const DB_T_KEY& record) {
    const int round = record.RoundFlag ? record.Round : 0;
    return record.Y4mmdd.toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char('_') + QString::number(round);
}

int GraphSeries(const DB_T_KEY& record) {
    const QString code = record.COND1Flag ? record.COND1.toUpper() : QStringLiteral("AI");
    if (code == QLatin1String("AI")) {
        return 1;
    }
    if (code == QLatin1String("GA")) {
        return 2;
    }
    return 3;
}

QList<GraphRow> BuildGraphRows(const QList<DB_T_KEY>& records) {
    QList<GraphRow> rows;
    std::array<double, 3> lastValue{};
    QString previousLabel;
    for (const DB_T_KEY& record : records) {
        const QString label = GraphLabel(record);
        if (rows.isEmpty() || label != previousLabel) {
            // A new row starts as a copy of every series' last known value.
            rows.append(GraphRow{label, lastValue});
        }
        const int series = GraphSeries(record);
        const double time = record.TimeFlag ? record.Time : 0.0;
        rows.last().values[series - 1] = time;
        lastValue[series - 1] = time;
        previousLabel = label;
    }
    if (rows.size() > ChartRowLimit) {
        rows.remove(0, rows.size() - ChartRowLimit);
    }
    return rows;
}

} // namespace halvor
