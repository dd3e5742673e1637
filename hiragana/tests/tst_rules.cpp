#include "DrillRun.h"
#include "KanaUnits.h"
#include "Lessons.h"
#include "TestData.h"
#include "TestDoubles.h"
#include "modConvert.h"
#include "modMain.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace hiragana;

namespace {

using Rows = QList<QPair<QString, QList<double>>>;

} // namespace

Q_DECLARE_METATYPE(QList<DB_T_KEY>)

class RulesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void lessonsHaveTheirRowsAndSeparators_data();
    void lessonsHaveTheirRowsAndSeparators();
    void lessonTextsAreExact();
    void kindsAndCaptions();
    void lineCheck_data();
    void lineCheck();
    void everyLessonLineCanBeTypedFromItsHint();
    void wholeRunWithAClock();
    void secondsAreCountedOnTheWholeSecondsOfTheClock_data();
    void secondsAreCountedOnTheWholeSecondsOfTheClock();
    void queryTexts();
    void savedRunsAreNumberedPerDayAndKind();
    void savedRowReadsBackWithNulls();
    void saveFailureSaysWhy();
    void saveWaitsForAnotherProgramReadingTheFile();
    void graphRows_data();
    void graphRows();
    void graphRowsKeepTheLatest32767();

private:
    QTemporaryDir dir_;
};

void RulesTest::initTestCase() {
    InitConvertTable();
    QVERIFY(dir_.isValid());
}

void RulesTest::lessonsHaveTheirRowsAndSeparators_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rows");
    QTest::newRow("50 sounds") << 0 << 32;
    QTest::newRow("voiced") << 1 << 53;
    QTest::newRow("small kana") << 2 << 32;
}

void RulesTest::lessonsHaveTheirRowsAndSeparators() {
    QFETCH(int, kind);
    QFETCH(int, rows);
    const QStringList lesson = SampleRows(kind);
    QCOMPARE(lesson.size(), rows);
    for (int i = 0; i < rows; ++i) {
        if (i % 3 == 2) {
            QCOMPARE(lesson[i], QStringLiteral("  "));
        } else {
            QVERIFY(!RemoveSpaces(lesson[i]).isEmpty());
        }
    }
    // The last pair has no separator after it.
    QVERIFY(RemoveSpaces(lesson.last()) != QString());
}

void RulesTest::lessonTextsAreExact() {
    const QStringList k0 = SampleRows(0);
    QCOMPARE(k0[0], QStringLiteral("あ  い  う  え  お"));
    QCOMPARE(k0[1], QStringLiteral(" a   i  u   e   o"));
    QCOMPARE(k0[27], QStringLiteral("わ  うぃ  うぇ  を"));
    QCOMPARE(k0[30], QStringLiteral("ん"));
    QCOMPARE(k0[31], QStringLiteral("nn"));
    const QStringList k1 = SampleRows(1);
    QCOMPARE(k1[15], QStringLiteral("きゃ きゅ きょ"));
    QCOMPARE(k1[42], QStringLiteral("ヴぁヴぃヴヴぇヴぉ"));
    QCOMPARE(k1[52], QStringLiteral("rya  ryu  ryo"));
    const QStringList k2 = SampleRows(2);
    QCOMPARE(k2[6], QStringLiteral("っ  ゃ  ゅ  ょ(小文字)"));
    // The one line with ideographic spaces.
    QCOMPARE(k2[9], QString::fromUtf16(u"っ\u3000ゃ\u3000ゅ\u3000ょ(小文字)"));
    QCOMPARE(k2[9].count(QChar(0x3000)), 3);
    QCOMPARE(k2[28], QStringLiteral("ittyouittann icchouittann"));
    QCOMPARE(k2[30], QStringLiteral("うぃーん"));
    QCOMPARE(k2[31], QStringLiteral("wi-nn whi-nn"));
    QVERIFY(SampleRows(3).isEmpty());
    QVERIFY(SampleRows(-1).isEmpty());
}

void RulesTest::kindsAndCaptions() {
    const QStringList captions = {QStringLiteral("５０音"), QStringLiteral("濁音等"),
                                  QStringLiteral("促音等")};
    const QStringList codes = {QStringLiteral("AI"), QStringLiteral("GA"), QStringLiteral("NN")};
    const QStringList names = {QStringLiteral("あいうえお"), QStringLiteral("濁音"), QStringLiteral("促音")};
    const QStringList entries = {QStringLiteral("§ あいうえお５０音"), QStringLiteral("§ 濁音、半濁音"),
                                 QStringLiteral("§ 促音、ん、小文字")};
    for (int i = 0; i < kKindCount; ++i) {
        QCOMPARE(Kind(i).caption, captions[i]);
        QCOMPARE(Kind(i).code, codes[i]);
        QCOMPARE(Kind(i).name, names[i]);
        QCOMPARE(Kind(i).entry, entries[i]);
    }
    QCOMPARE(Kind(7).code, QStringLiteral("AI"));
}

void RulesTest::lineCheck_data() {
    QTest::addColumn<QString>("kanaLine");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("passes");
    QTest::newRow("spaces ignored") << "か  き  く  け  こ"
                                    << "kakikukeko" << true;
    QTest::newRow("trailing space") << "か  き  く  け  こ"
                                    << "kakikukeko " << true;
    QTest::newRow("space between syllables") << "か  き  く  け  こ"
                                             << "kaki kukeko" << false;
    QTest::newRow("empty input") << "か  き  く  け  こ"
                                 << "" << false;
    QTest::newRow("one kana short") << "か  き  く  け  こ"
                                    << "kakikuke" << false;
    QTest::newRow("one kana more") << "か  き  く  け  こ"
                                   << "kakikukekoko" << false;
    QTest::newRow("note not typed") << "いっしんいったい(一進一退)"
                                    << "issinnittai" << true;
    QTest::newRow("note typed is wrong") << "いっしんいったい(一進一退)"
                                         << "issinnittai(一進一退)" << false;
    QTest::newRow("ideographic spaces") << "っ\u3000ゃ\u3000ゅ\u3000ょ(小文字)"
                                        << "xtuxyaxyuxyo" << true;
    QTest::newRow("first long-vowel spelling") << "うぃーん"
                                               << "wi-nn" << true;
    QTest::newRow("second spelling, as the hint shows it") << "うぃーん"
                                                           << "whi-nn" << true;
    QTest::newRow("ittyou") << "いっちょういったん(一長一短)"
                            << "ittyouittann" << true;
    QTest::newRow("icchou") << "いっちょういったん(一長一短)"
                            << "icchouittann" << true;
    QTest::newRow("lone n at the end") << "いっぱん(一般)"
                                       << "ippan" << false;
}

void RulesTest::lineCheck() {
    QFETCH(QString, kanaLine);
    QFETCH(QString, typed);
    QFETCH(bool, passes);
    QCOMPARE(LineMatches(kanaLine, ConvertRomaji(typed)), passes);
}

// A hint the drill shows must pass: the whole hint without its spaces, or each spelling of a hint that shows
// two, with either setting of the spellings.
void RulesTest::everyLessonLineCanBeTypedFromItsHint() {
    for (const Spellings spellings : {Spellings::Table, Spellings::Ime}) {
        for (int kind = 0; kind < kKindCount; ++kind) {
            const QStringList rows = SampleRows(kind);
            for (int r = 0; r < rows.size(); r += 3) {
                const QString& hint = rows[r + 1];
                const bool passesWhole = LineMatches(rows[r], CommitRomaji(RemoveSpaces(hint), spellings));
                const QStringList words = hint.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const bool passesEach = std::all_of(words.begin(), words.end(), [&](const QString& word) {
                    return LineMatches(rows[r], CommitRomaji(word, spellings));
                });
                QVERIFY2(passesWhole || passesEach, qPrintable(rows[r] + " / " + hint));
            }
        }
    }
}

void RulesTest::wholeRunWithAClock() {
    const int lines[] = {11, 18, 11};
    for (int kind = 0; kind < kKindCount; ++kind) {
        FakeClock clock(QDateTime(QDate(2004, 11, 29), QTime(10, 0, 0, 200)));
        DrillRun run(clock);
        run.setKind(kind);
        QCOMPARE(run.curRow(), 0);
        QCOMPARE(run.enter(QStringLiteral("あいうえお")), DrillRun::Check::Wrong); // not started
        run.start();
        QVERIFY(run.running());
        int passed = 0;
        for (;;) {
            const int row = run.curRow();
            clock.advance(2300);
            run.edited(QStringLiteral("x"));
            QCOMPARE(run.enter(QStringLiteral("x")), DrillRun::Check::Wrong);
            QCOMPARE(run.curRow(), row);
            const QString romaji = typingFor(run.rows()[row], run.rows()[row + 1]);
            run.edited(romaji);
            const DrillRun::Check check = run.enter(ConvertRomaji(romaji));
            ++passed;
            if (check == DrillRun::Check::Finished) {
                break;
            }
            QCOMPARE(check, DrillRun::Check::Next);
            QCOMPARE(run.curRow(), row + 3);
        }
        QCOMPARE(passed, lines[kind]);
        QVERIFY(!run.running());
        // Every unit of the lesson was attempted once; the "x" typed first stood at each line's first unit.
        int attempts = 0;
        int misses = 0;
        for (const halvor::UnitRow& unit : run.units().rows()) {
            attempts += unit.attempts;
            misses += unit.misses;
        }
        int units = 0;
        for (int r = 0; r < run.rows().size(); r += 3)
            units += int(halvor::KanaUnits(ExpectedText(run.rows()[r])).size());
        QCOMPARE(attempts, units);
        QCOMPARE(misses, lines[kind]);
        const int expected = int((qint64(lines[kind]) * 2300 + 200) / 1000);
        QCOMPARE(run.elapsedSeconds(), expected);
        clock.advance(60000);
        QCOMPARE(run.elapsedSeconds(), expected); // frozen once finished
        run.reset();
        QCOMPARE(run.curRow(), 0);
    }
}

void RulesTest::secondsAreCountedOnTheWholeSecondsOfTheClock_data() {
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<int>("seconds");
    QTest::newRow("across a second boundary") << QTime(10, 0, 0, 900) << QTime(10, 0, 1, 100) << 1;
    QTest::newRow("within one second") << QTime(10, 0, 0, 100) << QTime(10, 0, 0, 900) << 0;
    QTest::newRow("minutes") << QTime(10, 0, 0) << QTime(10, 2, 5) << 125;
    QTest::newRow("clock set back") << QTime(10, 0, 0) << QTime(9, 59, 0) << 0;
}

void RulesTest::secondsAreCountedOnTheWholeSecondsOfTheClock() {
    QFETCH(QTime, start);
    QFETCH(QTime, now);
    QFETCH(int, seconds);
    FakeClock clock(QDateTime(QDate(2004, 11, 29), start));
    DrillRun run(clock);
    run.setKind(0);
    run.start();
    clock.set(QDateTime(QDate(2004, 11, 29), now));
    QCOMPARE(run.elapsedSeconds(), seconds);
}

void RulesTest::queryTexts() {
    QCOMPARE(RoundQuery(QDate(2004, 11, 29), QStringLiteral("GA")),
             QStringLiteral(
                 "select * from [T_Key] where [Y4mmdd] = #2004/11/29# and [tavrel]= 23 and [COND1] = 'GA'"));
    QCOMPARE(GraphQuery(),
             QStringLiteral("select * from [T_Key]  where [Tavrel] = 23 order by [Y4mmdd] , [round]"));
}

void RulesTest::savedRunsAreNumberedPerDayAndKind() {
    const QString path = dir_.filePath(QStringLiteral("rounds.mdb"));
    const QDate day(2004, 11, 29);
    // Rows that must not count: another drill on the same day, and this drill on the day before.
    DB_T_KEY other = keyRecord(day, 1, QStringLiteral("GA"), 10);
    other.Tavrel = 11;
    QVERIFY(DB_InsertT_Key(path, &other));
    DB_T_KEY before = keyRecord(day.addDays(-1), 1, QStringLiteral("GA"), 10);
    QVERIFY(DB_InsertT_Key(path, &before));

    QCOMPARE(SaveRun(path, day, 1, 40).round, 1);
    QCOMPARE(SaveRun(path, day, 1, 38).round, 2);
    QCOMPARE(SaveRun(path, day, 0, 30).round, 1); // another kind starts again
    QCOMPARE(SaveRun(path, day, 2, 55).round, 1);
    QCOMPARE(SaveRun(path, day, 1, 36).round, 3);
    QCOMPARE(SaveRun(path, day.addDays(1), 1, 33).round, 1); // a new day starts again
}

void RulesTest::savedRowReadsBackWithNulls() {
    const QString path = dir_.filePath(QStringLiteral("row.mdb"));
    const SaveOutcome outcome = SaveRun(path, QDate(2004, 11, 29), 2, 47);
    QVERIFY2(outcome.stored, qPrintable(outcome.why));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("readback"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(
            q.exec(QStringLiteral("select Y4mmdd, Tavrel, Round, REM, COND1, COND2, Time, result1, result5, "
                                  "ERR1, ERR3, typeof(Time) from T_Key")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("2004-11-29"));
        QCOMPARE(q.value(1).toInt(), 23);
        QCOMPARE(q.value(2).toInt(), 1);
        QCOMPARE(q.value(3).toString(), QStringLiteral("促音"));
        QCOMPARE(q.value(4).toString(), QStringLiteral("NN"));
        QVERIFY(q.value(5).isNull());
        QCOMPARE(q.value(6).toDouble(), 47.0);
        for (int c = 7; c <= 10; ++c) {
            QVERIFY(q.value(c).isNull());
        }
        QCOMPARE(q.value(11).toString(), QStringLiteral("real"));
        QVERIFY(!q.next());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("readback"));
}

void RulesTest::saveFailureSaysWhy() {
    // A database whose folder is a plain file can be neither created nor written, whoever runs the test.
    const QString blocker = dir_.filePath(QStringLiteral("not-a-folder"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const SaveOutcome outcome = SaveRun(blocker + QStringLiteral("/VUR.MDB"), QDate(2004, 11, 29), 0, 30);
    QVERIFY(!outcome.stored);
    QVERIFY(!outcome.why.isEmpty());
}

void RulesTest::saveWaitsForAnotherProgramReadingTheFile() {
    // Another program may hold the file at the moment a run ends; the run is kept beside it rather than lost,
    // and the next save writes it first.
    const QString path = dir_.filePath(QStringLiteral("busy.mdb"));
    QVERIFY2(SaveRun(path, QDate(2004, 11, 29), 0, 30).stored, "setting up the file");
    std::atomic<bool> locked{false};
    std::atomic<bool> lockFailed{false};
    std::thread holder([&] {
        const QString name = QStringLiteral("holder");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            QSqlQuery q(db);
            if (!db.open() || !q.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
                lockFailed = true;
            }
            locked = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            q.exec(QStringLiteral("COMMIT"));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    });
    while (!locked) {
        std::this_thread::yield();
    }
    const SaveOutcome outcome = SaveRun(path, QDate(2004, 11, 29), 0, 31);
    holder.join();
    QVERIFY(!lockFailed);
    QVERIFY2(outcome.stored, qPrintable(outcome.why));
    QVERIFY(SaveRun(path, QDate(2004, 11, 29), 0, 32).stored);
    QList<DB_T_KEY> rows;
    QVERIFY(DB_SelectT_Key(path, GraphQuery(), rows));
    QCOMPARE(rows.size(), 3);
    QStringList order;
    for (const DB_T_KEY& r : rows)
        order << QStringLiteral("%1:%2").arg(r.Round).arg(r.Time);
    QCOMPARE(order, QStringList({"1:30", "2:31", "3:32"}));
}

void RulesTest::graphRows_data() {
    QTest::addColumn<QList<DB_T_KEY>>("records");
    QTest::addColumn<Rows>("rows");
    const QDate d1(2004, 11, 29);
    const QDate d2(2004, 11, 30);
    QTest::newRow("no runs") << QList<DB_T_KEY>{} << Rows{};
    QTest::newRow("one run") << QList<DB_T_KEY>{keyRecord(d1, 1, QStringLiteral("NN"), 50)}
                             << Rows{{"2004/11/29_1", {0, 0, 50}}};
    QTest::newRow("three kinds share a row") << QList<DB_T_KEY>{keyRecord(d1, 1, QStringLiteral("GA"), 42),
                                                                keyRecord(d1, 1, QStringLiteral("AI"), 35),
                                                                keyRecord(d1, 1, QStringLiteral("NN"), 50)}
                                             << Rows{{"2004/11/29_1", {35, 42, 50}}};
    QTest::newRow("last value carried") << QList<DB_T_KEY>{keyRecord(d1, 1, QStringLiteral("AI"), 35),
                                                           keyRecord(d2, 1, QStringLiteral("GA"), 42)}
                                        << Rows{{"2004/11/29_1", {35, 0, 0}}, {"2004/11/30_1", {35, 42, 0}}};
    QTest::newRow("second run of one kind")
        << QList<DB_T_KEY>{keyRecord(d1, 1, QStringLiteral("AI"), 35),
                           keyRecord(d1, 1, QStringLiteral("GA"), 42),
                           keyRecord(d1, 2, QStringLiteral("AI"), 31)}
        << Rows{{"2004/11/29_1", {35, 42, 0}}, {"2004/11/29_2", {31, 42, 0}}};
    QTest::newRow("codes in any case") << QList<DB_T_KEY>{keyRecord(d1, 1, QStringLiteral("ga"), 42),
                                                          keyRecord(d1, 1, QStringLiteral("ai"), 35),
                                                          keyRecord(d1, 1, QStringLiteral("XY"), 9)}
                                       << Rows{{"2004/11/29_1", {35, 42, 9}}};
    DB_T_KEY nulls = keyRecord(d1, 0, QString(), 0);
    nulls.RoundFlag = 0;
    nulls.TimeFlag = 0;
    nulls.Time = 77;
    QTest::newRow("nulls read as 0, AI and 0") << QList<DB_T_KEY>{nulls} << Rows{{"2004/11/29_0", {0, 0, 0}}};
    QTest::newRow("the にがて kind stays off the chart")
        << QList<DB_T_KEY>{keyRecord(d1, 1, QStringLiteral("NG"), 52),
                           keyRecord(d1, 1, QStringLiteral("NN"), 40)}
        << Rows{{"2004/11/29_1", {0, 0, 40}}};
    QTest::newRow("same label and kind: the later wins")
        << QList<DB_T_KEY>{keyRecord(d1, 1, QStringLiteral("AI"), 35),
                           keyRecord(d1, 1, QStringLiteral("AI"), 30)}
        << Rows{{"2004/11/29_1", {30, 0, 0}}};
}

void RulesTest::graphRows() {
    QFETCH(QList<DB_T_KEY>, records);
    QFETCH(Rows, rows);
    const QList<GraphRow> built = BuildGraphRows(records);
    QCOMPARE(built.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(built[i].label, rows[i].first);
        for (int s = 0; s < 3; ++s) {
            QCOMPARE(built[i].values[s], rows[i].second[s]);
        }
    }
}

void RulesTest::graphRowsKeepTheLatest32767() {
    QList<DB_T_KEY> records;
    const QDate start(1990, 1, 1);
    for (int i = 0; i < 33000; ++i) {
        records.append(keyRecord(start.addDays(i), 1, QStringLiteral("AI"), i));
    }
    const QList<GraphRow> built = BuildGraphRows(records);
    QCOMPARE(built.size(), 32767);
    QCOMPARE(built.last().values[0], 32999.0);
    QCOMPARE(built.first().values[0], double(33000 - 32767));
}

QTEST_APPLESS_MAIN(RulesTest)
#include "tst_rules.moc"
