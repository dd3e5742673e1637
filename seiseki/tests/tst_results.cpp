// The viewer's reading of the results, on the file and on the school's server (global data): every
// learner's runs, the overview's figures counted by the database, and the list of registered learners.
#include "DbTestKit.h"
#include "Results.h"
#include "RunData.h"
#include "Server.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace seiseki;
using namespace seisekitest;

namespace {

const QString kBob = QStringLiteral("Bob \"B\" O'Neil, Jr.");
const QString kHaruto = QStringLiteral("田中 はると");

// Three learners across both tables, on both sides of 1 April 2026.
const QList<Run> kRuns = {
    {"alice", {2026, 3, 31}, 'W', "3", 120}, {"alice", {2026, 4, 1}, 'W', "3", 150},
    {"alice", {2026, 12, 7}, 'W', "5", 90},  {"alice", {2026, 6, 1}, 'B', "2", 80},
    {"alice", {2026, 6, 1}, 'B', "4", 60},   {"alice", {2026, 3, 20}, 'H', "AI", 95},
    {"alice", {2026, 12, 7}, 'H', "ai", 80}, {kBob, {2026, 4, 1}, 'H', "GA", 70},
    {kBob, {2026, 11, 10}, 'H', "NN", 120},  {kBob, {2026, 3, 31}, 'B', "2", 55},
    {kHaruto, {2026, 12, 1}, 'W', "1", 40},  {kHaruto, {2026, 12, 2}, 'W', "1", 45},
};

QString best(const std::optional<double>& v) {
    return v ? number(*v) : QStringLiteral("-");
}

// One overview row as a line: runs per drill, the best figures that are there, the last day.
QString describe(const OverviewRow& r) {
    QStringList parts{r.learner,
                      QStringLiteral("%1/%2/%3").arg(r.windmillRuns).arg(r.blocksRuns).arg(r.hiraganaRuns)};
    for (int level = 1; level <= kLevels; ++level) {
        if (r.windmillBest[level - 1])
            parts << QStringLiteral("L%1=%2").arg(level).arg(best(r.windmillBest[level - 1]));
    }
    if (r.blocksBest2 || r.blocksBest4)
        parts << QStringLiteral("B=%1/%2").arg(best(r.blocksBest2), best(r.blocksBest4));
    if (r.hiraganaBest[0] || r.hiraganaBest[1] || r.hiraganaBest[2])
        parts << QStringLiteral("H=%1/%2/%3")
                     .arg(best(r.hiraganaBest[0]), best(r.hiraganaBest[1]), best(r.hiraganaBest[2]));
    parts << (r.lastDay.isValid() ? r.lastDay.toString(Qt::ISODate) : QStringLiteral("never"));
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestResults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void overviewFiguresPerLearner_data();
    void overviewFiguresPerLearner();
    void runsOfOneLearnerInDayOrder();
    void aNigateRunJoinsItsUnitsAndStaysOffTheKindsBest();
    void registeringAndRemovingLearnersKeepsTheirResults();
    void theClassListsOrderIsClassNumberThenReading();
    void runsOfAClassOrOfListedLearners_data();
    void runsOfAClassOrOfListedLearners();
    void rowsWithoutALearnerAreTheLoginUsersOnAFile();
    void anUnreachableServerShowsThisComputersRows();
    void aFileThatIsNotAResultsDatabaseIsNeverWritten();

private:
    QString m_base = scratchBase(); // before init() points VUR_MDB into each test's own folder
    std::optional<QTemporaryDir> m_dir;
    std::optional<halvor::db::ServerSession> m_session;
    QString m_target;
    bool m_server = false;
};

void TestResults::initTestCase_data() {
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

void TestResults::init() {
    QFETCH_GLOBAL(bool, server);
    m_server = server;
    m_dir.emplace(m_base + QStringLiteral("/seiseki-XXXXXX"));
    QVERIFY(m_dir->isValid());
    qputenv("VUR_MDB", m_dir->filePath(QStringLiteral("VUR.MDB")).toUtf8());
    m_target = server ? freshServerDatabase(qEnvironmentVariable("HALVOR_TEST_PG"))
                      : m_dir->filePath(QStringLiteral("VUR.MDB"));
    m_session.emplace();
    for (const Run& run : kRuns)
        QVERIFY2(store(m_target, run), qPrintable(DB_LastError()));
    QVERIFY(DB_RegisterLearners(m_target, {{QStringLiteral("ゆき"), QStringLiteral("1組"), true, 0, {}}}));
}

void TestResults::cleanup() {
    m_session.reset();
    if (m_server)
        PgAdmin(qEnvironmentVariable("HALVOR_TEST_PG"))
            .exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(databaseOf(m_target)));
    m_dir.reset();
}

void TestResults::overviewFiguresPerLearner_data() {
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QStringList>("expected");
    const DateRange year = rangeFor(Range::SchoolYear, {2026, 12, 8});
    QTest::newRow("every day") << QDate() << QDate()
                               << QStringList{"ゆき 0/0/0 never",
                                              "alice 3/2/2 L3=150 L5=90 B=80/60 H=80/-/- 2026-12-07",
                                              kBob + " 0/1/2 B=55/- H=-/70/120 2026-11-10",
                                              kHaruto + " 2/0/0 L1=45 2026-12-02"};
    QTest::newRow("this school year, from 1 April")
        << year.from << year.to
        << QStringList{"ゆき 0/0/0 never", "alice 2/2/1 L3=150 L5=90 B=80/60 H=80/-/- 2026-12-07",
                       kBob + " 0/0/2 H=-/70/120 2026-11-10", kHaruto + " 2/0/0 L1=45 2026-12-02"};
    QTest::newRow("31 March alone, the last day of the year before")
        << QDate(2026, 3, 31) << QDate(2026, 3, 31)
        << QStringList{"ゆき 0/0/0 never", "alice 1/0/0 L3=120 2026-03-31", kBob + " 0/1/0 B=55/- 2026-03-31",
                       kHaruto + " 0/0/0 never"};
}

void TestResults::overviewFiguresPerLearner() {
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QStringList, expected);
    QList<DB_LEARNER> learners;
    QList<DB_RUN_GROUP> groups;
    QVERIFY(DB_KnownLearners(m_target, learners));
    QVERIFY2(DB_ReadRunGroups(m_target, {{}, from, to, {}, {}}, groups), qPrintable(DB_LastError()));
    QStringList got;
    for (const OverviewRow& row : buildOverview(learners, groups))
        got << describe(row);
    QCOMPARE(got, expected);
}

void TestResults::runsOfOneLearnerInDayOrder() {
    QList<DB_RUN> runs;
    // Names compare without regard to case, as in the drills.
    QVERIFY2(DB_ReadRuns(m_target, {kBob.toUpper(), {}, {}, {}, {}}, runs), qPrintable(DB_LastError()));
    QStringList got;
    for (const DB_RUN& r : runs)
        got << QStringLiteral("%1 %2 %3 %4 %5")
                   .arg(r.learner, r.fields.Y4mmdd.toString(Qt::ISODate), drillName(drillOf(r)),
                        courseName(drillOf(r), courseOf(r)), number(r.fields.Time));
    QCOMPARE(got, (QStringList{kBob + " 2026-03-31 ブロック 2文字 60", kBob + " 2026-04-01 ひらがな 濁音 70",
                               kBob + " 2026-11-10 ひらがな 促音 120"}));
    // Every learner's rows, both tables, limited by day.
    QVERIFY(DB_ReadRuns(m_target, {{}, {2026, 12, 1}, {2026, 12, 7}, {}, {}}, runs));
    QCOMPARE(runs.size(), 4);
    // Within a day T_Key's rows come first.
    QCOMPARE(runs[0].learner, QStringLiteral("alice"));
    QVERIFY(!runs[0].windmill);
    QCOMPARE(runs[0].fields.COND1, QStringLiteral("ai"));
    QVERIFY(runs[1].windmill);
    QCOMPARE(runs[1].fields.result3, 90.0);
    QCOMPARE(runs[1].fields.ERR1, QStringLiteral("f"));
    QCOMPARE(runs.last().learner, kHaruto);
}

void TestResults::aNigateRunJoinsItsUnitsAndStaysOffTheKindsBest() {
    const QString yuki = QStringLiteral("ゆき");
    QVERIFY(store(m_target, {yuki, {2026, 12, 3}, 'H', "NG", 30}, 1,
                  {{"き", 10, 1, 700, {}}, {"ぬ", 5, 2, 900, {}}}));
    QVERIFY(store(m_target, {yuki, {2026, 12, 3}, 'H', "AI", 60}));
    QVERIFY(store(m_target, {yuki, {2026, 12, 3}, 'W', "2", 100}));
    QList<DB_RUN> runs;
    QList<DB_UNIT_ROW> units;
    QVERIFY2(DB_ReadRuns(m_target, {yuki, {}, {}, {}, {}}, runs), qPrintable(DB_LastError()));
    QVERIFY2(DB_ReadUnits(m_target, {yuki, {}, {}, {}, {}}, 0, units), qPrintable(DB_LastError()));
    QSet<QString> ids;
    QString nigate;
    for (const DB_RUN& r : runs) {
        ids.insert(r.runId);
        if (courseName(drillOf(r), courseOf(r)) == QStringLiteral("にがて"))
            nigate = r.runId;
    }
    QCOMPARE(runs.size(), 3);
    QCOMPARE(ids.size(), 3); // each run its own id, none empty
    QVERIFY(!ids.contains(QString()));
    QCOMPARE(units.size(), 2);
    for (const DB_UNIT_ROW& u : units)
        QCOMPARE(u.runId, nigate);
    // Counted as a hiragana run, but its time is no kind's best.
    QList<DB_RUN_GROUP> groups;
    QVERIFY(DB_ReadRunGroups(m_target, {yuki, {}, {}, {}, {}}, groups));
    QCOMPARE(describe(buildOverview({}, groups).value(0)), yuki + " 1/0/2 L2=100 H=60/-/- 2026-12-03");
}

void TestResults::registeringAndRemovingLearnersKeepsTheirResults() {
    QVERIFY(DB_RegisterLearners(m_target, {{"ゆき", "3組", true, 0, {}}, {kHaruto, "2組", true, 0, {}}}));
    QVERIFY(!DB_RegisterLearners(m_target, {{"ok", "", true, 0, {}}, {" spaced ", "", true, 0, {}}}));
    QVERIFY(DB_UnregisterLearner(m_target, kHaruto.toUpper()));
    QList<DB_LEARNER> learners;
    QVERIFY(DB_KnownLearners(m_target, learners));
    QStringList got;
    for (const DB_LEARNER& l : learners)
        got << QStringLiteral("%1/%2/%3").arg(l.name, l.className).arg(l.registered);
    QCOMPARE(got, (QStringList{"ゆき/3組/1", "alice//0", kBob + "//0", kHaruto + "//0"}));
    QList<DB_RUN> runs;
    QVERIFY(DB_ReadRuns(m_target, {kHaruto, {}, {}, {}, {}}, runs));
    QCOMPARE(runs.size(), 2);
}

void TestResults::theClassListsOrderIsClassNumberThenReading() {
    // As a roster gives them: some with a number, some with only a reading, classes "2組" and "10組".
    QVERIFY(DB_RegisterLearners(m_target, {{"上田 はな", "2組", true, 0, "うえだ はな"},
                                           {"中村 そら", "2組", true, 2, "なかむら そら"},
                                           {"伊藤 あや", "2組", true, 0, "いとう あや"},
                                           {"佐々木 りく", "10組", true, 1, "ささき りく"},
                                           {"ゆき", "2組", true, 1, {}},
                                           {kHaruto, {}, true, 0, "たなか はると"}}));
    QList<DB_LEARNER> learners;
    QVERIFY(DB_KnownLearners(m_target, learners));
    QStringList got;
    for (const DB_LEARNER& l : learners)
        got << l.name;
    QCOMPARE(got, (QStringList{"ゆき", "中村 そら", "伊藤 あや", "上田 はな", "佐々木 りく", kHaruto, "alice",
                               kBob}));
}

void TestResults::runsOfAClassOrOfListedLearners_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QStringList>("learners");
    QTest::addColumn<QStringList>("expected"); // learner: runs
    QTest::newRow("a class, in any case")
        << "2KUMI" << QStringList{} << QStringList{"alice: 7", kHaruto + ": 2"};
    QTest::newRow("listed learners") << "" << QStringList{"ALICE", kBob}
                                     << QStringList{kBob + ": 3", "alice: 7"};
    QTest::newRow("a class and a list")
        << "2kumi" << QStringList{kBob, kHaruto} << QStringList{kHaruto + ": 2"};
    QTest::newRow("a class nobody is in") << "3kumi" << QStringList{} << QStringList{};
}

void TestResults::runsOfAClassOrOfListedLearners() {
    QFETCH(QString, className);
    QFETCH(QStringList, learners);
    QFETCH(QStringList, expected);
    QVERIFY(DB_RegisterLearners(
        m_target,
        {{"alice", "2kumi", true, 1, {}}, {kHaruto, "2kumi", true, 2, {}}, {kBob, "1kumi", true, 1, {}}}));
    const DB_RUN_FILTER filter{{}, {}, {}, className, learners};
    QList<DB_RUN> runs;
    QVERIFY2(DB_ReadRuns(m_target, filter, runs), qPrintable(DB_LastError()));
    QMap<QString, int> count;
    for (const DB_RUN& r : runs)
        ++count[r.learner];
    // Streamed straight from the query: the same runs, the same values.
    int streamed = 0;
    QVERIFY(DB_EachRun(m_target, filter, [&](const DB_RUN_VALUES& v) {
        const DB_RUN& r = runs.value(streamed++);
        return v.learner == r.learner && v.day == r.fields.Y4mmdd && v.drill == r.fields.Tavrel &&
               v.windmill == r.windmill && v.time.toDouble() == r.fields.Time;
    }));
    QCOMPARE(streamed, runs.size());
    QList<DB_RUN_GROUP> groups;
    QVERIFY(DB_ReadRunGroups(m_target, filter, groups));
    QMap<QString, int> grouped;
    for (const DB_RUN_GROUP& g : groups)
        grouped[g.learner] += g.runs;
    QCOMPARE(grouped, count);
    QStringList got;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        got << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
    QCOMPARE(got, expected);
}

void TestResults::rowsWithoutALearnerAreTheLoginUsersOnAFile() {
    if (m_server)
        QSKIP("only a file holds rows from before learners");
    Peek(m_target).exec("UPDATE T_Digit SET Learner = NULL WHERE Learner = 'alice'");
    Peek(m_target).exec(QStringLiteral("UPDATE T_Key SET Learner = '%1' WHERE Learner = 'alice'")
                            .arg(DB_LoginName().toUpper()));
    QList<DB_RUN_GROUP> groups;
    QVERIFY(DB_ReadRunGroups(m_target, {}, groups));
    QStringList got;
    for (const OverviewRow& row : buildOverview({}, groups))
        got << row.learner.toLower() + QStringLiteral(" %1/%2/%3")
                                           .arg(row.windmillRuns)
                                           .arg(row.blocksRuns)
                                           .arg(row.hiraganaRuns);
    QVERIFY2(got.contains(DB_LoginName().toLower() + " 3/2/2"), qPrintable(got.join(" | ")));
    QList<DB_RUN> runs;
    QVERIFY(DB_ReadRuns(m_target, {DB_LoginName(), {}, {}, {}, {}}, runs));
    QCOMPARE(runs.size(), 7);
}

void TestResults::anUnreachableServerShowsThisComputersRows() {
    if (m_server)
        QSKIP("the file is this computer's; once is enough");
    QList<DB_RUN> runs;
    const QString away =
        QStringLiteral("postgresql://nobody@/halvor?host=%1").arg(m_dir->filePath("no-server"));
    QVERIFY(DB_ReadRuns(away, {}, runs));
    QCOMPARE(DB_ServerProblem(), halvor::db::Problem::Offline);
    QCOMPARE(runs.size(), kRuns.size());
    // A change belongs on the server: it is refused, not made on this computer.
    QVERIFY(!DB_RegisterLearners(away, {{"ゆき", "2組", true, 0, {}}}));
    QVERIFY(DB_ReadRuns(m_target, {}, runs));
    QCOMPARE(DB_ServerProblem(), halvor::db::Problem::None);
}

void TestResults::aFileThatIsNotAResultsDatabaseIsNeverWritten() {
    if (m_server)
        QSKIP("a file's matter");
    const QString other = m_dir->filePath(QStringLiteral("letter.txt"));
    writeFile(other, "Dear teacher,\n");
    QList<DB_RUN> runs;
    QList<DB_RUN_GROUP> groups;
    QVERIFY(!DB_ReadRuns(other, {}, runs));
    QVERIFY(!DB_ReadRunGroups(other, {}, groups));
    QVERIFY(!DB_RegisterLearners(other, {{"ゆき", "", true, 0, {}}}));
    QVERIFY(!DB_UnregisterLearner(other, "ゆき"));
    QCOMPARE(readAll(other), QByteArray("Dear teacher,\n"));
}

QTEST_GUILESS_MAIN(TestResults)
#include "tst_results.moc"
