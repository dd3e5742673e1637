// The chart control's drawing lives in a module of its own (halvor-chart, beside the programs): Qt Charts
// and OpenGL load when the first chart is made, not with every drill's first window.
#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QStringList>
#include <QVector>
#include <algorithm>
#include <cmath>

class QPainter;
class QWidget;

namespace halvor {

inline const QColor kChartNavy(0x2b, 0x3a, 0x67);

// Series colours: the suite's palette, darkened where a thin line on white would be too faint.
inline QColor seriesColour(int column) {
    static const QColor colours[] = {QColor(0x2f, 0x8a, 0xe6),
                                     QColor(0xff, 0x7a, 0x6b),
                                     QColor(0x4c, 0xa8, 0x2c),
                                     QColor(0xe0, 0xa8, 0x00),
                                     kChartNavy,
                                     QColor(0x9b, 0x6b, 0xd6),
                                     QColor(0x1a, 0x9e, 0x9e)};
    return colours[column % std::size(colours)];
}

inline QFont chartFont(double points, bool bold = false) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(std::max(1, int(std::lround(points * 4.0 / 3.0))));
    font.setBold(bold);
    return font;
}

// What the chart shows: its series (columns) over its rows.
struct ChartPicture {
    bool bars = false;
    bool legend = true;
    bool sample = false; // made-up rows: drawn paler
    QString title;
    QString valueAxisTitle;
    QStringList seriesNames;
    QStringList rowLabels;
    QVector<QVector<double>> cells; // [row][series]
};

class ChartDrawing {
public:
    virtual ~ChartDrawing() = default;
    virtual QWidget* view() = 0; // a child of the chart control
    virtual void draw(const ChartPicture& picture) = 0;
    // The chart drawn into `area` of any painter as vectors; the view on screen is left as it was.
    virtual void print(QPainter& painter, const QRectF& area) = 0;
};

// The module's one entry point; the caller owns the drawing.
using MakeChartDrawing = ChartDrawing* (*)(QWidget* parent);
inline constexpr char kChartModule[] = "halvor-chart";
inline constexpr char kMakeChartDrawing[] = "halvor_make_chart_drawing";

} // namespace halvor
