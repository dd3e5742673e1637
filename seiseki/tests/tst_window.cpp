// The viewer's window on the offscreen platform: the first page it opens, the overview's sorting and
// filters, a learner's page, the learners' management, and what a teacher sees when the server is away.
#include "App.h"
#include "ChartView.h"
#include "DbTestKit.h"
#include "Export.h"
#include "LearnersDialog.h"
#include "RosterDialog.h"
#include "RunData.h"
#include "UnitMapView.h"
#include "Window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace seiseki;
using namespace seisekitest;

namespace {

const QDate kToday(2026, 12, 8);

const QList<Run> kClass = {
    {"alice", {2026, 3, 31}, 'W', "3", 120},      {"alice", {2026, 11, 20}, 'W', "3", 128},
    {"alice", {2026, 12, 4}, 'W', "3", 150},      {"alice", {2026, 12, 7}, 'W', "5", 90},
    {"alice", {2026, 11, 2}, 'B', "2", 80},       {"alice", {2026, 12, 7}, 'B', "4", 60},
    {"alice", {2026, 11, 2}, 'H', "AI", 95},      {"alice", {2026, 12, 7}, 'H', "GA", 80},
    {"Bob", {2026, 4, 1}, 'H', "GA", 70},         {"Bob", {2026, 3, 31}, 'B', "2", 55},
    {"田中 はると", {2026, 12, 1}, 'W', "1", 40},
};

// A class as a roster gives it: numbers out of the names' order, one learner without a number.
const QList<DB_LEARNER> kRoster = {{"alice", "1組", true, 3, "ありす"},
                                   {"Bob", "1組", true, 1, "ぼぶ"},
                                   {"田中 はると", "2組", true, 1, "たなか はると"},
                                   {"上田 そら", "1組", true, 2, "うえだ そら"},
                                   {"伊藤 あや", "1組", true, 0, "いとう あや"}};

void screenshot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (!dir.isEmpty())
        w.grab().save(dir + QStringLiteral("/seiseki_") + name + QStringLiteral(".png"));
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void theFirstPageFollowsWhatTheDatabaseHolds_data();
    void theFirstPageFollowsWhatTheDatabaseHolds();
    void theOverviewListsTheClassInRosterOrderAndSorts();
    void theClassFilterAndTheSearchNarrowTheOverview();
    void aLearnersPageSpeaksOfThePeriodChosen();
    void theMapsShowWhatIsHard();
    void steppingTheStartPastTheEndTakesTheEndAlong();
    void theServerAwayShowsLocalRowsAndARetry();
    void exportsWriteWhatTheScreenShows_data();
    void exportsWriteWhatTheScreenShows();
    void theExportKeyWorksFromTheSearchBox();
    void noColumnIsCutAtTheDefaultSize();
    void learnersAreRegisteredImportedUndoneAndRemovedAfterAsking();
    void theRosterPreviewShowsWhatWillBeRegistered();
    void qtsOwnDialogsSpeakJapanese();
    void theRomajiSpellingsAreTheParentsChoice_data();
    void theRomajiSpellingsAreTheParentsChoice();

private:
    // The window once its first read is shown.
    std::unique_ptr<SeisekiWindow> open(const QString& database);
    bool waitLoaded(SeisekiWindow& w);
    void storeClass();

    QString m_base = scratchBase(); // before init() points VUR_MDB into each test's own folder
    std::optional<QTemporaryDir> m_dir;
    QString m_db;
};

void TestWindow::init() {
    m_dir.emplace(m_base + QStringLiteral("/seiseki-window-XXXXXX"));
    m_db = m_dir->filePath(QStringLiteral("VUR.MDB"));
    qputenv("VUR_MDB", m_dir->filePath(QStringLiteral("local.mdb")).toUtf8());
}

void TestWindow::cleanup() {
    m_dir.reset();
}

void TestWindow::storeClass() {
    for (const Run& run : kClass)
        QVERIFY(store(m_db, run));
    QVERIFY(DB_RegisterLearners(m_db, kRoster));
}

bool TestWindow::waitLoaded(SeisekiWindow& w) {
    QSignalSpy spy(&w, &SeisekiWindow::loaded);
    return spy.wait(10000) && !w.loading();
}

std::unique_ptr<SeisekiWindow> TestWindow::open(const QString& database) {
    auto w = std::make_unique<SeisekiWindow>(database, [] { return kToday; });
    w->show();
    // The home case opens a learner's page after a first read of the overview.
    QSignalSpy spy(w.get(), &SeisekiWindow::loaded);
    spy.wait(10000);
    if (!QTest::qWaitFor([&] { return !w->loading(); }, 10000))
        qWarning("the window is still reading");
    return w;
}

namespace {

QStringList column(QAbstractItemModel* model, int c) {
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, c).data().toString();
    return out;
}

} // namespace

void TestWindow::theFirstPageFollowsWhatTheDatabaseHolds_data() {
    QTest::addColumn<int>("runs"); // how many of the class's runs are stored
    QTest::addColumn<QString>("page");
    QTest::newRow("empty: how to start, the class's views at hand") << 0 << "pageOverview";
    QTest::newRow("one learner at home: that learner's page") << 8 << "pageLearner";
    QTest::newRow("a class: the overview") << int(kClass.size()) << "pageOverview";
}

void TestWindow::theFirstPageFollowsWhatTheDatabaseHolds() {
    QFETCH(int, runs);
    QFETCH(QString, page);
    for (int i = 0; i < runs; ++i)
        QVERIFY(store(m_db, kClass[i]));
    auto w = open(m_db);
    // A view of the class added as the live page is.
    auto* added = new QLabel(QStringLiteral("いまの ようす"));
    w->addClassView(added, added->text());
    auto* pages = w->findChild<QStackedWidget*>("pages");
    QCOMPARE(pages->currentWidget()->objectName(), page);
    auto* empty = w->findChild<QLabel*>("lblEmpty");
    QCOMPARE(empty->isVisible(), runs == 0);
    if (runs == 0) {
        QVERIFY(empty->text().contains(QStringLiteral("ドリルを えらんで")));
        screenshot(*w, QStringLiteral("empty"));
        auto* views = w->findChild<QTabWidget*>("classViews");
        views->setCurrentWidget(added);
        QVERIFY(added->isVisible());
    }
    if (page == QLatin1String("pageLearner")) {
        QCOMPARE(w->learner(), QStringLiteral("alice"));
        QVERIFY(w->findChild<QPushButton*>("cmdBack")->isVisible());
    }
}

void TestWindow::theOverviewListsTheClassInRosterOrderAndSorts() {
    storeClass();
    auto w = open(m_db);
    auto* table = w->findChild<QTableView*>("tblOverview");
    QAbstractItemModel* model = table->model();
    // Class, then number, then those without one by reading; not the names' code points.
    QCOMPARE(column(model, kNameColumn),
             (QStringList{"Bob", "上田 そら", "alice", "伊藤 あや", "田中 はると"}));
    QCOMPARE(column(model, kNumberColumn), (QStringList{"1", "2", "3", "", "1"}));
    screenshot(*w, QStringLiteral("overview"));
    // Windmill level 3's best speed, either way: the learners with none stay last.
    const int level3 = kFirstFigureColumn + 3;
    table->sortByColumn(level3, Qt::DescendingOrder);
    QCOMPARE(column(model, level3).mid(0, 2), (QStringList{"150", ""}));
    table->sortByColumn(level3, Qt::AscendingOrder);
    QCOMPARE(column(model, level3).first(), QStringLiteral("150"));
    QCOMPARE(column(model, level3).last(), QString());
    // The last day, newest first, then back to the roster's order by the number.
    table->sortByColumn(model->columnCount() - 1, Qt::DescendingOrder);
    QCOMPARE(column(model, model->columnCount() - 1).first(), QStringLiteral("2026/12/07"));
    QCOMPARE(column(model, model->columnCount() - 1).last(), QString());
    table->sortByColumn(kNumberColumn, Qt::AscendingOrder);
    QCOMPARE(column(model, kNameColumn).first(), QStringLiteral("Bob"));
}

void TestWindow::theClassFilterAndTheSearchNarrowTheOverview() {
    storeClass();
    auto w = open(m_db);
    QAbstractItemModel* model = w->findChild<QTableView*>("tblOverview")->model();
    auto* classes = w->findChild<QComboBox*>("comClass");
    QCOMPARE(classes->count(), 3); // every class, 1組, 2組
    classes->setCurrentIndex(classes->findText(QStringLiteral("2組")));
    QCOMPARE(column(model, kNameColumn), QStringList{"田中 はると"});
    classes->setCurrentIndex(0);
    auto* search = w->findChild<QLineEdit*>("txtName");
    // A reading typed in katakana with a full-width space; a name typed without its space.
    search->setText(QStringLiteral("タナカ　ハルト"));
    QCOMPARE(column(model, kNameColumn), QStringList{"田中 はると"});
    search->setText(QStringLiteral("上田そら"));
    QCOMPARE(column(model, kNameColumn), QStringList{"上田 そら"});
    search->setText(QStringLiteral("ALI"));
    QCOMPARE(column(model, kNameColumn), QStringList{"alice"});
    // A new read (another period) keeps the class and the search.
    classes->setCurrentIndex(classes->findText(QStringLiteral("1組")));
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::SchoolYear));
    QVERIFY(waitLoaded(*w));
    QCOMPARE(classes->currentText(), QStringLiteral("1組"));
    QCOMPARE(column(model, kNameColumn), QStringList{"alice"});
    screenshot(*w, QStringLiteral("overview_filtered"));
}

void TestWindow::aLearnersPageSpeaksOfThePeriodChosen() {
    storeClass();
    auto w = open(m_db);
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::SchoolYear));
    QVERIFY(waitLoaded(*w));
    w->showLearner(QStringLiteral("alice"));
    QVERIFY(waitLoaded(*w));
    QCOMPARE(
        w->findChild<QLabel*>("lblSummary")->text(),
        QStringLiteral("この きかんに 4日、 7回 れんしゅうしました。 風車 レベル3の さいこう速度が 1分に "
                       "128回 から 150回 に あがりました。"));
    QVERIFY(w->findChild<QLabel*>("lblLearner")->text().contains(QStringLiteral("（1組 3番）")));
    const auto chart = [&](const char* name) { return w->findChild<ChartView*>(name)->chart(); };
    QCOMPARE(chart("chtWindmill").seriesNames, (QStringList{"レベル3", "レベル5"}));
    QCOMPARE(chart("chtWindmill").rowLabels, (QStringList{"2026/11/20", "2026/12/04", "2026/12/07"}));
    QCOMPARE(chart("chtBlocks").seriesNames, (QStringList{"2文字", "4文字"}));
    QCOMPARE(chart("chtHiragana").seriesNames, (QStringList{"あいうえお", "濁音"}));
    auto* runs = w->findChild<QTableWidget*>("tblRuns");
    QCOMPARE(runs->rowCount(), 7);
    QCOMPARE(runs->item(0, 0)->text(), QStringLiteral("2026/12/07")); // newest first, the one form of date
    screenshot(*w, QStringLiteral("learner"));
    // The first term: nothing practised, and the page says so of that period.
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::Term1));
    QVERIFY(waitLoaded(*w));
    QCOMPARE(w->findChild<QLabel*>("lblSummary")->text(),
             QStringLiteral("この きかんには れんしゅうの きろくが ありません。"));
    QVERIFY(!chart("chtBlocks").hasValues());
    w->resize(800, 600);
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::All));
    QVERIFY(waitLoaded(*w));
    QTest::qWait(50); // the summary is measured once laid out
    auto* summary = w->findChild<QLabel*>("lblSummary");
    QCOMPARE(summary->height(), summary->heightForWidth(summary->width())); // read whole
    screenshot(*w, QStringLiteral("learner_800x600"));
    QTest::mouseClick(w->findChild<QPushButton*>("cmdBack"), Qt::LeftButton);
    QVERIFY(waitLoaded(*w));
    QVERIFY(w->learner().isEmpty());
}

void TestWindow::theMapsShowWhatIsHard() {
    storeClass();
    // alice's hiragana runs: き missed more this month than in November; Bob's: し missed; a windmill run.
    const auto storeUnits = [&](const QString& learner, const QDate& day, int drill,
                                const QList<DB_UNIT>& units) {
        qputenv("HALVOR_LEARNER", learner.toUtf8());
        DB_T_KEY key;
        DB_T_DIGIT digit;
        key.Y4mmdd = digit.Y4mmdd = day;
        key.Tavrel = digit.Pelvoran = std::int16_t(drill);
        key.Round = digit.Round = 1;
        key.Y4mmddFlag = key.TavrelFlag = key.RoundFlag = digit.Y4mmddFlag = digit.PelvoranFlag =
            digit.RoundFlag = 1;
        QVERIFY(drill == 12 ? DB_InsertT_Digit(m_db, &digit, units) : DB_InsertT_Key(m_db, &key, units));
        qunsetenv("HALVOR_LEARNER");
    };
    // Three runs each: enough to judge a unit.
    for (int day = 10; day < 13; ++day) {
        storeUnits("alice", {2026, 11, day}, 23, {{"き", 10, 1, 700, "s"}, {"か", 10, 0, 500, {}}});
        storeUnits("alice", {2026, 12, day - 8}, 23, {{"き", 10, 5, 900, "s"}, {"か", 10, 0, 450, {}}});
        storeUnits("alice", {2026, 12, day - 8}, 12, {{"f", 30, 9, 300, "d"}, {"j", 30, 0, 280, {}}});
        storeUnits("Bob", {2026, 12, day - 8}, 23, {{"し", 10, 6, 800, "c"}, {"か", 10, 1, 500, "g"}});
        storeUnits("田中 はると", {2026, 12, day - 8}, 23, {{"ぬ", 10, 9, 800, "m"}}); // 2組
    }
    auto w = open(m_db);
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::ThisMonth));
    QVERIFY(waitLoaded(*w));
    auto* classMap = w->findChild<UnitMapView*>("classMap");
    auto* comClass = w->findChild<QComboBox*>("comClass");
    comClass->setCurrentIndex(comClass->findData(QStringLiteral("1組")));
    // The class's sums name no wrong key; 2組's ぬ is not 1組's.
    QCOMPARE(classMap->listedRows(),
             (QStringList{"し 30 18 60%  まえの きかんは なし", "き 30 15 50%  ミスが ふえた（+40ポイント）",
                          "か 60 3 5%  ミスが ふえた（+5ポイント）"}));
    w->findChild<QTabWidget*>("classViews")->setCurrentWidget(classMap);
    screenshot(*w, QStringLiteral("class_map"));
    w->showLearner(QStringLiteral("alice"));
    QVERIFY(waitLoaded(*w));
    auto* learnerMap = w->findChild<UnitMapView*>("learnerMap");
    QCOMPARE(learnerMap->listedRows().value(0),
             QStringLiteral("き 30 15 50% s ミスが ふえた（+40ポイント）"));
    QVERIFY(learnerMap->listedRows().join(' ').contains(QStringLiteral("f 90 27 30% d")));
    w->findChild<QTabWidget*>("learnerViews")->setCurrentWidget(learnerMap);
    screenshot(*w, QStringLiteral("learner_map"));
    // Kana per minute of the lessons' runs (alice typed あいうえお's 50 kana in 95 s in the whole year),
    // beside the targets.
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::All));
    QVERIFY(waitLoaded(*w));
    auto* speed = w->findChild<ChartView*>("chtKanaSpeed");
    QCOMPARE(speed->chart().rowLabels, (QStringList{"2026/11/02_1", "2026/12/07_1"}));
    QCOMPARE(speed->chart().cells.value(0), (QVector<double>{50 / 95.0 * 60, 40, 60}));
    QCOMPARE(speed->chart().cells.value(1), (QVector<double>{106 / 80.0 * 60, 40, 60}));
    w->findChild<QTabWidget*>("learnerViews")->setCurrentWidget(speed);
    screenshot(*w, QStringLiteral("kana_speed"));
}

void TestWindow::steppingTheStartPastTheEndTakesTheEndAlong() {
    storeClass();
    auto w = open(m_db);
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::Custom));
    QVERIFY(waitLoaded(*w));
    auto* from = w->findChild<QDateEdit*>("dtFrom");
    auto* to = w->findChild<QDateEdit*>("dtTo");
    to->setDate(QDate(2026, 12, 1));
    QVERIFY(waitLoaded(*w));
    from->setDate(QDate(2026, 12, 5));
    QVERIFY(waitLoaded(*w));
    QCOMPARE(to->date(), QDate(2026, 12, 5));
    QCOMPARE(w->shown().filter.from, QDate(2026, 12, 5));
    QCOMPARE(w->shown().filter.to, QDate(2026, 12, 5));
    to->setDate(QDate(2026, 3, 31));
    QVERIFY(waitLoaded(*w));
    QCOMPARE(from->date(), QDate(2026, 3, 31));
    // What the fields say is what the table shows: alice's and Bob's runs of 31 March.
    QCOMPARE(
        w->findChild<QTableView*>("tblOverview")->model()->index(2, kFirstFigureColumn).data().toString(),
        QStringLiteral("1"));
}

void TestWindow::theServerAwayShowsLocalRowsAndARetry() {
    const QString local = m_dir->filePath(QStringLiteral("local.mdb"));
    for (const Run& run : kClass)
        QVERIFY(store(local, run));
    auto w = open(QStringLiteral("postgresql://nobody@/halvor?host=%1").arg(m_dir->filePath("no-server")));
    QVERIFY(w->findChild<QFrame*>("fraServer")->isVisible());
    QVERIFY(w->findChild<QLabel*>("lblServer")->text().contains(DB_ServerAwayText()));
    QCOMPARE(w->findChild<QTableView*>("tblOverview")->model()->rowCount(), 3);
    screenshot(*w, QStringLiteral("server_away"));
    QTest::mouseClick(w->findChild<QPushButton*>("cmdRetry"), Qt::LeftButton);
    QVERIFY(waitLoaded(*w));
    QVERIFY(w->findChild<QFrame*>("fraServer")->isVisible());
}

void TestWindow::exportsWriteWhatTheScreenShows_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("learner");      // empty: the overview, filtered to 1組 and sorted by name
    QTest::addColumn<QStringList>("expected"); // the CSV's learners line by line, or texts of the PDF
    QTest::newRow("CSV of the class shown, in the order shown")
        << int(SeisekiWindow::Export::Csv) << ""
        << QStringList{"alice 2026-11-02", "alice 2026-11-02", "alice 2026-11-20", "alice 2026-12-04",
                       "alice 2026-12-07", "alice 2026-12-07", "alice 2026-12-07", "Bob 2026-04-01"};
    QTest::newRow("CSV of a learner, newest first")
        << int(SeisekiWindow::Export::Csv) << "Bob" << QStringList{"Bob 2026-04-01"};
    QTest::newRow("class PDF of the rows shown")
        << int(SeisekiWindow::Export::Pdf) << ""
        << QStringList{"クラスの れんしゅうの きろく 1組", "クラス: 1組", "alice", "Bob", "1 / 1 ページ"};
    QTest::newRow("a page for each family")
        << int(SeisekiWindow::Export::FamilyPdf) << ""
        << QStringList{"alice さんの れんしゅうの きろく", "伊藤 あや さんの れんしゅうの きろく",
                       "Bob さんの れんしゅうの きろく", "4 / 4 ページ"};
}

void TestWindow::exportsWriteWhatTheScreenShows() {
    QFETCH(int, kind);
    QFETCH(QString, learner);
    QFETCH(QStringList, expected);
    storeClass();
    auto w = open(m_db);
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::SchoolYear));
    QVERIFY(waitLoaded(*w));
    if (learner.isEmpty()) {
        auto* classes = w->findChild<QComboBox*>("comClass");
        classes->setCurrentIndex(classes->findText(QStringLiteral("1組")));
        // 1組's four by reading; two of them have run this school year, alice and Bob.
        w->findChild<QTableView*>("tblOverview")->sortByColumn(kNameColumn, Qt::AscendingOrder);
    } else {
        w->showLearner(learner);
        QVERIFY(waitLoaded(*w));
    }
    const bool csv = kind == int(SeisekiWindow::Export::Csv);
    const QString file = m_dir->filePath(csv ? QStringLiteral("out.csv") : QStringLiteral("out.pdf"));
    QSignalSpy done(w.get(), &SeisekiWindow::exported);
    w->exportTo(SeisekiWindow::Export(kind), file);
    QVERIFY(w->exporting());
    QVERIFY(done.wait(30000));
    QVERIFY2(done.first().at(0).toBool(), qPrintable(done.first().at(1).toString()));
    // The teacher is told where the file went.
    QVERIFY(w->findChild<QLabel*>("lblExported")->text().contains(file));
    screenshot(*w, QStringLiteral("exported"));
    QStringList got;
    if (csv) {
        const QList<QStringList> records = parseCsv(QString::fromUtf8(readAll(file)));
        for (qsizetype r = 1; r < records.size(); ++r)
            got << records[r][0] + ' ' + records[r][1];
        QCOMPARE(got, expected);
        return;
    }
    QProcess text;
    text.start("pdftotext", {"-enc", "UTF-8", file, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QString pdf = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    for (const QString& t : expected)
        QVERIFY2(pdf.contains(t), qPrintable(t + " not in: " + pdf.left(400)));
    QVERIFY(!pdf.contains(QStringLiteral("田中 はると")));
}

void TestWindow::theExportKeyWorksFromTheSearchBox() {
    storeClass();
    auto w = open(m_db);
    QStringList asked;
    w->askFile = [&](const QString& title, const QString&, const QString&) {
        asked << title;
        return QString();
    };
    auto* search = w->findChild<QLineEdit*>("txtName");
    w->activateWindow();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("ali"));
    QTest::keyClick(search, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(asked, QStringList{QStringLiteral("CSVに 書きだす")});
    QCOMPARE(search->text(), QStringLiteral("ali"));
}

void TestWindow::noColumnIsCutAtTheDefaultSize() {
    storeClass();
    // A longer name and class than the others, as a school may have.
    QVERIFY(DB_RegisterLearners(m_db, {{"佐々木 ひまわり", "6年2組", true, 12, {}}}));
    auto w = open(m_db);
    QCOMPARE(w->size(), QSize(1024, 720));
    auto* table = w->findChild<QTableView*>("tblOverview");
    QApplication::processEvents();
    // Every column in view, none narrower than its text.
    QVERIFY2(table->horizontalHeader()->length() <= table->viewport()->width(),
             qPrintable(QString::number(table->horizontalHeader()->length())));
    QAbstractItemModel* model = table->model();
    const QFontMetrics cells(table->font());
    const QFontMetrics headers(table->horizontalHeader()->font());
    for (int c = 0; c < model->columnCount(); ++c) {
        int widest = 0;
        for (const QString& line : model->headerData(c, Qt::Horizontal).toString().split('\n'))
            widest = std::max(widest, headers.horizontalAdvance(line));
        for (int r = 0; r < model->rowCount(); ++r)
            widest = std::max(widest, cells.horizontalAdvance(model->index(r, c).data().toString()));
        QVERIFY2(
            table->columnWidth(c) >= widest + 4,
            qPrintable(QStringLiteral("column %1: %2 < %3").arg(c).arg(table->columnWidth(c)).arg(widest)));
    }
}

void TestWindow::learnersAreRegisteredImportedUndoneAndRemovedAfterAsking() {
    QVERIFY(store(m_db, kClass.first()));
    QVERIFY(DB_RegisterLearners(m_db, {{"はると", "1組", true, 5, "はると"}}));
    LearnersDialog dialog(m_db);
    dialog.show();
    auto* list = dialog.findChild<QTableWidget*>("lbxLearners");
    QCOMPARE(list->rowCount(), 2); // はると registered, alice seen in results
    dialog.findChild<QLineEdit*>("txtNewName")->setText(QStringLiteral("ゆき"));
    dialog.findChild<QLineEdit*>("txtNewClass")->setText(QStringLiteral("1組"));
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdAdd"), Qt::LeftButton);
    const auto known = [&] {
        QList<DB_LEARNER> learners;
        DB_KnownLearners(m_db, learners);
        QStringList got;
        for (const DB_LEARNER& l : learners)
            got << QStringLiteral("%1/%2/%3").arg(l.name, l.className).arg(l.number);
        return got;
    };
    const QStringList before = known();
    // An import that moves はると and adds そら, undone as one.
    dialog.importLearners({{"はると", "2組", true, 1, "はると"}, {"そら", "2組", true, 2, "そら"}});
    QCOMPARE(known(), (QStringList{"ゆき/1組/0", "はると/2組/1", "そら/2組/2", "alice//0"}));
    screenshot(dialog, QStringLiteral("learners"));
    auto* undo = dialog.findChild<QPushButton*>("cmdUndo");
    QVERIFY(undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    QCOMPARE(known(), before);
    QVERIFY(!undo->isEnabled());
    // Taking ゆき off asks first: "no" keeps her, "yes" takes her off and keeps her runs.
    QStringList asked;
    bool answer = false;
    dialog.confirmRemoval = [&](const QString& name) {
        asked << name;
        return answer;
    };
    list->setCurrentCell(list->findItems(QStringLiteral("ゆき"), Qt::MatchExactly).first()->row(), 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdRemove"), Qt::LeftButton);
    QCOMPARE(known(), before);
    answer = true;
    list->setCurrentCell(list->findItems(QStringLiteral("alice"), Qt::MatchExactly).first()->row(), 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdRemove"), Qt::LeftButton); // not registered: nothing
    list->setCurrentCell(list->findItems(QStringLiteral("はると"), Qt::MatchExactly).first()->row(), 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdRemove"), Qt::LeftButton);
    QCOMPARE(asked, (QStringList{"ゆき", "はると"}));
    QCOMPARE(known(), (QStringList{"ゆき/1組/0", "alice//0"}));
}

void TestWindow::theRosterPreviewShowsWhatWillBeRegistered() {
    // Numbers first and no header: guessed, then corrected by the teacher.
    RosterTable table = readRoster("1,上田 はな,うえだ はな\n2,中村 そら,なかむら そら\n");
    RosterDialog dialog(table, QStringLiteral("名簿.csv"));
    dialog.show();
    auto* preview = dialog.findChild<QTableWidget*>("tblPreview");
    QCOMPARE(preview->rowCount(), 2);
    QCOMPARE(preview->item(0, 1)->text(), QStringLiteral("上田 はな"));
    QCOMPARE(preview->item(0, 2)->text(), QStringLiteral("うえだ はな"));
    screenshot(dialog, QStringLiteral("roster_preview"));
    // The reading column taken for the name: the name column gives way, the preview follows.
    auto* third = dialog.findChild<QComboBox*>("comColumn3");
    third->setCurrentIndex(third->findText(QStringLiteral("名前")));
    QCOMPARE(dialog.findChild<QComboBox*>("comColumn2")->currentText(), QStringLiteral("つかわない"));
    QCOMPARE(preview->item(1, 1)->text(), QStringLiteral("なかむら そら"));
    dialog.findChild<QLineEdit*>("txtClassForAll")->setText(QStringLiteral("4年1組"));
    QCOMPARE(preview->item(1, 3)->text(), QStringLiteral("4年1組"));
    dialog.findChild<QCheckBox*>("chkHeader")->setChecked(true);
    QCOMPARE(preview->rowCount(), 1);
    QCOMPARE(dialog.findChild<QPushButton*>("cmdRegister")->text(), QStringLiteral("1人を 登録する"));
}

void TestWindow::qtsOwnDialogsSpeakJapanese() {
    QVERIFY2(loadQtTranslations(*QCoreApplication::instance()), "qt6-translations-l10n is not installed");
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Yes | QDialogButtonBox::No);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QVERIFY(!box.button(QDialogButtonBox::Yes)->text().contains(QStringLiteral("Yes")));
}

void TestWindow::theRomajiSpellingsAreTheParentsChoice_data() {
    QTest::addColumn<QString>("school");  // the system-wide file's value
    QTest::addColumn<QString>("choice");  // the menu entry the parent picks
    QTest::addColumn<bool>("writable");   // whether the user's file can be written
    QTest::addColumn<QString>("setting"); // what the drill then reads
    QTest::newRow("the input method's spellings allowed") << ""
                                                          << "actSpellingsIme" << true << "ime";
    QTest::newRow("the table kept where the school allows more") << "ime"
                                                                 << "actSpellingsTable" << true << "table";
    QTest::newRow("a file that cannot be written: told, nothing changes")
        << "ime"
        << "actSpellingsTable" << false << "ime";
}

void TestWindow::theRomajiSpellingsAreTheParentsChoice() {
    QFETCH(QString, school);
    QFETCH(QString, choice);
    QFETCH(bool, writable);
    QFETCH(QString, setting);
    const QString key = QStringLiteral("Romaji/Spellings");
    QSettings system(QSettings::NativeFormat, QSettings::SystemScope, "Halvor", "Halvor");
    QSettings user(QSettings::NativeFormat, QSettings::UserScope, "Halvor", "Halvor");
    const QString userFile = user.fileName();
    user.remove(key);
    user.sync();
    system.setValue(key, school);
    system.sync();
    QVERIFY(QFile::remove(userFile) || !QFile::exists(userFile));
    if (!writable)
        QVERIFY(QDir().mkpath(userFile)); // a folder where the file would go: not even root writes it
    const auto restore = qScopeGuard([&] {
        QDir(userFile).removeRecursively();
        system.remove(key);
        system.sync();
    });
    const auto w = open(m_db);
    auto* table = w->findChild<QAction*>(QStringLiteral("actSpellingsTable"));
    auto* ime = w->findChild<QAction*>(QStringLiteral("actSpellingsIme"));
    QVERIFY(table && ime);
    QCOMPARE(ime->isChecked(), school == QLatin1String("ime")); // the school's choice until the parent's
    w->findChild<QAction*>(choice)->trigger();
    QCOMPARE(DB_Setting(key).toString(), setting);
    QCOMPARE(ime->isChecked(), setting == QLatin1String("ime"));
    auto* told = w->findChild<QMessageBox*>(QStringLiteral("settingNotSaved"));
    QCOMPARE(told != nullptr, !writable);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
