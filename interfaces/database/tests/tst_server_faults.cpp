// The school's server going away, stalling, locked and coming back, on a PostgreSQL cluster of this test's
// own: a finished run is safe on this computer at once and arrives on the server exactly once; a program
// ends within two seconds whatever the server does; a program killed while sending sends at most a few runs
// again; each learner's runs of a day are numbered on the server in the order they finished; every cause of
// a failed connection is told as its own.
#include "Database.h"
#include "DbTestKit.h"
#include "SaveSequences.h"
#include "StallingProxy.h"

#include <QElapsedTimer>
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
    void aProgramKilledWhileSendingSendsAtMostAFewAgain();
    void aStalledOrLockedServerHoldsNoRunAndNoProgram_data();
    void aStalledOrLockedServerHoldsNoRunAndNoProgram();
    void aProgramEndedByExitStillWritesItsWaitingSaves();
    void runsOfTwoComputersAreNumberedInTheOrderTheyFinished();
    void serverProblemsAreToldByTheirCause_data();
    void serverProblemsAreToldByTheirCause();

private:
    // A program of the suite in a process of its own (program_start.cpp), with this test's settings.
    QProcess* startProgram(const QStringList& arguments = {}, const QString& target = {});
    qlonglong serverRows();
    qlonglong waitingRuns();
    PgAdmin admin() { return PgAdmin(m_admin, databaseOf(m_target)); }

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

QProcess* TestServerFaults::startProgram(const QStringList& arguments, const QString& target) {
    auto* process = new QProcess(this);
    process->setProgram(QStringLiteral(HALVOR_PROGRAM_START));
    process->setArguments(arguments);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HALVOR_DATABASE"), target.isEmpty() ? m_target : target);
    process->setProcessEnvironment(env);
    process->start();
    return process;
}

qlonglong TestServerFaults::serverRows() {
    return admin().value(QStringLiteral("select count(distinct runid) from t_digit")).toLongLong();
}

qlonglong TestServerFaults::waitingRuns() {
    return Peek(m_local).rows(QStringLiteral("select count(*) from Outbox")).first().first().toLongLong();
}

void TestServerFaults::aRunSavedWhileTheServerIsDownWaitsAndArrivesOnce() {
    const QDate day = QDate::currentDate();
    QCOMPARE(saveDigit(m_target, day, 12), 1);
    QVERIFY2(DB_SendOutbox(), qPrintable(DB_LastError()));
    QCOMPARE(serverRows(), 1);

    QVERIFY(cluster(QStringLiteral("halt"), m_clusterPath));
    QCOMPARE(saveDigit(m_target, day, 12), 2); // numbered after the runs this computer holds
    QVERIFY(!DB_SendOutbox());
    QCOMPARE(DB_LastProblem(), Problem::Offline);
    QCOMPARE(DB_QueuedText(DB_LastProblem()), kFriendlyLine);
    QCOMPARE(waitingRuns(), 1);
    // A chart drawn meanwhile shows this computer's rows, with a note.
    QCOMPARE(readAllRows<DB_T_DIGIT>(m_target, " where [Pelvoran] = 12 order by [Y4mmdd] , [round]").size(),
             2);
    QCOMPARE(DB_ServerProblem(), Problem::Offline);

    QVERIFY(cluster(QStringLiteral("start"), m_clusterPath));
    for (int start = 0; start < 2; ++start) {
        QProcess* program = startProgram();
        QVERIFY(program->waitForFinished(60000));
        QCOMPARE(program->exitCode(), 0);
        QCOMPARE(serverRows(), 2);
        QCOMPARE(waitingRuns(), 0);
    }
    QCOMPARE(admin().value("select string_agg(learner || round, ',' order by round) from t_digit").toString(),
             QStringLiteral("alice1,alice2"));
}

void TestServerFaults::aRunSentTwiceIsStoredOnce() {
    QVERIFY(saveDigit(m_target, QDate::currentDate(), 12) > 0);
    QVERIFY(DB_SendOutbox());
    QCOMPARE(waitingRuns(), 0);
    // As if the program had been killed after the server's commit, before the entry was removed.
    QVERIFY(Peek(m_local).exec("insert into Outbox (RunId, TableName) select RunId, 'T_Digit' from T_Digit"));
    QCOMPARE(waitingRuns(), 1);
    QVERIFY2(DB_SendOutbox(), qPrintable(DB_LastError()));
    QCOMPARE(admin().value("select count(*) from t_digit").toLongLong(), 1);
    QCOMPARE(waitingRuns(), 0);
}

void TestServerFaults::aProgramKilledWhileSendingSendsAtMostAFewAgain() {
    constexpr int kRuns = 3000;
    QVERIFY(saveDigit(m_target, QDate::currentDate(), 12) > 0);
    {
        // Many runs kept while the server was away, written beside the library for speed.
        Peek peek(m_local);
        QVERIFY(peek.exec("BEGIN"));
        for (int i = 2; i <= kRuns; ++i) {
            const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            QVERIFY(peek.exec(
                QStringLiteral("insert into T_Digit (Y4mmdd, Pelvoran, round, Learner, RunId) values "
                               "(date('now', 'localtime'), 12, %1, 'alice', '%2')")
                    .arg(i)
                    .arg(id)));
            QVERIFY(peek.exec(
                QStringLiteral("insert into Outbox (RunId, TableName) values ('%1', 'T_Digit')").arg(id)));
        }
        QVERIFY(peek.exec("COMMIT"));
    }

    QProcess* program = startProgram();
    QTRY_VERIFY_WITH_TIMEOUT(serverRows() > 0, 60000);
    program->kill(); // SIGKILL, in the middle of sending
    QVERIFY(program->waitForFinished());
    const qlonglong before = serverRows();
    QVERIFY2(before < kRuns, "the program finished sending before it could be killed");
    // Each few runs are forgotten as soon as the server has them: at most one batch is sent again.
    QVERIFY2(waitingRuns() <= kRuns - before + 8,
             qPrintable(QString::number(waitingRuns() - (kRuns - before))));

    program = startProgram();
    QVERIFY(program->waitForFinished(120000));
    QCOMPARE(serverRows(), qlonglong(kRuns));
    QCOMPARE(admin().value("select count(*) from t_digit").toLongLong(), qlonglong(kRuns));
    QCOMPARE(waitingRuns(), 0);
}

void TestServerFaults::aStalledOrLockedServerHoldsNoRunAndNoProgram_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("lockMs"); // how long an administrator holds the table
    QTest::newRow("a connection that stalls after login") << "stall" << 0;
    QTest::newRow("a table locked for longer than any wait") << "lock" << 9000;
}

void TestServerFaults::aStalledOrLockedServerHoldsNoRunAndNoProgram() {
    QFETCH(QString, fault);
    QFETCH(int, lockMs);
    QVERIFY(saveDigit(m_target, QDate::currentDate(), 12) > 0); // the tables are made
    QVERIFY(DB_SendOutbox());
    StallingProxy proxy(m_clusterPath);
    const QString viaProxy =
        QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2?sslmode=disable&gssencmode=disable")
            .arg(proxy.port())
            .arg(databaseOf(m_target));
    PgAdmin holder(m_admin, databaseOf(m_target));
    QElapsedTimer held;
    if (fault == "stall") {
        proxy.setStalling(true);
    } else {
        QVERIFY(holder.exec("BEGIN"));
        QVERIFY(holder.exec("LOCK TABLE t_digit IN ACCESS EXCLUSIVE MODE"));
        held.start();
    }

    // A run finishes, and the learner presses 終了 at once.
    QProcess* program = startProgram({QStringLiteral("save")}, viaProxy);
    QVERIFY(program->waitForReadyRead(10000));
    const QList<QByteArray> said = program->readLine().trimmed().split(' ');
    QCOMPARE(said.value(0), QByteArray("saved"));
    // Safe on this computer long before any wait on the server could end (a connection is given 3 s at the
    // least, a lock 3 s, and both faults last longer): about a second on a plain build, more under the
    // sanitizers on a busy machine.
    QVERIFY2(said.value(1).toInt() < 2500, said.value(1).constData());
    QElapsedTimer closing;
    closing.start();
    QVERIFY(program->waitForFinished(10000));
    QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
    QCOMPARE(waitingRuns(), 1);

    if (fault == "stall") {
        // A chart read meanwhile is cut off within its bound and shows this computer's rows, with a note.
        QElapsedTimer reading;
        reading.start();
        QCOMPARE(readAllRows<DB_T_DIGIT>(viaProxy, " where [Pelvoran] = 12").size(), 2);
        QCOMPARE(DB_ServerProblem(), Problem::Offline);
        QVERIFY2(reading.elapsed() < 9000, qPrintable(QString::number(reading.elapsed())));
        proxy.setStalling(false);
    } else {
        QTest::qWait(std::max<int>(0, lockMs - int(held.elapsed())));
        QVERIFY(holder.exec("COMMIT"));
    }
    // The next program's start sends it, once.
    program = startProgram({}, viaProxy);
    QVERIFY(program->waitForFinished(60000));
    QCOMPARE(serverRows(), 2);
    QCOMPARE(admin().value("select count(*) from t_digit").toLongLong(), 2);
    QCOMPARE(waitingRuns(), 0);
}

// Qt ends a program by exit() when its display goes: nothing of the application is torn down first, and the
// statics go in the reverse order they were made.
void TestServerFaults::aProgramEndedByExitStillWritesItsWaitingSaves() {
    StallingProxy proxy(m_clusterPath);
    proxy.setStalling(true); // the first run's send hangs when the program ends
    const QString viaProxy =
        QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2?sslmode=disable&gssencmode=disable")
            .arg(proxy.port())
            .arg(databaseOf(m_target));
    QProcess* program = startProgram({QStringLiteral("exit")}, viaProxy);
    QElapsedTimer ending;
    ending.start();
    QVERIFY(program->waitForFinished(20000));
    qInfo("ended %lld ms after it started", static_cast<long long>(ending.elapsed()));
    QVERIFY2(program->exitStatus() == QProcess::NormalExit && program->exitCode() == 0,
             program->readAllStandardError().constData());
    QCOMPARE(Peek(m_local).rows(QStringLiteral("select count(*) from T_Digit")).first().first().toInt(), 3);
    QCOMPARE(waitingRuns(), 3);
}

void TestServerFaults::runsOfTwoComputersAreNumberedInTheOrderTheyFinished() {
    const QString computerA = m_local;
    const QString computerB = m_dir->filePath(QStringLiteral("B.MDB"));
    const QDate day = QDate::currentDate();
    const auto on = [](const QString& file) { qputenv("VUR_MDB", file.toUtf8()); };
    // B is offline all along; A sends at once. Each numbers the runs it knows.
    on(computerB);
    QCOMPARE(saveDigit(m_target, day, 12), 1);
    on(computerA);
    QCOMPARE(saveDigit(m_target, day, 12), 1);
    QVERIFY(DB_SendOutbox());
    on(computerB);
    QCOMPARE(saveDigit(m_target, day, 12), 2);
    QVERIFY(DB_SendOutbox());
    QCOMPARE(admin().value("select string_agg(round::text, ',' order by finished) from t_digit").toString(),
             QStringLiteral("1,2,3"));
    // Which computer each came from: B first, then A, then B again.
    const auto runIds = [](const QString& file) {
        QStringList ids;
        for (const QVariantList& row : Peek(file).rows("select RunId from T_Digit order by Finished"))
            ids << row.first().toString();
        return ids;
    };
    const QStringList a = runIds(computerA);
    const QStringList b = runIds(computerB);
    QCOMPARE(admin().value("select string_agg(runid::text, ',' order by round) from t_digit").toString(),
             QStringList({b[0], a[0], b[1]}).join(','));
}

void TestServerFaults::serverProblemsAreToldByTheirCause_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("problem");
    QTest::newRow("unknown host") << "host" << int(Problem::UnknownHost);
    QTest::newRow("wrong password") << "password" << int(Problem::LoginRefused);
    QTest::newRow("a server shutting down") << "stopping" << int(Problem::ServerStarting);
    QTest::newRow("tables of a later version") << "version" << int(Problem::OtherVersion);
    QTest::newRow("hand-made tables of another shape") << "shape" << int(Problem::OtherVersion);
}

void TestServerFaults::serverProblemsAreToldByTheirCause() {
    QFETCH(QString, kind);
    QFETCH(int, problem);
    QString target = m_target;
    const QString db = databaseOf(m_target);
    std::optional<PgAdmin> lingering;
    if (kind == "host") {
        target = QStringLiteral("postgresql://postgres@no-such-host.invalid/%1").arg(db);
    } else if (kind == "password") {
        PgAdmin admin(m_admin);
        QVERIFY(
            admin.exec("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'classroom') THEN "
                       "CREATE ROLE classroom LOGIN PASSWORD 'right'; END IF; END $$"));
        const QString hba = m_clusterPath + QStringLiteral("/data/pg_hba.conf");
        const QByteArray rules = readAll(hba);
        if (!rules.startsWith("local all classroom")) {
            writeFile(hba, "local all classroom scram-sha-256\n" + rules);
            QVERIFY(admin.exec("SELECT pg_reload_conf()"));
        }
        target = QStringLiteral("postgresql://classroom:wrong@/%1?host=%2").arg(db, m_clusterPath);
    } else if (kind == "stopping") {
        // A smart shutdown waits for the sessions still open and turns new ones away meanwhile.
        lingering.emplace(m_admin, db);
        QVERIFY(cluster(QStringLiteral("smart-stop"), m_clusterPath));
        QTRY_VERIFY(!PgAdmin(m_admin, db).isOpen());
    } else if (kind == "version") {
        QVERIFY(saveDigit(m_target, QDate::currentDate(), 12) > 0);
        QVERIFY2(DB_SendOutbox(), qPrintable(DB_LastError()));
        QVERIFY(admin().exec("update halvor_schema set version = 99"));
    } else {
        // Someone made the tables by hand, with whole numbers where the drills store tenths.
        PgAdmin admin(m_admin, db);
        QVERIFY(admin.exec(
            QString::fromUtf8(readAll(QStringLiteral(HALVOR_SERVER_SCHEMA)))
                .replace(QStringLiteral("result3 double precision"), QStringLiteral("result3 integer"))));
    }
    QVERIFY(saveDigit(target, QDate::currentDate(), 12) > 0);
    qputenv("HALVOR_DATABASE", target.toUtf8());
    QVERIFY(!DB_SendOutbox());
    QCOMPARE(int(DB_LastProblem()), problem);
    const QString told = DB_QueuedText(DB_LastProblem());
    QVERIFY2(told.startsWith(DB_ProblemText(DB_LastProblem())) && told.endsWith(kFriendlyLine),
             qPrintable(told));
    QVERIFY(!told.contains(QRegularExpression("[A-Za-z]")));
    QVERIFY2(!DB_LastError().contains("wrong"), "the password never reaches the log");
    QVERIFY(waitingRuns() >= 1);
    if (kind == "shape")
        QCOMPARE(admin().value("select count(*) from t_digit").toInt(), 0); // nothing is written there
    if (lingering) {
        lingering.reset();
        QVERIFY(cluster(QStringLiteral("halt"), m_clusterPath)); // stopped for good before the next test
    }
}

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_server_faults.moc"
