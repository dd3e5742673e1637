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
};

void TestClassroom::theScriptPreparesAServerTheProgramsUse() {
    const QString admin = qEnvironmentVariable("HALVOR_TEST_PG");
    QTemporaryDir dir(scratchBase() + QStringLiteral("/classroom-XXXXXX"));
    qputenv("VUR_MDB", dir.filePath(QStringLiteral("VUR.MDB")).toUtf8());
    const QString suffix = QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QString database = QStringLiteral("school_") + suffix;
    const QString role = QStringLiteral("class_") + suffix;
    writeFile(dir.filePath(QStringLiteral("class.txt")), "ゆき\t1組\r\nはると\n\n田中 はると\t2組\n");

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
        names << l.name + (l.registered ? "*" + l.className : QString());
    QCOMPARE(names, QStringList({"ゆき*1組", "田中 はると*2組", "はると*"}));
    PgAdmin asClassroom(admin, database, role);
    QVERIFY(asClassroom.isOpen());
    QVERIFY(!asClassroom.exec("delete from t_digit"));
    QVERIFY(!asClassroom.exec("insert into learners values ('x', NULL)"));
    QVERIFY(!asClassroom.exec("drop table t_key"));
    qunsetenv("HALVOR_LEARNER");
}

QTEST_GUILESS_MAIN(TestClassroom)
#include "tst_classroom.moc"
