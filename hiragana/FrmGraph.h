// The progress chart: one line per practice kind, one point per day and run number, the seconds taken.
#pragma once

#include <QDialog>

class CMSChart;
class QPushButton;

namespace hiragana {

class FrmGraph : public QDialog {
    Q_OBJECT
public:
    // Reads the runs from the database at `databasePath` and fills the chart before the window is shown.
    explicit FrmGraph(const QString& databasePath, QWidget* parent = nullptr);

    CMSChart* chart() const { return ChtGraph; }
    // Chart rows made by the last fill.
    int rowCount() const { return rowCount_; }

private:
    void DrawGraph();

    QString databasePath_;
    int rowCount_ = 0;
    CMSChart* ChtGraph = nullptr;
    QPushButton* cmdEnd = nullptr;
};

} // namespace hiragana
