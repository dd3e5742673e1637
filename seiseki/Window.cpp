#include "Window.h"

#include "ChartView.h"
#include "Charts.h"
#include "Common.h"
#include "Export.h"
#include "LearnersDialog.h"
#include "OverviewModel.h"
#include "Report.h"
#include "SaveQueue.h"
#include "UnitMapView.h"
#include "UnitRecord.h"

#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace seiseki {

namespace {

const QColor kNavy(0x2b, 0x3a, 0x67);

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

QFont gothic(double points, bool bold = false) {
    return CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), points, bold);
}

// The drill numbers of the units: the hiragana drill's kana; the windmill's and the blocks' keys.
constexpr int kHiraganaDrill = 23;

// A tab page whose tab bar shows only once there is more than one view.
QTabWidget* views(QWidget* parent, const char* name) {
    auto* tabs = new QTabWidget(parent);
    tabs->setObjectName(QLatin1String(name));
    tabs->setTabBarAutoHide(true);
    tabs->setDocumentMode(true);
    return tabs;
}

// A centred note in large type in the place of a page.
QLabel* bigNote(QWidget* parent, const char* name) {
    QLabel* note = label({}, parent, name);
    note->setAlignment(Qt::AlignCenter);
    note->setWordWrap(true);
    note->setFont(gothic(14));
    return note;
}

qsizetype runsOf(const OverviewRow& row) {
    return row.windmillRuns + row.blocksRuns + row.hiraganaRuns;
}

} // namespace

SeisekiWindow::SeisekiWindow(const QString& databasePath, Today today, QWidget* parent)
    : QMainWindow(parent), databasePath_(databasePath), today_(std::move(today)) {
    setObjectName(QStringLiteral("SeisekiWindow"));
    setWindowTitle(QStringLiteral("せいせき (成績)"));
    setFont(gothic(10));
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
    layout->setContentsMargins(12, 8, 12, 8);
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
    pages_->setObjectName(QStringLiteral("pages"));
    pages_->addWidget(buildOverviewPage());
    pages_->addWidget(buildLearnerPage());
    lblProblem_ = bigNote(pages_, "lblProblem");
    pages_->addWidget(lblProblem_);
    layout->addWidget(pages_, 1);
    setCentralWidget(central);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("barExport"));
    progress_->setMaximumWidth(240);
    progress_->hide();
    cmdStop_ = new QPushButton(QStringLiteral("やめる"), this);
    cmdStop_->setObjectName(QStringLiteral("cmdStopExport"));
    cmdStop_->hide();
    lblExported_ = label({}, this, "lblExported");
    lblExported_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(lblExported_, 1);
    statusBar()->addPermanentWidget(progress_);
    statusBar()->addPermanentWidget(cmdStop_);
    connect(cmdStop_, &QPushButton::clicked, this, [this] {
        if (job_)
            job_->cancel();
    });

    start(true);
}

SeisekiWindow::~SeisekiWindow() {
    job_.reset(); // stops an export and waits for it
    for (; running_ > 0; --running_)
        QApplication::restoreOverrideCursor();
}

void SeisekiWindow::buildMenus() {
    const auto item = [this](QMenu* menu, const QString& text, const QKeySequence& keys, auto slot) {
        QAction* action = menu->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    exportActions_ << item(file, QStringLiteral("CSVに 書きだす…"), QKeySequence(QStringLiteral("Ctrl+E")),
                           [this] { exportChosen(Export::Csv); })
                   << item(file, QStringLiteral("PDFに 書きだす (いんさつ用)…"), QKeySequence::Print,
                           [this] { exportChosen(Export::Pdf); })
                   << item(file, QStringLiteral("おうちの 人に わたす PDF (ひとり 1まい)…"), QKeySequence(),
                           [this] { exportChosen(Export::FamilyPdf); });
    file->addSeparator();
    item(file, QStringLiteral("おわる"), QKeySequence::Quit, &QWidget::close);
    QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    item(view, QStringLiteral("クラスの 一覧"), QKeySequence(), &SeisekiWindow::showOverview);
    item(view, QStringLiteral("読みなおす"), QKeySequence::Refresh, &SeisekiWindow::reload);
    QMenu* learners = menuBar()->addMenu(QStringLiteral("学習者(&L)"));
    item(learners, QStringLiteral("学習者の 登録と 名簿…"), QKeySequence(), &SeisekiWindow::manageLearners);
    // Which romaji the hiragana drill accepts on this computer's login: a parent's choice here comes before
    // the school's in the system-wide file.
    QMenu* settings = menuBar()->addMenu(QStringLiteral("せってい(&S)"));
    QMenu* romaji = settings->addMenu(QStringLiteral("ひらがな ドリルの ローマ字"));
    auto* spellings = new QActionGroup(this);
    const auto spelling = [&](const QString& text, const QString& name, const QString& value) {
        QAction* action = romaji->addAction(text);
        action->setObjectName(name);
        action->setCheckable(true);
        spellings->addAction(action);
        connect(action, &QAction::triggered, this, [this, value] { chooseSpellings(value); });
        return action;
    };
    actSpellingsTable_ = spelling(QStringLiteral("ドリルの 表の つづり だけ"),
                                  QStringLiteral("actSpellingsTable"), QStringLiteral("table"));
    actSpellingsIme_ = spelling(QStringLiteral("IMEと おなじ つづりも つかう (n' xn ca qa など)"),
                                QStringLiteral("actSpellingsIme"), QStringLiteral("ime"));
    connect(romaji, &QMenu::aboutToShow, this, &SeisekiWindow::showSpellings);
    showSpellings();
}

void SeisekiWindow::showSpellings() {
    const bool ime = DB_Setting(QStringLiteral("Romaji/Spellings"))
                         .toString()
                         .trimmed()
                         .compare(QLatin1String("ime"), Qt::CaseInsensitive) == 0;
    (ime ? actSpellingsIme_ : actSpellingsTable_)->setChecked(true);
}

void SeisekiWindow::chooseSpellings(const QString& value) {
    if (!DB_SetSetting(QStringLiteral("Romaji/Spellings"), value)) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("せってい"),
                                    QStringLiteral("せっていを ほぞんできませんでした。 このパソコンの "
                                                   "ユーザーの せっていファイルに 書けません。"),
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("settingNotSaved"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    showSpellings();
}

QWidget* SeisekiWindow::buildFilterBar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    comRange_ = new QComboBox(bar);
    comRange_->setObjectName(QStringLiteral("comRange"));
    for (int r = 0; r <= int(Range::Custom); ++r)
        comRange_->addItem(rangeName(Range(r)));
    dtFrom_ = new QDateEdit(today_().addMonths(-1), bar);
    dtTo_ = new QDateEdit(today_(), bar);
    dtFrom_->setObjectName(QStringLiteral("dtFrom"));
    dtTo_->setObjectName(QStringLiteral("dtTo"));
    for (QDateEdit* edit : {dtFrom_, dtTo_}) {
        edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        edit->hide();
    }
    connect(dtFrom_, &QDateEdit::dateChanged, this, [this] { datesEdited(true); });
    connect(dtTo_, &QDateEdit::dateChanged, this, [this] { datesEdited(false); });
    connect(comRange_, &QComboBox::currentIndexChanged, this, &SeisekiWindow::rangeChosen);
    comClass_ = new QComboBox(bar);
    comClass_->setObjectName(QStringLiteral("comClass"));
    comClass_->addItem(QStringLiteral("すべての クラス"), QString());
    comClass_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    txtName_ = new QLineEdit(bar);
    txtName_->setObjectName(QStringLiteral("txtName"));
    txtName_->setPlaceholderText(QStringLiteral("名前・ふりがなで さがす"));
    txtName_->setClearButtonEnabled(true);
    txtName_->setMinimumWidth(QFontMetrics(txtName_->font()).horizontalAdvance(txtName_->placeholderText()) +
                              40);
    txtName_->installEventFilter(this);
    cmdBack_ = new QPushButton(QStringLiteral("◀ クラスの 一覧"), bar);
    cmdBack_->setObjectName(QStringLiteral("cmdBack"));
    cmdBack_->hide();
    connect(cmdBack_, &QPushButton::clicked, this, &SeisekiWindow::showOverview);
    row->addWidget(label(QStringLiteral("きかん"), bar));
    row->addWidget(comRange_);
    row->addWidget(dtFrom_);
    lblTilde_ = label(QStringLiteral("〜"), bar);
    lblTilde_->hide();
    row->addWidget(lblTilde_);
    row->addWidget(dtTo_);
    row->addStretch(1);
    row->addWidget(label(QStringLiteral("クラス"), bar));
    row->addWidget(comClass_);
    row->addWidget(txtName_);
    row->addWidget(cmdBack_);
    return bar;
}

QWidget* SeisekiWindow::buildOverviewPage() {
    pageOverview_ = new QWidget(this);
    pageOverview_->setObjectName(QStringLiteral("pageOverview"));
    auto* layout = new QVBoxLayout(pageOverview_);
    layout->setContentsMargins(0, 4, 0, 0);
    classViews_ = views(pageOverview_, "classViews");
    auto* table = new QWidget(classViews_);
    auto* tableLayout = new QVBoxLayout(table);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(
        label(QStringLiteral("名前を ダブルクリックすると、 その人の ページが ひらきます。 "
                             "見出しを クリックすると ならびかえます (番号で もとの じゅんに "
                             "もどります)。"),
              table));
    overview_ = new OverviewModel(pageOverview_);
    connect(txtName_, &QLineEdit::textChanged, overview_, &OverviewModel::setSearch);
    connect(comClass_, &QComboBox::currentIndexChanged, this, [this] {
        overview_->setClass(comClass_->currentData().toString());
        fillClassMap();
    });
    tblOverview_ = new QTableView(table);
    readOnly(tblOverview_, "tblOverview");
    tblOverview_->setModel(overview_);
    tblOverview_->setSortingEnabled(true);
    tblOverview_->sortByColumn(-1, Qt::AscendingOrder);
    tblOverview_->setWordWrap(false);
    // Nineteen columns fit the window's width: the number, name, class and last day as wide as they are,
    // the figures share the rest; below the smallest useful width the table scrolls instead.
    QHeaderView* header = tblOverview_->horizontalHeader();
    header->setFont(gothic(7.5));
    header->setMinimumSectionSize(36);
    header->setSectionResizeMode(QHeaderView::Stretch);
    for (const int c :
         {int(kNumberColumn), int(kNameColumn), int(kClassColumn), overview_->columnCount() - 1})
        header->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    connect(tblOverview_, &QTableView::activated, this, [this](const QModelIndex& index) {
        showLearner(overview_->index(index.row(), kNameColumn).data().toString());
    });
    tableLayout->addWidget(tblOverview_, 1);
    // With no run yet the list's place says how to start; the class's other views (the live page of a new
    // school server among them) stay within reach.
    listOrEmpty_ = new QStackedWidget(classViews_);
    listOrEmpty_->addWidget(table);
    lblEmpty_ = bigNote(listOrEmpty_, "lblEmpty");
    lblEmpty_->setText(QStringLiteral(
        "まだ れんしゅうの きろくが ありません。\n\nトップメニューから ドリルを えらんで、 "
        "れんしゅうを はじめましょう。\nれんしゅうが おわると、 ここに きろくと グラフが でます。"));
    listOrEmpty_->addWidget(lblEmpty_);
    classViews_->addTab(listOrEmpty_, QStringLiteral("一覧"));
    classMap_ = new UnitMapView(UnitMapView::Scope::Class, classViews_);
    classMap_->setObjectName(QStringLiteral("classMap"));
    classViews_->addTab(classMap_, QStringLiteral("にがてな もじ"));
    layout->addWidget(classViews_, 1);
    return pageOverview_;
}

QWidget* SeisekiWindow::buildLearnerPage() {
    pageLearner_ = new QWidget(this);
    pageLearner_->setObjectName(QStringLiteral("pageLearner"));
    auto* layout = new QVBoxLayout(pageLearner_);
    layout->setContentsMargins(0, 4, 0, 0);
    lblLearner_ = label({}, pageLearner_, "lblLearner");
    lblLearner_->setFont(gothic(14, true));
    lblLearner_->setWordWrap(true);
    layout->addWidget(lblLearner_);
    learnerViews_ = views(pageLearner_, "learnerViews");
    auto* page = new QWidget(learnerViews_);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    lblSummary_ = label({}, page, "lblSummary");
    lblSummary_->setWordWrap(true);
    lblSummary_->setFont(gothic(12));
    lblSummary_->setStyleSheet(QStringLiteral("background: #eef6ff; border-radius: 6px; padding: 8px;"));
    // The summary is read whole, however narrow the window (its height follows its width); the table of
    // runs gives way first.
    lblSummary_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    lblSummary_->installEventFilter(this);
    auto* chartBox = new QWidget(page);
    chartBox->setMinimumHeight(200);
    auto* charts = new QHBoxLayout(chartBox);
    charts->setContentsMargins(0, 0, 0, 0);
    const char* names[] = {"chtWindmill", "chtBlocks", "chtHiragana"};
    for (int i = 0; i < kCharts; ++i) {
        charts_[i] = new ChartView(chartBox);
        charts_[i]->setObjectName(QLatin1String(names[i]));
        charts->addWidget(charts_[i]);
    }
    auto* note = label(chartNote(), page);
    note->setFont(gothic(9));
    tblRuns_ = new QTableWidget(0, int(runHeaders().size()), page);
    readOnly(tblRuns_, "tblRuns");
    tblRuns_->setHorizontalHeaderLabels(runHeaders());
    tblRuns_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pageLayout->addWidget(lblSummary_);
    pageLayout->addWidget(chartBox, 3);
    pageLayout->addWidget(note);
    pageLayout->addWidget(tblRuns_, 2);
    learnerViews_->addTab(page, QStringLiteral("グラフと きろく"));
    learnerMap_ = new UnitMapView(UnitMapView::Scope::Learner, learnerViews_);
    learnerMap_->setObjectName(QStringLiteral("learnerMap"));
    learnerViews_->addTab(learnerMap_, QStringLiteral("にがて マップ"));
    kanaSpeed_ = new ChartView(learnerViews_);
    kanaSpeed_->setObjectName(QStringLiteral("chtKanaSpeed"));
    learnerViews_->addTab(kanaSpeed_, QStringLiteral("ひらがなの はやさ"));
    layout->addWidget(learnerViews_, 1);
    return pageLearner_;
}

void SeisekiWindow::addClassView(QWidget* view, const QString& title) {
    classViews_->addTab(view, title);
}

void SeisekiWindow::addLearnerView(QWidget* view, const QString& title) {
    learnerViews_->addTab(view, title);
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

void SeisekiWindow::datesEdited(bool fromEdited) {
    // The period always reads forward: a start stepped past the end takes the end along, and the other way.
    if (dtFrom_->date() > dtTo_->date()) {
        QDateEdit* other = fromEdited ? dtTo_ : dtFrom_;
        const QSignalBlocker block(other);
        other->setDate(fromEdited ? dtFrom_->date() : dtTo_->date());
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

void SeisekiWindow::showClass(const QString& className) {
    const int index = comClass_->findData(className.trimmed(), Qt::UserRole, Qt::MatchFixedString);
    if (index >= 0)
        comClass_->setCurrentIndex(index);
    else if (!className.trimmed().isEmpty()) {
        comClass_->addItem(className.trimmed(), className.trimmed());
        comClass_->setCurrentIndex(comClass_->count() - 1);
    }
}

void SeisekiWindow::reload() {
    start(learner_.isEmpty());
}

bool SeisekiWindow::loading() const {
    return running_ > 0;
}

void SeisekiWindow::start(bool overview) {
    const DateRange range = currentRange();
    auto data = std::make_shared<Shown>();
    data->overview = overview;
    data->learner = learner_;
    data->filter = {overview ? QString() : learner_, range.from, range.to, {}, {}};
    const int generation = ++generation_;
    ++running_;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    struct Outcome {
        bool ok = true;
        halvor::db::Problem problem = halvor::db::Problem::None;
        halvor::db::Problem serverAway = halvor::db::Problem::None;
    };
    auto outcome = std::make_shared<Outcome>();
    // On the library's thread for reads, which ends before the program's statics however it ends (a lost
    // display too); a window gone meanwhile gets nothing.
    const auto read = [data, outcome, path = databasePath_] {
        bool ok = DB_KnownLearners(path, data->learners) != 0;
        ok = ok && (data->overview ? DB_ReadRunGroups(path, data->filter, data->groups)
                                   : DB_ReadRuns(path, data->filter, data->runs)) != 0;
        // The maps compare the period with the one of the same length before it.
        const auto [beforeFrom, beforeTo] = halvor::PeriodBefore(data->filter.from, data->filter.to);
        DB_RUN_FILTER before = data->filter;
        before.from = beforeFrom;
        before.to = beforeTo;
        if (data->overview) {
            ok = ok && DB_SumUnits(path, data->filter, data->unitSums) != 0;
            ok = ok && (!beforeFrom.isValid() || DB_SumUnits(path, before, data->unitSumsBefore) != 0);
        } else {
            before.to = data->filter.to;
            ok = ok && DB_ReadUnits(path, beforeFrom.isValid() ? before : data->filter, 0, data->units) != 0;
        }
        outcome->ok = ok;
        outcome->problem = ok ? halvor::db::Problem::None : DB_LastProblem();
        outcome->serverAway = ok ? DB_ServerProblem() : halvor::db::Problem::None;
    };
    halvor::db::readInBackground(this, read, [this, data, outcome, generation] {
        --running_;
        QApplication::restoreOverrideCursor();
        // A later read (another filter, another page) has the last word.
        if (generation == generation_)
            apply(data, outcome->ok, outcome->problem, outcome->serverAway);
    });
}

void SeisekiWindow::apply(const std::shared_ptr<Shown>& data, bool ok, halvor::db::Problem problem,
                          halvor::db::Problem serverAway) {
    using halvor::db::Problem;
    const bool away = serverAway != Problem::None;
    fraServer_->setVisible(!ok || away);
    // "Cannot reach the server" is what the away text says already; other reasons come before it.
    const QString why =
        serverAway == Problem::Offline ? QString() : DB_ProblemText(serverAway) + QLatin1Char(' ');
    lblServer_->setText(!ok ? QStringLiteral("せいせきを 読めませんでした。 ") + DB_ProblemText(problem)
                            : why + DB_ServerAwayText());
    shown_ = *data;
    cmdBack_->setVisible(!data->overview);
    txtName_->setEnabled(data->overview);
    comClass_->setEnabled(data->overview);
    // The classes of the class list, the one chosen kept.
    const QString chosen = comClass_->currentData().toString();
    {
        const QSignalBlocker block(comClass_);
        while (comClass_->count() > 1)
            comClass_->removeItem(1);
        for (const QString& c : classesOf(data->learners))
            comClass_->addItem(c, c);
        if (!chosen.isEmpty() && comClass_->findData(chosen) < 0)
            comClass_->addItem(chosen, chosen);
        comClass_->setCurrentIndex(std::max(0, comClass_->findData(chosen)));
    }
    if (!ok) {
        lblProblem_->setText(
            QStringLiteral("せいせきを 読めませんでした。\n%1").arg(DB_ProblemText(problem)));
        pages_->setCurrentWidget(lblProblem_);
    } else if (data->overview) {
        const QList<OverviewRow> rows = buildOverview(data->learners, data->groups);
        const bool first = std::exchange(firstLoad_, false);
        if (first && rows.size() == 1) {
            // One learner, the home case: straight to that learner's page.
            showLearner(rows.first().learner);
            return;
        }
        overview_->setRows(rows);
        overview_->setClass(comClass_->currentData().toString());
        fillClassMap();
        listOrEmpty_->setCurrentIndex(rows.isEmpty() ? 1 : 0);
        pages_->setCurrentWidget(pageOverview_);
    } else {
        fillLearner(*data);
        pages_->setCurrentWidget(pageLearner_);
    }
    emit loaded();
}

void SeisekiWindow::fillLearner(const Shown& data) {
    QStringList about{QStringLiteral("%1 さん").arg(data.learner)};
    for (const DB_LEARNER& l : data.learners) {
        if (l.name.compare(data.learner, Qt::CaseInsensitive) != 0)
            continue;
        if (!l.className.isEmpty())
            about << QStringLiteral("（%1%2）")
                         .arg(l.className, l.number > 0 ? QStringLiteral(" %1番").arg(l.number) : QString());
    }
    about << QStringLiteral("　") + rangeText({data.filter.from, data.filter.to});
    lblLearner_->setText(about.join(QString()));
    lblSummary_->setText(summarize(data.runs));
    // Measured once laid out at its width; a resize measures again.
    lblSummary_->setMinimumHeight(0);
    QTimer::singleShot(0, this, [this] { fitSummary(); });
    const auto charts = learnerCharts(data.runs);
    for (int i = 0; i < kCharts; ++i)
        charts_[i]->setChart(charts[i]);
    tblRuns_->setRowCount(int(data.runs.size()));
    // Newest first: the day just practised is what a learner looks for.
    for (qsizetype r = 0; r < data.runs.size(); ++r) {
        const QStringList fields = runFields(valuesOf(data.runs[data.runs.size() - 1 - r]), DateForm::Screen);
        for (qsizetype c = 0; c < fields.size(); ++c) {
            auto* item = new QTableWidgetItem(fields[c]);
            if (c >= 3 && c <= 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblRuns_->setItem(int(r), int(c), item);
        }
    }
    kanaSpeed_->setChart(kanaPerMinuteChart(data.runs));
    QList<DB_UNIT_ROW> kana;
    QList<DB_UNIT_ROW> keys;
    for (const DB_UNIT_ROW& row : data.units)
        (row.drill == kHiraganaDrill ? kana : keys) << row;
    learnerMap_->setUnits(halvor::UnitsWithChange(halvor::ToUnitHistory(kana), data.filter.from,
                                                  data.filter.to, halvor::Weighting::KanaFrequency),
                          halvor::UnitsWithChange(halvor::ToUnitHistory(keys), data.filter.from,
                                                  data.filter.to, halvor::Weighting::None));
}

// The kana the class chosen misses (everyone's without a class), from the sums read with the overview.
void SeisekiWindow::fillClassMap() {
    const QString className = comClass_->currentData().toString();
    QStringList learners;
    for (const DB_LEARNER& l : shown_.learners) {
        if (!className.isEmpty() && l.className.compare(className, Qt::CaseInsensitive) == 0)
            learners << l.name;
    }
    // A class without learners on the list shows nothing rather than everyone.
    if (!className.isEmpty() && learners.isEmpty()) {
        classMap_->setUnits({}, {});
        return;
    }
    const auto rated = [&](const QList<DB_UNIT_SUM>& sums, const QList<int>& drills, halvor::Weighting w) {
        return halvor::RateUnits(halvor::SumStoredUnits(sums, drills, learners), w);
    };
    classMap_->setUnits(
        halvor::UnitsWithChange(
            rated(shown_.unitSums, {kHiraganaDrill}, halvor::Weighting::KanaFrequency),
            rated(shown_.unitSumsBefore, {kHiraganaDrill}, halvor::Weighting::KanaFrequency)),
        halvor::UnitsWithChange(rated(shown_.unitSums, {11, 12}, halvor::Weighting::None),
                                rated(shown_.unitSumsBefore, {11, 12}, halvor::Weighting::None)));
}

void SeisekiWindow::fitSummary() {
    const int needed = lblSummary_->heightForWidth(lblSummary_->width());
    if (needed > 0 && needed != lblSummary_->minimumHeight())
        lblSummary_->setMinimumHeight(needed);
}

bool SeisekiWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblSummary_ && event->type() == QEvent::Resize)
        fitSummary();
    // The search box would take the export's keys (Ctrl+E moves to the line's end); the menu has them first.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QAction* action : std::as_const(exportActions_)) {
            if (!action->shortcut().isEmpty() &&
                action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
                event->ignore();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void SeisekiWindow::exportChosen(Export kind) {
    if (job_)
        return;
    const bool csv = kind == Export::Csv;
    const QString title = csv                   ? QStringLiteral("CSVに 書きだす")
                          : kind == Export::Pdf ? QStringLiteral("PDFに 書きだす")
                                                : QStringLiteral("おうちの 人に わたす PDF");
    const QString name = csv ? QStringLiteral("seiseki.csv") : QStringLiteral("seiseki.pdf");
    const QString filter = csv ? QStringLiteral("CSV (*.csv)") : QStringLiteral("PDF (*.pdf)");
    const QString file =
        askFile ? askFile(title, name, filter) : QFileDialog::getSaveFileName(this, title, name, filter);
    if (!file.isEmpty())
        exportTo(kind, file);
}

void SeisekiWindow::exportTo(Export kind, const QString& file) {
    if (job_)
        return;
    // What the screen shows: its period, and on the overview its learners in their order.
    const bool overview = shown_.overview;
    const QList<OverviewRow> rows = overview ? overview_->shownRows() : QList<OverviewRow>{};
    QStringList names;
    qsizetype runs = 0;
    for (const OverviewRow& row : rows) {
        names << row.learner;
        runs += runsOf(row);
    }
    DB_RUN_FILTER filter = shown_.filter;
    if (overview && overview_->filtered())
        filter.learners = names.isEmpty() ? QStringList{QStringLiteral("\x01")} : names; // nobody shown: none
    if (!overview)
        runs = shown_.runs.size();
    ReportData report;
    report.kind = kind == Export::Pdf && overview ? ReportData::Kind::Class : ReportData::Kind::Learners;
    report.filter = filter;
    report.className = overview ? comClass_->currentData().toString() : QString();
    report.rows = rows;
    report.learners = overview ? names : QStringList{learner_};
    report.known = shown_.learners;
    report.runs = overview ? QList<DB_RUN>{} : shown_.runs;
    report.today = today_();
    const QString path = databasePath_;
    const bool newestFirst = !overview;
    job_ = std::make_unique<ExportJob>([=](ExportJob& job, QString* message) mutable {
        QString why;
        const auto progress = [&job, runs](qsizetype done) { return job.report(done, runs); };
        if (kind == Export::Csv) {
            qsizetype written = 0;
            if (!writeRunsCsv(file, {path, filter, names, newestFirst}, progress, &written, &why)) {
                *message = QStringLiteral("書きだせませんでした。 %1").arg(why);
                return false;
            }
            *message = QStringLiteral("%1件の きろくを %2 に 書きだしました。").arg(written).arg(file);
            return true;
        }
        if (report.runs.isEmpty() && !DB_ReadRuns(path, filter, report.runs)) {
            *message = QStringLiteral("書きだせませんでした。 %1").arg(DB_ProblemText(DB_LastProblem()));
            return false;
        }
        const bool ok = writeReportPdf(
            file, report, [&job](int done, int steps) { job.report(done, steps); }, &why);
        *message = ok ? QStringLiteral("%1 に 書きだしました。").arg(file)
                      : QStringLiteral("書きだせませんでした。 %1").arg(why);
        return ok;
    });
    for (QAction* action : std::as_const(exportActions_))
        action->setEnabled(false);
    progress_->setRange(0, 0);
    progress_->show();
    cmdStop_->show();
    lblExported_->setText(QStringLiteral("書きだしています…"));
    auto* timer = new QTimer(job_.get());
    connect(timer, &QTimer::timeout, this, [this] {
        if (job_ && job_->total() > 0) {
            progress_->setRange(0, 1000);
            progress_->setValue(int(std::min<qsizetype>(1000, job_->done() * 1000 / job_->total())));
        }
    });
    timer->start(50);
    connect(job_.get(), &ExportJob::finished, this, [this](bool ok, const QString& message) {
        job_.release()->deleteLater();
        progress_->hide();
        cmdStop_->hide();
        for (QAction* action : std::as_const(exportActions_))
            action->setEnabled(true);
        lblExported_->setText(message);
        if (!ok && !askFile)
            QMessageBox::warning(this, QStringLiteral("書きだし"), message);
        emit exported(ok, message);
    });
    job_->start();
}

void SeisekiWindow::manageLearners() {
    if (!learnersDialog_)
        learnersDialog_ = new LearnersDialog(databasePath_, this);
    learnersDialog_->exec();
    reload();
}

} // namespace seiseki
