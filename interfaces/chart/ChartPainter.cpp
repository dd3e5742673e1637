#include "ChartPainter.h"

#include "ChartDrawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace halvor {

namespace {

constexpr double kSwatch = 14;   // legend line sample
constexpr double kGap = 6;       // between a legend's items, and around the plot
constexpr double kLabelGap = 12; // between two row labels

QFont scaled(const QFont& font, double factor, bool bold = false) {
    QFont f = font;
    if (font.pixelSize() > 0)
        f.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * factor))));
    else
        f.setPointSizeF(font.pointSizeF() * factor);
    f.setBold(bold);
    return f;
}

// Legend items flow left to right and wrap as whole names: [line sample] name.
struct LegendItem {
    QRectF box;
    int series;
};

QList<LegendItem> layOutLegend(const TrendChart& chart, double left, double top, double width,
                               const QFontMetricsF& fm, double* height) {
    QList<LegendItem> items;
    double x = left;
    double y = top;
    const double line = fm.height();
    for (int s = 0; s < chart.seriesNames.size(); ++s) {
        const double w = std::min(width, kSwatch + 4 + fm.horizontalAdvance(chart.seriesNames[s]));
        if (x > left && x + w > left + width) {
            x = left;
            y += line + 2;
        }
        items.append({QRectF(x, y, w, line), s});
        x += w + kGap * 2;
    }
    *height = chart.seriesNames.isEmpty() ? 0 : y + line - top;
    return items;
}

// 1, 2 or 5 times a power of ten, so that about `ticks` steps span `high`.
double niceStep(double high, int ticks) {
    const double raw = high / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10 * power;
}

QString tickText(double value) {
    return QString::number(value, 'g', 10);
}

} // namespace

double trendLegendHeight(const TrendChart& chart, double width, const QFont& font) {
    double height = 0;
    layOutLegend(chart, 0, 0, width, QFontMetricsF(scaled(font, 0.9)), &height);
    return height;
}

QList<int> labelledRows(const QStringList& labels, double plotWidth, const QFont& font) {
    const QFontMetricsF fm(scaled(font, 0.85));
    double widest = 0;
    for (const QString& label : labels)
        widest = std::max(widest, fm.horizontalAdvance(label));
    const qsizetype rows = labels.size();
    QList<int> out;
    if (rows == 0)
        return out;
    // Rows sit in the middle of equal slots; a label may spread over its neighbours' slots.
    const double slot = plotWidth / double(rows);
    const int step = std::max(1, int(std::ceil((widest + kLabelGap) / std::max(slot, 1e-6))));
    for (int r = 0; r < rows; r += step)
        out << r;
    return out;
}

void paintTrendChart(QPainter& p, const QRectF& area, const TrendChart& chart, const QFont& font) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(area, Qt::white);
    const QFont titleFont = scaled(font, 1.15, true);
    const QFont small = scaled(font, 0.85);
    const QFont legendFont = scaled(font, 0.9);
    const QFontMetricsF titleFm(titleFont), smallFm(small), legendFm(legendFont);

    double top = area.top() + kGap;
    p.setPen(kChartNavy);
    p.setFont(titleFont);
    const QString title = titleFm.elidedText(chart.title, Qt::ElideRight, area.width() - 2 * kGap);
    p.drawText(QRectF(area.left() + kGap, top, area.width() - 2 * kGap, titleFm.height()), Qt::AlignLeft,
               title);
    top += titleFm.height() + 2;
    p.setFont(small);
    p.drawText(QRectF(area.left() + kGap, top, area.width() - 2 * kGap, smallFm.height()), Qt::AlignLeft,
               chart.valueAxisTitle);
    top += smallFm.height() + 4;

    // Legend at the bottom, then the row labels above it.
    double legendHeight = 0;
    const double legendWidth = area.width() - 2 * kGap;
    layOutLegend(chart, 0, 0, legendWidth, legendFm, &legendHeight);
    const double bottom = area.bottom() - kGap - legendHeight - (legendHeight > 0 ? kGap : 0);
    const QRectF frame(area.left() + kGap, top, area.width() - 2 * kGap, bottom - smallFm.height() - 4 - top);

    // The values decide the axis: from 0 to a little above the highest.
    double high = 0;
    bool any = false;
    for (const auto& row : chart.cells) {
        for (const double v : row) {
            if (std::isfinite(v)) {
                high = std::max(high, v);
                any = true;
            }
        }
    }
    if (!any || !chart.hasValues()) {
        p.setPen(QPen(QColor(0xb8, 0xc4, 0xdc), 1));
        p.drawRect(frame);
        p.setPen(kChartNavy);
        p.setFont(font);
        p.drawText(frame, Qt::AlignCenter | Qt::TextWordWrap, chart.emptyText);
        p.restore();
        return;
    }
    const int ticks = std::max(2, std::min(6, int(frame.height() / (smallFm.height() * 2.2))));
    const double step = niceStep(high > 0 ? high * 1.05 : 1.0, ticks);
    const double top_value = step * std::ceil((high > 0 ? high * 1.05 : 1.0) / step);
    double tickWidth = 0;
    for (double v = 0; v <= top_value + step / 2; v += step)
        tickWidth = std::max(tickWidth, smallFm.horizontalAdvance(tickText(v)));
    const QRectF plot(frame.left() + tickWidth + 6, frame.top() + smallFm.height() / 2,
                      frame.width() - tickWidth - 6, frame.height() - smallFm.height() / 2);
    const auto yOf = [&](double v) { return plot.bottom() - v / top_value * plot.height(); };
    const qsizetype rows = chart.rowLabels.size();
    const double slot = plot.width() / double(rows);
    const auto xOf = [&](int r) { return plot.left() + slot * (r + 0.5); };

    p.setFont(small);
    for (double v = 0; v <= top_value + step / 2; v += step) {
        const double y = yOf(v);
        p.setPen(QPen(QColor(0xe4, 0xe9, 0xf2), 1));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(kChartNavy);
        p.drawText(QRectF(frame.left(), y - smallFm.height() / 2, tickWidth, smallFm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, tickText(v));
    }
    p.setPen(QPen(kChartNavy, 1));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    for (const int r : labelledRows(chart.rowLabels, plot.width(), font)) {
        const double w = smallFm.horizontalAdvance(chart.rowLabels[r]);
        const double x = std::clamp(xOf(r) - w / 2, area.left() + kGap, area.right() - kGap - w);
        p.drawLine(QPointF(xOf(r), plot.bottom()), QPointF(xOf(r), plot.bottom() + 3));
        p.drawText(QRectF(x, plot.bottom() + 3, w + 1, smallFm.height()), Qt::AlignLeft, chart.rowLabels[r]);
    }

    // A series' line joins its own measured points; rows without a value are passed over, never drawn as 0.
    const double marker = rows <= 120 ? 3.0 : 1.5;
    for (int s = 0; s < chart.seriesNames.size(); ++s) {
        QPainterPath path;
        QList<QPointF> points;
        for (int r = 0; r < rows; ++r) {
            const double v = chart.cells.value(r).value(s, std::nan(""));
            if (!std::isfinite(v))
                continue;
            const QPointF point(xOf(r), yOf(v));
            if (points.isEmpty())
                path.moveTo(point);
            else
                path.lineTo(point);
            points << point;
        }
        const QColor colour = seriesColour(s);
        p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(colour);
        p.setPen(Qt::NoPen);
        for (const QPointF& point : points)
            p.drawEllipse(point, marker, marker);
    }

    p.setFont(legendFont);
    double unused = 0;
    for (const LegendItem& item :
         layOutLegend(chart, area.left() + kGap, bottom + kGap, legendWidth, legendFm, &unused)) {
        const QColor colour = seriesColour(item.series);
        const double mid = item.box.center().y();
        p.setPen(QPen(colour, 2.2));
        p.drawLine(QPointF(item.box.left(), mid), QPointF(item.box.left() + kSwatch, mid));
        p.setPen(kChartNavy);
        p.drawText(item.box.adjusted(kSwatch + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   chart.seriesNames[item.series]);
    }
    p.restore();
}

} // namespace halvor
