// The record of one run's units, the history's summary and the choice of the weakest.
#include "KanaUnits.h"
#include "UnitMap.h"
#include "UnitTally.h"
#include "Weakness.h"

#include <QtTest>

using namespace halvor;

namespace {

// "unit attempts/misses meanMs wrongKey" per row, the rows joined by "; ".
QString describe(const QList<UnitRow>& rows) {
    QStringList out;
    for (const UnitRow& r : rows)
        out << QStringLiteral("%1 %2/%3 %4 %5")
                   .arg(r.unit)
                   .arg(r.attempts)
                   .arg(r.misses)
                   .arg(r.meanMs)
                   .arg(r.wrongKey);
    return out.join(QStringLiteral("; "));
}

UnitHistory row(const QString& run, const QString& unit, int attempts, int misses,
                const QString& wrong = {}) {
    UnitHistory h;
    h.runId = run;
    h.day = QDate(2026, 5, 14);
    h.unit = unit;
    h.attempts = attempts;
    h.misses = misses;
    h.wrongKey = wrong;
    return h;
}

// The same unit over `runs` runs, `attempts` and `misses` shared out over them.
QList<UnitHistory> over(int runs, const QString& unit, int attempts, int misses, const QString& wrong = {}) {
    QList<UnitHistory> rows;
    for (int r = 0; r < runs; ++r)
        rows << row(QStringLiteral("run%1").arg(r), unit, attempts / runs + (r < attempts % runs),
                    misses / runs + (r < misses % runs), wrong);
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(QList<UnitHistory>)

class UnitsTest : public QObject {
    Q_OBJECT
private slots:
    void tallyKeepsOrderMeanAndMostWrongKey();
    void kanaUnits_data();
    void kanaUnits();
    void weakest_data();
    void weakest();
    void summaryOfRuns();
    void changeSinceThePeriodBefore();
    void kanaPerMinute();
};

void UnitsTest::tallyKeepsOrderMeanAndMostWrongKey() {
    UnitTally tally;
    tally.count("f", 1, 0);
    tally.time("f", 100);
    tally.time("f", 201); // mean 150.5 rounds to 151
    tally.count("j", 3, 3);
    tally.wrong("j", "k");
    tally.wrong("j", "h");
    tally.wrong("j", "h");
    tally.count("f", 2, 1);
    tally.wrong("f", "d");
    tally.wrong("f", "g"); // a tie: the key pressed first wins
    tally.time("j", -5);   // a clock set back gives no time
    tally.count("a", 1, 0);
    QCOMPARE(describe(tally.rows()), QStringLiteral("f 3/1 151 d; j 3/3 -1 h; a 1/0 -1 "));
    tally.clear();
    QVERIFY(tally.rows().isEmpty());
}

void UnitsTest::kanaUnits_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("units");
    QTest::newRow("plain") << "かきく" << QStringList{"か", "き", "く"};
    QTest::newRow("contracted") << "きゃしゅ" << QStringList{"きゃ", "しゅ"};
    QTest::newRow("small after small or small tsu") << "ぁぃっゃ" << QStringList{"ぁ", "ぃ", "っ", "ゃ"};
    QTest::newRow("foreign sounds and long mark")
        << "ヴぁヴうぃーん" << QStringList{"ヴぁ", "ヴ", "うぃ", "ー", "ん"};
    QTest::newRow("small after romaji") << "kゃ" << QStringList{"k", "ゃ"};
}

void UnitsTest::kanaUnits() {
    QFETCH(QString, text);
    QFETCH(QStringList, units);
    QCOMPARE(KanaUnits(text), units);
}

void UnitsTest::weakest_data() {
    QTest::addColumn<QList<UnitHistory>>("history");
    QTest::addColumn<QStringList>("weakest");
    QTest::newRow("enough data: 3 runs and 20 attempts")
        << (over(3, "き", 20, 5) + over(2, "し", 40, 20) + over(3, "ち", 19, 10)) << QStringList{"き"};
    QTest::newRow("never missed is not weak")
        << (over(3, "き", 30, 0) + over(3, "し", 30, 1)) << QStringList{"し"};
    QTest::newRow("the same rate: the commoner kana first")
        << (over(3, "ぴゃ", 30, 6) + over(3, "の", 30, 6) + over(3, "ぬ", 30, 6))
        << QStringList{"の", "ぬ", "ぴゃ"};
    QTest::newRow("one miss in few attempts counts less than many in many")
        << (over(3, "か", 20, 2) + over(3, "た", 200, 20) + over(3, "い", 200, 0)) << QStringList{"た", "か"};
}

void UnitsTest::weakest() {
    QFETCH(QList<UnitHistory>, history);
    QFETCH(QStringList, weakest);
    QStringList got;
    for (const UnitSummary& u : WeakestUnits(SummariseUnits(history, Weighting::KanaFrequency), 10))
        got << u.unit;
    QCOMPARE(got, weakest);
}

void UnitsTest::summaryOfRuns() {
    QList<UnitHistory> history = {row("r1", "f", 10, 2, "d"), row("r2", "f", 30, 0),
                                  row("r2", "f", 0, 0),       row("r3", "f", 10, 3, "g"),
                                  row("r4", "f", 10, 1, "g"), row("r4", "j", 5, 9)};
    history[0].meanMs = 100;
    history[1].meanMs = 200;
    const QList<UnitSummary> units = SummariseUnits(history, Weighting::None);
    QCOMPARE(units.size(), 2);
    const UnitSummary& f = units[0];
    QCOMPARE(f.runs, 4);
    QCOMPARE(f.attempts, 60);
    QCOMPARE(f.misses, 6);
    QCOMPARE(f.meanMs, 175); // by attempts: (100 * 10 + 200 * 30) / 40
    QCOMPARE(f.wrongKey, QStringLiteral("g"));
    QVERIFY(HasEnoughData(f));
    QCOMPARE(units[1].misses, 5); // a row with more misses than attempts counts its attempts
    QVERIFY(!HasEnoughData(units[1]));
    // The learner's overall rate is 11 / 65: f's 6 / 60 is drawn up towards it, never past it.
    QVERIFY(f.smoothed > 0.1 && f.smoothed < 11.0 / 65);
    QCOMPARE(f.score, f.smoothed);
    QCOMPARE(BestKnownUnits(units, 3, {}).size(), 1); // only f has enough data
    QCOMPARE(BestKnownUnits(units, 3, {"f"}).first().unit, QStringLiteral("j"));
}

void UnitsTest::changeSinceThePeriodBefore() {
    // The week of 11 to 17 May, and the week before it; a row of the week before that counts in neither.
    const auto on = [](UnitHistory h, int day) {
        h.day = QDate(2026, 5, day);
        return h;
    };
    const QList<UnitHistory> history = {on(row("a", "き", 20, 10), 1), on(row("b", "き", 20, 8), 4),
                                        on(row("c", "き", 20, 2), 11), on(row("d", "き", 20, 2), 12),
                                        on(row("e", "き", 20, 2), 17), on(row("f", "し", 30, 0), 17),
                                        on(row("g", "あ", 30, 0), 18)};
    const QList<UnitChange> units =
        UnitsWithChange(history, QDate(2026, 5, 11), QDate(2026, 5, 17), Weighting::KanaFrequency);
    QCOMPARE(units.size(), 2);
    QCOMPARE(units[0].now.unit, QStringLiteral("き")); // the weak one first
    QCOMPARE(units[0].now.attempts, 60);
    QVERIFY(units[0].before);
    QCOMPARE(units[0].then.attempts, 20);
    QCOMPARE(units[0].change, 0.1 - 0.4);
    QCOMPARE(units[1].now.unit, QStringLiteral("し"));
    QVERIFY(!units[1].before);
    // Without a start there is no period before.
    QVERIFY(!UnitsWithChange(history, QDate(), QDate(2026, 5, 17), Weighting::None).first().before);
}

void UnitsTest::kanaPerMinute() {
    // きゃ is two kana: 3 x 2 + 4 x 1 = 10 kana in 15 seconds.
    const QList<UnitHistory> run = {row("r", "きゃ", 3, 1), row("r", "か", 4, 0)};
    QCOMPARE(KanaTyped(run), 10);
    QCOMPARE(KanaPerMinute(KanaTyped(run), 15), 40.0);
    QCOMPARE(KanaPerMinute(50, 0), 0.0);
    QCOMPARE(LessonKana("ga"), 106);
    QCOMPARE(LessonKana("XY"), 0);
}

QTEST_APPLESS_MAIN(UnitsTest)
#include "tst_units.moc"
