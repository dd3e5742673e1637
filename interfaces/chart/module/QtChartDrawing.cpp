// The chart control's drawing on Qt Charts, loaded as a module when the first chart is made.
#include "ChartDrawing.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

namespace {

using halvor::chartFont;
using halvor::kChartNavy;
using halvor::seriesColour;

// Category labels that fit side by side under the chart ("2004/11/29_12" is about 90 pixels wide). Longer
// charts label only every n-th row, so the labels neither overlap nor get cut.
constexpr int kMaxAxisLabels = 6;

class QtChartDrawing : public halvor::ChartDrawing {
public:
    explicit QtChartDrawing(QWidget* parent) {
        chart = new QChart;
        chart->setTitleFont(chartFont(14, true));
        chart->setTitleBrush(kChartNavy);
        chart->legend()->setAlignment(Qt::AlignRight);
        chart->legend()->setFont(chartFont(9));
        chart->legend()->setLabelColor(kChartNavy);
        chart->setAnimationOptions(QChart::NoAnimation);
        chart->setBackgroundRoundness(0);
        chart->layout()->setContentsMargins(0, 0, 0, 0);
        view_ = new QChartView(chart, parent);
        view_->setObjectName(QStringLiteral("chartView"));
        view_->setRenderHint(QPainter::Antialiasing);
        view_->setFrameShape(QFrame::NoFrame);
    }

    QWidget* view() override { return view_; }

    void draw(const halvor::ChartPicture& picture) override {
        const QVector<QVector<double>>& cells = picture.cells;
        const QStringList& labels = picture.rowLabels;
        const bool sample = picture.sample;
        const int rows = int(cells.size());
        const int columnCount = int(picture.seriesNames.size());
        chart->removeAllSeries();
        for (QAbstractAxis* axis : chart->axes()) {
            chart->removeAxis(axis);
            delete axis;
        }
        chart->setTitle(picture.title);
        chart->legend()->setVisible(picture.legend && !picture.seriesNames.isEmpty());

        double low = 0.0;
        double high = 0.0;
        for (const auto& cellsOfRow : cells) {
            for (double v : cellsOfRow) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
        }
        if (high <= low) {
            high = low + 10.0;
        }

        auto* valueAxis = new QValueAxis;
        // Head room above the highest value, so its point does not sit on the frame.
        valueAxis->setRange(low, high + (high - low) * 0.05);
        valueAxis->applyNiceNumbers();
        valueAxis->setTitleText(picture.valueAxisTitle);
        valueAxis->setTitleFont(chartFont(9));
        valueAxis->setLabelFormat(QStringLiteral("%g"));
        valueAxis->setLabelsColor(kChartNavy);
        valueAxis->setTitleBrush(kChartNavy);
        chart->addAxis(valueAxis, Qt::AlignLeft);

        QAbstractAxis* categoryAxis = nullptr;
        const bool bars = picture.bars;
        if (bars || rows <= kMaxAxisLabels) {
            auto* axis = new QBarCategoryAxis;
            // Category labels must be unique; a repeated label gets invisible padding.
            QStringList unique;
            for (const QString& label : labels) {
                QString l = label;
                while (unique.contains(l)) {
                    l += QChar(0x200B);
                }
                unique.append(l);
            }
            axis->append(unique);
            categoryAxis = axis;
        } else {
            // Many rows: a label on every n-th row keeps them readable, the line still shows every row.
            auto* axis = new QCategoryAxis;
            axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
            const int step = (rows + kMaxAxisLabels - 2) / (kMaxAxisLabels - 1);
            QStringList used;
            for (int r = 0; r < rows; r += step) {
                QString l = labels.value(r);
                while (used.contains(l)) {
                    l += QChar(0x200B);
                }
                used.append(l);
                axis->append(l, r);
            }
            axis->setRange(-0.5, rows - 0.5);
            categoryAxis = axis;
        }
        categoryAxis->setTruncateLabels(false);
        categoryAxis->setLabelsColor(kChartNavy);
        categoryAxis->setLabelsFont(chartFont(8));
        chart->addAxis(categoryAxis, Qt::AlignBottom);

        if (bars) {
            auto* series = new QBarSeries;
            for (int c = 0; c < columnCount; ++c) {
                auto* set = new QBarSet(picture.seriesNames.value(c));
                set->setColor(sample ? seriesColour(c).lighter(150) : seriesColour(c));
                set->setBorderColor(seriesColour(c).darker(120));
                QList<qreal> data;
                data.reserve(rows);
                for (const auto& cellsOfRow : cells) {
                    data.append(cellsOfRow.value(c));
                }
                set->append(data);
                series->append(set);
            }
            chart->addSeries(series);
            series->attachAxis(categoryAxis);
            series->attachAxis(valueAxis);
        } else {
            for (int c = 0; c < columnCount; ++c) {
                auto* series = new QLineSeries;
                series->setName(picture.seriesNames.value(c));
                QPen pen(seriesColour(c), 2.5);
                if (sample) {
                    pen.setStyle(Qt::DashLine);
                }
                series->setPen(pen);
                // Markers help on short charts; on long ones they would hide the line.
                series->setPointsVisible(rows <= 60);
                QList<QPointF> points;
                points.reserve(rows);
                for (int r = 0; r < rows; ++r) {
                    points.append(QPointF(r, cells[r].value(c)));
                }
                series->replace(points);
                chart->addSeries(series);
                series->attachAxis(categoryAxis);
                series->attachAxis(valueAxis);
            }
        }
    }

    void print(QPainter& painter, const QRectF& area) override {
        // The scene is drawn item by item through the painter, so lines and text stay vectors.
        const QSizeF onScreen = chart->size();
        chart->resize(area.size());
        chart->layout()->activate(); // places the plot, axes and legend for that size now
        chart->scene()->render(&painter, area, QRectF(chart->pos(), area.size()));
        chart->resize(onScreen);
        chart->layout()->activate();
    }

private:
    QChart* chart = nullptr;
    QChartView* view_ = nullptr;
};

} // namespace

extern "C" Q_DECL_EXPORT halvor::ChartDrawing* halvor_make_chart_drawing(QWidget* parent) {
    return new QtChartDrawing(parent);
}
