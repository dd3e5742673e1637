// The results file under faults: a save killed half-way, a file another program holds locked, tables of
// another shape, and saves that wait out a lock away from the window's thread.
#include "Database.h"
#include "DbTestKit.h"
#include "SaveQueue.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using halvor::db::Problem;
using halvor::db::SaveOutcome;
using halvor::db::SaveQueue;
using namespace std::chrono_literals;

namespace {

DB_T_KEY keyRow(int round) {
    DB_T_KEY rec;
    rec.Y4mmdd = QDate(2026, 12, 7);
    rec.Y4mmddFlag = 1;
    rec.Tavrel = 11;
    rec.TavrelFlag = 1;
    rec.Round = static_cast<std::int16_t>(round);
    rec.RoundFlag = 1;
    rec.REM = QStringLiteral("指2本訓練");
    rec.REMFlag = 1;
    return rec;
}

DB_T_DIGIT digitRow() {
    DB_T_DIGIT rec;
    rec.Pelvoran = 12;
    rec.PelvoranFlag = 1;
    return rec;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void aSaveKilledHalfWayIsRolledBackByTheNextOne();
    void aFileHeldByAnotherProgramIsToldAsSuch();
    void aSaveWaitsOutALockAwayFromTheWindowsThread();
    void aLockOutlastingTheRetriesIsToldAsBusy();
    void tablesOfAnotherShapeAreNeverChanged_data();
    void tablesOfAnotherShapeAreNeverChanged();

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_path;
};

void TestFaults::init() {
    m_dir.emplace(scratchBase() + QStringLiteral("/faults-XXXXXX"));
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("VUR.MDB"));
}

void TestFaults::cleanup() {
    SaveQueue::instance().setRetry(1000ms, 30000ms);
    m_dir.reset();
}

void TestFaults::aSaveKilledHalfWayIsRolledBackByTheNextOne() {
    for (int round = 1; round <= 2; ++round) {
        const DB_T_KEY rec = keyRow(round);
        QVERIFY2(DB_InsertT_Key(m_path, &rec), qPrintable(DB_LastError()));
    }
    QProcess child;
    child.start(QStringLiteral(HALVOR_SPILL_JOURNAL), {m_path});
    QVERIFY(child.waitForStarted());
    while (!child.readAllStandardOutput().contains("spilled"))
        QVERIFY2(child.waitForReadyRead(20000), "the child never spilled its change");
    child.kill(); // SIGKILL: no chance to roll anything back
    QVERIFY(child.waitForFinished());
    QVERIFY(QFileInfo(m_path + QStringLiteral("-journal")).size() > 0);

    // The chart reads first, then the next run is stored; only the committed rows are there, unharmed.
    QVERIFY2(DB_OpenT_Key(m_path, QStringLiteral(" where [Tavrel] = 11 order by [round]")),
             qPrintable(DB_LastError()));
    DB_T_KEY rec;
    QStringList read;
    while (DB_GetRecordT_Key(&rec))
        read << rec.REM + QString::number(rec.Round);
    DB_CloseT_Key();
    QCOMPARE(read, QStringList({"指2本訓練1", "指2本訓練2"}));
    const DB_T_KEY third = keyRow(3);
    QVERIFY2(DB_InsertT_Key(m_path, &third), qPrintable(DB_LastError()));
    QVERIFY(!QFileInfo::exists(m_path + QStringLiteral("-journal")));
    Peek peek(m_path);
    QCOMPARE(peek.rows("select count(*), sum(Tavrel = 99), sum(REM = 'half-written') from T_Key").first(),
             QVariantList({3, 0, 0}));
    QCOMPARE(peek.rows("pragma integrity_check").first().first().toString(), QStringLiteral("ok"));
}

void TestFaults::aFileHeldByAnotherProgramIsToldAsSuch() {
    const DB_T_KEY rec = keyRow(1);
    QVERIFY(DB_InsertT_Key(m_path, &rec));
    Peek holder(m_path);
    QVERIFY(holder.exec("BEGIN EXCLUSIVE"));

    const auto toldAsBusy = [] {
        QCOMPARE(DB_LastProblem(), Problem::Busy);
        QVERIFY2(DB_LastError().contains("another program"), qPrintable(DB_LastError()));
        QVERIFY2(DB_LastError().contains("locked"), qPrintable(DB_LastError())); // SQLite's own reason stays
    };
    QVERIFY(!DB_OpenT_Key(m_path, QStringLiteral(" where [Tavrel] = 11")));
    toldAsBusy();
    QVERIFY(!DB_InsertT_Key(m_path, &rec));
    toldAsBusy();

    QVERIFY(holder.exec("ROLLBACK"));
    QVERIFY2(DB_InsertT_Key(m_path, &rec), qPrintable(DB_LastError()));
    QCOMPARE(Peek(m_path).rows("select count(*) from T_Key").first().first().toInt(), 2);
}

void TestFaults::aSaveWaitsOutALockAwayFromTheWindowsThread() {
    SaveQueue& queue = SaveQueue::instance();
    queue.setRetry(100ms, 30000ms);
    const DB_T_KEY first = keyRow(1);
    QVERIFY(DB_InsertT_Key(m_path, &first));
    Peek holder(m_path);
    QVERIFY(holder.exec("BEGIN EXCLUSIVE"));

    QObject window;
    int waits = 0;
    QList<SaveOutcome> outcomes;
    const QString path = m_path;
    for (int round : {2, 3}) {
        queue.submit(
            [path, round] {
                const DB_T_KEY rec = keyRow(round);
                return DB_SaveOutcome(DB_InsertT_Key(path, &rec), round);
            },
            &window, [&] { ++waits; }, [&](const SaveOutcome& outcome) { outcomes << outcome; });
    }
    // This thread goes on handling events all the while; the learner is told once.
    QTRY_COMPARE(waits, 1);
    QTest::qWait(1500);
    QVERIFY(outcomes.isEmpty());
    QVERIFY(holder.exec("COMMIT"));
    QTRY_COMPARE(outcomes.size(), 2);
    QCOMPARE(waits, 1);
    QVERIFY(outcomes[0].stored && outcomes[1].stored);
    QCOMPARE(Peek(m_path).rows("select group_concat(Round) from T_Key").first().first().toString(),
             QStringLiteral("1,2,3"));
}

void TestFaults::aLockOutlastingTheRetriesIsToldAsBusy() {
    SaveQueue& queue = SaveQueue::instance();
    queue.setRetry(50ms, 300ms);
    const DB_T_KEY first = keyRow(1);
    QVERIFY(DB_InsertT_Key(m_path, &first));
    Peek holder(m_path);
    QVERIFY(holder.exec("BEGIN EXCLUSIVE"));
    QObject window;
    std::optional<SaveOutcome> outcome;
    const QString path = m_path;
    queue.submit(
        [path] {
            const DB_T_KEY rec = keyRow(2);
            return DB_SaveOutcome(DB_InsertT_Key(path, &rec), 2);
        },
        &window, {}, [&](const SaveOutcome& o) { outcome = o; });
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 10000);
    QVERIFY(!outcome->stored);
    QCOMPARE(outcome->problem, Problem::Busy);
    QVERIFY(!DB_ProblemText(outcome->problem).contains(QRegularExpression("[A-Za-z]")));
    QVERIFY(holder.exec("ROLLBACK"));
}

void TestFaults::tablesOfAnotherShapeAreNeverChanged_data() {
    QTest::addColumn<QStringList>("setup"); // statements that make the stored file
    QTest::addColumn<bool>("keyStored");
    QTest::addColumn<bool>("digitStored");
    QTest::newRow("T_Key without ERR2 and ERR3")
        << QStringList{kKeyWithoutErr23, kDigitV1, "PRAGMA user_version = 1"} << false << false;
    QTest::newRow("version-1 file whose T_Digit was dropped")
        << QStringList{kKeyV1, "PRAGMA user_version = 1"} << true << true;
}

void TestFaults::tablesOfAnotherShapeAreNeverChanged() {
    QFETCH(QStringList, setup);
    QFETCH(bool, keyStored);
    QFETCH(bool, digitStored);
    {
        Peek peek(m_path);
        for (const QString& sql : setup)
            QVERIFY2(peek.exec(sql), qPrintable(sql));
        QVERIFY(peek.exec("INSERT INTO T_Key (Tavrel, Round) VALUES (23, 1)"));
    }
    const auto attempt = [&](bool expected, const std::function<int()>& insert) {
        const QByteArray before = readAll(m_path);
        QCOMPARE(insert() != 0, expected);
        if (!expected) {
            QCOMPARE(readAll(m_path), before);
            QCOMPARE(DB_LastProblem(), Problem::Damaged);
            QVERIFY2(DB_LastError().contains("another shape"), qPrintable(DB_LastError()));
        }
    };
    const DB_T_KEY key = keyRow(1);
    attempt(keyStored, [&] { return DB_InsertT_Key(m_path, &key); });
    const DB_T_DIGIT digit = digitRow();
    attempt(digitStored, [&] { return DB_InsertT_Digit(m_path, &digit); });
    Peek peek(m_path);
    QCOMPARE(peek.rows("select count(*) from T_Key").first().first().toInt(), keyStored ? 2 : 1);
    if (digitStored)
        QCOMPARE(peek.rows("select count(*) from T_Digit").first().first().toInt(), 1);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
