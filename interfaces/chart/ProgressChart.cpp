#include "ProgressChart.h"

#include "Common.h"
#include "MSChart.h"

#include <QLabel>

#include <algorithm>

namespace halvor {

void SetUpFingerChart(CMSChart& chart, GraphKind kind) {
    chart.SetChartType(CMSChart::VtChChartType2dLine);
    chart.SetShowLegend(true);
    chart.SetColumnCount(kind == GraphKind::Windmill ? 1 : 2);
    chart.SetTitleText("これまでの練習結果");
    chart.SetFootnoteText(QString());
    if (kind == GraphKind::Windmill) {
        chart.SetColumn(1);
        chart.SetColumnLabel("速度");
    } else {
        chart.SetColumn(1);
        chart.SetColumnLabel("二本指最高速度");
        chart.SetColumn(2);
        chart.SetColumnLabel("四本指最高速度");
    }
}

void FillFingerChart(CMSChart& chart, GraphKind kind, const QList<ChartRow>& rows) {
    // A learner's newest runs matter most: beyond what the chart holds, the oldest make way.
    const qsizetype first = std::max<qsizetype>(0, rows.size() - ChartRowLimit);
    short i = 0;
    for (qsizetype r = first; r < rows.size(); ++r) {
        const ChartRow& row = rows[r];
        ++i; // at most ChartRowLimit rows: i fits
        chart.SetRowCount(i);
        chart.SetRow(i);
        if (kind == GraphKind::Blocks) {
            chart.SetColumn(1);
            chart.SetData("0");
            chart.SetColumn(2);
            chart.SetData("0");
        }
        chart.SetRowLabel(row.label);
        chart.SetColumn(static_cast<short>(row.column));
        chart.SetData(QString::asprintf("%f", row.value));
    }
}

void SetUpKanaChart(CMSChart& chart) {
    chart.SetChartType(CMSChart::VtChChartType2dLine);
    chart.SetShowLegend(true);
    chart.SetColumnCount(3);
    chart.SetTitleText(QStringLiteral("ひらがなローマ字入力グラフ"));
    const QString series[] = {QStringLiteral("５０音"), QStringLiteral("濁音・半濁音"),
                              QStringLiteral("促音・ん・小文字")};
    for (short c = 1; c <= 3; ++c) {
        chart.SetColumn(c);
        chart.SetColumnLabel(series[c - 1]);
    }
    chart.SetFootnoteText(
        QStringLiteral("三種類の練習が同時にされない場合､練習されなかったﾃﾞｰﾀは前回と同じ値として"
                       "ｸﾞﾗﾌを画きます｡"));
    chart.SetValueAxisTitle(QStringLiteral("所要時間(秒)"));
}

void FillKanaChart(CMSChart& chart, const QList<GraphRow>& rows) {
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const short row = short(r + 1);
        chart.SetRowCount(row);
        chart.SetRow(row);
        for (short c = 1; c <= 3; ++c) {
            chart.SetColumn(c);
            chart.SetData(QString::number(rows[r].values[c - 1], 'g', 15));
        }
        chart.SetRowLabel(rows[r].label);
    }
}

void ShowChartLoading(CMSChart& chart, bool loading) {
    auto* note = chart.findChild<QLabel*>(QStringLiteral("lblLoading"), Qt::FindDirectChildrenOnly);
    if (!note && loading) {
        note = new QLabel(QStringLiteral("きろくを よみこんでいます…"), &chart);
        note->setObjectName(QStringLiteral("lblLoading"));
        note->setAlignment(Qt::AlignCenter);
        note->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 14, true));
        note->setGeometry(chart.rect());
        note->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    chart.SetSampleAllowed(!loading);
    if (note)
        note->setVisible(loading);
}

} // namespace halvor
