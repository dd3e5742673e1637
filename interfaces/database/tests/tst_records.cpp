// The drills' save and chart sequences against real files, read back with plain SQL beside the library.
#include "Database.h"
#include "DbTestKit.h"
#include "SaveSequences.h"
#include "Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/stat.h>

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void saveAfterFailedOpenIsNumberedAfterTheStoredRuns_data();
    void saveAfterFailedOpenIsNumberedAfterTheStoredRuns();
    void unsetFieldsAreStoredAsNull();
    void oddStoredValuesReadBackSoundly();
    void createsTheFileWithTheSchema();
    void upgradesAnOlderSqliteFile_data();
    void upgradesAnOlderSqliteFile();
    void refusesFilesItMustNotWrite_data();
    void refusesFilesItMustNotWrite();
    void callsOutOfSequenceFailCleanly();
    void unitsTheServerWouldRefuseAreMendedOrLeftOut();

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_path;
};

void TestRecords::init() {
    // Connections left in use or opened twice under one name would show up as Qt warnings.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("connection|QSqlDatabase")));
    m_dir.emplace(scratchBase() + QStringLiteral("/records-XXXXXX"));
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("VUR.MDB"));
}

void TestRecords::cleanup() {
    DB_CloseT_Key();
    DB_CloseT_Digit();
    m_dir.reset();
}

void TestRecords::saveAfterFailedOpenIsNumberedAfterTheStoredRuns_data() {
    QTest::addColumn<Save>("save");
    QTest::addColumn<QString>("table");
    QTest::newRow("T_Digit") << Save(saveDigit) << "T_Digit";
    QTest::newRow("T_Key") << Save(saveKey) << "T_Key";
}

void TestRecords::saveAfterFailedOpenIsNumberedAfterTheStoredRuns() {
    QFETCH(Save, save);
    QFETCH(QString, table);
    const QDate day(2026, 12, 7);
    QCOMPARE(save(m_path, day, 12, {}), 1);
    QCOMPARE(save(m_path, day, 12, {}), 2);
    // A clause the adapter refuses makes the open fail; the run is still kept, numbered by the library after
    // the day's runs rather than as a second run 1.
    QCOMPARE(save(m_path, day, 12, QStringLiteral(" where [Y4mmdd] = #2026/02/31#")), 1);
    Peek peek(m_path);
    const auto rows = peek.rows(QStringLiteral("select round from %1 order by rowid").arg(table));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.last().first().toInt(), 3);
}

void TestRecords::unsetFieldsAreStoredAsNull() {
    DB_T_KEY key;
    key.Y4mmdd = QDate(2026, 12, 7);
    key.Y4mmddFlag = 1;
    key.Tavrel = 23;
    key.TavrelFlag = 1;
    key.Round = 1;
    key.RoundFlag = 1;
    key.REM = QStringLiteral("あいうえお");
    key.REMFlag = 1;
    key.COND1 = QStringLiteral("AI");
    key.COND1Flag = 1;
    key.Time = 35;
    key.TimeFlag = 1;
    key.result2 = 99; // a value without its flag is not stored
    QVERIFY2(DB_InsertT_Key(m_path, &key), qPrintable(DB_LastError()));

    DB_T_DIGIT dig;
    dig.Y4mmdd = QDate(2026, 12, 7);
    dig.Y4mmddFlag = 1;
    dig.Pelvoran = 12;
    dig.PelvoranFlag = 1;
    dig.ERR1Flag = 1; // set but empty: no key had errors
    QVERIFY2(DB_InsertT_Digit(m_path, &dig), qPrintable(DB_LastError()));

    Peek peek(m_path);
    const auto keyTypes = peek.rows(
        "select typeof(Y4mmdd), typeof(Tavrel), typeof(Round), typeof(REM), typeof(COND1), typeof(COND2),"
        " typeof(Time), typeof(result1), typeof(result2), typeof(result3), typeof(result4), typeof(result5),"
        " typeof(ERR1), typeof(ERR2), typeof(ERR3), Y4mmdd from T_Key");
    QCOMPARE(keyTypes.size(), 1);
    QStringList types;
    for (const auto& v : keyTypes.first())
        types << v.toString();
    QCOMPARE(types, QStringList({"text", "integer", "integer", "text", "text", "null", "real", "null", "null",
                                 "null", "null", "null", "null", "null", "null", "2026-12-07"}));

    const auto digitRow =
        peek.rows("select typeof(round), typeof(REM), quote(ERR1), typeof(Time) from T_Digit");
    QCOMPARE(digitRow.size(), 1);
    QCOMPARE(digitRow.first(), QVariantList({"null", "null", "''", "null"}));
}

void TestRecords::oddStoredValuesReadBackSoundly() {
    // Rows edited by hand: a time after the date, a number beyond 16 bits, text where a number belongs.
    const DB_T_KEY blank;
    QVERIFY(DB_InsertT_Key(m_path, &blank));
    {
        Peek peek(m_path);
        QVERIFY(peek.exec("delete from T_Key"));
        QVERIFY(peek.exec("insert into T_Key (Y4mmdd, Tavrel, Round, Time, COND1) values"
                          " ('2026-12-07 00:00:00', 23, 40000, 'fast', 5)"));
        QVERIFY(peek.exec("insert into T_Key (Y4mmdd, Tavrel, Round) values ('yesterday', 23, -1)"));
    }
    QList<DB_T_KEY> rows;
    QVERIFY2(DB_SelectT_Key(m_path, "select * from [T_Key] where [Tavrel] = 23", rows),
             qPrintable(DB_LastError()));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].Y4mmdd, QDate(2026, 12, 7));
    QCOMPARE(rows[0].Round, std::int16_t(32767));
    QCOMPARE(rows[0].TimeFlag, 0);
    QCOMPARE(rows[0].COND1, QStringLiteral("5"));
    QCOMPARE(rows[1].Y4mmddFlag, 0);
    QVERIFY(!rows[1].Y4mmdd.isValid());
    QCOMPARE(rows[1].Round, std::int16_t(-1));
}

void TestRecords::createsTheFileWithTheSchema() {
    const QString path = m_dir->filePath(QStringLiteral("new/データ/VUR.MDB"));
    QVERIFY(DB_OpenT_Key(path, " where [Tavrel] = 23"));
    DB_T_KEY rec;
    QVERIFY(!DB_GetRecordT_Key(&rec));
    DB_CloseT_Key();
    QVERIFY(QFileInfo::exists(path));

    Peek peek(path);
    QStringList columns;
    for (const auto& row :
         peek.rows("select m.name, p.name, p.type from sqlite_master m, pragma_table_info(m.name) p"
                   " where m.type = 'table' and m.name like 'T\\_%' escape '\\' order by m.name, p.cid"))
        columns << row[0].toString() + "." + row[1].toString() + " " + row[2].toString();
    const QStringList shared = {"Y4mmdd TEXT",  "%1 INTEGER",   "%2 INTEGER",   "REM TEXT",
                                "COND1 TEXT",   "COND2 TEXT",   "Time REAL",    "result1 REAL",
                                "result2 REAL", "result3 REAL", "result4 REAL", "result5 REAL",
                                "ERR1 TEXT"};
    QStringList expected;
    for (const auto& c : shared)
        expected << "T_Digit." + QString(c).replace("%1", "Pelvoran").replace("%2", "round");
    expected << "T_Digit.Learner TEXT"
             << "T_Digit.RunId TEXT"
             << "T_Digit.Finished TEXT"
             << "T_Digit.Conflict TEXT";
    for (const auto& c : shared)
        expected << "T_Key." + QString(c).replace("%1", "Tavrel").replace("%2", "Round");
    expected << "T_Key.ERR2 TEXT"
             << "T_Key.ERR3 TEXT"
             << "T_Key.Learner TEXT"
             << "T_Key.RunId TEXT"
             << "T_Key.Finished TEXT"
             << "T_Key.Conflict TEXT";
    expected << "T_Unit.RunId TEXT"
             << "T_Unit.Learner TEXT"
             << "T_Unit.Y4mmdd TEXT"
             << "T_Unit.Drill INTEGER"
             << "T_Unit.Unit TEXT"
             << "T_Unit.Attempts INTEGER"
             << "T_Unit.Misses INTEGER"
             << "T_Unit.MeanMs INTEGER"
             << "T_Unit.WrongKey TEXT";
    QCOMPARE(columns, expected);

    QStringList indexed;
    for (const auto& row :
         peek.rows("select m.tbl_name, group_concat(p.name, ',') from sqlite_master m,"
                   " pragma_index_info(m.name) p where m.type = 'index' and m.sql is not null"
                   " group by m.name order by m.tbl_name, m.name"))
        indexed << row[0].toString() + "(" + row[1].toString() + ")";
    QCOMPARE(indexed,
             QStringList({"T_Digit(Pelvoran,Y4mmdd,round)", "T_Digit(Learner,Pelvoran,Y4mmdd)",
                          "T_Digit(RunId)", "T_Key(Tavrel,Y4mmdd,Round)", "T_Key(Learner,Tavrel,Y4mmdd)",
                          "T_Key(RunId)", "T_Unit(Learner,Drill,Y4mmdd)", "T_Unit(RunId,Unit)"}));
    QCOMPARE(
        peek.rows("select count(*) from sqlite_master where name in ('Outbox', 'Learners')").first().first(),
        2);
    QCOMPARE(peek.rows("pragma user_version").first().first().toInt(), halvor::db::kSchemaVersion);
    QCOMPARE(peek.rows("select group_concat(name, ',') from pragma_table_info('Learners')").first().first(),
             QStringLiteral("Name,Class,Number,Furigana"));
}

void TestRecords::upgradesAnOlderSqliteFile_data() {
    QTest::addColumn<QStringList>("setup"); // statements that make the stored file
    QTest::addColumn<int>("firstRound");    // the run number the next windmill run of 2026-12-07 gets
    QTest::newRow("empty file") << QStringList{} << 1;
    QTest::newRow("SQLite file without the tables")
        << QStringList{"create table Notes (text TEXT)", "insert into Notes values ('keep me')"} << 1;
    QTest::newRow("version-1 file with rows")
        << QStringList{kKeyV1, kDigitV1, "PRAGMA user_version = 1",
                       "insert into T_Digit (Y4mmdd, Pelvoran, round, REM) values ('2026-12-07', 12, 1, "
                       "'LEVEL1')",
                       "insert into T_Key (Y4mmdd, Tavrel, Round, COND1, Time) values ('2026-12-06', 23, 1, "
                       "'AI', 40)"}
        << 2;
    QTest::newRow("version-2 file with registered learners")
        << QStringList{kKeyV1, kDigitV1, kLearnersV2, "insert into Learners values ('ゆき', '1組')",
                       "PRAGMA user_version = 2"}
        << 1;
}

void TestRecords::upgradesAnOlderSqliteFile() {
    QFETCH(QStringList, setup);
    QFETCH(int, firstRound);
    writeFile(m_path, {});
    {
        Peek peek(m_path);
        for (const QString& sql : setup)
            QVERIFY2(peek.exec(sql), qPrintable(sql));
    }
    QCOMPARE(saveDigit(m_path, QDate(2026, 12, 7), 12), firstRound);
    QCOMPARE(saveDigit(m_path, QDate(2026, 12, 7), 12), firstRound + 1);
    Peek peek(m_path);
    QCOMPARE(peek.rows("pragma user_version").first().first().toInt(), halvor::db::kSchemaVersion);
    // The registered learners keep theirs and gain the roster's number and reading.
    QCOMPARE(peek.rows("select group_concat(name, ',') from pragma_table_info('Learners')").first().first(),
             QStringLiteral("Name,Class,Number,Furigana"));
    QCOMPARE(peek.rows("select count(*) from Learners where Name = 'ゆき' and Class = '1組'").first().first(),
             setup.contains(kLearnersV2) ? 1 : 0);
    if (setup.size() == 2)
        QCOMPARE(peek.rows("select text from Notes").first().first().toString(), QStringLiteral("keep me"));
    // Rows stored before keep their values; they have no learner and belong to the login user.
    QList<DB_T_KEY> rows;
    QVERIFY(DB_SelectT_Key(m_path, "select * from [T_Key] where [Tavrel] = 23", rows));
    QCOMPARE(rows.size(), setup.filter("insert into T_Key").size());
    if (!rows.isEmpty())
        QCOMPARE(rows.first().Time, 40.0);
    QCOMPARE(peek.rows("select count(*) from T_Digit where Learner is null").first().first().toInt(),
             firstRound - 1);
}

void TestRecords::refusesFilesItMustNotWrite_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("keptBeside"); // the run waits beside the path, for the next save
    QTest::newRow("old database of another format") << "foreign"
                                                    << "not an SQLite database" << true;
    QTest::newRow("text file") << "text"
                               << "not an SQLite database" << true;
    QTest::newRow("read-only database") << "readonly"
                                        << "read-only" << true;
    QTest::newRow("folder cannot be made") << "blocked"
                                           << "Cannot create the folder" << false;
    QTest::newRow("path is a folder") << "folder"
                                      << "is a folder" << true;
    QTest::newRow("path is a pipe") << "pipe"
                                    << "not a regular file" << true;
    QTest::newRow("no path") << "empty"
                             << "No path" << false;
}

void TestRecords::refusesFilesItMustNotWrite() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QFETCH(bool, keptBeside);
    QString path = m_path;
    QByteArray before;
    if (kind == "foreign") {
        before = QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(4076, '\x5a');
        writeFile(path, before);
    } else if (kind == "text") {
        before = "結果\r\n2026/12/07,12,1\r\n";
        writeFile(path, before);
    } else if (kind == "readonly") {
        QCOMPARE(saveDigit(path, QDate(2026, 12, 7), 12), 1);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        before = readAll(path);
    } else if (kind == "blocked") {
        writeFile(m_dir->filePath("plain"), "x");
        path = m_dir->filePath("plain/sub/VUR.MDB");
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600),
                 0); // opening it would wait for a writer
    } else {
        path.clear();
    }

    DB_T_DIGIT dig;
    dig.Pelvoran = 12;
    dig.PelvoranFlag = 1;
    QCOMPARE(DB_InsertT_Digit(path, &dig) != 0, keptBeside);
    QVERIFY2(DB_LastError().contains(reason), qPrintable(DB_LastError()));
    QCOMPARE(DB_SaveOutcome(keptBeside, 1).spooled, keptBeside);
    DB_T_KEY key;
    QCOMPARE(DB_InsertT_Key(path, &key) != 0, keptBeside);
    QVERIFY(!DB_LastError().isEmpty());
    if (keptBeside)
        QCOMPARE(QDir(path + ".spool").entryList(QDir::Files).size(), 2);

    if (kind == "readonly") {
        // Reading a read-only file still works, so the chart can show what was stored.
        QVERIFY2(DB_OpenT_Digit(path, " where [Pelvoran] = 12"), qPrintable(DB_LastError()));
        QVERIFY(DB_GetRecordT_Digit(&dig));
        DB_CloseT_Digit();
    } else {
        QVERIFY(!DB_OpenT_Digit(path, " where [Pelvoran] = 12"));
        QVERIFY(!DB_GetRecordT_Digit(&dig));
        DB_CloseT_Digit();
        QList<DB_T_KEY> rows;
        QVERIFY(!DB_SelectT_Key(path, "select * from [T_Key]", rows));
    }
    if (!before.isEmpty())
        QCOMPARE(readAll(path), before);
    if (kind == "blocked")
        QVERIFY(!QFileInfo::exists(path));
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
}

void TestRecords::callsOutOfSequenceFailCleanly() {
    DB_T_KEY rec;
    rec.Round = 7;
    QVERIFY(!DB_GetRecordT_Key(&rec)); // nothing open yet
    QCOMPARE(rec.Round, std::int16_t(7));
    QVERIFY(!DB_InsertT_Key(m_path, nullptr));
    QVERIFY(!DB_LastError().isEmpty());
    QCOMPARE(saveKey(m_path, QDate(2026, 12, 7), 11), 1);
    QCOMPARE(saveKey(m_path, QDate(2026, 12, 7), 11), 2);

    // A second open replaces the first query; close twice is harmless.
    QVERIFY(DB_OpenT_Key(m_path, " where [Tavrel] = 11 order by [round]"));
    QVERIFY(DB_OpenT_Key(m_path, " where [Tavrel] = 11 order by [round] desc"));
    QVERIFY(DB_GetRecordT_Key(&rec));
    QCOMPARE(rec.Round, std::int16_t(2));
    QVERIFY(!DB_GetRecordT_Key(nullptr));
    DB_CloseT_Key();
    DB_CloseT_Key();
    QVERIFY(!DB_GetRecordT_Key(&rec));

    // The two tables' queries are independent.
    QVERIFY(DB_OpenT_Key(m_path, " where [Tavrel] = 11"));
    QVERIFY(DB_OpenT_Digit(m_path, " where [Pelvoran] = 12"));
    DB_T_DIGIT dig;
    QVERIFY(!DB_GetRecordT_Digit(&dig));
    QVERIFY(DB_GetRecordT_Key(&rec));
    DB_CloseT_Digit();
    DB_ClearStructT_Key(&rec);
    QCOMPARE(rec.Round, std::int16_t(0));
    QCOMPARE(rec.RoundFlag, 0);
    QVERIFY(rec.REM.isNull());
}

QTEST_GUILESS_MAIN(TestRecords)
void TestRecords::unitsTheServerWouldRefuseAreMendedOrLeftOut() {
    DB_T_KEY key = runRow<DB_T_KEY>(QDate(2026, 12, 7), 23, 1);
    QList<DB_UNIT> units{{"か", 5, 9, 400, "kk"},       // more misses than attempts
                         {"", 1, 0, -1, {}},            // no unit
                         {"きょうはね", 1, 0, -1, {}},  // a word, not a unit
                         {"か", 1, 1, -1, {}},          // twice
                         {"き", -3, 0, 99999999, "\t"}, // negative count, a time no kana takes
                         {"ゃ", 200000, 1, 120, "ya"}};
    for (int i = 0; i < 500; ++i)
        units << DB_UNIT{QString::number(i), 1, 0, -1, {}};
    QVERIFY2(DB_InsertT_Key(m_path, &key, units), qPrintable(DB_LastError()));
    QList<DB_UNIT_ROW> rows;
    QVERIFY2(DB_ReadUnits(m_path, {}, 23, rows), qPrintable(DB_LastError()));
    QStringList got;
    for (const DB_UNIT_ROW& r : rows) {
        if (r.unit.unit.size() > 1 || r.unit.unit.at(0) < u'あ')
            continue;
        got << QStringLiteral("%1 %2/%3 %4 %5")
                   .arg(r.unit.unit)
                   .arg(r.unit.misses)
                   .arg(r.unit.attempts)
                   .arg(r.unit.meanMs)
                   .arg(r.unit.wrongKey);
    }
    QCOMPARE(got, QStringList({"か 5/5 400 kk", "き 0/0 -1 ", "ゃ 1/120000 120 ya"}));
    QCOMPARE(rows.size(), 400); // a run holds no more
    QCOMPARE(rows.first().drill, 23);
    QCOMPARE(rows.first().day, QDate(2026, 12, 7));
    QList<DB_UNIT_ROW> none;
    QVERIFY(DB_ReadUnits(m_path, {}, 12, none));
    QVERIFY(none.isEmpty());
}

#include "tst_records.moc"
