// tools/classroom-setup against the test server, and the classroom logins it makes against the class's
// data: the tables are the ones the programs make; a login may add runs only through the server's insert
// function, which refuses what no drill produces and never lets an existing run id swallow another run; no
// login can end another computer's session; no password reaches a log, a message or a command line.
#include "Database.h"
#include "DbTestKit.h"
#include "SaveSequences.h"
#include "Schema.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList columnsOf(const QString& admin, const QString& database) {
    PgAdmin db(admin, database);
    const QString sql =
        QStringLiteral("select string_agg(table_name || '.' || column_name || ' ' || data_type, ',' "
                       "order by table_name, ordinal_position) from information_schema.columns "
                       "where table_schema = 'public'");
    return db.value(sql).toString().split(QLatin1Char(','));
}

QString socketOf(const QString& admin) {
    return QUrlQuery(QUrl(admin).query()).queryItemValue("host");
}

// Every command line of a process on this machine that mentions psql.
void noteCommandLines(QSet<QString>& seen) {
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        QFile f(it.next() + QStringLiteral("/cmdline"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromUtf8(f.readAll().replace('\0', ' '));
        if (line.contains(QLatin1String("psql")))
            seen.insert(line);
    }
}

} // namespace

class TestClassroom : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void theScriptPreparesAServerTheProgramsUse();
    void aServerOfTheEarlierVersionIsBroughtUpToDate();
    void theInsertFunctionRefusesWhatNoDrillProduces_data();
    void theInsertFunctionRefusesWhatNoDrillProduces();
    void aReportIsCheckedAndStoredUnderItsLogin_data();
    void aReportIsCheckedAndStoredUnderItsLogin();
    void aLoginCannotEndAnotherComputersSessionNorTakeEverySlot();
    void aForgedRunIdNeverReplacesARealRun();
    void noPasswordReachesALogOrACommandLine();
    void anOlderServerIsBroughtUpToDateByWhoMay();

private:
    // Runs the script; its standard output, or a failure.
    QString setUp(const QStringList& arguments, QSet<QString>* commandLines = nullptr);
    QString uriFor(const QString& login) const {
        return QStringLiteral("postgresql://%1@/%2?host=%3").arg(login, m_database, socketOf(m_admin));
    }

    QString m_admin;
    std::optional<QTemporaryDir> m_dir;
    QString m_database; // set up once with two computers' logins
    QString m_role;
    QString m_stderr;
};

void TestClassroom::initTestCase() {
    m_admin = qEnvironmentVariable("HALVOR_TEST_PG");
    m_dir.emplace(scratchBase() + QStringLiteral("/classroom-XXXXXX"));
    qputenv("VUR_MDB", m_dir->filePath(QStringLiteral("VUR.MDB")).toUtf8());
    const QString suffix = QUuid::createUuid().toString(QUuid::Id128).left(8);
    m_database = QStringLiteral("school_") + suffix;
    m_role = QStringLiteral("class_") + suffix;
    writeFile(m_dir->filePath(QStringLiteral("class.txt")),
              "ゆき\t1組\t2\tゆき\r\nはると\n\n田中 はると\t2組\t\tたなか はると\nそら\t1組\t1\n");
}

void TestClassroom::cleanupTestCase() {
    qunsetenv("HALVOR_LEARNER");
}

QString TestClassroom::setUp(const QStringList& arguments, QSet<QString>* commandLines) {
    QProcess script;
    script.start(QStringLiteral(HALVOR_CLASSROOM_SETUP), QStringList{"--admin-uri", m_admin} + arguments);
    if (!script.waitForStarted())
        return QStringLiteral("not started");
    while (!script.waitForFinished(commandLines ? 1 : 60000)) {
        if (!commandLines)
            return QStringLiteral("not finished");
        noteCommandLines(*commandLines);
    }
    m_stderr = QString::fromUtf8(script.readAllStandardError());
    if (script.exitCode() != 0)
        return QStringLiteral("failed: ") + m_stderr;
    return QString::fromUtf8(script.readAllStandardOutput());
}

void TestClassroom::theScriptPreparesAServerTheProgramsUse() {
    const QString settings = setUp({"--database", m_database, "--role", m_role, "--class-list",
                                    m_dir->filePath("class.txt"), "--server-host", "school-server",
                                    "--computers", "2", "--logins-file", m_dir->filePath("logins")});
    // Standard output holds the settings file and nothing else.
    QVERIFY2(settings.startsWith("# Copy to") &&
                 settings.contains(QStringLiteral("Url=postgresql://school-server/%1").arg(m_database)),
             qPrintable(settings));
    QVERIFY(settings.trimmed().endsWith(QStringLiteral("Shared=true")));
    QCOMPARE(QFile::permissions(m_dir->filePath("logins")) & 0x0077, QFileDevice::Permissions());

    // The tables are the ones a program makes on an empty server.
    const QString made = freshServerDatabase(m_admin);
    QVERIFY(saveDigit(made, QDate(2026, 12, 7), 12) == 1);
    QVERIFY(sendWaitingRuns(made));
    QCOMPARE(columnsOf(m_admin, m_database), columnsOf(m_admin, databaseOf(made)));

    // A classroom computer saves, reads its own rows and the learners, and can change nothing else.
    const QString classroom = uriFor(m_role + "_01");
    qputenv("HALVOR_LEARNER", "ゆき");
    QCOMPARE(saveDigit(classroom, QDate(2026, 12, 7), 12), 1);
    QVERIFY2(sendWaitingRuns(classroom), qPrintable(DB_LastError()));
    QCOMPARE(readAllRows<DB_T_DIGIT>(classroom, " where [Pelvoran] = 12"), QStringList({"2026-12-07/1/12"}));
    QList<DB_LEARNER> learners;
    QVERIFY2(DB_KnownLearners(classroom, learners), qPrintable(DB_LastError()));
    QStringList names;
    for (const DB_LEARNER& l : learners)
        names << l.name + (l.registered
                               ? QStringLiteral("*%1#%2/%3").arg(l.className).arg(l.number).arg(l.furigana)
                               : QString());
    QCOMPARE(names, QStringList(
                        {"そら*1組#1/", "ゆき*1組#2/ゆき", "田中 はると*2組#0/たなか はると", "はると*#0/"}));
    PgAdmin asClassroom(m_admin, m_database, m_role + "_01");
    QVERIFY(asClassroom.isOpen());
    QVERIFY(!asClassroom.exec("insert into t_digit (y4mmdd, pelvoran, learner, runid) values "
                              "(current_date, 12, 'ゆき', gen_random_uuid())"));
    QVERIFY(!asClassroom.exec("update t_digit set result3 = 1"));
    QVERIFY(!asClassroom.exec("delete from t_digit"));
    QVERIFY(!asClassroom.exec("insert into learners values ('x', NULL)"));
    QVERIFY(!asClassroom.exec("drop table t_key"));
    // The group itself logs in no more.
    QVERIFY(!PgAdmin(m_admin, m_database, m_role).isOpen());
}

void TestClassroom::aServerOfTheEarlierVersionIsBroughtUpToDate() {
    const QString database = QStringLiteral("old_") + QUuid::createUuid().toString(QUuid::Id128).left(8);
    PgAdmin(m_admin).exec(QStringLiteral("CREATE DATABASE %1").arg(database));
    {
        // As the earlier set-up left a server: version 2, and the classroom role inserting directly.
        PgAdmin old(m_admin, database);
        QVERIFY(old.exec("CREATE EXTENSION citext"));
        QVERIFY(old.exec(
            "CREATE TABLE t_digit (y4mmdd date, pelvoran smallint, round smallint, rem citext, cond1 "
            "citext, cond2 citext, \"time\" double precision, result1 double precision, result2 double "
            "precision, result3 double precision, result4 double precision, result5 double precision, "
            "err1 citext, learner citext, runid uuid NOT NULL UNIQUE)"));
        QVERIFY(old.exec("CREATE TABLE halvor_schema (version integer NOT NULL)"));
        QVERIFY(old.exec("INSERT INTO halvor_schema VALUES (2)"));
        QVERIFY(old.exec("INSERT INTO t_digit (y4mmdd, pelvoran, round, result3, learner, runid) VALUES "
                         "('2026-12-01', 12, 1, 88.5, 'ゆき', gen_random_uuid())"));
        QVERIFY(old.exec(QStringLiteral("CREATE ROLE %1_old LOGIN").arg(m_role)));
        QVERIFY(
            old.exec(QStringLiteral("GRANT INSERT, SELECT ON t_digit, halvor_schema TO %1_old").arg(m_role)));
    }
    // A classroom computer meets the older tables: it may not bring them up to date, and says so.
    qputenv("HALVOR_LEARNER", "ゆき");
    const QString oldLogin =
        QStringLiteral("postgresql://%1_old@/%2?host=%3").arg(m_role, database, socketOf(m_admin));
    QVERIFY(saveDigit(oldLogin, QDate(2026, 12, 7), 12) > 0);
    QVERIFY(!sendWaitingRuns(oldLogin));
    QCOMPARE(DB_LastProblem(), halvor::db::Problem::OtherVersion);

    const QString settings = setUp({"--database", database, "--role", m_role + "_old"});
    QVERIFY2(settings.startsWith("# Copy to"), qPrintable(settings));
    PgAdmin after(m_admin, database);
    QCOMPARE(after.value("select max(version) from halvor_schema").toInt(), halvor::db::kSchemaVersion);
    QCOMPARE(after.value("select count(*) from t_digit where result3 = 88.5").toInt(), 1);
    QVERIFY(!PgAdmin(m_admin, database, m_role + "_old")
                 .exec("insert into t_digit (runid) values (gen_random_uuid())"));
    // The waiting run now goes through the function.
    QVERIFY2(sendWaitingRuns(oldLogin), qPrintable(DB_LastError()));
    QCOMPARE(after.value("select count(*) from t_digit").toInt(), 2);
}

void TestClassroom::theInsertFunctionRefusesWhatNoDrillProduces_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("fields");   // beside a sound run's
    QTest::addColumn<QString>("children"); // the function's third argument
    QTest::addColumn<QString>("answer");   // how the answer begins
    QTest::addColumn<int>("units");        // unit rows stored with it
    const QString none = QStringLiteral("{}");
    const auto units = [](const QString& rows) { return QStringLiteral(R"({"t_unit": [%1]})").arg(rows); };
    const QString ka = R"({"unit": "か", "attempts": 12, "misses": 2, "meanms": 410, "wrongkey": "t"})";
    QTest::newRow("a sound run") << "t_digit"
                                 << "" << none << "new" << 0;
    QTest::newRow("a speed no finger reaches") << "t_digit"
                                               << R"("result3": 9999)" << none << "refused" << 0;
    QTest::newRow("a negative time") << "t_digit"
                                     << R"("time": -1)" << none << "refused" << 0;
    QTest::newRow("not a number") << "t_digit"
                                  << R"("time": "NaN")" << none << "refused" << 0;
    QTest::newRow("an hour and more at the windmill") << "t_digit"
                                                      << R"("time": 3601)" << none << "refused" << 0;
    QTest::newRow("a long hiragana run")
        << "t_key"
        << R"("tavrel": 23, "cond1": "AI", "time": 5000)" << none << "new" << 0;
    QTest::newRow("a day to come") << "t_digit"
                                   << R"("y4mmdd": "2099-01-01")" << none << "refused" << 0;
    QTest::newRow("a learner not on the class list") << "t_digit"
                                                     << R"("learner": "だれか")" << none << "refused" << 0;
    QTest::newRow("a drill number no drill has") << "t_key"
                                                 << R"("tavrel": 99)" << none << "refused" << 0;
    QTest::newRow("what the server sets itself") << "t_digit"
                                                 << R"("sent_from": "pc-9")" << none << "refused" << 0;
    QTest::newRow("a column that is not there") << "t_digit"
                                                << R"("grade": 1)" << none << "refused" << 0;
    QTest::newRow("units of a hiragana run")
        << "t_key"
        << R"("tavrel": 23, "cond1": "AI")"
        << units(
               ka +
               R"(, {"unit": "きゃ", "attempts": 3, "misses": 0}, {"unit": "ん", "attempts": 1, "misses": 1, "wrongkey": ""})")
        << "new" << 3;
    QTest::newRow("keys of the windmill")
        << "t_digit"
        << "" << units(R"({"unit": "f", "attempts": 40, "misses": 3, "meanms": 280, "wrongkey": "d"})")
        << "new" << 1;
    QTest::newRow("a child table the server has not") << "t_digit"
                                                      << ""
                                                      << R"({"t_mouse": []})"
                                                      << "refused" << 0;
    QTest::newRow("a unit that is a sentence")
        << "t_key"
        << ""
        << units(
               R"({"unit": "きょうは", "attempts": 1, "misses": 0}, {"unit": "あいうえお", "attempts": 1, "misses": 0})")
        << "refused" << 0;
    QTest::newRow("more misses than attempts")
        << "t_key"
        << "" << units(R"({"unit": "a", "attempts": 1, "misses": 2})") << "refused" << 0;
    QTest::newRow("a count no run reaches")
        << "t_key"
        << "" << units(R"({"unit": "a", "attempts": 999999, "misses": 0})") << "refused" << 0;
    QTest::newRow("a fraction of an attempt")
        << "t_key"
        << "" << units(R"({"unit": "a", "attempts": 1.5, "misses": 0})") << "refused" << 0;
    QTest::newRow("a unit twice") << "t_key"
                                  << "" << units(ka + ", " + ka) << "refused" << 0;
    QTest::newRow("a field a unit has not")
        << "t_key"
        << "" << units(R"({"unit": "a", "attempts": 1, "misses": 0, "learner": "x"})") << "refused" << 0;
    QStringList many;
    for (int i = 0; i < 401; ++i)
        many << QStringLiteral(R"({"unit": "%1", "attempts": 1, "misses": 0})").arg(i);
    QTest::newRow("more units than a run holds") << "t_key"
                                                 << "" << units(many.join(", ")) << "refused" << 0;
}

void TestClassroom::theInsertFunctionRefusesWhatNoDrillProduces() {
    QFETCH(QString, table);
    QFETCH(QString, fields);
    QFETCH(QString, children);
    QFETCH(QString, answer);
    QFETCH(int, units);
    PgAdmin asComputer(m_admin, m_database, m_role + "_01");
    const QString drill = table == "t_digit" ? R"("pelvoran": 12)" : R"("tavrel": 11)";
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    // A field given again (the drill number) takes the later value.
    QString run =
        QStringLiteral(R"({"y4mmdd": "2026-12-07", %1, "time": 30, "result3": 150.5, "learner": "ゆき",)"
                       R"( "runid": "%2")")
            .arg(drill, id);
    if (!fields.isEmpty())
        run += ", " + fields;
    run += "}";
    const qlonglong before = PgAdmin(m_admin, m_database).value("select count(*) from " + table).toLongLong();
    const QString got = asComputer
                            .value(QStringLiteral("select halvor_add_run('%1', '%2', '%3')")
                                       .arg(table, QString(run).replace("'", "''"), children))
                            .toString();
    QVERIFY2(got.startsWith(answer), qPrintable(got));
    PgAdmin admin(m_admin, m_database);
    QCOMPARE(admin.value("select count(*) from " + table).toLongLong(), before + (answer == "new" ? 1 : 0));
    // A run's units carry its learner, day and drill; a refused run leaves none.
    QCOMPARE(admin
                 .value(QStringLiteral("select count(*) from t_unit join %1 using (runid, learner, y4mmdd) "
                                       "where runid = '%2' and drill = %3")
                            .arg(table, id, table == "t_digit" ? "pelvoran" : "tavrel"))
                 .toInt(),
             units);
}

void TestClassroom::aReportIsCheckedAndStoredUnderItsLogin_data() {
    QTest::addColumn<QString>("fields"); // beside a sound report's
    QTest::addColumn<QString>("answer"); // how the answer begins
    QTest::newRow("a sound report") << ""
                                    << "ok";
    QTest::newRow("an event no program sends") << R"("event": "run")"
                                               << "refused";
    QTest::newRow("no computer") << R"("computer": "")"
                                 << "refused";
    QTest::newRow("a control character") << R"("learner": "ゆ\u0007き")"
                                         << "refused";
    QTest::newRow("a name too long")
        << R"("learner": "あああああああああああああああああああああああああああああああああ")"
        << "refused";
    QTest::newRow("a speed no finger reaches") << R"("speed": 99999)"
                                               << "refused";
    QTest::newRow("accuracy over a hundred") << R"("accuracy": 101)"
                                             << "refused";
    QTest::newRow("a number as text") << R"("keystrokes": "12")"
                                      << "refused";
    QTest::newRow("a start in the future") << R"("sinceStartMs": -5000)"
                                           << "refused";
    QTest::newRow("no time since the start") << R"("sinceStartMs": null)"
                                             << "refused";
    QTest::newRow("not a yes or no") << R"("running": "maybe")"
                                     << "refused";
}

void TestClassroom::aReportIsCheckedAndStoredUnderItsLogin() {
    QFETCH(QString, fields);
    QFETCH(QString, answer);
    PgAdmin asComputer(m_admin, m_database, m_role + "_01");
    PgAdmin owner(m_admin, m_database);
    QVERIFY(owner.exec("delete from halvor_presence"));
    QString report = QStringLiteral(R"({"event": "progress", "computer": "pc-1", "learner": "ゆき", )"
                                    R"("program": "Pelvoran12", "course": "LEVEL3", "sinceStartMs": 60000, )"
                                    R"("sinceInputMs": 1000, "running": true, "speed": 120, "accuracy": 95)");
    if (!fields.isEmpty())
        report += ", " + fields;
    report += "}";
    const QString got =
        asComputer.value(QStringLiteral("select halvor_report('%1')").arg(QString(report).replace("'", "''")))
            .toString();
    QVERIFY2(got.startsWith(answer), qPrintable(got));
    // Stored under the login it came through, with the server's own times; a refused one not at all.
    QCOMPARE(
        owner
            .value("select string_agg(login || '/' || computer || '/' || learner, ',') from halvor_presence "
                   "where started between now() - interval '61 s' and now() - interval '59 s'")
            .toString(),
        answer == "ok" ? m_role + "_01/pc-1/ゆき" : QString());
    // Nobody writes the rows but the function.
    QVERIFY(!asComputer.exec("update halvor_presence set learner = 'そら'"));
    QVERIFY(!asComputer.exec("delete from halvor_presence"));
}

void TestClassroom::aLoginCannotEndAnotherComputersSessionNorTakeEverySlot() {
    PgAdmin second(m_admin, m_database, m_role + "_02");
    QVERIFY(second.isOpen());
    {
        PgAdmin first(m_admin, m_database, m_role + "_01");
        QVERIFY(!first.exec(QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity "
                                           "where usename = '%1_02'")
                                .arg(m_role)));
        QVERIFY(!first.exec("select pg_read_file('server.log')"));
    }
    QCOMPARE(second.value("select 1").toInt(), 1);

    // A computer's own connections are limited; more are told as the server having none free.
    std::list<PgAdmin> held;
    for (int i = 0; i < 4; ++i)
        QVERIFY(held.emplace_back(m_admin, m_database, m_role + "_01").isOpen());
    qputenv("HALVOR_LEARNER", "ゆき");
    QVERIFY(saveDigit(uriFor(m_role + "_01"), QDate(2026, 12, 7), 12) > 0);
    QVERIFY(!sendWaitingRuns(uriFor(m_role + "_01")));
    QCOMPARE(DB_LastProblem(), halvor::db::Problem::NoFreeSlot);
    held.clear();
    QVERIFY2(sendWaitingRuns(uriFor(m_role + "_01")), qPrintable(DB_LastError()));
}

void TestClassroom::aForgedRunIdNeverReplacesARealRun() {
    // A run waits in this computer's outbox; a pupil at another computer reads its id from the shared file
    // and adds a run of its own under that id first.
    qputenv("HALVOR_LEARNER", "はると");
    QVERIFY(saveDigit(uriFor(m_role + "_01"), QDate(2026, 12, 6), 12) > 0);
    const QString id = Peek(DB_LocalPath()).rows("select RunId from Outbox").first().first().toString();
    PgAdmin forger(m_admin, m_database, m_role + "_02");
    QCOMPARE(forger
                 .value(QStringLiteral(
                            R"(select halvor_add_run('t_digit', '{"y4mmdd": "2026-12-06", "pelvoran": 12,)"
                            R"( "result3": 1999, "learner": "はると", "runid": "%1"}'))")
                            .arg(id))
                 .toString(),
             QStringLiteral("new"));

    // The real run is sent again under a new id: both are kept, and each names the other.
    QVERIFY2(sendWaitingRuns(uriFor(m_role + "_01")), qPrintable(DB_LastError()));
    PgAdmin admin(m_admin, m_database);
    QCOMPARE(
        admin
            .value(QStringLiteral("select string_agg(coalesce(result3::text, 'real') || ' ' || "
                                  "(conflict is not null)::text || ' ' || split_part(sent_from, '@', 1), ',' "
                                  "order by result3 nulls first) from t_digit where learner = 'はると' and "
                                  "y4mmdd = '2026-12-06'"))
            .toString(),
        QStringLiteral("real true %1_01,1999 true %1_02").arg(m_role));
    QCOMPARE(
        admin
            .value(QStringLiteral("select count(*) from t_digit a join t_digit b on a.conflict = b.runid and "
                                  "b.conflict = a.runid where a.runid = '%1'")
                       .arg(id))
            .toInt(),
        1);
    QCOMPARE(Peek(DB_LocalPath()).rows("select count(*) from Outbox").first().first().toInt(), 0);
}

void TestClassroom::noPasswordReachesALogOrACommandLine() {
    const QString database = QStringLiteral("pw_") + QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QString role = m_role + "_pw";
    PgAdmin(m_admin).exec(QStringLiteral("CREATE DATABASE %1").arg(database));
    // The server would log every statement of the set-up's session.
    QVERIFY(PgAdmin(m_admin).exec(
        QStringLiteral("ALTER ROLE postgres IN DATABASE %1 SET log_statement = 'all'").arg(database)));
    const QString secret = QStringLiteral("geheim'\\7@x&password=");
    writeFile(m_dir->filePath("pw"), secret.toUtf8() + "\n");
    QSet<QString> commandLines;
    const QString settings = setUp(
        {"--database", database, "--role", role, "--password-file", m_dir->filePath("pw")}, &commandLines);
    QVERIFY2(settings.startsWith("# Copy to"), qPrintable(settings));
    const QString logged = QString::fromUtf8(readAll(socketOf(m_admin) + QStringLiteral("/server.log")));
    QVERIFY2(logged.contains("CREATE OR REPLACE FUNCTION halvor_add_run"),
             "the server logs no statement here");
    QVERIFY(!commandLines.isEmpty());
    for (const QString& text : QStringList{settings, m_stderr, logged} + QStringList(commandLines.values()))
        QVERIFY2(!text.contains(QStringLiteral("geheim")), qPrintable(text.right(300)));

    // The password is the login's, quotes and all; the programs' messages never show it, in any form.
    const QString hba = socketOf(m_admin) + QStringLiteral("/data/pg_hba.conf");
    const QByteArray rules = readAll(hba);
    writeFile(hba, QStringLiteral("local %1 %2 scram-sha-256\n").arg(database, role).toUtf8() + rules);
    QVERIFY(PgAdmin(m_admin).exec("select pg_reload_conf()"));
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(secret));
    const QString socket = socketOf(m_admin);
    const QStringList addresses = {
        QStringLiteral("postgresql://%1:%2@/%3?host=%4").arg(role, encoded, database, socket),
        QStringLiteral("POSTGRESQL://%1:%2@/%3?host=%4").arg(role, encoded, database, socket),
        QStringLiteral("postgresql://%1@/%3?host=%4&password=%2").arg(role, encoded, database, socket),
    };
    qputenv("HALVOR_LEARNER", "ゆき");
    for (const QString& address : addresses) {
        QVERIFY(saveDigit(address, QDate(2026, 12, 7), 12) > 0);
        const QString wrong = QString(address).replace(encoded, QStringLiteral("geheim-nicht"));
        QVERIFY(!sendWaitingRuns(wrong));
        QCOMPARE(DB_LastProblem(), halvor::db::Problem::LoginRefused);
        QVERIFY2(!DB_LastError().contains("geheim"), qPrintable(DB_LastError()));
        QVERIFY2(sendWaitingRuns(address), qPrintable(DB_LastError()));
    }
    writeFile(hba, rules);
    PgAdmin(m_admin).exec("select pg_reload_conf()");
}

void TestClassroom::anOlderServerIsBroughtUpToDateByWhoMay() {
    const QString admin = qEnvironmentVariable("HALVOR_TEST_PG");
    QTemporaryDir dir(scratchBase() + QStringLiteral("/classroom-XXXXXX"));
    qputenv("VUR_MDB", dir.filePath(QStringLiteral("VUR.MDB")).toUtf8());
    const QString server = freshServerDatabase(admin);
    const QString database = databaseOf(server);
    QVERIFY(saveDigit(server, QDate(2026, 12, 7), 12) == 1);
    QVERIFY(sendWaitingRuns(server));
    // The tables as version 2 made them, and a login that may only add and read.
    PgAdmin owner(admin, database);
    QVERIFY(owner.exec("alter table learners drop column number, drop column furigana"));
    QVERIFY(owner.exec("update halvor_schema set version = 2"));
    QVERIFY(owner.exec("insert into learners (name, class) values ('ゆき', '1組')"));
    const QString role = QStringLiteral("reader_") + database.right(8);
    QVERIFY(owner.exec(QStringLiteral("create role %1 login").arg(role)));
    QVERIFY(owner.exec(
        QStringLiteral("grant select on learners, halvor_schema, t_key, t_digit to %1").arg(role)));
    const QString host = QUrlQuery(QUrl(admin).query()).queryItemValue("host");
    QList<DB_RUN> runs;
    QVERIFY(DB_ReadRuns(QStringLiteral("postgresql://%1@/%2?host=%3").arg(role, database, host), {}, runs));
    QCOMPARE(DB_ServerProblem(), halvor::db::Problem::OtherVersion);
    QCOMPARE(owner.value("select version from halvor_schema").toInt(), 2);
    // The owner's program brings them up: the learner stays, with room for a number and a reading.
    QVERIFY(DB_RegisterLearners(server, {{"はると", "1組", true, 3, "はると"}}));
    QCOMPARE(owner.value("select version from halvor_schema").toInt(), halvor::db::kSchemaVersion);
    QList<DB_LEARNER> learners;
    QVERIFY(DB_KnownLearners(server, learners));
    QStringList names;
    for (const DB_LEARNER& l : learners)
        names << QStringLiteral("%1#%2").arg(l.name).arg(l.number);
    QCOMPARE(names.mid(0, 2), QStringList({"はると#3", "ゆき#0"}));
}

QTEST_GUILESS_MAIN(TestClassroom)
#include "tst_classroom.moc"
