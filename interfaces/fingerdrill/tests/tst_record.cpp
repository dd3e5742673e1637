// Storing finished finger-drill runs and reading them back for the chart, checked with plain SQL.
#include "Database.h"
#include "GraphDlg.h"
#include "RecordRun.h"
#include "TestDoubles.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using halvor::FingerRecord;

namespace {

FingerRecord digitRun(int level, const QString& keys, std::array<int, 4> keyErrors,
                      double maxSpeed = 123.456) {
    FingerRecord r;
    r.table = FingerRecord::Table::Digit;
    r.levelOrMode = level;
    r.keys = keys;
    r.keystrokes = 250;
    r.errors = keyErrors[0] + keyErrors[1] + keyErrors[2] + keyErrors[3];
    r.keyErrors = keyErrors;
    r.maxSpeed = maxSpeed;
    r.minutes = 0;
    r.seconds = 59;
    return r;
}

FingerRecord keyRun(int mode, const QString& keys, double maxSpeed) {
    FingerRecord r = digitRun(1, keys, {0, 3, 0, 0}, maxSpeed);
    r.table = FingerRecord::Table::Key;
    r.levelOrMode = mode;
    return r;
}

// Every row of a table as column -> value, in insertion order.
QList<QVariantMap> rows(const QString& path, const QString& table) {
    QList<QVariantMap> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec("select * from " + table + " order by rowid");
            while (q.next()) {
                QVariantMap row;
                for (int i = 0; i < q.record().count(); ++i)
                    row.insert(q.record().fieldName(i), q.value(i));
                out << row;
            }
        }
    }
    QSqlDatabase::removeDatabase("check");
    return out;
}

} // namespace

class TestRecord : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path_;

private slots:
    void init() {
        static int n = 0;
        path_ = dir_.filePath(QString("%1-%2.mdb").arg(QTest::currentTestFunction()).arg(++n));
    }

    void aWindmillRunIsStoredAsOneDigitRow() {
        QVERIFY(halvor::RecordRun(path_, digitRun(6, "aso", {2, 5, 5, 0}), QDate(2026, 5, 14)).stored);
        const auto r = rows(path_, "T_Digit");
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0]["Y4mmdd"].toString(), QString("2026-05-14"));
        QCOMPARE(r[0]["Pelvoran"].toInt(), 12);
        QCOMPARE(r[0]["round"].toInt(), 1);
        QCOMPARE(r[0]["REM"].toString(), QString("LEVEL6"));
        QCOMPARE(r[0]["COND1"].toString(), QString("3"));
        QVERIFY(r[0]["COND2"].isNull());
        QCOMPARE(r[0]["Time"].toDouble(), 59.0);
        QCOMPARE(r[0]["result1"].toDouble(), 250.0);
        QVERIFY(r[0]["result2"].isNull());
        QCOMPARE(r[0]["result3"].toDouble(), 123.4); // cut, not rounded
        QCOMPARE(r[0]["result4"].toDouble(), 12.0);
        QVERIFY(r[0]["result5"].isNull());
        QCOMPARE(r[0]["ERR1"].toString(), QString("s")); // tie of s and o: the earlier key
        QVERIFY(rows(path_, "T_Key").isEmpty());
    }

    void worstKey_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QList<int>>("errors");
        QTest::addColumn<QString>("worst");
        QTest::newRow("no error") << "ab" << QList<int>{0, 0, 0, 0} << "";
        QTest::newRow("last key") << "abcd" << QList<int>{1, 0, 2, 3} << "d";
        QTest::newRow("first of a tie") << "abcd" << QList<int>{0, 4, 4, 1} << "b";
        QTest::newRow("first key alone") << "k" << QList<int>{7, 0, 0, 0} << "k";
        QTest::newRow("errors beyond the keys are not looked at") << "ab" << QList<int>{0, 1, 9, 0} << "b";
    }
    void worstKey() {
        QFETCH(QString, keys);
        QFETCH(QList<int>, errors);
        QFETCH(QString, worst);
        QCOMPARE(halvor::WorstKey(keys, {errors[0], errors[1], errors[2], errors[3]}), worst);
    }

    void bestSpeedIsCutToOneDecimal_data() {
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("stored");
        QTest::newRow("123.456") << 123.456 << 123.4;
        QTest::newRow("99.99") << 99.99 << 99.9;
        QTest::newRow("whole") << 240.0 << 240.0;
        QTest::newRow("zero") << 0.0 << 0.0;
    }
    void bestSpeedIsCutToOneDecimal() {
        QFETCH(double, speed);
        QFETCH(double, stored);
        QVERIFY(halvor::RecordRun(path_, digitRun(1, "a", {0, 0, 0, 0}, speed), QDate(2026, 5, 14)).stored);
        QVERIFY(qAbs(rows(path_, "T_Digit")[0]["result3"].toDouble() - stored) < 1e-9);
    }

    void runNumbersCountPerDayAndDrill() {
        const QDate monday(2026, 5, 11), tuesday(2026, 5, 12);
        QVERIFY(halvor::RecordRun(path_, digitRun(1, "a", {}), monday).stored);
        QVERIFY(halvor::RecordRun(path_, digitRun(2, "ab", {}), monday).stored);
        QVERIFY(halvor::RecordRun(path_, digitRun(3, "ab", {}), tuesday).stored); // a new day starts at 1
        QVERIFY(
            halvor::RecordRun(path_, digitRun(1, "a", {}), monday).stored); // back to Monday: its highest + 1
        // Block runs number per mode, in their own table.
        QVERIFY(halvor::RecordRun(path_, keyRun(12, "abcd", 50), monday).stored);
        QVERIFY(halvor::RecordRun(path_, keyRun(11, "ab", 60), monday).stored);
        QVERIFY(halvor::RecordRun(path_, keyRun(12, "efgh", 70), monday).stored);

        QList<int> digitRounds;
        for (const auto& r : rows(path_, "T_Digit"))
            digitRounds << r["round"].toInt();
        QCOMPARE(digitRounds, (QList<int>{1, 2, 1, 3}));
        QList<int> keyRounds;
        for (const auto& r : rows(path_, "T_Key"))
            keyRounds << r["Round"].toInt();
        QCOMPARE(keyRounds, (QList<int>{1, 1, 2}));
    }

    void theHighestRunOfTheDayCountsNotTheNumberOfRows_data() {
        QTest::addColumn<bool>("digit");
        QTest::addColumn<int>("highest"); // today's highest run number, edited by hand
        QTest::addColumn<int>("next");
        QTest::newRow("windmill") << true << 7 << 8;
        QTest::newRow("blocks") << false << 7 << 8;
        QTest::newRow("windmill at the 16-bit limit") << true << 32767 << 32767;
        QTest::newRow("blocks at the 16-bit limit") << false << 32767 << 32767;
    }
    void theHighestRunOfTheDayCountsNotTheNumberOfRows() {
        QFETCH(bool, digit);
        QFETCH(int, highest);
        QFETCH(int, next);
        const FingerRecord run = digit ? digitRun(1, "a", {}) : keyRun(11, "ab", 60);
        const QString table = digit ? "T_Digit" : "T_Key";
        QVERIFY(halvor::RecordRun(path_, run, QDate(2026, 5, 14)).stored);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "edit");
            db.setDatabaseName(path_);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QString("update %1 set round = %2").arg(table).arg(highest)));
        }
        QSqlDatabase::removeDatabase("edit");
        const auto outcome = halvor::RecordRun(path_, run, QDate(2026, 5, 14));
        QVERIFY(outcome.stored);
        QCOMPARE(outcome.round, next);
        QCOMPARE(rows(path_, table).last()[digit ? "round" : "Round"].toInt(), next);
    }

    void aBlockRunIsStoredAsOneKeyRow() {
        QVERIFY(halvor::RecordRun(path_, keyRun(12, "q3m/", 88.88), QDate(2026, 5, 14)).stored);
        const auto r = rows(path_, "T_Key");
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0]["Tavrel"].toInt(), 12);
        QCOMPARE(r[0]["Round"].toInt(), 1);
        QCOMPARE(r[0]["REM"].toString(), QString("指4本訓練"));
        QCOMPARE(r[0]["COND1"].toString(), QString("4"));
        QCOMPARE(r[0]["result3"].toDouble(), 88.8);
        QCOMPARE(r[0]["ERR1"].toString(), QString("3"));
        QVERIFY(r[0]["ERR2"].isNull());
    }

    void theKeysAskedAreStoredWithTheRun_data() {
        QTest::addColumn<bool>("digit");
        QTest::addColumn<int>("drill");
        QTest::newRow("windmill") << true << 12;
        QTest::newRow("blocks") << false << 11;
    }

    void theKeysAskedAreStoredWithTheRun() {
        QFETCH(bool, digit);
        QFETCH(int, drill);
        FingerRecord run = digit ? digitRun(1, "fj", {2, 0, 0, 0}) : keyRun(drill, "fj", 60);
        run.units = {{"f", 130, 2, 310, "g"}, {"j", 120, 0, 295, {}}};
        QVERIFY(halvor::RecordRun(path_, run, QDate(2026, 5, 14)).stored);
        const auto parent = rows(path_, digit ? "T_Digit" : "T_Key");
        QStringList got;
        for (const QVariantMap& u : rows(path_, "T_Unit")) {
            QCOMPARE(u["RunId"], parent.value(0)["RunId"]);
            got << QStringList{u["Y4mmdd"].toString(),
                               u["Drill"].toString(),
                               u["Unit"].toString(),
                               u["Attempts"].toString(),
                               u["Misses"].toString(),
                               u["MeanMs"].toString(),
                               u["WrongKey"].isNull() ? "-" : u["WrongKey"].toString()}
                       .join(' ');
        }
        QCOMPARE(got, QStringList({"2026-05-14 %1 f 130 2 310 g", "2026-05-14 %1 j 120 0 295 -"})
                          .replaceInStrings("%1", QString::number(drill)));
    }

    // The live class view reports a finished run as its row stores it.
    void theLiveViewSeesWhatTheRowStores_data() {
        QTest::addColumn<bool>("windmill");
        QTest::newRow("windmill") << true;
        QTest::newRow("blocks") << false;
    }
    void theLiveViewSeesWhatTheRowStores() {
        QFETCH(bool, windmill);
        const halvor::FingerRecord record =
            windmill ? digitRun(6, "aso", {2, 5, 5, 0}) : keyRun(12, "q3m/", 88.88);
        QVERIFY(halvor::RecordRun(path_, record, QDate(2026, 5, 14)).stored);
        const QVariantMap row = rows(path_, windmill ? "T_Digit" : "T_Key").at(0);
        const halvor::presence::Figures f = record.figures();
        QCOMPARE(record.course(), row[windmill ? "REM" : "COND1"].toString());
        QCOMPARE(*f.speed, row["result3"].toDouble());
        QCOMPARE(*f.seconds, row["Time"].toDouble());
        QCOMPARE(double(*f.keystrokes), row["result1"].toDouble());
        QCOMPARE(double(*f.errors), row["result4"].toDouble());
        QCOMPARE(f.weakest, row["ERR1"].toString());
        QCOMPARE(f.accuracy, halvor::presence::accuracyOf(*f.keystrokes, *f.errors));
    }

    void aMissingFileIsCreatedAndTheRunIsNumberOne() {
        QVERIFY(!QFile::exists(path_));
        QVERIFY(halvor::RecordRun(path_, digitRun(1, "a", {}), QDate(2026, 5, 14)).stored);
        QCOMPARE(rows(path_, "T_Digit").size(), 1);
        QCOMPARE(rows(path_, "T_Digit")[0]["round"].toInt(), 1);
    }

    void aFailedSaveIsReportedAndLeavesTheFileAlone() {
        QFile foreign(path_);
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write("not a results database\n");
        foreign.close();
        // The run is kept beside what lies at the path, which is never written.
        const auto outcome = halvor::RecordRun(path_, digitRun(1, "a", {}), QDate(2026, 5, 14));
        QVERIFY(outcome.stored && outcome.spooled);
        QCOMPARE(outcome.problem, halvor::db::Problem::Damaged);
        QVERIFY(foreign.open(QIODevice::ReadOnly));
        QCOMPARE(foreign.readAll(), QByteArray("not a results database\n"));
        const QString folderPath = dir_.filePath("folder");
        QVERIFY(QDir().mkpath(folderPath));
        const auto folder = halvor::RecordRun(folderPath, digitRun(1, "a", {}), QDate(2026, 5, 14));
        QCOMPARE(folder.problem, halvor::db::Problem::NotAFile);
        QVERIFY(folder.spooled);
    }

    void chartRowsAreTheDrillsOwnInDateAndRunOrder() {
        QVERIFY(halvor::RecordRun(path_, digitRun(1, "a", {}, 100.05), QDate(2026, 5, 12)).stored);
        QVERIFY(halvor::RecordRun(path_, digitRun(1, "a", {}, 80), QDate(2026, 5, 11)).stored);
        QVERIFY(halvor::RecordRun(path_, digitRun(1, "a", {}, 90), QDate(2026, 5, 12)).stored);
        QVERIFY(halvor::RecordRun(path_, keyRun(12, "abcd", 70), QDate(2026, 5, 11)).stored);
        QVERIFY(halvor::RecordRun(path_, keyRun(11, "ab", 60), QDate(2026, 5, 11)).stored);
        DB_T_KEY hiragana;
        DB_ClearStructT_Key(&hiragana);
        hiragana.Y4mmdd = QDate(2026, 5, 10);
        hiragana.Y4mmddFlag = 1;
        hiragana.Tavrel = 23;
        hiragana.TavrelFlag = 1;
        hiragana.Round = 1;
        hiragana.RoundFlag = 1;
        QVERIFY(DB_InsertT_Key(path_, &hiragana));

        QList<halvor::ChartRow> digit;
        QVERIFY(halvor::ReadChartRows(halvor::GraphKind::Windmill, path_, digit));
        QCOMPARE(digit.size(), 3);
        QCOMPARE(digit[0].label, QString("2026/05/11_1"));
        QCOMPARE(digit[1].label, QString("2026/05/12_1"));
        QCOMPARE(digit[2].label, QString("2026/05/12_2"));
        QVERIFY(qAbs(digit[1].value - 100.0) < 1e-9);
        QCOMPARE(digit[2].column, 1);

        QList<halvor::ChartRow> key;
        QVERIFY(halvor::ReadChartRows(halvor::GraphKind::Blocks, path_, key));
        QCOMPARE(key.size(), 2); // drill 23 is not charted here
        QCOMPARE(key[0].label, QString("2026/05/11_1"));
        QCOMPARE(key[0].column, 1); // mode 11 sorts first: two characters
        QCOMPARE(key[0].value, 60.0);
        QCOMPARE(key[1].column, 2);
        QCOMPARE(key[1].value, 70.0);
    }

    void aChartOfAnUnreadableFileReportsTheFailedOpen() {
        QList<halvor::ChartRow> rows{{"x", 1, 1}};
        QVERIFY(!halvor::ReadChartRows(halvor::GraphKind::Windmill, dir_.path(), rows));
        QVERIFY(rows.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "tst_record.moc"
