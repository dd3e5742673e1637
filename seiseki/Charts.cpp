#include "Charts.h"

#include "UnitMap.h"

#include "Results.h"

#include <cmath>
#include <map>

namespace seiseki {

namespace {

// One drill's chart: the courses practised in course order, the days in date order.
halvor::TrendChart chartOf(Drill drill, const QList<const DB_RUN*>& runs) {
    const bool byTime = drill == Drill::Hiragana;
    std::map<int, std::map<QDate, double>> best; // course -> day -> best of that day
    for (const DB_RUN* run : runs) {
        const bool has = byTime ? run->fields.TimeFlag != 0 : run->fields.result3Flag != 0;
        const QDate day = run->fields.Y4mmdd;
        if (!has || !day.isValid() || !comparable(*run))
            continue;
        const double value = byTime ? run->fields.Time : run->fields.result3;
        auto [it, fresh] = best[courseOf(*run)].try_emplace(day, value);
        if (!fresh)
            it->second = byTime ? std::min(it->second, value) : std::max(it->second, value);
    }
    halvor::TrendChart chart;
    chart.title =
        drillName(drill) + (byTime ? QStringLiteral("  かかった 時間") : QStringLiteral("  さいこう速度"));
    chart.valueAxisTitle = byTime ? QStringLiteral("秒 (みじかいほど よい)") : QStringLiteral("回／分");
    chart.emptyText = QStringLiteral("この きかんは まだ れんしゅうして いません。");
    std::map<QDate, int> rows;
    for (const auto& [course, days] : best) {
        for (const auto& entry : days)
            rows.emplace(entry.first, 0);
    }
    for (auto& [day, row] : rows) {
        row = int(chart.rowLabels.size());
        chart.rowLabels << dayText(day);
    }
    chart.cells.fill(QVector<double>(qsizetype(best.size()), std::nan("")), chart.rowLabels.size());
    int series = 0;
    for (const auto& [course, days] : best) {
        chart.seriesNames << courseName(drill, course);
        for (const auto& [day, value] : days)
            chart.cells[rows[day]][series] = value;
        ++series;
    }
    return chart;
}

} // namespace

std::array<halvor::TrendChart, kCharts> learnerCharts(const QList<DB_RUN>& runs) {
    QList<const DB_RUN*> byDrill[kCharts];
    for (const DB_RUN& run : runs) {
        switch (drillOf(run)) {
        case Drill::Windmill:
            byDrill[0] << &run;
            break;
        case Drill::Blocks:
            byDrill[1] << &run;
            break;
        case Drill::Hiragana:
            byDrill[2] << &run;
            break;
        case Drill::Other:
            break;
        }
    }
    return {chartOf(Drill::Windmill, byDrill[0]), chartOf(Drill::Blocks, byDrill[1]),
            chartOf(Drill::Hiragana, byDrill[2])};
}

halvor::TrendChart kanaPerMinuteChart(const QList<DB_RUN>& runs,
                                      const QList<halvor::UnitHistory>& kanaUnits) {
    halvor::TrendChart chart;
    chart.title = QStringLiteral("ひらがな 1分に うった かな");
    chart.valueAxisTitle = QStringLiteral("かな／分");
    chart.emptyText = QStringLiteral("この きかんには ひらがなの れんしゅうが ありません。");
    // A にがて run's lines are made for it, so its kana are counted from its units; a run stored before
    // units were recorded has none and stays out.
    const QHash<QString, int> typed = halvor::KanaTypedByRun(kanaUnits);
    struct Point {
        QString label;
        double value;
        bool nigate;
    };
    QList<Point> points;
    bool lessons = false;
    bool nigate = false;
    for (const DB_RUN& run : runs) {
        if (drillOf(run) != Drill::Hiragana || !run.fields.TimeFlag || run.fields.Time <= 0)
            continue;
        const bool isNigate = courseOf(run) == kNigate;
        const int kana = isNigate ? typed.value(run.runId) : halvor::LessonKana(run.fields.COND1);
        if (kana <= 0)
            continue;
        (isNigate ? nigate : lessons) = true;
        points << Point{QStringLiteral("%1_%2")
                            .arg(run.fields.Y4mmdd.toString(QStringLiteral("yyyy/MM/dd")))
                            .arg(run.fields.Round),
                        halvor::KanaPerMinute(kana, run.fields.Time), isNigate};
    }
    if (points.isEmpty())
        return chart;
    // A line for the lessons and one for にがて, each only when practised, then the targets.
    if (lessons)
        chart.seriesNames << QStringLiteral("いつもの れんしゅう");
    if (nigate)
        chart.seriesNames << QStringLiteral("にがて れんしゅう");
    chart.seriesNames << QStringLiteral("小学校の めやす") << QStringLiteral("中学校の めやす");
    const double none = std::nan("");
    for (const Point& p : points) {
        chart.rowLabels << p.label;
        QVector<double> cells;
        if (lessons)
            cells << (p.nigate ? none : p.value);
        if (nigate)
            cells << (p.nigate ? p.value : none);
        chart.cells << (cells << halvor::kPrimaryTarget << halvor::kJuniorHighTarget);
    }
    return chart;
}

QString chartNote() {
    return QStringLiteral(
        "グラフの 点は その日の いちばん よい きろくです。 れんしゅうしなかった 日の 点は ありません。");
}

} // namespace seiseki
