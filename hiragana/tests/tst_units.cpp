// Which kana a learner missed in a line, and the にがて lesson built from the weakest.
#include "KanaRecorder.h"
#include "KanaUnits.h"
#include "Lessons.h"
#include "Nigate.h"
#include "TestData.h"
#include "TestDoubles.h"
#include "UnitMap.h"
#include "modConvert.h"

#include <QtTest>

using namespace hiragana;

namespace {

// Plays a script on a recorder set to `line`: a character is typed at the end of the box (100 ms after the
// one before), "<" deletes the last one, "\n" presses Enter, "{text}" makes the box hold text (an edit in the
// middle). Stops when a line passes; returns whether it did.
bool play(KanaRecorder& recorder, const QString& line, const QString& script, Spellings spellings) {
    recorder.startLine(line);
    QString box;
    std::uint32_t tick = 1000;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script[i];
        if (c == u'\n') {
            const bool passed = LineMatches(line, CommitRomaji(box, spellings));
            recorder.entered(passed);
            if (passed)
                return true;
            continue;
        }
        if (c == u'{') {
            const qsizetype close = script.indexOf(u'}', i);
            box = script.mid(i + 1, close - i - 1);
            i = close;
        } else if (c == u'<') {
            box.chop(1);
        } else {
            box += c;
        }
        tick += 100;
        recorder.edited(box, tick);
    }
    return false;
}

// The missed units as "unit:wrongKey", in the order the units were first met.
QString missed(const halvor::UnitTally& tally) {
    QStringList out;
    for (const halvor::UnitRow& r : tally.rows()) {
        if (r.misses > 0)
            out << r.unit + QLatin1Char(':') + r.wrongKey;
    }
    return out.join(u' ');
}

halvor::UnitHistory unitRow(int run, const QString& unit, int attempts, int misses) {
    halvor::UnitHistory h;
    h.runId = QString::number(run);
    h.unit = unit;
    h.attempts = attempts;
    h.misses = misses;
    return h;
}

// Runs of a learner: every unit of the first lesson (each once in it) 7 times a run, the weak ones missed
// `misses` times a run.
QList<halvor::UnitHistory> history(const QStringList& weak, int misses, int runs = 3) {
    QList<halvor::UnitHistory> rows;
    const QStringList lesson = SampleRows(0);
    QString kana;
    for (qsizetype r = 0; r < lesson.size(); r += 3)
        kana += ExpectedText(lesson[r]);
    for (int run = 0; run < runs; ++run) {
        for (const QString& unit : halvor::KanaUnits(kana))
            rows << unitRow(run, unit, 7, weak.contains(unit) ? misses : 0);
    }
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(QList<halvor::UnitHistory>)

class UnitsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitConvertTable(); }
    void missesAndWrongKeys_data();
    void missesAndWrongKeys();
    void timesFromTheUnitBefore();
    void nigateNeedsAWeakUnitWithEnoughData_data();
    void nigateNeedsAWeakUnitWithEnoughData();
    void nigateLessonPractisesTheWeakest();
    void hintsTypeTheirUnits();
    void theMapKnowsEveryLesson();
};

void UnitsTest::missesAndWrongKeys_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Spellings>("spellings");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("missed");
    const QString kakikukeko = QStringLiteral("か  き  く  け  こ");
    const Spellings table = Spellings::Table;
    QTest::newRow("typed right") << kakikukeko << table << "kakikukeko\n"
                                 << "";
    QTest::newRow("upper case is the same key") << kakikukeko << table << "KAKIKUKEKO\n"
                                                << "";
    QTest::newRow("wrong key deleted") << kakikukeko << table << "kakiky<ukeko\n"
                                       << "く:y";
    QTest::newRow("a right key deleted") << kakikukeko << table << "kak<kikukeko\n"
                                         << "き:";
    QTest::newRow("wrong kana at Enter, then mended") << kakikukeko << table << "kakikukeku\n<<ko\n"
                                                      << "こ:u";
    QTest::newRow("romaji not converted at Enter") << kakikukeko << table << "kakiky\n<<kukeko\n"
                                                   << "く:y";
    QTest::newRow("one kana left out marks only it") << kakikukeko << table << "kakukeko\n{kakikukeko}\n"
                                                     << "き:";
    QTest::newRow("Enter on a line not finished") << kakikukeko << table << "kaki\nkukeko\n"
                                                  << "";
    QTest::newRow("contracted sound in two pieces") << "きゃ きゅ きょ" << table << "kiya\n{kyakyukyo}\n"
                                                    << "きゃ:y";
    QTest::newRow("small tsu with the wrong letter") << "きっぱり" << table << "kitpari\n{kippari}\n"
                                                     << "っ:t";
    QTest::newRow("lone n at the end, table") << "いっぱん(一般)" << table << "ippan\nn\n"
                                              << "ん:";
    QTest::newRow("lone n at the end, input method") << "いっぱん(一般)" << Spellings::Ime << "ippan\n"
                                                     << "";
}

void UnitsTest::missesAndWrongKeys() {
    QFETCH(QString, line);
    QFETCH(Spellings, spellings);
    QFETCH(QString, script);
    QFETCH(QString, missed);
    KanaRecorder recorder(spellings);
    QVERIFY(play(recorder, line, script, spellings));
    QCOMPARE(::missed(recorder.tally()), missed);
    // The line passed once: each of its units was attempted once.
    int attempts = 0;
    for (const halvor::UnitRow& r : recorder.tally().rows())
        attempts += r.attempts;
    QCOMPARE(attempts, int(halvor::KanaUnits(ExpectedText(line)).size()));
}

void UnitsTest::timesFromTheUnitBefore() {
    KanaRecorder recorder;
    // 100 ms a key: a contracted sound of three keys takes 300 ms; the line's first unit is not timed.
    QVERIFY(
        play(recorder, QStringLiteral("きゃ きゅ きょ"), QStringLiteral("kyakyukyo\n"), Spellings::Table));
    QVERIFY(play(recorder, QStringLiteral("あ  きゃ"), QStringLiteral("akixya\n"), Spellings::Table));
    QStringList times;
    for (const halvor::UnitRow& r : recorder.tally().rows())
        times << QStringLiteral("%1 %2/%3 %4").arg(r.unit).arg(r.attempts).arg(r.misses).arg(r.meanMs);
    QCOMPARE(times, (QStringList{"きゃ 2/0 500", "きゅ 1/0 300", "きょ 1/0 300", "あ 1/0 -1"}));
}

void UnitsTest::nigateNeedsAWeakUnitWithEnoughData_data() {
    QTest::addColumn<QList<halvor::UnitHistory>>("history");
    QTest::addColumn<bool>("offered");
    QTest::newRow("no runs") << QList<halvor::UnitHistory>{} << false;
    QTest::newRow("never missed") << history({}, 0) << false;
    QTest::newRow("missed, enough data") << history({"き"}, 1) << true;
    QTest::newRow("missed, two runs") << history({"き"}, 1, 2) << false;
}

void UnitsTest::nigateNeedsAWeakUnitWithEnoughData() {
    QFETCH(QList<halvor::UnitHistory>, history);
    QFETCH(bool, offered);
    ScriptedRandom random({7, 3, 11});
    QCOMPARE(!BuildNigateLesson(history, NigateHints::FromTable(), random).rows.isEmpty(), offered);
}

void UnitsTest::nigateLessonPractisesTheWeakest() {
    ScriptedRandom random({5, 17, 2, 9, 13, 1});
    QList<halvor::UnitHistory> runs = history({"き", "し", "を"}, 3);
    for (int run = 0; run < 3; ++run)
        runs << unitRow(run, QStringLiteral("っ"), 7, 3);
    const NigateLesson lesson = BuildNigateLesson(runs, NigateHints::FromTable(), random);
    QCOMPARE(lesson.weak, (QStringList{"し", "っ", "き", "を"})); // the commonest first at the same rate
    QCOMPARE(lesson.known, (QStringList{"あ", "い", "う"}));
    QCOMPARE(lesson.rows.size(), kNigateLines * 3 - 1);
    QMap<QString, int> seen;
    for (int r = 0; r < lesson.rows.size(); r += 3) {
        const QString& kana = lesson.rows[r];
        QVERIFY2(!typingFor(kana, lesson.rows[r + 1]).isEmpty(),
                 qPrintable(kana + " / " + lesson.rows[r + 1]));
        if (r + 2 < lesson.rows.size())
            QCOMPARE(lesson.rows[r + 2], QStringLiteral("  "));
        const QStringList units = halvor::KanaUnits(ExpectedText(kana));
        for (qsizetype u = 0; u < units.size(); ++u) {
            ++seen[units[u]];
            QVERIFY2(u == 0 || units[u] != units[u - 1], qPrintable(kana)); // no unit twice in a row
        }
    }
    // Three quarters of the 40 places to the weak units (the weakest first where they do not share out
    // evenly), the rest to the known ones; っ brings a kana after it.
    QCOMPARE(seen["し"], 8);
    QCOMPARE(seen["っ"], 8);
    QCOMPARE(seen["き"], 7);
    QCOMPARE(seen["を"], 7);
    QCOMPARE(seen["あ"] + seen["い"] + seen["う"], 10);
    QCOMPARE(seen["か"] + seen["さ"] + seen["た"] + seen["ぱ"], 8);
}

void UnitsTest::hintsTypeTheirUnits() {
    const NigateHints hints = NigateHints::FromTable();
    QStringList units;
    for (int kind = 0; kind < kKindCount; ++kind)
        for (const QString& row : SampleRows(kind))
            units << halvor::KanaUnits(ExpectedText(row));
    for (const KanaPair& pair : ConversionTable())
        units << pair.Kana;
    for (const QString& unit : units) {
        if (unit.at(0).unicode() < 0x80)
            continue; // a romaji row
        QCOMPARE(ConvertRomaji(hints.hintFor(unit)), unit);
    }
}

// The viewer's map and its kana per minute know the lessons without reading them: every unit of a lesson has
// its cell in the 50-sound table, and each lesson's kana are counted right.
void UnitsTest::theMapKnowsEveryLesson() {
    QStringList cells;
    for (const halvor::KanaChartSection& section : halvor::KanaChart())
        for (const QStringList& row : section.rows)
            cells << row;
    for (int kind = 0; kind < kKindCount; ++kind) {
        const QStringList rows = SampleRows(kind);
        int kana = 0;
        for (qsizetype r = 0; r < rows.size(); r += 3) {
            kana += int(ExpectedText(rows[r]).size());
            for (const QString& unit : halvor::KanaUnits(ExpectedText(rows[r])))
                QVERIFY2(cells.contains(unit), qPrintable(unit));
        }
        QCOMPARE(halvor::LessonKana(Kind(kind).code), kana);
    }
}

QTEST_APPLESS_MAIN(UnitsTest)
#include "tst_units.moc"
