// The drill as the learner meets it: the real program on a real X server, typed into with xdotool, and the
// run looked up in the results file afterwards.
#include "Database.h"
#include "LessonProcessDriver.h"
#include "modMain.h"

#include <QElapsedTimer>
#include <QtTest>

class ProcessTest : public QObject {
    Q_OBJECT
private slots:
    void typedRunsAreStoredAndTheMenuReturns();
};

namespace {

// Runs of this drill in the file; the save may still be under way, so it is asked again until the count
// is reached or time runs out.
qsizetype storedRuns(const QString& path, qsizetype expected) {
    QElapsedTimer waited;
    waited.start();
    QList<DB_T_KEY> rows;
    do {
        if (DB_SelectT_Key(path, hiragana::GraphQuery(), rows) && rows.size() >= expected) {
            break;
        }
        QTest::qWait(200);
    } while (waited.elapsed() < 10000);
    return rows.size();
}

// The shared driver types text only; Enter is its own key (a typed newline arrives as a different key).
bool pressEnter() {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
    const bool ok = xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
    QTest::qWait(100);
    return ok;
}

} // namespace

void ProcessTest::typedRunsAreStoredAndTheMenuReturns() {
    const QString database = qEnvironmentVariable("VUR_MDB");
    QVERIFY(!database.isEmpty());
    QFile::remove(database);
    const QString caption = QStringLiteral("ひらがなローマ字入力");
    LessonProcessDriver drill;
    QVERIFY(drill.start(QStringLiteral("Tavrel23"), caption));

    const QStringList lines = {
        QStringLiteral("aiueo"),      QStringLiteral("kakikukeko"), QStringLiteral("sasisuseso"),
        QStringLiteral("tatituteto"), QStringLiteral("naninuneno"), QStringLiteral("hahihuheho"),
        QStringLiteral("mamimumemo"), QStringLiteral("yayuyo"),     QStringLiteral("rarirurero"),
        QStringLiteral("wawiwewo"),   QStringLiteral("nn")};
    // Two runs one after the other: the second is numbered after the first.
    for (int run = 1; run <= 2; ++run) {
        QVERIFY(drill.click(QPoint(560, 496))); // 開始
        for (const QString& line : lines) {
            QVERIFY(drill.type(line));
            QVERIFY(pressEnter());
        }
        const qsizetype stored = storedRuns(database, run);
        QCOMPARE(stored, qsizetype(run));
        // The window tells of the save a moment after the run is in the file; an Enter before that would not
        // close it, and it would hold the window.
        QVERIFY(drill.waitForWindows(caption, 2));
        drill.screen(QStringLiteral("hiragana_process_run_done"));
        QVERIFY(pressEnter()); // closes "結果を保存しました。"
        QVERIFY(drill.waitForWindows(caption, 1));
    }
    QList<DB_T_KEY> rows;
    QVERIFY(DB_SelectT_Key(database, hiragana::GraphQuery(), rows));
    QCOMPARE(rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(int(rows[i].Round), i + 1);
        QCOMPARE(rows[i].COND1, QStringLiteral("AI"));
        QCOMPARE(rows[i].REM, QStringLiteral("あいうえお"));
        QVERIFY(rows[i].TimeFlag);
        QVERIFY(rows[i].Time >= 0.0);
    }

    QVERIFY(drill.click(QPoint(660, 513))); // 終了
    QElapsedTimer waited;
    waited.start();
    while (drill.running() && waited.elapsed() < 10000) {
        QTest::qWait(100);
    }
    QVERIFY(!drill.running());
    QTRY_VERIFY_WITH_TIMEOUT(drill.callerStarted(), 5000);
}

QTEST_MAIN(ProcessTest)
#include "tst_process_xvfb.moc"
