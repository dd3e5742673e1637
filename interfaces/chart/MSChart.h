// The progress chart: a grid of rows x columns of values with row and column labels, set through the
// calls the drills make (current row and column, then Data), and drawn with Qt Charts as lines or bars.
// Until a row is written it shows a neutral sample, with the titles and series names already set.
#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

class QPainter;

class CMSChart : public QWidget {
    Q_OBJECT
public:
    enum ChartTypes { VtChChartType2dBar = 1, VtChChartType2dLine = 3 };

    explicit CMSChart(QWidget* parent = nullptr);
    ~CMSChart() override;

    void SetChartType(int type); // 3: 2-D line, 1: 2-D bar
    int GetChartType() const;
    void SetShowLegend(bool show);
    bool GetShowLegend() const;
    void SetColumnCount(short count); // series
    short GetColumnCount() const;
    void SetRowCount(short count); // categories; keeps the values of rows that remain
    short GetRowCount() const;
    void SetRow(short row); // 1-based current row
    short GetRow() const;
    void SetColumn(short column); // 1-based current column
    short GetColumn() const;
    void SetColumnLabel(const QString& label); // of the current column
    QString GetColumnLabel() const;
    void SetRowLabel(const QString& label); // of the current row
    QString GetRowLabel() const;
    void SetData(const QString& value); // the value at the current row and column, as decimal text
    QString GetData() const;
    void SetTitleText(const QString& text);
    QString GetTitleText() const;
    void SetFootnoteText(const QString& text);
    QString GetFootnoteText() const;
    void SetValueAxisTitle(const QString& text);
    QString GetValueAxisTitle() const;

    // Whether the sample may be shown while no row is written (default true); false draws an empty grid,
    // for a chart whose data could not be read.
    void SetSampleAllowed(bool allowed);
    // True while no row has been written and the sample is allowed: the sample is on show.
    bool showsSample() const;
    // The value at a 1-based row and column, for tests and for drawing.
    double value(int row, int column) const;
    // The label of a 1-based row or column without moving the current cell.
    QString rowLabel(int row) const;
    QString columnLabel(int column) const;
    // Draws pending changes now. Changes are otherwise drawn together once control returns to the event
    // loop (or when the widget is shown), so filling thousands of cells costs one redraw.
    void refresh();
    // Draws the chart, footnote included, into `target` of any painter as vector graphics (a PDF page), at
    // the target's size; the widget on screen is left as it was.
    void Print(QPainter& painter, const QRectF& target);

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Impl;
    Impl* d;
};
