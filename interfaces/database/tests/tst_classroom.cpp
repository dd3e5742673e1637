// tools/classroom-setup against the test server: the tables it makes are the ones the programs make, and the
// classroom computers' role may add and read results and read learners, nothing more.
#include "Database.h"
#include "DbTestKit.h"
#include "SaveSequences.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList columnsOf(const QString& admin, const QString& database) {
    QStringList out;
    PgAdmin db(admin, database);
    const QString sql =
        QStringLiteral("select string_agg(table_name || '.' || column_name || ' ' || data_type, ',' "
                       "order by table_name, ordinal_position) from information_schema.columns "
                       "where table_schema = 'public'");
    return db.value(sql).toString().split(QLatin1Char(','));
}

} // namespace

class TestClassroom : public QObject {
    Q_OBJECT
private slots:
    void theScriptPreparesAServerTheProgramsUse();
    void anOlderServerIsBroughtUpToDateByWhoMay();
};

void TestClassroom::theScriptPreparesAServerTheProgramsUse() {
    const QString admin = qEnvironmentVariable("HALVOR_TEST_PG");
    QTemporaryDir dir(scratchBase() + QStringLiteral("/classroom-XXXXXX"));
    qputenv("VUR_MDB", dir.filePath(QStringLiteral("VUR.MDB")).toUtf8());
    const QString suffix = QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QString database = QStringLiteral("school_") + suffix;
    const QString role = QStringLiteral("class_") + suffix;
    writeFile(dir.filePath(QStringLiteral("class.txt")),
              "ゆき\t1組\t2\tゆき\r\nはると\n\n田中 はると\t2組\t\tたなか はると\nそら\t1組\t1\n");

    QProcess script;
    script.start(QStringLiteral(HALVOR_CLASSROOM_SETUP),
                 {"--database", database, "--role", role, "--class-list", dir.filePath("class.txt"),
                  "--server-host", "school-server", "--admin-uri", admin});
    QVERIFY(script.waitForFinished(60000));
    QVERIFY2(script.exitCode() == 0, script.readAllStandardError().constData());
    const QString settings = QString::fromUtf8(script.readAllStandardOutput());
    QVERIFY2(settings.contains(QStringLiteral("Url=postgresql://%1@school-server/%2").arg(role, database)),
             qPrintable(settings));
    QVERIFY(settings.contains(QStringLiteral("Shared=true")));

    // The tables are the ones a program makes on an empty server.
    const QString made = freshServerDatabase(admin);
    QVERIFY(saveDigit(made, QDate(2026, 12, 7), 12) == 1);
    QCOMPARE(columnsOf(admin, database), columnsOf(admin, databaseOf(made)));

    // A classroom computer saves, reads its own rows and the learners, and can change nothing else.
    const QString classroom = QStringLiteral("postgresql://%1@/%2?host=%3")
                                  .arg(role, database, QUrlQuery(QUrl(admin).query()).queryItemValue("host"));
    qputenv("HALVOR_LEARNER", "ゆき");
    const int round = saveDigit(classroom, QDate(2026, 12, 7), 12);
    QCOMPARE(round, 1);
    QVERIFY(!DB_SaveOutcome(1, round).queued);
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
    PgAdmin asClassroom(admin, database, role);
    QVERIFY(asClassroom.isOpen());
    QVERIFY(!asClassroom.exec("delete from t_digit"));
    QVERIFY(!asClassroom.exec("insert into learners values ('x', NULL)"));
    QVERIFY(!asClassroom.exec("drop table t_key"));
    qunsetenv("HALVOR_LEARNER");
}

void TestClassroom::anOlderServerIsBroughtUpToDateByWhoMay() {
    const QString admin = qEnvironmentVariable("HALVOR_TEST_PG");
    QTemporaryDir dir(scratchBase() + QStringLiteral("/classroom-XXXXXX"));
    qputenv("VUR_MDB", dir.filePath(QStringLiteral("VUR.MDB")).toUtf8());
    const QString server = freshServerDatabase(admin);
    const QString database = databaseOf(server);
    QVERIFY(saveDigit(server, QDate(2026, 12, 7), 12) == 1);
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
    QCOMPARE(owner.value("select version from halvor_schema").toInt(), 3);
    QList<DB_LEARNER> learners;
    QVERIFY(DB_KnownLearners(server, learners));
    QStringList names;
    for (const DB_LEARNER& l : learners)
        names << QStringLiteral("%1#%2").arg(l.name).arg(l.number);
    QCOMPARE(names.mid(0, 2), QStringList({"はると#3", "ゆき#0"}));
}

QTEST_GUILESS_MAIN(TestClassroom)
#include "tst_classroom.moc"
