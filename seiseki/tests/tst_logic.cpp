// The viewer's plain rules: date ranges, the summary sentence, the command line, class lists, the charts'
// figures and CSV text.
#include "Charts.h"
#include "CommandLine.h"
#include "Export.h"
#include "Results.h"
#include "Roster.h"

#include <cmath>

#include <QTest>

using namespace seiseki;

namespace {

DB_RUN run(const QDate& day, bool windmill, int drill, const QString& course, double value) {
    DB_RUN r;
    r.windmill = windmill;
    r.fields.Y4mmdd = day;
    r.fields.Y4mmddFlag = 1;
    r.fields.Tavrel = static_cast<std::int16_t>(drill);
    (windmill ? r.fields.REM : r.fields.COND1) = course;
    if (drill == 23) {
        r.fields.Time = value;
        r.fields.TimeFlag = 1;
    } else {
        r.fields.result3 = value;
        r.fields.result3Flag = 1;
    }
    return r;
}

// Rows as "label value" per line, "-" where a series has none; the series names first.
QStringList chartText(const halvor::TrendChart& c) {
    QStringList got{c.seriesNames.join(' ')};
    for (qsizetype r = 0; r < c.rowLabels.size(); ++r) {
        QStringList cells{c.rowLabels[r]};
        for (const double v : c.cells[r])
            cells << (std::isfinite(v) ? number(v) : QStringLiteral("-"));
        got << cells.join(' ');
    }
    return got;
}

} // namespace

class TestLogic : public QObject {
    Q_OBJECT
private slots:
    void dateRanges_data();
    void dateRanges();
    void summarySentence_data();
    void summarySentence();
    void commandLine_data();
    void commandLine();
    void rosters_data();
    void rosters();
    void undoingAnImportRestoresWhatWasThere();
    void searchIgnoresWidthCaseKanaAndSpaces();
    void chartsHaveALinePerCoursePractisedAndGaps_data();
    void chartsHaveALinePerCoursePractisedAndGaps();
    void kanaPerMinuteOfLessonsAndNigateRuns_data();
    void kanaPerMinuteOfLessonsAndNigateRuns();
    void csvFieldsRoundTrip();
};

void TestLogic::dateRanges_data() {
    QTest::addColumn<int>("range");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("expected");
    QTest::newRow("school year on 31 March is the one before")
        << int(Range::SchoolYear) << QDate(2026, 3, 31) << "2025/04/01 〜 2026/03/31";
    QTest::newRow("school year from 1 April")
        << int(Range::SchoolYear) << QDate(2026, 4, 1) << "2026/04/01 〜 2027/03/31";
    QTest::newRow("school year in January")
        << int(Range::SchoolYear) << QDate(2027, 1, 15) << "2026/04/01 〜 2027/03/31";
    QTest::newRow("first term, summer holidays with it")
        << int(Range::Term1) << QDate(2026, 12, 8) << "2026/04/01 〜 2026/08/31";
    QTest::newRow("second term") << int(Range::Term2) << QDate(2026, 4, 8) << "2026/09/01 〜 2026/12/31";
    QTest::newRow("third term of the school year begun the April before")
        << int(Range::Term3) << QDate(2027, 2, 1) << "2027/01/01 〜 2027/03/31";
    QTest::newRow("week from Monday, on a Sunday")
        << int(Range::ThisWeek) << QDate(2026, 12, 13) << "2026/12/07 〜 2026/12/13";
    QTest::newRow("month of February in a leap year")
        << int(Range::ThisMonth) << QDate(2028, 2, 10) << "2028/02/01 〜 2028/02/29";
    QTest::newRow("all days") << int(Range::All) << QDate(2026, 12, 8) << "すべての 日";
}

void TestLogic::dateRanges() {
    QFETCH(int, range);
    QFETCH(QDate, today);
    QFETCH(QString, expected);
    const DateRange r = rangeFor(Range(range), today);
    QCOMPARE(rangeText(r), expected);
    QVERIFY(rangeProblem(r).isEmpty());
    if (r.to.isValid())
        QVERIFY(!rangeProblem({r.to.addDays(1), r.to}).isEmpty());
}

void TestLogic::summarySentence_data() {
    QTest::addColumn<QList<DB_RUN>>("runs");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing in the period")
        << QList<DB_RUN>{} << "この きかんには れんしゅうの きろくが ありません。";
    QTest::newRow("the first day against the days after it, the biggest gain told")
        << QList<DB_RUN>{run({2026, 4, 20}, true, 12, "LEVEL3", 120), run({2026, 4, 20}, false, 11, "2", 100),
                         run({2026, 6, 2}, true, 12, "LEVEL3", 150), run({2026, 7, 8}, false, 11, "2", 105)}
        << "この きかんに 3日、 4回 れんしゅうしました。 風車 レベル3の さいこう速度が 1分に 120回 から "
           "150回 "
           "に あがりました。";
    QTest::newRow("hiragana time down, whatever order the runs come in")
        << QList<DB_RUN>{run({2026, 12, 2}, false, 23, "ga", 80), run({2026, 11, 1}, false, 23, "GA", 95.5)}
        << "この きかんに 2日、 2回 れんしゅうしました。 ひらがな 濁音の さいこうタイムが 95.5秒 から 80秒 "
           "に "
           "ちぢまりました。";
    QTest::newRow("a にがて run's time is no kind's gain")
        << QList<DB_RUN>{run({2026, 11, 1}, false, 23, "NN", 120), run({2026, 11, 2}, false, 23, "NG", 30)}
        << "この きかんに 2日、 2回 れんしゅうしました。";
    QTest::newRow("practised but no better") << QList<DB_RUN>{run({2026, 11, 1}, true, 12, "LEVEL1", 50),
                                                              run({2026, 11, 1}, true, 12, "LEVEL1", 55),
                                                              run({2026, 12, 7}, true, 12, "LEVEL1", 40)}
                                             << "この きかんに 2日、 3回 れんしゅうしました。";
}

void TestLogic::summarySentence() {
    QFETCH(QList<DB_RUN>, runs);
    QFETCH(QString, expected);
    QCOMPARE(summarize(runs), expected);
    QVERIFY(!encouragement(runs).isEmpty());
}

void TestLogic::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // the options read, or "error: <start of the reason>"
    QTest::newRow("csv with every filter")
        << QStringList{"--csv",  "a.csv",      "--learner",      "田中 はると",
                       "--from", "2026-04-01", "--to=2027-03-31"}
        << "csv=a.csv pdf= learner=田中 はると 2026-04-01..2027-03-31";
    QTest::newRow("pdf alone") << QStringList{"--pdf=r.pdf"} << "csv= pdf=r.pdf learner= ..";
    QTest::newRow("nothing to write") << QStringList{"--learner", "ゆき"} << "error: --csv FILE か";
    QTest::newRow("one class") << QStringList{"--pdf", "c.pdf", "--class", "3年1組"}
                               << "csv= pdf=c.pdf learner= class=3年1組 ..";
    QTest::newRow("a class list into a class")
        << QStringList{"--import-class-list", "名簿.csv", "--class", "1組"}
        << "list=名簿.csv learner= class=1組";
    QTest::newRow("a class list with an export")
        << QStringList{"--import-class-list", "a.csv", "--csv", "b.csv"} << "error: --import-class-list と";
    QTest::newRow("a learner and a class")
        << QStringList{"--csv", "a", "--learner", "ゆき", "--class", "1組"} << "error: --learner と --class";
    QTest::newRow("unknown option") << QStringList{"--csv", "a.csv", "--form", "2026-04-01"}
                                    << "error: 知らない オプションです: --form";
    QTest::newRow("a word alone") << QStringList{"a.csv"} << "error: 知らない オプションです: a.csv";
    QTest::newRow("missing value") << QStringList{"--csv"} << "error: --csv の あとに";
    QTest::newRow("value that is an option")
        << QStringList{"--csv", "--from", "2026-04-01"} << "error: --csv の あとに";
    QTest::newRow("not a day") << QStringList{"--csv", "a", "--from", "2026-02-30"}
                               << "error: --from の 日付は";
    QTest::newRow("another form of day")
        << QStringList{"--csv", "a", "--to", "2026-4-1"} << "error: --to の 日付は";
    QTest::newRow("from after to") << QStringList{"--csv", "a", "--from", "2026-04-02", "--to", "2026-04-01"}
                                   << "error: --from の 日付が --to より あと";
    QTest::newRow("a name with a control character")
        << QStringList{"--csv", "a", "--learner", "a\tb"} << "error: --learner の 名前が";
}

void TestLogic::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QVERIFY(wantsExport(arguments));
    QVERIFY(windowClass(arguments).isEmpty());
    QCOMPARE(windowClass({"--class", "3年1組"}), QStringLiteral("3年1組"));
    QCOMPARE(windowClass({"--class=1組"}), QStringLiteral("1組"));
    QString error;
    const auto o = parseExportOptions(arguments, &error);
    const QString classPart = o && !o->filter.className.isEmpty()
                                  ? QStringLiteral("class=") + o->filter.className + " "
                                  : QString();
    const QString got =
        !o ? QStringLiteral("error: ") + error
        : !o->classList.isEmpty()
            ? QStringLiteral("list=%1 learner=%2 %3")
                  .arg(o->classList, o->filter.learner, classPart.trimmed())
            : QStringLiteral("csv=%1 pdf=%2 learner=%3 %4%5..%6")
                  .arg(o->csv, o->pdf, o->filter.learner, classPart, o->filter.from.toString(Qt::ISODate),
                       o->filter.to.toString(Qt::ISODate));
    QVERIFY2(got.startsWith(expected), qPrintable(got));
}

void TestLogic::rosters_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QStringList>("learners"); // number/name/reading/class
    QTest::addColumn<QStringList>("rejected");
    // What a Japanese spreadsheet saves by default: Shift_JIS (CP932), comma separated.
    // 番号,氏名,ふりがな / 2,髙野　剛,たかの つよし / 1,伊藤 彩子,ｲﾄｳ ｱﾔｺ (髙 is one of CP932's own).
    const QByteArray sjis = QByteArray::fromHex("94d48d862c8e8196bc2c82d382e882aa82c80d0a322ceee096ec81408d84"
                                                "2c82bd82a982cc2082c282e682b50d0a312c88c993"
                                                "a1208dca8e712cb2c4b320b1d4ba0d0a");
    QTest::newRow("Shift_JIS with 番号, 氏名 and ふりがな")
        << sjis << "Shift_JIS" << QStringList{"2/髙野　剛/たかの つよし/", "1/伊藤 彩子/イトウ アヤコ/"}
        << QStringList{};
    QTest::newRow("UTF-8 with a BOM, tabs, CRLF: the plain list of names and classes")
        << QByteArray("\xEF\xBB\xBFゆき\t1組\r\nはると\r\n\r\n田中 はると\t2組\r\n") << "UTF-8"
        << QStringList{"0/ゆき//1組", "0/はると//", "0/田中 はると//2組"} << QStringList{};
    QTest::newRow("English headers, quotes, the number last, a name twice")
        << QByteArray("Name,Class,No.\n\"Bob \"\"B\"\", Jr.\",3組,7\nann,,12\nANN,1組,3\n") << "UTF-8"
        << QStringList{"7/Bob \"B\", Jr.//3組", "12/ann//"}
        << QStringList{"4行目: 「ANN」は 3行目と おなじ 名前です"};
    QTest::newRow("no header: numbers, names, readings in half-width katakana")
        << QByteArray("1,上田 はな,ｳｴﾀﾞ ﾊﾅ\n2,中村 そら,ﾅｶﾑﾗ ｿﾗ\n") << "UTF-8"
        << QStringList{"1/上田 はな/ウエダ ハナ/", "2/中村 そら/ナカムラ ソラ/"} << QStringList{};
    QTest::newRow(
        "学年 and 組 apart make one class; a formula kept as text comes back without its apostrophe")
        << QByteArray("学年,組,出席番号,児童名\n3,1,1,\"'=HYPERLINK(\"\"x\"\")\"\n3,2,1,ゆき\n") << "UTF-8"
        << QStringList{"1/=HYPERLINK(\"x\")//3年1組", "1/ゆき//3年2組"} << QStringList{};
    QTest::newRow("UTF-16 as a spreadsheet's Unicode text")
        << (QByteArray("\xFF\xFE") +
            QByteArray(reinterpret_cast<const char*>(u"名前\tよみ\r\nゆき\tゆき\r\n"), 26))
        << "UTF-16" << QStringList{"0/ゆき/ゆき/"} << QStringList{};
    QTest::newRow("unusable names are reported by line")
        << QByteArray("名前\nok\n" + QByteArray(40, 'x') + "\n") << "UTF-8" << QStringList{"0/ok//"}
        << QStringList{"3行目: 「" + QString(40, 'x') + "」は 名前に つかえません"};
}

void TestLogic::rosters() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(QStringList, learners);
    QFETCH(QStringList, rejected);
    const RosterTable table = readRoster(bytes);
    QCOMPARE(table.encoding, encoding);
    const RosterLearners list = rosterLearners(table);
    QStringList got;
    for (const DB_LEARNER& l : list.learners)
        got << QStringLiteral("%1/%2/%3/%4").arg(l.number).arg(l.name, l.furigana, l.className);
    QCOMPARE(got, learners);
    QCOMPARE(list.rejected, rejected);
    // A class given for all wins over the file's.
    for (const DB_LEARNER& l : rosterLearners(table, QStringLiteral(" 6年2組 ")).learners)
        QCOMPARE(l.className, QStringLiteral("6年2組"));
}

void TestLogic::undoingAnImportRestoresWhatWasThere() {
    const QList<DB_LEARNER> before{
        {"ゆき", "1組", true, 3, "ゆき"}, {"はると", "1組", true, 4, {}}, {"alice", {}, false, 0, {}}};
    const QList<DB_LEARNER> imported{{"ゆき", "2組", true, 3, "ゆき"},
                                     {"はると", "1組", true, 4, {}},
                                     {"ALICE", "2組", true, 1, {}},
                                     {"そら", "2組", true, 2, {}}};
    const RosterUndo undo = undoOf(before, imported);
    QCOMPARE(undo.remove, (QStringList{"ALICE", "そら"}));
    QCOMPARE(undo.restore.size(), 1);
    QCOMPARE(undo.restore.first().className, QStringLiteral("1組"));
}

void TestLogic::searchIgnoresWidthCaseKanaAndSpaces() {
    const QString name =
        searchKey(QStringLiteral("田中　ハルト")) + '\n' + searchKey(QStringLiteral("たなか はると"));
    for (const char* typed : {"田中 ハルト", "田中はると", "ﾀﾅｶ ﾊﾙﾄ", "タナカ", "　はると"})
        QVERIFY2(name.contains(searchKey(QString::fromUtf8(typed))), typed);
    QVERIFY(searchKey("Ｂｏｂ") == searchKey("bob"));
    QVERIFY(!name.contains(searchKey("たなかゆき")));
}

void TestLogic::chartsHaveALinePerCoursePractisedAndGaps_data() {
    QTest::addColumn<QList<DB_RUN>>("runs");
    QTest::addColumn<int>("chart");
    QTest::addColumn<QStringList>("expected"); // series names, then each row: label and cells ("-": none)
    QTest::newRow("only four characters: no two-character line")
        << QList<DB_RUN>{run({2026, 11, 2}, false, 12, "4", 60), run({2026, 11, 2}, false, 12, "4", 64),
                         run({2026, 11, 3}, false, 12, "4", 70)}
        << 1 << QStringList{"4文字", "2026/11/02 64", "2026/11/03 70"};
    QTest::newRow("a line per windmill level, a gap where a level was not practised")
        << QList<DB_RUN>{run({2026, 11, 2}, true, 12, "LEVEL1", 380),
                         run({2026, 11, 3}, true, 12, "LEVEL6", 150),
                         run({2026, 11, 4}, true, 12, "LEVEL1", 390)}
        << 0 << QStringList{"レベル1 レベル6", "2026/11/02 380 -", "2026/11/03 - 150", "2026/11/04 390 -"};
    QTest::newRow("a kana kind begun later starts there; the day's shortest time")
        << QList<DB_RUN>{run({2026, 11, 2}, false, 23, "AI", 60), run({2026, 11, 3}, false, 23, "GA", 90),
                         run({2026, 11, 3}, false, 23, "GA", 85)}
        << 2 << QStringList{"あいうえお 濁音", "2026/11/02 60 -", "2026/11/03 - 85"};
    QTest::newRow("nothing practised") << QList<DB_RUN>{} << 2 << QStringList{""};
    QTest::newRow("にがて runs stay off the kinds' times")
        << QList<DB_RUN>{run({2026, 11, 2}, false, 23, "NN", 60), run({2026, 11, 3}, false, 23, "NG", 20)}
        << 2 << QStringList{"促音", "2026/11/02 60"};
}

void TestLogic::chartsHaveALinePerCoursePractisedAndGaps() {
    QFETCH(QList<DB_RUN>, runs);
    QFETCH(int, chart);
    QFETCH(QStringList, expected);
    const halvor::TrendChart c = learnerCharts(runs)[chart];
    QCOMPARE(chartText(c), expected);
    QCOMPARE(c.hasValues(), !runs.isEmpty());
}

void TestLogic::kanaPerMinuteOfLessonsAndNigateRuns_data() {
    QTest::addColumn<QList<DB_RUN>>("runs");
    QTest::addColumn<QList<halvor::UnitHistory>>("units");
    QTest::addColumn<QStringList>("expected"); // as chartText gives it
    const auto ng = [](const QString& id, int day, double seconds) {
        DB_RUN r = run({2026, 11, day}, false, 23, "NG", seconds);
        r.runId = id;
        r.fields.Round = 1;
        return r;
    };
    const auto unit = [](const QString& id, const QString& kana, int attempts) {
        return halvor::UnitHistory{id, {2026, 11, 2}, kana, attempts, 0, -1, {}};
    };
    QTest::newRow("lessons only: no にがて line")
        << QList<DB_RUN>{run({2026, 11, 2}, false, 23, "AI", 60)} << QList<halvor::UnitHistory>{}
        << QStringList{"いつもの れんしゅう 小学校の めやす 中学校の めやす", "2026/11/02_0 50 40 60"};
    // きゃ is two kana: 6 x 2 + 8 x 1 = 20 kana in 30 s; the other run's units are not this run's.
    QTest::newRow("にがて kana from its own units, on a line of its own")
        << QList<DB_RUN>{run({2026, 11, 2}, false, 23, "AI", 60), ng("r1", 3, 30)}
        << QList<halvor::UnitHistory>{unit("r1", "きゃ", 6), unit("r1", "か", 8), unit("r2", "ぬ", 50)}
        << QStringList{"いつもの れんしゅう にがて れんしゅう 小学校の めやす 中学校の めやす",
                       "2026/11/02_0 50 - 40 60", "2026/11/03_1 - 40 40 60"};
    QTest::newRow("a にがて run without units stays out")
        << QList<DB_RUN>{ng("r1", 3, 30), ng("old", 4, 30)}
        << QList<halvor::UnitHistory>{unit("r1", "ぬ", 15)}
        << QStringList{"にがて れんしゅう 小学校の めやす 中学校の めやす", "2026/11/03_1 30 40 60"};
    QTest::newRow("untimed runs and other drills stay out")
        << QList<DB_RUN>{ng("r1", 3, 0), run({2026, 11, 2}, false, 12, "4", 60)}
        << QList<halvor::UnitHistory>{unit("r1", "ぬ", 15)} << QStringList{""};
}

void TestLogic::kanaPerMinuteOfLessonsAndNigateRuns() {
    QFETCH(QList<DB_RUN>, runs);
    QFETCH(QList<halvor::UnitHistory>, units);
    QFETCH(QStringList, expected);
    const halvor::TrendChart c = kanaPerMinuteChart(runs, units);
    QCOMPARE(chartText(c), expected);
    QCOMPARE(c.hasValues(), expected.size() > 1);
}

void TestLogic::csvFieldsRoundTrip() {
    QList<DB_RUN> runs{run({2026, 12, 8}, true, 12, "LEVEL3", 123.4)};
    const QStringList names = {"plain",
                               "a, b",
                               "say \"hi\"",
                               " spaced ",
                               "two\r\nlines",
                               "田中 はると",
                               "=HYPERLINK(\"http://x.jp\",\"見る\")",
                               "+1",
                               "-x",
                               "@SUM(A1)",
                               "\tcell"};
    for (const QString& name : names) {
        runs.first().learner = name;
        const QByteArray csv = runsCsv(runs);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        QVERIFY(csv.endsWith("\r\n"));
        // A spreadsheet sees no formula: the text starts with an apostrophe in the file.
        QCOMPARE(csv.contains("\r\n'" + name.toUtf8().left(1)) || csv.contains("\r\n\"'"),
                 QStringLiteral("=+-@\t").contains(name.front()));
        const QList<QStringList> records = parseCsv(QString::fromUtf8(csv));
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[1], (QStringList{name, "2026-12-08", "風車", "レベル3", "", "", "123.4", "", ""}));
    }
}

QTEST_APPLESS_MAIN(TestLogic)
#include "tst_logic.moc"
