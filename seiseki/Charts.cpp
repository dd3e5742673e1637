#include "Charts.h"

#include "MSChart.h"
#include "ProgressChart.h"
#include "Results.h"

#include <algorithm>

namespace seiseki {

namespace {

void finish(CMSChart& chart, qsizetype rows) {
    if (rows == 0) {
        // Made-up sample values would look like the learner's own.
        chart.SetSampleAllowed(false);
        chart.SetFootnoteText(QStringLiteral("まだ れんしゅうして いません。"));
    } else if (rows == 1) {
        chart.SetChartType(CMSChart::VtChChartType2dBar);
    }
    chart.refresh();
}

} // namespace

std::array<CMSChart*, kCharts> makeCharts(QWidget* parent) {
    std::array<CMSChart*, kCharts> charts{};
    const char* names[] = {"chtWindmill", "chtBlocks", "chtHiragana"};
    for (int i = 0; i < kCharts; ++i) {
        charts[i] = new CMSChart(parent);
        charts[i]->setObjectName(QLatin1String(names[i]));
    }
    return charts;
}

void fillCharts(const std::array<CMSChart*, kCharts>& charts, const QList<DB_RUN>& runs) {
    QList<DB_RUN> windmill, blocks, kana;
    for (const DB_RUN& run : runs) {
        switch (drillOf(run)) {
        case Drill::Windmill:
            windmill << run;
            break;
        case Drill::Blocks:
            blocks << run;
            break;
        case Drill::Hiragana:
            kana << run;
            break;
        case Drill::Other:
            break;
        }
    }
    // The drills read by day and run number (the blocks then by mode).
    const auto byDayAndRound = [](const DB_RUN& a, const DB_RUN& b) {
        return std::tie(a.fields.Y4mmdd, a.fields.Round, a.fields.Tavrel) <
               std::tie(b.fields.Y4mmdd, b.fields.Round, b.fields.Tavrel);
    };
    for (QList<DB_RUN>* list : {&windmill, &blocks, &kana})
        std::stable_sort(list->begin(), list->end(), byDayAndRound);

    const halvor::GraphKind finger[] = {halvor::GraphKind::Windmill, halvor::GraphKind::Blocks};
    const QList<DB_RUN>* fingerRuns[] = {&windmill, &blocks};
    for (int i = 0; i < 2; ++i) {
        QList<halvor::ChartRow> rows;
        for (const DB_RUN& run : *fingerRuns[i])
            rows << halvor::FingerChartRow(finger[i], run.fields.Y4mmdd, run.fields.Round, run.fields.COND1,
                                           run.fields.result3);
        CMSChart& chart = *charts[i];
        halvor::SetUpFingerChart(chart, finger[i]);
        chart.SetTitleText(drillName(i == 0 ? Drill::Windmill : Drill::Blocks) + QStringLiteral(" ") +
                           chart.GetTitleText());
        halvor::FillFingerChart(chart, finger[i], rows);
        finish(chart, rows.size());
    }
    QList<DB_T_KEY> records;
    for (const DB_RUN& run : kana)
        records << run.fields;
    const QList<halvor::GraphRow> rows = halvor::BuildGraphRows(records);
    halvor::SetUpKanaChart(*charts[2]);
    halvor::FillKanaChart(*charts[2], rows);
    finish(*charts[2], rows.size());
}

} // namespace seiseki
