#include "MSChart.h"
#include "ProgressChart.h"
#include "TestDoubles.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QLabel>
#include <QLineSeries>
#include <QValueAxis>
#include <QtTest>
#include <cmath>

namespace {

QChart* chartOf(CMSChart& chart) {
    auto* view = chart.findChild<QChartView*>(QStringLiteral("chartView"));
    return view ? view->chart() : nullptr;
}

void fillRow(CMSChart& chart, int row, const QString& label, const QList<double>& values) {
    chart.SetRowCount(short(row));
    chart.SetRow(short(row));
    for (int c = 0; c < values.size(); ++c) {
        chart.SetColumn(short(c + 1));
        chart.SetData(QString::number(values[c]));
    }
    chart.SetRowLabel(label);
}

void saveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (folder.isEmpty()) {
        return;
    }
    QDir().mkpath(folder);
    QVERIFY(widget.grab().save(folder + QLatin1Char('/') + name));
}

} // namespace

class ChartTest : public QObject {
    Q_OBJECT
private slots:
    void growingRowsKeepsValuesAndNewCellsAreZero();
    void shrinkingRowsDropsOnlyTheRemovedRows();
    void columnLabelsBelongToTheCurrentColumn();
    void dataText_data();
    void dataText();
    void writesOutsideTheGridChangeNothing();
    void sampleUntilARowIsWritten_data();
    void sampleUntilARowIsWritten();
    void lineChartDrawsOneSeriesPerColumn();
    void barChartDrawsOneSetPerColumn();
    void sampleKeepsTitlesAndSeriesNames();
    void emptyGridWhenTheSampleIsNotAllowed();
    void manyRowsLabelOnlySomeCategories_data();
    void manyRowsLabelOnlySomeCategories();
    void fingerChartsKeepTheNewestRuns_data();
    void fingerChartsKeepTheNewestRuns();
    void withoutTheChartModuleTheGridStillWorks();
};

void ChartTest::growingRowsKeepsValuesAndNewCellsAreZero() {
    CMSChart chart;
    chart.SetColumnCount(3);
    fillRow(chart, 1, QStringLiteral("a"), {1, 2, 3});
    fillRow(chart, 2, QStringLiteral("b"), {4, 5, 6});
    chart.SetRowCount(4);
    QCOMPARE(chart.GetRowCount(), short(4));
    QCOMPARE(chart.value(1, 1), 1.0);
    QCOMPARE(chart.value(2, 3), 6.0);
    QCOMPARE(chart.rowLabel(2), QStringLiteral("b"));
    for (int c = 1; c <= 3; ++c) {
        QCOMPARE(chart.value(3, c), 0.0);
        QCOMPARE(chart.value(4, c), 0.0);
    }
    // A fresh row gets a label of its own rather than an empty one or a stale one.
    QVERIFY(!chart.rowLabel(4).isEmpty());
    QVERIFY(chart.rowLabel(4) != QStringLiteral("b"));
}

void ChartTest::shrinkingRowsDropsOnlyTheRemovedRows() {
    CMSChart chart;
    chart.SetColumnCount(2);
    fillRow(chart, 1, QStringLiteral("a"), {1, 2});
    fillRow(chart, 2, QStringLiteral("b"), {3, 4});
    fillRow(chart, 3, QStringLiteral("c"), {5, 6});
    chart.SetRowCount(1);
    QCOMPARE(chart.value(1, 2), 2.0);
    QCOMPARE(chart.value(2, 1), 0.0); // gone
    chart.SetRowCount(2);
    QCOMPARE(chart.value(2, 1), 0.0); // does not come back
    QCOMPARE(chart.value(2, 2), 0.0);
    // Widening keeps the old columns; the new one starts at 0.
    chart.SetColumnCount(3);
    QCOMPARE(chart.value(1, 1), 1.0);
    QCOMPARE(chart.value(1, 3), 0.0);
}

void ChartTest::columnLabelsBelongToTheCurrentColumn() {
    CMSChart chart;
    chart.SetColumnCount(3);
    const QStringList names = {QStringLiteral("５０音"), QStringLiteral("濁音・半濁音"),
                               QStringLiteral("促音・ん・小文字")};
    for (int c = 0; c < 3; ++c) {
        chart.SetColumn(short(c + 1));
        chart.SetColumnLabel(names[c]);
    }
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(chart.columnLabel(c + 1), names[c]);
    }
    chart.SetColumn(2);
    QCOMPARE(chart.GetColumnLabel(), names[1]);
}

void ChartTest::dataText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("whole seconds") << "35" << 35.0;
    QTest::newRow("printf %f") << "12.500000" << 12.5;
    QTest::newRow("spaces around") << " 7 " << 7.0;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("not a number") << "abc" << 0.0;
    QTest::newRow("infinite") << "inf" << 0.0;
    QTest::newRow("huge") << "1e308" << 1e15;
    QTest::newRow("hugely negative") << "-1e308" << -1e15;
}

void ChartTest::dataText() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    CMSChart chart;
    chart.SetRowCount(1);
    chart.SetRow(1);
    chart.SetColumn(1);
    chart.SetData(QStringLiteral("99"));
    chart.SetData(text);
    QCOMPARE(chart.value(1, 1), expected);
}

void ChartTest::writesOutsideTheGridChangeNothing() {
    CMSChart chart;
    chart.SetColumnCount(2);
    fillRow(chart, 2, QStringLiteral("b"), {8, 9});
    // Out-of-range positions are refused; the current cell stays where it was.
    chart.SetRow(3);
    chart.SetRow(0);
    chart.SetColumn(5);
    QCOMPARE(chart.GetRow(), short(2));
    QCOMPARE(chart.GetColumn(), short(2));
    chart.SetData(QStringLiteral("1"));
    QCOMPARE(chart.value(2, 2), 1.0);
    QCOMPARE(chart.value(1, 1), 0.0);
    QCOMPARE(chart.value(3, 1), 0.0); // reading outside is harmless

    // With no rows at all nothing can be written and the sample stays.
    CMSChart empty;
    empty.SetRow(1);
    empty.SetData(QStringLiteral("5"));
    empty.SetRowLabel(QStringLiteral("x"));
    QVERIFY(empty.showsSample());
    QCOMPARE(empty.value(1, 1), 0.0);
    empty.SetRowCount(-4);
    QCOMPARE(empty.GetRowCount(), short(0));
}

void ChartTest::sampleUntilARowIsWritten_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("sample");
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("row count only") << "count" << true;
    QTest::newRow("titles and labels") << "titles" << true;
    QTest::newRow("data") << "data" << false;
    QTest::newRow("row label") << "label" << false;
    QTest::newRow("rows removed again") << "clear" << true;
}

void ChartTest::sampleUntilARowIsWritten() {
    QFETCH(QString, action);
    QFETCH(bool, sample);
    CMSChart chart;
    chart.SetColumnCount(3);
    if (action == QLatin1String("count")) {
        chart.SetRowCount(3);
    } else if (action == QLatin1String("titles")) {
        chart.SetTitleText(QStringLiteral("t"));
        chart.SetFootnoteText(QStringLiteral("f"));
        chart.SetColumn(2);
        chart.SetColumnLabel(QStringLiteral("c"));
    } else if (action == QLatin1String("data")) {
        chart.SetRowCount(1);
        chart.SetRow(1);
        chart.SetData(QStringLiteral("0"));
    } else if (action == QLatin1String("label")) {
        chart.SetRowCount(1);
        chart.SetRow(1);
        chart.SetRowLabel(QStringLiteral("2004/11/29_1"));
    } else if (action == QLatin1String("clear")) {
        fillRow(chart, 1, QStringLiteral("a"), {1, 2, 3});
        chart.SetRowCount(0);
    }
    QCOMPARE(chart.showsSample(), sample);
}

void ChartTest::lineChartDrawsOneSeriesPerColumn() {
    CMSChart chart;
    chart.resize(689, 465);
    chart.SetChartType(CMSChart::VtChChartType2dLine);
    chart.SetColumnCount(3);
    chart.SetTitleText(QStringLiteral("ひらがなローマ字入力グラフ"));
    chart.SetValueAxisTitle(QStringLiteral("所要時間(秒)"));
    chart.SetFootnoteText(QStringLiteral("note"));
    const QStringList names = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    for (int c = 0; c < 3; ++c) {
        chart.SetColumn(short(c + 1));
        chart.SetColumnLabel(names[c]);
    }
    fillRow(chart, 1, QStringLiteral("2004/11/29_1"), {35, 0, 0});
    fillRow(chart, 2, QStringLiteral("2004/11/30_1"), {35, 42, 0});
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();
    // Hand-edited extremes keep the axis finite, so its labels never read "inf" or "nan".
    chart.SetData(QStringLiteral("1e308"));
    chart.SetColumn(1);
    chart.SetData(QStringLiteral("-1e308"));
    QCoreApplication::processEvents();
    auto* extreme = qobject_cast<QValueAxis*>(chartOf(chart)->axes(Qt::Vertical).value(0));
    QVERIFY(extreme);
    QVERIFY(std::isfinite(extreme->min()) && std::isfinite(extreme->max()) &&
            extreme->max() > extreme->min());
    saveScreenshot(chart, QStringLiteral("chart_extremes.png"));
    fillRow(chart, 2, QStringLiteral("2004/11/30_1"), {35, 42, 0});
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();

    QChart* c = chartOf(chart);
    QVERIFY(c);
    QCOMPARE(c->title(), QStringLiteral("ひらがなローマ字入力グラフ"));
    QVERIFY(c->legend()->isVisible());
    const auto series = c->series();
    QCOMPARE(series.size(), 3);
    for (int i = 0; i < 3; ++i) {
        auto* line = qobject_cast<QLineSeries*>(series[i]);
        QVERIFY(line);
        QCOMPARE(line->name(), names[i]);
        QCOMPARE(line->count(), 2);
    }
    QCOMPARE(qobject_cast<QLineSeries*>(series[1])->at(1).y(), 42.0);
    QCOMPARE(qobject_cast<QLineSeries*>(series[0])->at(1).y(), 35.0);

    auto* category = qobject_cast<QBarCategoryAxis*>(c->axes(Qt::Horizontal).value(0));
    QVERIFY(category);
    QCOMPARE(category->categories(),
             QStringList({QStringLiteral("2004/11/29_1"), QStringLiteral("2004/11/30_1")}));
    auto* values = qobject_cast<QValueAxis*>(c->axes(Qt::Vertical).value(0));
    QVERIFY(values);
    QCOMPARE(values->titleText(), QStringLiteral("所要時間(秒)"));
    QVERIFY(values->max() >= 42.0);
    QCOMPARE(chart.findChild<QLabel*>(QStringLiteral("footnote"))->text(), QStringLiteral("note"));
    saveScreenshot(chart, QStringLiteral("chart_line.png"));
}

void ChartTest::barChartDrawsOneSetPerColumn() {
    CMSChart chart;
    chart.resize(689, 465);
    chart.SetColumnCount(2);
    chart.SetColumn(1);
    chart.SetColumnLabel(QStringLiteral("二本指"));
    chart.SetColumn(2);
    chart.SetColumnLabel(QStringLiteral("四本指"));
    fillRow(chart, 1, QStringLiteral("2001/05/14_3"), {12.5, 0});
    chart.SetChartType(CMSChart::VtChChartType2dBar);
    chart.SetShowLegend(false);
    chart.refresh();

    QChart* c = chartOf(chart);
    QCOMPARE(c->series().size(), 1);
    auto* bars = qobject_cast<QBarSeries*>(c->series().first());
    QVERIFY(bars);
    QCOMPARE(bars->count(), 2);
    QCOMPARE(bars->barSets()[0]->label(), QStringLiteral("二本指"));
    QCOMPARE(bars->barSets()[0]->at(0), 12.5);
    QCOMPARE(bars->barSets()[1]->at(0), 0.0);
    QVERIFY(!c->legend()->isVisible());
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    saveScreenshot(chart, QStringLiteral("chart_bar.png"));
}

void ChartTest::sampleKeepsTitlesAndSeriesNames() {
    CMSChart chart;
    chart.resize(689, 465);
    chart.SetColumnCount(3);
    chart.SetTitleText(QStringLiteral("title"));
    chart.SetColumn(3);
    chart.SetColumnLabel(QStringLiteral("third"));
    chart.SetRowCount(2); // rows made, none written: still the sample
    chart.refresh();
    QChart* c = chartOf(chart);
    QCOMPARE(c->title(), QStringLiteral("title"));
    QCOMPARE(c->series().size(), 3);
    QCOMPARE(c->series()[2]->name(), QStringLiteral("third"));
    auto* line = qobject_cast<QLineSeries*>(c->series()[0]);
    QVERIFY(line->count() > 2); // made-up rows, not the empty grid
    bool anyNonZero = false;
    for (const QPointF& p : line->points()) {
        anyNonZero = anyNonZero || p.y() != 0.0;
    }
    QVERIFY(anyNonZero);
    auto* category = qobject_cast<QBarCategoryAxis*>(c->axes(Qt::Horizontal).value(0));
    QVERIFY(category->categories().first().contains(QStringLiteral("見本")));
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    saveScreenshot(chart, QStringLiteral("chart_sample.png"));
}

void ChartTest::manyRowsLabelOnlySomeCategories_data() {
    QTest::addColumn<int>("rows");
    QTest::newRow("a few rows, each labelled") << 6;
    QTest::newRow("a dozen rows, some labelled") << 12;
    QTest::newRow("a thousand rows, some labelled") << 1000;
}

void ChartTest::manyRowsLabelOnlySomeCategories() {
    QFETCH(int, rows);
    CMSChart chart;
    chart.resize(689, 465);
    chart.SetColumnCount(1);
    chart.SetRowCount(short(rows));
    for (int r = 1; r <= rows; ++r) {
        chart.SetRow(short(r));
        chart.SetData(QString::number(30 + (r * 7) % 25));
        chart.SetRowLabel(QStringLiteral("2004/11/%1_1").arg(r % 30 + 1, 2, 10, QLatin1Char('0')) +
                          QString::number(r));
    }
    chart.refresh();
    QChart* c = chartOf(chart);
    auto* line = qobject_cast<QLineSeries*>(c->series().first());
    QCOMPARE(line->count(), rows); // every row drawn
    QAbstractAxis* horizontal = c->axes(Qt::Horizontal).value(0);
    if (rows <= 6) {
        auto* axis = qobject_cast<QBarCategoryAxis*>(horizontal);
        QVERIFY(axis);
        QCOMPARE(axis->count(), rows);
    } else {
        auto* axis = qobject_cast<QCategoryAxis*>(horizontal);
        QVERIFY(axis);
        QVERIFY(axis->count() <= 6); // but only some labelled
        QCOMPARE(axis->categoriesLabels().first(), chart.rowLabel(1));
    }
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    saveScreenshot(chart, QStringLiteral("chart_%1_rows.png").arg(rows));
}

void ChartTest::emptyGridWhenTheSampleIsNotAllowed() {
    CMSChart chart;
    chart.SetColumnCount(2);
    chart.SetSampleAllowed(false);
    QVERIFY(!chart.showsSample());
    chart.refresh();
    QChart* c = chartOf(chart);
    QCOMPARE(c->series().size(), 2);
    QCOMPARE(qobject_cast<QLineSeries*>(c->series()[0])->count(), 0);
    // Rows written later are drawn as usual.
    fillRow(chart, 1, QStringLiteral("a"), {4, 5});
    fillRow(chart, 2, QStringLiteral("b"), {6, 7});
    chart.refresh();
    QCOMPARE(qobject_cast<QLineSeries*>(c->series()[1])->count(), 2);
}

void ChartTest::fingerChartsKeepTheNewestRuns_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("windmill") << int(halvor::GraphKind::Windmill);
    QTest::newRow("blocks") << int(halvor::GraphKind::Blocks);
}

void ChartTest::fingerChartsKeepTheNewestRuns() {
    QFETCH(int, kind);
    const auto graph = halvor::GraphKind(kind);
    // Two runs more than the chart holds: run i has best speed i.
    QList<halvor::ChartRow> runs;
    for (int i = 1; i <= halvor::ChartRowLimit + 2; ++i)
        runs.append(halvor::FingerChartRow(graph, QDate(2026, 1, 1).addDays(i / 1000), i % 1000, "2", i));
    CMSChart chart;
    halvor::SetUpFingerChart(chart, graph);
    halvor::FillFingerChart(chart, graph, runs);
    QCOMPARE(int(chart.GetRowCount()), halvor::ChartRowLimit);
    QCOMPARE(chart.value(1, 1), 3.0); // runs 1 and 2, the oldest, made way
    QCOMPARE(chart.rowLabel(1), runs[2].label);
    QCOMPARE(chart.value(halvor::ChartRowLimit, 1), double(halvor::ChartRowLimit + 2));
}

QTEST_MAIN(ChartTest)
// A broken installation without the chart module: the window says so where the chart would be, and the grid
// the drills fill keeps working.
void ChartTest::withoutTheChartModuleTheGridStillWorks() {
    const ScopedVariable modules("HALVOR_MODULES", "/nonexistent");
    CMSChart chart;
    chart.SetColumnCount(2);
    fillRow(chart, 1, QStringLiteral("1回目"), {12, 3});
    chart.refresh();
    QVERIFY(!chart.findChild<QChartView*>());
    auto* missing = chart.findChild<QLabel*>(QStringLiteral("chartMissing"));
    QVERIFY(missing);
    QVERIFY(missing->text().contains(QStringLiteral("グラフ")));
    QCOMPARE(chart.value(1, 2), 3.0);
    QImage page(200, 100, QImage::Format_ARGB32);
    QPainter painter(&page);
    chart.Print(painter, QRectF(0, 0, 200, 100)); // nothing to draw, and no crash
}

#include "tst_chart.moc"
