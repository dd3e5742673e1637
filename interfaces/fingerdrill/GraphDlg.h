// The progress chart of the finger drills: every stored run's best speed, in date and run order. The runs are
// read on the library's thread for reads; until they are in, the chart says that it is loading.
// The windmill draws one line from T_Digit; the block drill one row per run from T_Key with the speed in
// its two-finger or four-finger column and 0 in the other.
#pragma once

#include "ProgressRows.h"
#include "SaveQueue.h"

#include <QDialog>
#include <QList>
#include <QString>

class CMSChart;
class QPushButton;

namespace halvor {

// Reads the runs the chart shows. False when the table cannot be opened (rows stay empty).
bool ReadChartRows(GraphKind kind, const QString& mdbPath, QList<ChartRow>& rows);

class CGraphDlg : public QDialog {
    Q_OBJECT
public:
    explicit CGraphDlg(GraphKind kind, QWidget* parent = nullptr);

    CMSChart* chart() const { return chart_; }
    // The runs have been read and drawn (or their failure told).
    bool loaded() const { return loaded_; }

private:
    void SetUpChart();
    void StartLoading();
    void FillChart(const db::RowsRead<QList<ChartRow>>& load);
    // Messages are window-modal and do not block, so the chart is up and usable behind them.
    void ShowMessage(int icon, const QString& caption, const QString& text);

    GraphKind kind_;
    QString mdbPath_;
    CMSChart* chart_ = nullptr;
    QPushButton* close_ = nullptr;
    bool loaded_ = false;
};

} // namespace halvor
