// The viewer's window on the offscreen platform: the first page it opens, the overview's sorting and
// filters, a learner's page, the learners' management, and what a teacher sees when the server is away.
#include "DbTestKit.h"
#include "LearnersDialog.h"
#include "MSChart.h"
#include "RunData.h"
#include "Window.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
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
    void theOverviewSortsFiltersAndOpensALearner();
    void aRangeWithFromAfterToIsRefused();
    void theServerAwayShowsLocalRowsAndARetry();
    void learnersAreRegisteredImportedAndRemoved();

private:
    // The window once its first read is shown.
    std::unique_ptr<SeisekiWindow> open(const QString& database);
    bool waitLoaded(SeisekiWindow& w);

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

void TestWindow::theFirstPageFollowsWhatTheDatabaseHolds_data() {
    QTest::addColumn<int>("runs"); // how many of the class's runs are stored
    QTest::addColumn<QString>("page");
    QTest::newRow("empty: how to start") << 0 << "lblEmpty";
    QTest::newRow("one learner at home: that learner's page") << 8 << "pageLearner";
    QTest::newRow("a class: the overview") << int(kClass.size()) << "pageOverview";
}

void TestWindow::theFirstPageFollowsWhatTheDatabaseHolds() {
    QFETCH(int, runs);
    QFETCH(QString, page);
    for (int i = 0; i < runs; ++i)
        QVERIFY(store(m_db, kClass[i]));
    auto w = open(m_db);
    auto* pages = w->findChild<QStackedWidget*>();
    QCOMPARE(pages->currentWidget()->objectName(), page);
    if (page == QLatin1String("lblEmpty")) {
        QVERIFY(w->findChild<QLabel*>("lblEmpty")->text().contains(QStringLiteral("ドリルを えらんで")));
        screenshot(*w, QStringLiteral("empty"));
    }
    if (page == QLatin1String("pageLearner")) {
        QCOMPARE(w->learner(), QStringLiteral("alice"));
        QVERIFY(w->findChild<QPushButton*>("cmdBack")->isVisible());
    }
}

void TestWindow::theOverviewSortsFiltersAndOpensALearner() {
    for (const Run& run : kClass)
        QVERIFY(store(m_db, run));
    auto w = open(m_db);
    auto* table = w->findChild<QTableView*>("tblOverview");
    QAbstractItemModel* model = table->model();
    QCOMPARE(model->rowCount(), 3);
    screenshot(*w, QStringLiteral("overview"));

    // Windmill level 3's best speed, highest first: alice (150) before the learners with none.
    table->sortByColumn(5, Qt::DescendingOrder);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("alice"));
    QCOMPARE(model->index(0, 5).data().toString(), QStringLiteral("150"));
    w->findChild<QLineEdit*>("txtName")->setText(QStringLiteral("はると"));
    QCOMPARE(model->rowCount(), 1);
    w->findChild<QLineEdit*>("txtName")->clear();

    // This school year leaves out 31 March: Bob's block run goes, alice's windmill count drops to 3.
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::SchoolYear));
    QVERIFY(waitLoaded(*w));
    table->sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("3"));
    QCOMPARE(model->index(1, 10).data().toString(), QStringLiteral("0"));

    emit table->activated(model->index(0, 3));
    QVERIFY(waitLoaded(*w));
    QCOMPARE(w->learner(), QStringLiteral("alice"));
    QCOMPARE(w->findChild<QLabel*>("lblSummary")->text(),
             QStringLiteral("さいごの 1週間で 風車 レベル3の さいこう速度が 128 から 150 に あがりました。 "
                            "さいごの 1週間に 4回 れんしゅうしました。"));
    QCOMPARE(w->findChild<CMSChart*>("chtWindmill")->GetRowCount(), 3);
    QCOMPARE(w->findChild<CMSChart*>("chtBlocks")->GetRowCount(), 2);
    QCOMPARE(w->findChild<CMSChart*>("chtHiragana")->GetRowCount(), 2);
    auto* runs = w->findChild<QTableWidget*>("tblRuns");
    QCOMPARE(runs->rowCount(), 7);
    QCOMPARE(runs->item(0, 0)->text(), QStringLiteral("2026-12-07")); // newest first
    screenshot(*w, QStringLiteral("learner"));
    w->resize(800, 600);
    QApplication::processEvents();
    screenshot(*w, QStringLiteral("learner_800x600"));

    QTest::mouseClick(w->findChild<QPushButton*>("cmdBack"), Qt::LeftButton);
    QVERIFY(waitLoaded(*w));
    QVERIFY(w->learner().isEmpty());
}

void TestWindow::aRangeWithFromAfterToIsRefused() {
    for (const Run& run : kClass)
        QVERIFY(store(m_db, run));
    auto w = open(m_db);
    w->findChild<QComboBox*>("comRange")->setCurrentIndex(int(Range::Custom));
    QVERIFY(waitLoaded(*w));
    w->findChild<QDateEdit*>("dtFrom")->setDate(QDate(2026, 12, 5));
    QVERIFY(waitLoaded(*w));
    w->findChild<QDateEdit*>("dtTo")->setDate(QDate(2026, 12, 1));
    QVERIFY(!w->loading());
    QVERIFY(w->findChild<QLabel*>("lblRangeProblem")->text().contains(QStringLiteral("あと")));
    QCOMPARE(w->findChild<QTableView*>("tblOverview")->model()->rowCount(), 3); // the rows on show stay
    screenshot(*w, QStringLiteral("range_refused"));
    w->findChild<QDateEdit*>("dtTo")->setDate(QDate(2026, 12, 8));
    QVERIFY(waitLoaded(*w));
    QVERIFY(w->findChild<QLabel*>("lblRangeProblem")->text().isEmpty());
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

void TestWindow::learnersAreRegisteredImportedAndRemoved() {
    QVERIFY(store(m_db, kClass.first()));
    LearnersDialog dialog(m_db);
    dialog.show();
    auto* list = dialog.findChild<QTableWidget*>("lbxLearners");
    QCOMPARE(list->rowCount(), 1); // alice, seen in results
    dialog.findChild<QLineEdit*>("txtNewName")->setText(QStringLiteral("ゆき"));
    dialog.findChild<QLineEdit*>("txtNewClass")->setText(QStringLiteral("1組"));
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdAdd"), Qt::LeftButton);
    const QString classList = m_dir->filePath(QStringLiteral("class.txt"));
    writeFile(classList, "alice\t2組\nはると\t2組\n"
                         "\x01"
                         "bad\t2組\n");
    dialog.importClassList(classList);
    QVERIFY(dialog.findChild<QLabel*>("lblMessage")->text().contains(QStringLiteral("3行目")));
    QCOMPARE(list->rowCount(), 3);
    screenshot(dialog, QStringLiteral("learners"));
    // Taking alice off the list keeps her run, and her name as one seen in the results.
    const QList<QTableWidgetItem*> alice = list->findItems(QStringLiteral("alice"), Qt::MatchExactly);
    QCOMPARE(alice.size(), 1);
    list->setCurrentCell(alice.first()->row(), 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdRemove"), Qt::LeftButton);
    QList<DB_LEARNER> learners;
    QVERIFY(DB_KnownLearners(m_db, learners));
    QStringList got;
    for (const DB_LEARNER& l : learners)
        got << QStringLiteral("%1/%2/%3").arg(l.name, l.className).arg(l.registered);
    QCOMPARE(got, (QStringList{"ゆき/1組/1", "はると/2組/1", "alice//0"}));
    QList<DB_RUN> runs;
    QVERIFY(DB_ReadRuns(m_db, {}, runs));
    QCOMPARE(runs.size(), 1);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
