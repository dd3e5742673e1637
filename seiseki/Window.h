// The results viewer's window: the class overview, a learner's page, and the learners' management. Reading
// and every export happen on worker threads, so a slow server or a big file never freezes the window.
// Each page holds its views in tabs: more views of a class or of a learner are added with addClassView and
// addLearnerView, and are told what was read through loaded().
#pragma once

#include "CommandLine.h"
#include "ExportJob.h"
#include "Results.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QTableWidget;
class QWidget;

namespace seiseki {

class ChartView;
class LearnersDialog;
class OverviewModel;
class UnitMapView;

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
    // Shows one class in the overview (and its exports); empty: every class.
    void showClass(const QString& className);
    // Reads again what is on show (the retry button, F5, a changed filter).
    void reload();
    // True while a read is under way.
    bool loading() const;

    // What was read last, for the views: the learners, the overview's figures or the learner's runs.
    struct Shown {
        bool overview = true;
        QString learner;
        DB_RUN_FILTER filter;
        QList<DB_LEARNER> learners;
        QList<DB_RUN_GROUP> groups;
        QList<DB_RUN> runs;
        // The learner's units from the start of the period before to the end of this one; the overview's
        // sums per learner and unit in this period and in the one before.
        QList<DB_UNIT_ROW> units;
        QList<DB_UNIT_SUM> unitSums;
        QList<DB_UNIT_SUM> unitSumsBefore;
    };
    const Shown& shown() const { return shown_; }
    void addClassView(QWidget* view, const QString& title);
    void addLearnerView(QWidget* view, const QString& title);

    // The exports as the menu starts them, writing to the file given (the menu asks for one). The report of
    // `kind`; exports that follow the screen: its filter, period and order.
    enum class Export { Csv, Pdf, FamilyPdf };
    void exportTo(Export kind, const QString& file);
    // True while an export is under way; exported() tells when it is done.
    bool exporting() const { return job_ != nullptr; }
    // A test's stand-in for the dialogs that ask where a file goes.
    std::function<QString(const QString& title, const QString& name, const QString& filter)> askFile;

signals:
    // A read has been shown (or its failure).
    void loaded();
    // An export is done (or failed); the message says where the file went, or why not.
    void exported(bool ok, const QString& message);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    QWidget* buildFilterBar();
    QWidget* buildOverviewPage();
    QWidget* buildLearnerPage();
    DateRange currentRange() const;
    void rangeChosen();
    void datesEdited(bool fromEdited);
    void start(bool overview);
    void apply(const std::shared_ptr<Shown>& data, bool ok, halvor::db::Problem problem,
               halvor::db::Problem serverAway);
    void fillLearner(const Shown& data);
    void fillClassMap();
    void fitSummary();
    void exportChosen(Export kind);
    void manageLearners();
    void showSpellings();
    void chooseSpellings(const QString& value);

    QString databasePath_;
    Today today_;
    QString learner_;
    bool firstLoad_ = true;
    int generation_ = 0;
    int running_ = 0;
    Shown shown_;
    QList<QAction*> exportActions_;
    QAction* actSpellingsTable_ = nullptr;
    QAction* actSpellingsIme_ = nullptr;
    std::unique_ptr<ExportJob> job_;

    QComboBox* comRange_ = nullptr;
    QDateEdit* dtFrom_ = nullptr;
    QDateEdit* dtTo_ = nullptr;
    QLabel* lblTilde_ = nullptr;
    QComboBox* comClass_ = nullptr;
    QLineEdit* txtName_ = nullptr;
    QPushButton* cmdBack_ = nullptr;
    QFrame* fraServer_ = nullptr;
    QLabel* lblServer_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QWidget* pageOverview_ = nullptr;
    QWidget* pageLearner_ = nullptr;
    QTabWidget* classViews_ = nullptr;
    QTabWidget* learnerViews_ = nullptr;
    QLabel* lblEmpty_ = nullptr;   // no run yet, in the list's place
    QLabel* lblProblem_ = nullptr; // the results could not be read
    QStackedWidget* listOrEmpty_ = nullptr;
    QTableView* tblOverview_ = nullptr;
    OverviewModel* overview_ = nullptr;
    QLabel* lblLearner_ = nullptr;
    QLabel* lblSummary_ = nullptr;
    std::array<ChartView*, 3> charts_{};
    QTableWidget* tblRuns_ = nullptr;
    UnitMapView* learnerMap_ = nullptr;
    ChartView* kanaSpeed_ = nullptr;
    UnitMapView* classMap_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cmdStop_ = nullptr;
    QLabel* lblExported_ = nullptr;
    QPointer<LearnersDialog> learnersDialog_;
};

} // namespace seiseki
