#include "Window.h"

#include "Charts.h"
#include "Common.h"
#include "Export.h"
#include "LearnersDialog.h"
#include "MSChart.h"
#include "Report.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <utility>

namespace seiseki {

namespace {

const QColor kNavy(0x2b, 0x3a, 0x67);
constexpr int kSortRole = Qt::UserRole + 1;

QLabel* label(const QString& text, QWidget* parent, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QLatin1String(name));
    return l;
}

// Both tables show figures to read, not to edit, in rows that alternate.
void readOnly(QTableView* table, const char* name) {
    table->setObjectName(QLatin1String(name));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
}

} // namespace

struct SeisekiWindow::Loaded {
    bool overview = true;
    QString learner;
    DB_RUN_FILTER filter;
    bool ok = true;
    halvor::db::Problem problem = halvor::db::Problem::None;
    halvor::db::Problem serverAway = halvor::db::Problem::None;
    QList<DB_LEARNER> learners;
    QList<DB_RUN_GROUP> groups;
    QList<DB_RUN> runs;

    void read(const QString& path) {
        ok = DB_KnownLearners(path, learners) != 0;
        ok = ok && (overview ? DB_ReadRunGroups(path, filter, groups) : DB_ReadRuns(path, filter, runs)) != 0;
        problem = ok ? halvor::db::Problem::None : DB_LastProblem();
        serverAway = ok ? DB_ServerProblem() : halvor::db::Problem::None;
    }
};

SeisekiWindow::SeisekiWindow(const QString& databasePath, Today today, QWidget* parent)
    : QMainWindow(parent), databasePath_(databasePath), today_(std::move(today)) {
    setObjectName(QStringLiteral("SeisekiWindow"));
    setWindowTitle(QStringLiteral("せいせき (成績)"));
    setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 10));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, kNavy);
    colours.setColor(QPalette::Text, kNavy);
    setPalette(colours);
    resize(1024, 720);
    setMinimumSize(800, 600);
    buildMenus();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(12, 8, 12, 12);
    layout->addWidget(buildFilterBar());

    fraServer_ = new QFrame(central);
    fraServer_->setObjectName(QStringLiteral("fraServer"));
    fraServer_->setStyleSheet(
        QStringLiteral("#fraServer { background: #fff4d6; border: 1px solid #e0b040; }"));
    auto* serverRow = new QHBoxLayout(fraServer_);
    lblServer_ = label({}, fraServer_, "lblServer");
    lblServer_->setWordWrap(true);
    auto* retry = new QPushButton(QStringLiteral("もう いちど よむ"), fraServer_);
    retry->setObjectName(QStringLiteral("cmdRetry"));
    connect(retry, &QPushButton::clicked, this, &SeisekiWindow::reload);
    serverRow->addWidget(lblServer_, 1);
    serverRow->addWidget(retry);
    fraServer_->hide();
    layout->addWidget(fraServer_);

    pages_ = new QStackedWidget(central);
    pages_->addWidget(buildOverviewPage());
    pages_->addWidget(buildLearnerPage());
    lblEmpty_ = label({}, pages_, "lblEmpty");
    lblEmpty_->setAlignment(Qt::AlignCenter);
    lblEmpty_->setWordWrap(true);
    lblEmpty_->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 14));
    pages_->addWidget(lblEmpty_);
    layout->addWidget(pages_, 1);
    setCentralWidget(central);

    start(true);
}

SeisekiWindow::~SeisekiWindow() {
    for (QThread* reader : std::as_const(readers_)) {
        reader->disconnect(this);
        reader->wait();
        delete reader;
    }
    for (; running_ > 0; --running_)
        QApplication::restoreOverrideCursor();
}

void SeisekiWindow::buildMenus() {
    const auto item = [this](QMenu* menu, const QString& text, const QKeySequence& keys, auto slot) {
        QAction* action = menu->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    item(file, QStringLiteral("CSVに 書きだす…"), QKeySequence(QStringLiteral("Ctrl+E")),
         &SeisekiWindow::exportCsv);
    item(file, QStringLiteral("PDFに 書きだす (いんさつ用)…"), QKeySequence::Print,
         &SeisekiWindow::exportPdf);
    file->addSeparator();
    item(file, QStringLiteral("おわる"), QKeySequence::Quit, &QWidget::close);
    QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    item(view, QStringLiteral("クラスの 一覧"), QKeySequence(), &SeisekiWindow::showOverview);
    item(view, QStringLiteral("読みなおす"), QKeySequence::Refresh, &SeisekiWindow::reload);
    QMenu* learners = menuBar()->addMenu(QStringLiteral("学習者(&L)"));
    item(learners, QStringLiteral("学習者の 登録と 名簿…"), QKeySequence(), &SeisekiWindow::manageLearners);
}

QWidget* SeisekiWindow::buildFilterBar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    comRange_ = new QComboBox(bar);
    comRange_->setObjectName(QStringLiteral("comRange"));
    comRange_->addItems({QStringLiteral("すべて"), QStringLiteral("今週"), QStringLiteral("今月"),
                         QStringLiteral("今年度"), QStringLiteral("日付を えらぶ")});
    dtFrom_ = new QDateEdit(today_().addMonths(-1), bar);
    dtTo_ = new QDateEdit(today_(), bar);
    dtFrom_->setObjectName(QStringLiteral("dtFrom"));
    dtTo_->setObjectName(QStringLiteral("dtTo"));
    for (QDateEdit* edit : {dtFrom_, dtTo_}) {
        edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        edit->hide();
        connect(edit, &QDateEdit::dateChanged, this, &SeisekiWindow::rangeChosen);
    }
    connect(comRange_, &QComboBox::currentIndexChanged, this, &SeisekiWindow::rangeChosen);
    txtName_ = new QLineEdit(bar);
    txtName_->setObjectName(QStringLiteral("txtName"));
    txtName_->setPlaceholderText(QStringLiteral("名前で さがす"));
    txtName_->setClearButtonEnabled(true);
    cmdBack_ = new QPushButton(QStringLiteral("◀ クラスの 一覧"), bar);
    cmdBack_->setObjectName(QStringLiteral("cmdBack"));
    cmdBack_->hide();
    connect(cmdBack_, &QPushButton::clicked, this, &SeisekiWindow::showOverview);
    lblRangeProblem_ = label({}, bar, "lblRangeProblem");
    lblRangeProblem_->setStyleSheet(QStringLiteral("color: #c0392b;"));
    lblRangeProblem_->setWordWrap(true);
    row->addWidget(label(QStringLiteral("きかん"), bar));
    row->addWidget(comRange_);
    row->addWidget(dtFrom_);
    lblTilde_ = label(QStringLiteral("〜"), bar);
    lblTilde_->hide();
    row->addWidget(lblTilde_);
    row->addWidget(dtTo_);
    row->addWidget(lblRangeProblem_, 1);
    row->addWidget(txtName_);
    row->addWidget(cmdBack_);
    return bar;
}

QWidget* SeisekiWindow::buildOverviewPage() {
    pageOverview_ = new QWidget(this);
    pageOverview_->setObjectName(QStringLiteral("pageOverview"));
    auto* layout = new QVBoxLayout(pageOverview_);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(label(QStringLiteral("クラスの 一覧 — 名前を ダブルクリックすると、 その人の ページが "
                                           "ひらきます。 見出しを クリックすると ならびかえます。"),
                            pageOverview_));
    overviewModel_ = new QStandardItemModel(0, int(overviewHeaders().size()), pageOverview_);
    overviewModel_->setHorizontalHeaderLabels(overviewHeaders());
    overviewFilter_ = new QSortFilterProxyModel(pageOverview_);
    overviewFilter_->setSourceModel(overviewModel_);
    overviewFilter_->setFilterKeyColumn(0);
    overviewFilter_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    overviewFilter_->setSortRole(kSortRole);
    overviewFilter_->setSortCaseSensitivity(Qt::CaseInsensitive);
    connect(txtName_, &QLineEdit::textChanged, overviewFilter_, &QSortFilterProxyModel::setFilterFixedString);
    tblOverview_ = new QTableView(pageOverview_);
    readOnly(tblOverview_, "tblOverview");
    tblOverview_->setModel(overviewFilter_);
    tblOverview_->setSortingEnabled(true);
    tblOverview_->sortByColumn(-1, Qt::AscendingOrder);
    // Eighteen columns fit the window's width: the names and the last day as wide as they are, the figures
    // share the rest; below the smallest useful width the table scrolls instead.
    QHeaderView* header = tblOverview_->horizontalHeader();
    header->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 8));
    header->setMinimumSectionSize(44);
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(overviewModel_->columnCount() - 1, QHeaderView::ResizeToContents);
    connect(tblOverview_, &QTableView::activated, this, [this](const QModelIndex& index) {
        showLearner(overviewFilter_->index(index.row(), 0).data().toString());
    });
    layout->addWidget(tblOverview_, 1);
    return pageOverview_;
}

QWidget* SeisekiWindow::buildLearnerPage() {
    pageLearner_ = new QWidget(this);
    pageLearner_->setObjectName(QStringLiteral("pageLearner"));
    auto* layout = new QVBoxLayout(pageLearner_);
    layout->setContentsMargins(0, 4, 0, 0);
    lblLearner_ = label({}, pageLearner_, "lblLearner");
    lblLearner_->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 14, true));
    lblSummary_ = label({}, pageLearner_, "lblSummary");
    lblSummary_->setWordWrap(true);
    lblSummary_->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 12));
    lblSummary_->setStyleSheet(QStringLiteral("background: #eef6ff; border-radius: 6px; padding: 8px;"));
    chartBox_ = new QWidget(pageLearner_);
    chartBox_->setMinimumHeight(230);
    auto* charts = new QHBoxLayout(chartBox_);
    charts->setContentsMargins(0, 0, 0, 0);
    tblRuns_ = new QTableWidget(0, int(runHeaders().size()), pageLearner_);
    readOnly(tblRuns_, "tblRuns");
    tblRuns_->setHorizontalHeaderLabels(runHeaders());
    tblRuns_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(lblLearner_);
    layout->addWidget(lblSummary_);
    layout->addWidget(chartBox_, 3);
    layout->addWidget(tblRuns_, 2);
    return pageLearner_;
}

DateRange SeisekiWindow::currentRange() const {
    const Range range = Range(comRange_->currentIndex());
    if (range == Range::Custom)
        return {dtFrom_->date(), dtTo_->date()};
    return rangeFor(range, today_());
}

void SeisekiWindow::rangeChosen() {
    const Range range = Range(comRange_->currentIndex());
    const bool custom = range == Range::Custom;
    dtFrom_->setEnabled(custom);
    dtTo_->setEnabled(custom);
    // Every day has no dates to show.
    for (QWidget* w : std::initializer_list<QWidget*>{dtFrom_, lblTilde_, dtTo_})
        w->setVisible(range != Range::All);
    // The date fields show what a chosen period means, and are the starting point for own dates.
    const DateRange shown = rangeFor(range, today_());
    if (!custom && shown.from.isValid()) {
        const QSignalBlocker blockFrom(dtFrom_);
        const QSignalBlocker blockTo(dtTo_);
        dtFrom_->setDate(shown.from);
        dtTo_->setDate(shown.to);
    }
    reload();
}

void SeisekiWindow::showOverview() {
    learner_.clear();
    start(true);
}

void SeisekiWindow::showLearner(const QString& name) {
    learner_ = name;
    start(false);
}

void SeisekiWindow::reload() {
    start(learner_.isEmpty());
}

bool SeisekiWindow::loading() const {
    return running_ > 0;
}

void SeisekiWindow::start(bool overview) {
    const DateRange range = currentRange();
    const QString problem = rangeProblem(range);
    lblRangeProblem_->setText(problem);
    if (!problem.isEmpty())
        return; // the rows on show stay; nothing is read for a range that cannot be
    auto data = std::make_shared<Loaded>();
    data->overview = overview;
    data->learner = learner_;
    data->filter = {overview ? QString() : learner_, range.from, range.to};
    const int generation = ++generation_;
    ++running_;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QThread* reader = QThread::create([data, path = databasePath_] { data->read(path); });
    readers_ << reader;
    connect(reader, &QThread::finished, this, [this, reader, data, generation] {
        readers_.removeOne(reader);
        reader->deleteLater();
        --running_;
        QApplication::restoreOverrideCursor();
        // A later read (another filter, another page) has the last word.
        if (generation == generation_)
            apply(*data);
    });
    reader->start();
}

void SeisekiWindow::apply(const Loaded& data) {
    using halvor::db::Problem;
    const bool away = data.serverAway != Problem::None;
    fraServer_->setVisible(!data.ok || away);
    // "Cannot reach the server" is what the away text says already; other reasons come before it.
    const QString why =
        data.serverAway == Problem::Offline ? QString() : DB_ProblemText(data.serverAway) + QLatin1Char(' ');
    lblServer_->setText(!data.ok
                            ? QStringLiteral("せいせきを 読めませんでした。 ") + DB_ProblemText(data.problem)
                            : why + DB_ServerAwayText());
    shown_ = {data.learner, data.filter, data.runs, data.groups, data.learners, today_()};
    cmdBack_->setVisible(!data.overview);
    txtName_->setEnabled(data.overview);
    if (!data.ok) {
        lblEmpty_->setText(
            QStringLiteral("せいせきを 読めませんでした。\n%1").arg(DB_ProblemText(data.problem)));
        pages_->setCurrentWidget(lblEmpty_);
    } else if (data.overview) {
        const QList<OverviewRow> rows = buildOverview(data.learners, data.groups);
        const bool first = std::exchange(firstLoad_, false);
        if (rows.isEmpty()) {
            lblEmpty_->setText(QStringLiteral(
                "まだ れんしゅうの きろくが ありません。\n\nトップメニューから ドリルを えらんで、 "
                "れんしゅうを はじめましょう。\nれんしゅうが おわると、 ここに きろくと グラフが でます。"));
            pages_->setCurrentWidget(lblEmpty_);
        } else if (first && rows.size() == 1) {
            // One learner, the home case: straight to that learner's page.
            showLearner(rows.first().learner);
            return;
        } else {
            fillOverview(rows);
            pages_->setCurrentWidget(pageOverview_);
        }
    } else {
        fillLearner(data);
        pages_->setCurrentWidget(pageLearner_);
    }
    emit loaded();
}

void SeisekiWindow::fillOverview(const QList<OverviewRow>& rows) {
    overviewModel_->setRowCount(0);
    for (const OverviewRow& row : rows) {
        QList<QStandardItem*> items;
        const QVariantList values = overviewValues(row);
        for (qsizetype c = 0; c < values.size(); ++c) {
            auto* item = new QStandardItem(displayText(values[c]));
            const QVariant& v = values[c];
            // Missing figures sort below every real one.
            item->setData(v.isValid() ? v : QVariant(-1.0), kSortRole);
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            items << item;
        }
        overviewModel_->appendRow(items);
    }
}

void SeisekiWindow::fillLearner(const Loaded& data) {
    QString className;
    for (const DB_LEARNER& l : data.learners) {
        if (l.name.compare(data.learner, Qt::CaseInsensitive) == 0)
            className = l.className;
    }
    lblLearner_->setText(QStringLiteral("%1 さん%2　　%3")
                             .arg(data.learner,
                                  className.isEmpty() ? QString() : QStringLiteral("（%1）").arg(className),
                                  rangeText({data.filter.from, data.filter.to})));
    lblSummary_->setText(summarize(data.runs, today_()));
    for (CMSChart* chart : charts_)
        delete chart;
    charts_ = makeCharts(chartBox_);
    for (CMSChart* chart : charts_)
        chartBox_->layout()->addWidget(chart);
    fillCharts(charts_, data.runs);
    tblRuns_->setRowCount(int(data.runs.size()));
    // Newest first: the day just practised is what a learner looks for.
    for (qsizetype r = 0; r < data.runs.size(); ++r) {
        const QStringList fields = runFields(data.runs[data.runs.size() - 1 - r]);
        for (qsizetype c = 0; c < fields.size(); ++c) {
            auto* item = new QTableWidgetItem(fields[c]);
            if (c >= 3 && c <= 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblRuns_->setItem(int(r), int(c), item);
        }
    }
}

ReportData SeisekiWindow::reportData() const {
    return shown_;
}

void SeisekiWindow::exportCsv() {
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("CSVに 書きだす"), QStringLiteral("seiseki.csv"), QStringLiteral("CSV (*.csv)"));
    if (file.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QList<DB_RUN> runs = shown_.runs;
    bool ok = !learner_.isEmpty() || DB_ReadRuns(databasePath_, shown_.filter, runs);
    QString why = ok ? QString() : DB_ProblemText(DB_LastProblem());
    ok = ok && writeWhole(file, runsCsv(runs), &why);
    QApplication::restoreOverrideCursor();
    if (!ok)
        QMessageBox::warning(this, QStringLiteral("CSV"),
                             QStringLiteral("書きだせませんでした。\n%1").arg(why));
}

void SeisekiWindow::exportPdf() {
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("PDFに 書きだす"), QStringLiteral("seiseki.pdf"), QStringLiteral("PDF (*.pdf)"));
    if (file.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ReportData data = shown_;
    bool ok = !learner_.isEmpty() || DB_ReadRuns(databasePath_, shown_.filter, data.runs);
    QString why = ok ? QString() : DB_ProblemText(DB_LastProblem());
    ok = ok && writeReportPdf(file, data, &why);
    QApplication::restoreOverrideCursor();
    if (!ok)
        QMessageBox::warning(this, QStringLiteral("PDF"),
                             QStringLiteral("書きだせませんでした。\n%1").arg(why));
}

void SeisekiWindow::manageLearners() {
    LearnersDialog dialog(databasePath_, this);
    dialog.exec();
    reload();
}

} // namespace seiseki
