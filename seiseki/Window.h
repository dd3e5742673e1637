// The results viewer's window: the class overview, a learner's page, and the learners' management. Reading
// happens on a worker thread, so a slow server never freezes the window.
#pragma once

#include "CommandLine.h"
#include "Results.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

class CMSChart;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStackedWidget;
class QStandardItemModel;
class QTableView;
class QTableWidget;
class QThread;
class QWidget;

namespace seiseki {

class SeisekiWindow : public QMainWindow {
    Q_OBJECT
public:
    using Today = std::function<QDate()>;
    SeisekiWindow(const QString& databasePath, Today today, QWidget* parent = nullptr);
    ~SeisekiWindow() override;

    // The learner whose page is shown; empty on the overview.
    QString learner() const { return learner_; }
    void showOverview();
    void showLearner(const QString& name);
    // Reads again what is on show (the retry button, F5, a changed filter).
    void reload();
    // What the page shows now, for the report.
    ReportData reportData() const;
    // True while a read is under way.
    bool loading() const;

signals:
    // A read has been shown (or its failure).
    void loaded();

private:
    struct Loaded;
    void buildMenus();
    QWidget* buildFilterBar();
    QWidget* buildOverviewPage();
    QWidget* buildLearnerPage();
    DateRange currentRange() const;
    void rangeChosen();
    void start(bool overview);
    void apply(const Loaded& data);
    void fillOverview(const QList<OverviewRow>& rows);
    void fillLearner(const Loaded& data);
    void exportCsv();
    void exportPdf();
    void manageLearners();

    QString databasePath_;
    Today today_;
    QString learner_;
    bool firstLoad_ = true;
    int generation_ = 0;
    int running_ = 0;
    QList<QThread*> readers_; // waited for when the window goes, so none outlives what it reads for
    ReportData shown_;

    QComboBox* comRange_ = nullptr;
    QDateEdit* dtFrom_ = nullptr;
    QDateEdit* dtTo_ = nullptr;
    QLabel* lblTilde_ = nullptr;
    QLineEdit* txtName_ = nullptr;
    QPushButton* cmdBack_ = nullptr;
    QLabel* lblRangeProblem_ = nullptr;
    QFrame* fraServer_ = nullptr;
    QLabel* lblServer_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QWidget* pageOverview_ = nullptr;
    QWidget* pageLearner_ = nullptr;
    QLabel* lblEmpty_ = nullptr;
    QTableView* tblOverview_ = nullptr;
    QStandardItemModel* overviewModel_ = nullptr;
    QSortFilterProxyModel* overviewFilter_ = nullptr;
    QLabel* lblLearner_ = nullptr;
    QLabel* lblSummary_ = nullptr;
    QWidget* chartBox_ = nullptr;
    std::array<CMSChart*, 3> charts_{};
    QTableWidget* tblRuns_ = nullptr;
};

} // namespace seiseki
