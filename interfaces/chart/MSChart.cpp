#include "MSChart.h"
#include "ChartDrawing.h"
#include "Common.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLoggingCategory>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

Q_LOGGING_CATEGORY(lcChart, "halvor.chart")

namespace {

using halvor::chartFont;
using halvor::kChartNavy;

// Values are drawn within this magnitude: far beyond any run's number, and small enough that the axis
// arithmetic (spans, head room, nice numbers) stays finite for hand-edited values such as 1e308.
constexpr double kMaxMagnitude = 1e15;

// A row count that fits the 16-bit row index; negative counts mean none.
int clampCount(int count) {
    return std::clamp(count, 0, 32767);
}

} // namespace

struct CMSChart::Impl {
    CMSChart* q = nullptr;
    int chartType = VtChChartType2dLine;
    bool showLegend = true;
    int columnCount = 1;
    int rowCount = 0;
    int row = 1;
    int column = 1;
    QVector<QVector<double>> values; // [row][column], 0-based
    QStringList rowLabels;
    QStringList columnLabels;
    QString title;
    QString footnote;
    QString valueAxisTitle;
    bool rowWritten = false;
    bool sampleAllowed = true;
    bool dirty = true;
    bool redrawPending = false;

    std::unique_ptr<halvor::ChartDrawing> drawing; // none when the chart module cannot be loaded
    QLabel* footnoteLabel = nullptr;

    static QString defaultColumnLabel(int c) { return QStringLiteral("C%1").arg(c + 1); }
    static QString defaultRowLabel(int r) { return QStringLiteral("R%1").arg(r + 1); }

    bool rowValid() const { return row >= 1 && row <= rowCount; }
    bool columnValid() const { return column >= 1 && column <= columnCount; }

    // Changes are gathered and drawn once control is back in the event loop.
    void changed() {
        dirty = true;
        if (redrawPending) {
            return;
        }
        redrawPending = true;
        QTimer::singleShot(0, q, [this] {
            redrawPending = false;
            redraw();
        });
    }

    void resizeColumns(int count) {
        columnCount = count;
        while (columnLabels.size() < count) {
            columnLabels.append(defaultColumnLabel(int(columnLabels.size())));
        }
        columnLabels.resize(count);
        for (auto& cells : values) {
            cells.resize(count, 0.0);
        }
    }

    void resizeRows(int count) {
        rowCount = count;
        values.resize(count, QVector<double>(columnCount, 0.0));
        while (rowLabels.size() < count) {
            rowLabels.append(defaultRowLabel(int(rowLabels.size())));
        }
        rowLabels.resize(count);
    }

    // The sample shown while no row has been written: five made-up rows under the real series names.
    void sampleData(QStringList& labels, QVector<QVector<double>>& cells) const {
        static const double pattern[] = {60, 52, 55, 44, 38, 48, 40, 35, 31, 27, 45, 39, 33, 30, 24};
        for (int r = 0; r < 5; ++r) {
            labels.append(QStringLiteral("見本%1").arg(r + 1));
            QVector<double> rowCells;
            for (int c = 0; c < columnCount; ++c) {
                rowCells.append(pattern[(c * 5 + r) % std::size(pattern)] - 3.0 * (c / 3));
            }
            cells.append(rowCells);
        }
    }

    void redraw() {
        if (!dirty) {
            return;
        }
        dirty = false;

        const bool sample = q->showsSample();
        QStringList labels = rowLabels;
        QVector<QVector<double>> cells = values;
        if (sample || rowCount == 0 || !rowWritten) {
            labels.clear();
            cells.clear();
        }
        if (sample) {
            sampleData(labels, cells);
        }

        footnoteLabel->setText(footnote);
        footnoteLabel->setVisible(!footnote.isEmpty());
        if (!drawing)
            return;
        halvor::ChartPicture picture;
        picture.bars = chartType == VtChChartType2dBar;
        picture.legend = showLegend;
        picture.sample = sample;
        picture.title = title;
        picture.valueAxisTitle = valueAxisTitle;
        picture.seriesNames = columnLabels.mid(0, columnCount);
        picture.rowLabels = labels;
        picture.cells = cells;
        drawing->draw(picture);
    }
};

CMSChart::CMSChart(QWidget* parent) : QWidget(parent), d(new Impl) {
    d->q = this;
    d->resizeColumns(1);

    QWidget* shown = nullptr;
    QString why;
    if (const auto make = reinterpret_cast<halvor::MakeChartDrawing>(
            CMN_LoadModule(halvor::kChartModule, halvor::kMakeChartDrawing, &why))) {
        d->drawing.reset(make(this));
        shown = d->drawing->view();
    } else {
        qCWarning(lcChart).noquote() << "no chart module, the chart is not drawn:" << why;
        auto* missing = new QLabel(QStringLiteral("グラフを ひょうじ できません。"), this);
        missing->setObjectName(QStringLiteral("chartMissing"));
        missing->setAlignment(Qt::AlignCenter);
        missing->setFont(chartFont(12));
        shown = missing;
    }

    d->footnoteLabel = new QLabel(this);
    d->footnoteLabel->setObjectName(QStringLiteral("footnote"));
    d->footnoteLabel->setFont(chartFont(9));
    d->footnoteLabel->setWordWrap(true);
    d->footnoteLabel->setStyleSheet(QStringLiteral("color: #2b3a67; background: white; padding: 2px 6px;"));
    d->footnoteLabel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(shown, 1);
    layout->addWidget(d->footnoteLabel);

    d->changed();
}

CMSChart::~CMSChart() {
    delete d;
}

void CMSChart::SetChartType(int type) {
    if (type != VtChChartType2dBar && type != VtChChartType2dLine) {
        qCWarning(lcChart) << "unsupported chart type" << type << "- drawing lines";
        type = VtChChartType2dLine;
    }
    d->chartType = type;
    d->changed();
}

int CMSChart::GetChartType() const {
    return d->chartType;
}

void CMSChart::SetShowLegend(bool show) {
    d->showLegend = show;
    d->changed();
}

bool CMSChart::GetShowLegend() const {
    return d->showLegend;
}

void CMSChart::SetColumnCount(short count) {
    d->resizeColumns(std::clamp(int(count), 1, 32767));
    d->column = std::clamp(d->column, 1, d->columnCount);
    d->changed();
}

short CMSChart::GetColumnCount() const {
    return short(d->columnCount);
}

void CMSChart::SetRowCount(short count) {
    d->resizeRows(clampCount(count));
    if (d->rowCount == 0) {
        d->rowWritten = false;
    }
    d->row = std::clamp(d->row, 1, std::max(1, d->rowCount));
    d->changed();
}

short CMSChart::GetRowCount() const {
    return short(d->rowCount);
}

void CMSChart::SetRow(short row) {
    if (row < 1 || row > d->rowCount) {
        qCWarning(lcChart) << "row" << row << "outside 1 ..." << d->rowCount << "- ignored";
        return;
    }
    d->row = row;
}

short CMSChart::GetRow() const {
    return short(d->row);
}

void CMSChart::SetColumn(short column) {
    if (column < 1 || column > d->columnCount) {
        qCWarning(lcChart) << "column" << column << "outside 1 ..." << d->columnCount << "- ignored";
        return;
    }
    d->column = column;
}

short CMSChart::GetColumn() const {
    return short(d->column);
}

void CMSChart::SetColumnLabel(const QString& label) {
    if (!d->columnValid()) {
        return;
    }
    d->columnLabels[d->column - 1] = label;
    d->changed();
}

QString CMSChart::GetColumnLabel() const {
    return columnLabel(d->column);
}

void CMSChart::SetRowLabel(const QString& label) {
    if (!d->rowValid()) {
        qCWarning(lcChart) << "row label without a row - ignored";
        return;
    }
    d->rowLabels[d->row - 1] = label;
    d->rowWritten = true;
    d->changed();
}

QString CMSChart::GetRowLabel() const {
    return rowLabel(d->row);
}

void CMSChart::SetData(const QString& value) {
    if (!d->rowValid() || !d->columnValid()) {
        qCWarning(lcChart) << "data without a cell - ignored";
        return;
    }
    bool ok = false;
    double number = value.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        qCWarning(lcChart) << "not a number:" << value << "- drawn as 0";
        number = 0.0;
    } else if (std::abs(number) > kMaxMagnitude) {
        qCWarning(lcChart) << "value" << value << "out of range - drawn at" << kMaxMagnitude;
        number = std::clamp(number, -kMaxMagnitude, kMaxMagnitude);
    }
    d->values[d->row - 1][d->column - 1] = number;
    d->rowWritten = true;
    d->changed();
}

QString CMSChart::GetData() const {
    if (!d->rowValid() || !d->columnValid()) {
        return QStringLiteral("0");
    }
    return QString::number(d->values[d->row - 1][d->column - 1], 'g', 15);
}

void CMSChart::SetTitleText(const QString& text) {
    d->title = text;
    d->changed();
}

QString CMSChart::GetTitleText() const {
    return d->title;
}

void CMSChart::SetFootnoteText(const QString& text) {
    d->footnote = text;
    d->changed();
}

QString CMSChart::GetFootnoteText() const {
    return d->footnote;
}

void CMSChart::SetValueAxisTitle(const QString& text) {
    d->valueAxisTitle = text;
    d->changed();
}

QString CMSChart::GetValueAxisTitle() const {
    return d->valueAxisTitle;
}

void CMSChart::SetSampleAllowed(bool allowed) {
    d->sampleAllowed = allowed;
    d->changed();
}

bool CMSChart::showsSample() const {
    return d->sampleAllowed && (!d->rowWritten || d->rowCount == 0);
}

double CMSChart::value(int row, int column) const {
    if (row < 1 || row > d->rowCount || column < 1 || column > d->columnCount) {
        return 0.0;
    }
    return d->values[row - 1][column - 1];
}

QString CMSChart::rowLabel(int row) const {
    return row >= 1 && row <= d->rowCount ? d->rowLabels[row - 1] : QString();
}

QString CMSChart::columnLabel(int column) const {
    return column >= 1 && column <= d->columnCount ? d->columnLabels[column - 1] : QString();
}

void CMSChart::refresh() {
    d->redraw();
}

void CMSChart::Print(QPainter& painter, const QRectF& target) {
    d->redraw();
    QRectF chartArea = target;
    if (!d->footnote.isEmpty()) {
        const QFont font = chartFont(9);
        const QRectF text = QFontMetricsF(font).boundingRect(target, Qt::TextWordWrap, d->footnote);
        chartArea.setBottom(target.bottom() - text.height() - 4);
        painter.save();
        painter.setFont(font);
        painter.setPen(kChartNavy);
        painter.drawText(QRectF(target.left(), chartArea.bottom() + 4, target.width(), text.height()),
                         Qt::TextWordWrap, d->footnote);
        painter.restore();
    }
    if (d->drawing)
        d->drawing->print(painter, chartArea);
}

void CMSChart::showEvent(QShowEvent* event) {
    d->redraw();
    QWidget::showEvent(event);
}
