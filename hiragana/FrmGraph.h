// The progress chart: one line per practice kind, one point per day and run number, the seconds taken. The
// runs are read on the library's thread for reads; until they are in, the chart says that it is loading.
#pragma once

#include "SaveQueue.h"

#include <QDialog>

class CMSChart;
class QPushButton;

namespace hiragana {

class FrmGraph : public QDialog {
    Q_OBJECT
public:
    // Starts reading the runs from the database at `databasePath`; the chart is filled when they are in.
    explicit FrmGraph(const QString& databasePath, QWidget* parent = nullptr);

    CMSChart* chart() const { return ChtGraph; }
    // Chart rows made by the last fill.
    int rowCount() const { return rowCount_; }
    // The runs have been read and drawn (or their failure told).
    bool loaded() const { return loaded_; }

private:
    void StartLoading();
    void DrawGraph(const halvor::db::RowsRead<QList<DB_T_KEY>>& load);

    QString databasePath_;
    int rowCount_ = 0;
    bool loaded_ = false;
    CMSChart* ChtGraph = nullptr;
    QPushButton* cmdEnd = nullptr;
};

} // namespace hiragana
