// Filling and drawing large charts: the drills fill one row per stored run, so a keen learner's chart
// may hold thousands of rows. Prints the median of several rounds.
#include "MSChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double fillAndDraw(int rows, bool grab) {
    CMSChart chart;
    chart.resize(689, 465);
    QElapsedTimer timer;
    timer.start();
    chart.SetChartType(CMSChart::VtChChartType2dLine);
    chart.SetColumnCount(3);
    for (int r = 1; r <= rows; ++r) {
        chart.SetRowCount(short(r));
        chart.SetRow(short(r));
        for (int c = 1; c <= 3; ++c) {
            chart.SetColumn(short(c));
            chart.SetData(QString::number((r * 7 + c * 13) % 90));
        }
        chart.SetRowLabel(QStringLiteral("2004/11/29_%1").arg(r));
    }
    chart.refresh();
    if (grab) {
        (void)chart.grab();
    }
    return timer.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    // The charts are drawn by the chart module of this build.
    if (qEnvironmentVariableIsEmpty("HALVOR_MODULES"))
        qputenv("HALVOR_MODULES", HALVOR_MODULES_DIR);
    QApplication app(argc, argv);
    for (int rows : {1000, 10000}) {
        for (bool grab : {false, true}) {
            std::vector<double> times;
            for (int i = 0; i < 7; ++i) {
                times.push_back(fillAndDraw(rows, grab));
            }
            std::printf("%5d rows, fill + build series%s: median %.1f ms\n", rows, grab ? " + paint" : "",
                        median(times));
        }
    }
    return 0;
}
