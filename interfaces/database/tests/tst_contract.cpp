// The contract between the drills and their results, held by both places results can go: the SQLite file on
// this computer and a school's PostgreSQL server. Every test runs once against each (global data).
#include "Database.h"
#include "DbTestKit.h"
#include "SaveSequences.h"
#include "Server.h"

#include <QTemporaryDir>
#include <QTest>

using halvor::db::Problem;

class TestContract : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void savesNumberRunsPerDayAndDrill_data();
    void savesNumberRunsPerDayAndDrill();
    void chartsReadOnlyTheirOwnRowsInClauseOrder_data();
    void chartsReadOnlyTheirOwnRowsInClauseOrder();
    void hiraganaStatementsCountAndChartItsRows();
    void storedValuesReadBackWithTheirFlags();
    void runsAreNumberedPerLearner();
    void twoLearnersNeverSeeEachOthersRows();
    void rowsWithoutALearnerAreTheLoginUsersOnAFile();

private:
    void setLearner(const QString& name) { qputenv("HALVOR_LEARNER", name.toUtf8()); }
    void send() { QVERIFY2(sendWaitingRuns(m_target), qPrintable(DB_LastError())); }
    QVariant serverValue(const QString& sql);

    std::optional<QTemporaryDir> m_dir;
    // As on the save queue's thread, the server connection is kept between calls.
    std::optional<halvor::db::ServerSession> m_session;
    QString m_target; // where the results go: a file path or the server's URI
    bool m_server = false;
};

void TestContract::initTestCase_data() {
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

void TestContract::init() {
    QFETCH_GLOBAL(bool, server);
    m_server = server;
    m_dir.emplace(scratchBase() + QStringLiteral("/contract-XXXXXX"));
    QVERIFY(m_dir->isValid());
    // This computer's file; with a server it only keeps runs on their way.
    qputenv("VUR_MDB", m_dir->filePath(QStringLiteral("VUR.MDB")).toUtf8());
    if (server) {
        const QString admin = qEnvironmentVariable("HALVOR_TEST_PG");
        QVERIFY2(!admin.isEmpty(), "HALVOR_TEST_PG names the test server (CTest starts it)");
        m_target = freshServerDatabase(admin);
    } else {
        m_target = m_dir->filePath(QStringLiteral("VUR.MDB"));
    }
    setLearner(QStringLiteral("alice"));
    m_session.emplace();
}

void TestContract::cleanup() {
    m_session.reset();
    DB_CloseT_Key();
    DB_CloseT_Digit();
    qunsetenv("HALVOR_LEARNER");
    if (m_server) {
        PgAdmin(qEnvironmentVariable("HALVOR_TEST_PG"))
            .exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(databaseOf(m_target)));
    }
    m_dir.reset();
}

QVariant TestContract::serverValue(const QString& sql) {
    return PgAdmin(qEnvironmentVariable("HALVOR_TEST_PG"), databaseOf(m_target)).value(sql);
}

void TestContract::savesNumberRunsPerDayAndDrill_data() {
    QTest::addColumn<Save>("save");
    QTest::addColumn<int>("drill");
    QTest::addColumn<int>("otherDrill");
    QTest::newRow("windmill in T_Digit") << Save(saveDigit) << 12 << 11;
    QTest::newRow("two-finger blocks in T_Key") << Save(saveKey) << 11 << 12;
    QTest::newRow("four-finger blocks in T_Key") << Save(saveKey) << 12 << 11;
}

void TestContract::savesNumberRunsPerDayAndDrill() {
    QFETCH(Save, save);
    QFETCH(int, drill);
    QFETCH(int, otherDrill);
    const QDate day(2026, 12, 7);
    QCOMPARE(save(m_target, day, drill, {}), 1);
    QCOMPARE(save(m_target, day, drill, {}), 2);
    QCOMPARE(save(m_target, day, otherDrill, {}), 1);
    QCOMPARE(save(m_target, day, drill, {}), 3);
    QCOMPARE(save(m_target, day.addDays(1), drill, {}), 1);
    QCOMPARE(save(m_target, day.addDays(1), otherDrill, {}), 1);
    QCOMPARE(save(m_target, day.addDays(1), drill, {}), 2);
    // An earlier day keeps counting from its own highest number.
    QCOMPARE(save(m_target, day, drill, {}), 4);
    QCOMPARE(DB_LastError(), QString());
    if (!m_server)
        return;
    // The server numbers each day's runs again in the order they finished: here the same numbers. (It
    // refuses T_Digit's other drill number, which no drill writes there.)
    sendWaitingRuns(m_target);
    const bool digit = QString(QTest::currentDataTag()).contains("T_Digit");
    QCOMPARE(
        serverValue(QStringLiteral("select string_agg(y4mmdd || '/' || round, ',' order by y4mmdd, finished) "
                                   "from %1 where %2 = %3")
                        .arg(digit ? "t_digit" : "t_key", digit ? "pelvoran" : "tavrel")
                        .arg(drill))
            .toString(),
        QStringLiteral("2026-12-07/1,2026-12-07/2,2026-12-07/3,2026-12-07/4,2026-12-08/1,2026-12-08/2"));
}

void TestContract::chartsReadOnlyTheirOwnRowsInClauseOrder_data() {
    QTest::addColumn<bool>("digit");
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QStringList>("expected"); // "yyyy-mm-dd/round/drill" in the order read
    QTest::newRow("windmill chart") << true << " where [Pelvoran] = 12 order by [Y4mmdd] , [round]"
                                    << QStringList{"2026-11-30/1/12", "2026-12-01/1/12", "2026-12-01/2/12",
                                                   "2026-12-07/1/12"};
    QTest::newRow("windmill save, highest first")
        << true << " where [Y4mmdd] = #2026/12/01# and [Pelvoran] = 12 order by [round] desc"
        << QStringList{"2026-12-01/2/12", "2026-12-01/1/12"};
    QTest::newRow("blocks chart, both modes")
        << false << " where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , [Tavrel]"
        << QStringList{"2026-11-30/1/11", "2026-11-30/1/12", "2026-12-01/1/11",
                       "2026-12-01/1/12", "2026-12-01/2/11", "2026-12-07/1/12"};
    QTest::newRow("blocks save, one mode")
        << false << " where [Y4mmdd] = #2026/12/01# and [Tavrel] = 11 order by [round] desc"
        << QStringList{"2026-12-01/2/11", "2026-12-01/1/11"};
    QTest::newRow("nothing today") << false
                                   << " where [Y4mmdd] = #2026/12/24# and [Tavrel] = 11 order by [round] desc"
                                   << QStringList{};
}

void TestContract::chartsReadOnlyTheirOwnRowsInClauseOrder() {
    QFETCH(bool, digit);
    QFETCH(QString, clause);
    QFETCH(QStringList, expected);
    // Rows of every drill number, written out of order, as several programs would leave them.
    const struct {
        int day, round, drill;
    } rows[] = {{7, 1, 12}, {1, 2, 11}, {1, 1, 23},  {30, 1, 11}, {1, 1, 12}, {1, 1, 11},
                {7, 1, 23}, {1, 2, 12}, {30, 1, 12}, {1, 3, 23},  {7, 1, 11}};
    for (const auto& r : rows) {
        const QDate day = r.day == 30 ? QDate(2026, 11, 30) : QDate(2026, 12, r.day);
        // T_Key holds 11, 12 and 23; T_Digit 12 beside a stray 11 (another level layout, say).
        const bool keyRow = !(r.drill == 11 && r.day == 7) && !(r.drill == 12 && r.day == 1 && r.round == 2);
        const auto key = runRow<DB_T_KEY>(day, r.drill, r.round);
        if (keyRow)
            QVERIFY2(DB_InsertT_Key(m_target, &key), qPrintable(DB_LastError()));
        const auto dig = runRow<DB_T_DIGIT>(day, r.drill, r.round);
        if (r.drill == 12 || (r.drill == 11 && !m_server))
            QVERIFY2(DB_InsertT_Digit(m_target, &dig), qPrintable(DB_LastError()));
    }
    send();
    // The server takes no T_Digit row of another drill number from a program: the stray ones are put there
    // by hand.
    for (const auto& r : rows) {
        if (m_server && r.drill == 11)
            QVERIFY(PgAdmin(qEnvironmentVariable("HALVOR_TEST_PG"), databaseOf(m_target))
                        .exec(QStringLiteral(
                                  "insert into t_digit (y4mmdd, pelvoran, round, learner, runid) values "
                                  "('%1', 11, %2, 'alice', gen_random_uuid())")
                                  .arg((r.day == 30 ? QDate(2026, 11, 30) : QDate(2026, 12, r.day))
                                           .toString(Qt::ISODate))
                                  .arg(r.round)));
    }

    const QStringList got =
        digit ? readAllRows<DB_T_DIGIT>(m_target, clause) : readAllRows<DB_T_KEY>(m_target, clause);
    QCOMPARE(got, expected);
}

void TestContract::hiraganaStatementsCountAndChartItsRows() {
    const auto add = [&](QDate day, int drill, int round, const QString& kind, double time) {
        DB_T_KEY rec;
        rec.Y4mmdd = day;
        rec.Y4mmddFlag = 1;
        rec.Tavrel = static_cast<std::int16_t>(drill);
        rec.TavrelFlag = 1;
        rec.Round = static_cast<std::int16_t>(round);
        rec.RoundFlag = 1;
        rec.COND1 = kind;
        rec.COND1Flag = 1;
        rec.Time = time;
        rec.TimeFlag = 1;
        QVERIFY2(DB_InsertT_Key(m_target, &rec), qPrintable(DB_LastError()));
    };
    const QDate today(2026, 12, 7);
    add(today, 23, 1, "AI", 35);
    add(today.addDays(-1), 23, 1, "AI", 50);
    add(today, 23, 1, "GA", 42);
    add(today, 23, 2, "AI", 31);
    add(today, 11, 1, "AI", 60); // another drill's row with the same code must not count
    add(today, 23, 1, "nn", 70); // codes compare without regard to case, as the drill expects
    send();

    QList<DB_T_KEY> rows;
    QVERIFY(DB_SelectT_Key(
        m_target, "select * from [T_Key] where [Y4mmdd] = #2026/12/07# and [tavrel]= 23 and [COND1] = 'AI'",
        rows));
    QCOMPARE(rows.size(), 2);
    QVERIFY(DB_SelectT_Key(
        m_target, "select * from [T_Key] where [Y4mmdd] = #2026/12/07# and [tavrel]= 23 and [COND1] = 'NN'",
        rows));
    QCOMPARE(rows.size(), 1);
    QVERIFY(DB_SelectT_Key(
        m_target, "select * from [T_Key] where [Y4mmdd] = #2026/12/07# and [tavrel]= 23 and [COND1] = 'ga'",
        rows));
    QCOMPARE(rows.size(), 1);

    QVERIFY(DB_SelectT_Key(m_target, "select * from [T_Key]  where [Tavrel] = 23 order by [Y4mmdd] , [round]",
                           rows));
    QStringList got;
    for (const auto& r : rows)
        got << QStringLiteral("%1_%2 %3 %4")
                   .arg(r.Y4mmdd.toString("yyyy/MM/dd"))
                   .arg(r.Round)
                   .arg(r.COND1)
                   .arg(r.Time);
    QCOMPARE(got.size(), 5);
    QCOMPARE(got.first(), QStringLiteral("2026/12/06_1 AI 50"));
    QCOMPARE(got.last(), QStringLiteral("2026/12/07_2 AI 31"));

    // A refused statement empties the list and says why, leaving the rows alone.
    QVERIFY(!DB_SelectT_Key(m_target, "select * from [T_Key]; delete from [T_Key]", rows));
    QVERIFY(rows.isEmpty());
    QVERIFY(!DB_LastError().isEmpty());
    QVERIFY(DB_SelectT_Key(m_target, "select * from [T_Key]", rows));
    QCOMPARE(rows.size(), 6);
}

void TestContract::storedValuesReadBackWithTheirFlags() {
    DB_T_DIGIT in;
    in.Y4mmdd = QDate(2026, 2, 28);
    in.Y4mmddFlag = 1;
    in.Pelvoran = 12;
    in.PelvoranFlag = 1;
    in.Round = 3;
    in.RoundFlag = 1;
    in.REM = QStringLiteral("LEVEL7");
    in.REMFlag = 1;
    in.COND1 = QStringLiteral("4");
    in.COND1Flag = 1;
    in.Time = 60;
    in.TimeFlag = 1;
    in.result1 = 245;
    in.result1Flag = 1;
    in.result3 = 312.7;
    in.result3Flag = 1;
    in.result4 = 0;
    in.result4Flag = 1;
    in.ERR1 = QStringLiteral("ｆ");
    in.ERR1Flag = 1;
    QVERIFY(DB_InsertT_Digit(m_target, &in));
    send();

    QVERIFY(DB_OpenT_Digit(m_target, " where [Pelvoran] = 12 order by [Y4mmdd] , [round]"));
    DB_T_DIGIT out;
    QVERIFY(DB_GetRecordT_Digit(&out));
    QVERIFY(!DB_GetRecordT_Digit(&out));
    DB_CloseT_Digit();
    QCOMPARE(out.Y4mmdd, in.Y4mmdd);
    QCOMPARE(out.Round, m_server ? 1 : in.Round); // the server numbers the day's runs itself
    QCOMPARE(out.REM, in.REM);
    QCOMPARE(out.COND1, in.COND1);
    QCOMPARE(out.Time, in.Time);
    QCOMPARE(out.result1, in.result1);
    QCOMPARE(out.result3, in.result3);
    QCOMPARE(out.result4Flag, 1); // a stored zero is a value, not an empty field
    QCOMPARE(out.ERR1, in.ERR1);
    QCOMPARE(out.COND2Flag, 0);
    QCOMPARE(out.result2Flag, 0);
    QCOMPARE(out.result5Flag, 0);
    QCOMPARE(out.COND2, QString());
}

void TestContract::runsAreNumberedPerLearner() {
    const QDate day(2026, 12, 7);
    QCOMPARE(saveDigit(m_target, day, 12), 1);
    QCOMPARE(saveDigit(m_target, day, 12), 2);
    setLearner(QStringLiteral("ボブ"));
    QCOMPARE(saveDigit(m_target, day, 12), 1);
    QCOMPARE(saveKey(m_target, day, 11), 1);
    setLearner(QStringLiteral("alice"));
    QCOMPARE(saveDigit(m_target, day, 12), 3);
    QCOMPARE(saveKey(m_target, day, 11), 1);
    // Names compare without regard to case, as every text column does.
    setLearner(QStringLiteral("Alice"));
    QCOMPARE(saveDigit(m_target, day, 12), 4);
    QVERIFY(!DB_SaveOutcome(1, 4).queued);
}

void TestContract::twoLearnersNeverSeeEachOthersRows() {
    const QDate day(2026, 12, 7);
    saveDigit(m_target, day, 12);
    saveKey(m_target, day, 23);
    setLearner(QStringLiteral("田中 はると"));
    saveDigit(m_target, day.addDays(1), 12);
    saveDigit(m_target, day.addDays(1), 12);
    send();

    QCOMPARE(readAllRows<DB_T_DIGIT>(m_target, " where [Pelvoran] = 12 order by [Y4mmdd] , [round]"),
             QStringList({"2026-12-08/1/12", "2026-12-08/2/12"}));
    QList<DB_T_KEY> rows;
    QVERIFY(DB_SelectT_Key(m_target, "select * from [T_Key]  where [Tavrel] = 23 order by [Y4mmdd] , [round]",
                           rows));
    QVERIFY(rows.isEmpty());
    setLearner(QStringLiteral("alice"));
    QCOMPARE(readAllRows<DB_T_DIGIT>(m_target, " where [Pelvoran] = 12 order by [Y4mmdd] , [round]"),
             QStringList({"2026-12-07/1/12"}));
    QVERIFY(DB_SelectT_Key(m_target, "select * from [T_Key]  where [Tavrel] = 23 order by [Y4mmdd] , [round]",
                           rows));
    QCOMPARE(rows.size(), 1);

    // Each row carries its learner.
    const QString perLearner =
        QStringLiteral("select string_agg(learner || ':' || n, ',' order by learner) from "
                       "(select learner, count(*) n from t_digit group by learner) s");
    if (m_server)
        QCOMPARE(serverValue(perLearner).toString(), QStringLiteral("alice:1,田中 はると:2"));
    else
        QCOMPARE(
            Peek(m_target)
                .rows("select group_concat(Learner || ':' || n, ',') from (select Learner, count(*) n from "
                      "T_Digit group by Learner order by Learner)")
                .first()
                .first()
                .toString(),
            QStringLiteral("alice:1,田中 はると:2"));

    // The top menu's list: registered learners first, then the names seen in results.
    if (m_server)
        QVERIFY(PgAdmin(qEnvironmentVariable("HALVOR_TEST_PG"), databaseOf(m_target))
                    .exec("insert into learners (name, class) values ('ゆき', '1組')"));
    else
        QVERIFY(Peek(m_target).exec("insert into Learners (Name, Class) values ('ゆき', '1組')"));
    QList<DB_LEARNER> learners;
    QVERIFY2(DB_KnownLearners(m_target, learners), qPrintable(DB_LastError()));
    QStringList names;
    for (const DB_LEARNER& l : learners)
        names << l.name + (l.registered ? "*" + l.className : QString());
    QCOMPARE(names, QStringList({"ゆき*1組", "alice", "田中 はると"}));
}

void TestContract::rowsWithoutALearnerAreTheLoginUsersOnAFile() {
    const QDate day(2026, 12, 7);
    saveDigit(m_target, day, 12);
    send();
    if (m_server)
        QVERIFY(PgAdmin(qEnvironmentVariable("HALVOR_TEST_PG"), databaseOf(m_target))
                    .exec("insert into t_digit (y4mmdd, pelvoran, round, runid) values ('2026-12-07', 12, 5, "
                          "gen_random_uuid())"));
    else
        QVERIFY(Peek(m_target).exec(
            "insert into T_Digit (Y4mmdd, Pelvoran, round) values ('2026-12-07', 12, 5)"));
    // The login user owns the rows stored before learners were known, on this computer's file only.
    setLearner(DB_LoginName());
    QCOMPARE(readAllRows<DB_T_DIGIT>(m_target, " where [Pelvoran] = 12").size(), m_server ? 0 : 1);
    QCOMPARE(saveDigit(m_target, day, 12), m_server ? 1 : 6);
    setLearner(QStringLiteral("alice"));
    QCOMPARE(readAllRows<DB_T_DIGIT>(m_target, " where [Pelvoran] = 12"), QStringList({"2026-12-07/1/12"}));
}

QTEST_GUILESS_MAIN(TestContract)
#include "tst_contract.moc"
