// A run typed with mistakes on two kana is stored with its units, on this computer and on the school's
// server.
#include "DbTestKit.h"
#include "DrillRun.h"
#include "TestData.h"
#include "TestDoubles.h"
#include "modMain.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace hiragana;

class UnitRecordTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitConvertTable(); }
    void aRunWithTwoMissedKanaStoresThemWithTheirWrongKeys_data();
    void aRunWithTwoMissedKanaStoresThemWithTheirWrongKeys();
};

void UnitRecordTest::aRunWithTwoMissedKanaStoresThemWithTheirWrongKeys_data() {
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

void UnitRecordTest::aRunWithTwoMissedKanaStoresThemWithTheirWrongKeys() {
    QFETCH(bool, server);
    QTemporaryDir dir(scratchBase() + QStringLiteral("/units-XXXXXX"));
    qputenv("VUR_MDB", dir.filePath(QStringLiteral("VUR.MDB")).toUtf8());
    qputenv("HALVOR_LEARNER", "ゆき");
    const QString target =
        server ? freshServerDatabase(qEnvironmentVariable("HALVOR_TEST_PG")) : dir.filePath("VUR.MDB");

    FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
    DrillRun run(clock);
    run.setKind(0);
    run.start();
    QCOMPARE(ExpectedText(run.rows()[0]), QStringLiteral("あいうえお"));
    // い: a "p" typed and taken back; お: か stands at its place when Enter is pressed, then mended.
    for (const char* box : {"a", "ap", "a", "ai", "aiu", "aiue", "aiuek", "aiueka"}) {
        clock.advance(300);
        run.edited(QString::fromLatin1(box));
    }
    QCOMPARE(run.enter(ConvertRomaji(QStringLiteral("aiueka"))), DrillRun::Check::Wrong);
    for (const char* box : {"aiuek", "aiue", "aiueo"})
        run.edited(QString::fromLatin1(box));
    DrillRun::Check check = run.enter(ConvertRomaji(QStringLiteral("aiueo")));
    while (check == DrillRun::Check::Next) {
        const QString romaji = typingFor(run.rows()[run.curRow()], run.rows()[run.curRow() + 1]);
        clock.advance(2000);
        run.edited(romaji);
        check = run.enter(ConvertRomaji(romaji));
    }
    QCOMPARE(check, DrillRun::Check::Finished);

    const SaveOutcome saved =
        SaveRun(target, clock.now().date(), 0, run.elapsedSeconds(), run.units().rows());
    QVERIFY2(saved.stored, qPrintable(saved.why));
    const QString expected = QStringLiteral("い 1/1 p|お 1/1 k");
    const QString missed = QStringLiteral("Unit || ' ' || Misses || '/' || Attempts || ' ' || WrongKey");
    const QString where = QStringLiteral(" from T_Unit where Misses > 0 and Learner = 'ゆき' and Drill = 23");
    Peek local(DB_LocalPath());
    QStringList rows;
    for (const QVariantList& row : local.rows("select " + missed + where + " order by Unit"))
        rows << row.value(0).toString();
    QCOMPARE(rows.join('|'), expected);
    // Every kana of the lesson, and the run's id on each.
    const int units = int(run.units().rows().size());
    QVERIFY(units > 40);
    QCOMPARE(local.rows("select count(*), count(distinct RunId) from T_Unit").value(0),
             QVariantList({units, 1}));
    if (!server)
        return;
    QVERIFY2(sendWaitingRuns(target), qPrintable(DB_LastError()));
    PgAdmin admin(qEnvironmentVariable("HALVOR_TEST_PG"), databaseOf(target));
    QCOMPARE(admin.value("select string_agg(" + missed + ", '|' order by Unit)" + where).toString(),
             expected);
    QCOMPARE(admin
                 .value("select count(*) from t_unit join t_key using (runid, learner, y4mmdd) "
                        "where drill = tavrel and cond1 = 'AI'")
                 .toInt(),
             units);
    PgAdmin(qEnvironmentVariable("HALVOR_TEST_PG"))
        .exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(databaseOf(target)));
}

QTEST_GUILESS_MAIN(UnitRecordTest)
#include "tst_unit_record.moc"
