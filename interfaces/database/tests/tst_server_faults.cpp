// The school's server going away and coming back, on a PostgreSQL cluster of this test's own: runs are kept
// on this computer and arrive once; a program killed while sending loses nothing; a wrong password, an
// unknown host or tables of another version are told clearly, and the run waits all the same.
#include "Database.h"
#include "DbTestKit.h"
#include "SaveSequences.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using halvor::db::Problem;
using halvor::db::SaveOutcome;

namespace {

const QString kFriendlyLine =
    QStringLiteral("サーバーに つながらないので、この パソコンに ほぞんしました。 あとで おくります。");

bool cluster(const QString& action, const QString& dir) {
    return QProcess::execute(QStringLiteral(HALVOR_PG_CLUSTER), {action, dir}) == 0;
}

// The windmill's save sequence, with its outcome as the drill sees it.
SaveOutcome saveWindmillRun(const QString& target, const QDate& day) {
    const int round = saveDigit(target, day, 12);
    return DB_SaveOutcome(round > 0 ? 1 : 0, round);
}

} // namespace

class TestServerFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void aRunSavedWhileTheServerIsDownWaitsAndArrivesOnce();
    void aRunSentTwiceIsStoredOnce();
    void aProgramKilledWhileSendingLosesNothing();
    void serverProblemsAreToldClearlyAndTheRunWaits_data();
    void serverProblemsAreToldClearlyAndTheRunWaits();

private:
    // Runs a program start (the outbox is sent) in a process of its own, as the next program would.
    QProcess* startProgram();
    qlonglong serverRows();
    qlonglong waitingRuns();

    std::optional<QTemporaryDir> m_clusterDir;
    QString m_clusterPath;
    QString m_admin;
    std::optional<QTemporaryDir> m_dir;
    QString m_local;
    QString m_target;
};

void TestServerFaults::initTestCase() {
    m_clusterDir.emplace(scratchBase() + QStringLiteral("/pg-XXXXXX"));
    m_clusterPath = m_clusterDir->path();
    QVERIFY(cluster(QStringLiteral("start"), m_clusterPath));
    m_admin = QStringLiteral("postgresql://postgres@/postgres?host=%1").arg(m_clusterPath);
}

void TestServerFaults::cleanupTestCase() {
    cluster(QStringLiteral("stop"), m_clusterPath);
}

void TestServerFaults::init() {
    m_dir.emplace(scratchBase() + QStringLiteral("/server-faults-XXXXXX"));
    m_local = m_dir->filePath(QStringLiteral("VUR.MDB"));
    qputenv("VUR_MDB", m_local.toUtf8());
    qputenv("HALVOR_LEARNER", "alice");
    m_target = freshServerDatabase(m_admin);
    qputenv("HALVOR_DATABASE", m_target.toUtf8());
}

void TestServerFaults::cleanup() {
    cluster(QStringLiteral("start"), m_clusterPath);
    qunsetenv("HALVOR_DATABASE");
    m_dir.reset();
}

QProcess* TestServerFaults::startProgram() {
    auto* process = new QProcess(this);
    process->setProgram(QStringLiteral(HALVOR_PROGRAM_START));
    process->start();
    return process;
}

qlonglong TestServerFaults::serverRows() {
    return PgAdmin(m_admin, databaseOf(m_target))
        .value(QStringLiteral("select count(distinct runid) from t_digit"))
        .toLongLong();
}

qlonglong TestServerFaults::waitingRuns() {
    return Peek(m_local).rows(QStringLiteral("select count(*) from Outbox")).first().first().toLongLong();
}

void TestServerFaults::aRunSavedWhileTheServerIsDownWaitsAndArrivesOnce() {
    const QDate day(2026, 12, 7);
    QVERIFY(saveWindmillRun(m_target, day).stored);
    QCOMPARE(serverRows(), 1);

    QVERIFY(cluster(QStringLiteral("halt"), m_clusterPath));
    const SaveOutcome outcome = saveWindmillRun(m_target, day);
    QVERIFY(outcome.stored && outcome.queued);
    QCOMPARE(outcome.problem, Problem::Offline);
    QCOMPARE(outcome.round, 2); // numbered after the runs this computer kept
    QCOMPARE(DB_QueuedText(outcome.problem), kFriendlyLine);
    QCOMPARE(waitingRuns(), 1);
    // A chart drawn meanwhile shows this computer's rows, with a note.
    QCOMPARE(readAllRows<DB_T_DIGIT>(m_target, " where [Pelvoran] = 12 order by [Y4mmdd] , [round]"),
             QStringList({"2026-12-07/1/12", "2026-12-07/2/12"}));
    QCOMPARE(DB_ServerProblem(), Problem::Offline);

    QVERIFY(cluster(QStringLiteral("start"), m_clusterPath));
    for (int start = 0; start < 2; ++start) {
        QProcess* program = startProgram();
        QVERIFY(program->waitForFinished(60000));
        QCOMPARE(program->exitCode(), 0);
        QCOMPARE(serverRows(), 2);
        QCOMPARE(waitingRuns(), 0);
    }
    QCOMPARE(PgAdmin(m_admin, databaseOf(m_target))
                 .value("select string_agg(learner || round, ',' order by round) from t_digit")
                 .toString(),
             QStringLiteral("alice1,alice2"));
}

void TestServerFaults::aRunSentTwiceIsStoredOnce() {
    QVERIFY(saveWindmillRun(m_target, QDate(2026, 12, 7)).stored);
    QCOMPARE(waitingRuns(), 0);
    // As if the program had been killed after the server's commit, before the entry was removed.
    QVERIFY(Peek(m_local).exec("insert into Outbox (RunId, TableName) select RunId, 'T_Digit' from T_Digit"));
    QCOMPARE(waitingRuns(), 1);
    QVERIFY2(DB_SendOutbox(), qPrintable(DB_LastError()));
    QCOMPARE(serverRows(), 1);
    QCOMPARE(PgAdmin(m_admin, databaseOf(m_target)).value("select count(*) from t_digit").toLongLong(), 1);
    QCOMPARE(waitingRuns(), 0);
}

void TestServerFaults::aProgramKilledWhileSendingLosesNothing() {
    constexpr int kRuns = 3000;
    QVERIFY(cluster(QStringLiteral("halt"), m_clusterPath));
    QVERIFY(saveWindmillRun(m_target, QDate(2026, 12, 7)).queued);
    {
        // Many runs kept while the server was away, written beside the library for speed.
        Peek peek(m_local);
        QVERIFY(peek.exec("BEGIN"));
        for (int i = 2; i <= kRuns; ++i) {
            const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            QVERIFY(peek.exec(
                QStringLiteral("insert into T_Digit (Y4mmdd, Pelvoran, round, Learner, RunId) values "
                               "('2026-12-07', 12, %1, 'alice', '%2')")
                    .arg(i)
                    .arg(id)));
            QVERIFY(peek.exec(
                QStringLiteral("insert into Outbox (RunId, TableName) values ('%1', 'T_Digit')").arg(id)));
        }
        QVERIFY(peek.exec("COMMIT"));
    }
    QVERIFY(cluster(QStringLiteral("start"), m_clusterPath));

    QProcess* program = startProgram();
    QTRY_VERIFY_WITH_TIMEOUT(serverRows() > 0, 60000);
    program->kill(); // SIGKILL, in the middle of sending
    QVERIFY(program->waitForFinished());
    const qlonglong before = serverRows();
    QVERIFY2(before < kRuns, "the program finished sending before it could be killed");

    program = startProgram();
    QVERIFY(program->waitForFinished(120000));
    QCOMPARE(serverRows(), qlonglong(kRuns));
    QCOMPARE(PgAdmin(m_admin, databaseOf(m_target)).value("select count(*) from t_digit").toLongLong(),
             qlonglong(kRuns));
    QCOMPARE(waitingRuns(), 0);
}

void TestServerFaults::serverProblemsAreToldClearlyAndTheRunWaits_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("problem");
    QTest::newRow("unknown host") << "host" << int(Problem::UnknownHost);
    QTest::newRow("wrong password") << "password" << int(Problem::LoginRefused);
    QTest::newRow("tables of another version") << "version" << int(Problem::OtherVersion);
}

void TestServerFaults::serverProblemsAreToldClearlyAndTheRunWaits() {
    QFETCH(QString, kind);
    QFETCH(int, problem);
    QString target = m_target;
    const QString db = databaseOf(m_target);
    if (kind == "host") {
        target = QStringLiteral("postgresql://postgres@no-such-host.invalid/%1").arg(db);
    } else if (kind == "password") {
        PgAdmin admin(m_admin);
        QVERIFY(
            admin.exec("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'classroom') THEN "
                       "CREATE ROLE classroom LOGIN PASSWORD 'right'; END IF; END $$"));
        const QString hba = m_clusterPath + QStringLiteral("/data/pg_hba.conf");
        QFile file(hba);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray rules = file.readAll();
        file.close();
        if (!rules.startsWith("local all classroom")) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("local all classroom scram-sha-256\n" + rules);
            file.close();
            QVERIFY(admin.exec("SELECT pg_reload_conf()"));
        }
        target = QStringLiteral("postgresql://classroom:wrong@/%1?host=%2").arg(db, m_clusterPath);
    } else {
        QVERIFY(saveWindmillRun(m_target, QDate(2026, 12, 6)).stored);
        QVERIFY(PgAdmin(m_admin, db).exec("update halvor_schema set version = 99"));
    }
    const SaveOutcome outcome = saveWindmillRun(target, QDate(2026, 12, 7));
    QVERIFY(outcome.stored && outcome.queued);
    QCOMPARE(int(outcome.problem), problem);
    const QString told = DB_QueuedText(outcome.problem);
    QVERIFY2(told.startsWith(DB_ProblemText(outcome.problem)) && told.endsWith(kFriendlyLine),
             qPrintable(told));
    QVERIFY(!told.contains(QRegularExpression("[A-Za-z]")));
    QVERIFY2(!DB_LastError().contains("wrong"), "the password never reaches the log");
    QCOMPARE(waitingRuns(), 1);
}

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_server_faults.moc"
