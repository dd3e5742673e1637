// The viewer's plain rules: date ranges, the summary sentence, the command line, class lists and CSV text.
#include "CommandLine.h"
#include "Export.h"
#include "Results.h"

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
    void classLists_data();
    void classLists();
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
    QVERIFY(!rangeProblem({r.to.isValid() ? r.to : today, today.addDays(-1)}).isEmpty());
}

void TestLogic::summarySentence_data() {
    QTest::addColumn<QList<DB_RUN>>("runs");
    QTest::addColumn<QString>("expected");
    const QDate today(2026, 12, 8);
    QTest::newRow("nothing yet") << QList<DB_RUN>{}
                                 << "まだ きろくが ありません。 ドリルで れんしゅうすると、 ここに でます。";
    QTest::newRow("windmill speed up, the biggest gain told")
        << QList<DB_RUN>{run({2026, 11, 20}, true, 12, "LEVEL3", 120),
                         run({2026, 11, 20}, false, 11, "2", 100),
                         run({2026, 12, 2}, true, 12, "LEVEL3", 150), run({2026, 12, 8}, false, 11, "2", 105)}
        << "さいごの 1週間で 風車 レベル3の さいこう速度が 120 から 150 に あがりました。 さいごの 1週間に "
           "2回 "
           "れんしゅうしました。";
    QTest::newRow("hiragana time down, on the first day of the week")
        << QList<DB_RUN>{run({2026, 11, 1}, false, 23, "GA", 95.5), run({2026, 12, 2}, false, 23, "ga", 80)}
        << "さいごの 1週間で ひらがな 濁音の さいこうタイムが 95.5秒 から 80秒 に ちぢまりました。 さいごの "
           "1週間に 1回 れんしゅうしました。";
    QTest::newRow("practised but no better") << QList<DB_RUN>{run({2026, 11, 1}, true, 12, "LEVEL1", 50),
                                                              run({2026, 12, 7}, true, 12, "LEVEL1", 40)}
                                             << "さいごの 1週間に 1回 れんしゅうしました。";
    QTest::newRow("not this week")
        << QList<DB_RUN>{run({2026, 12, 1}, true, 12, "LEVEL1", 50)}
        << "さいごの 1週間は れんしゅうが ありません。 さいごに れんしゅうしたのは "
           "2026/12/01 です。";
}

void TestLogic::summarySentence() {
    QFETCH(QList<DB_RUN>, runs);
    QFETCH(QString, expected);
    QCOMPARE(summarize(runs, QDate(2026, 12, 8)), expected);
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
    QString error;
    const auto o = parseExportOptions(arguments, &error);
    const QString got = o ? QStringLiteral("csv=%1 pdf=%2 learner=%3 %4..%5")
                                .arg(o->csv, o->pdf, o->filter.learner, o->filter.from.toString(Qt::ISODate),
                                     o->filter.to.toString(Qt::ISODate))
                          : QStringLiteral("error: ") + error;
    QVERIFY2(got.startsWith(expected), qPrintable(got));
}

void TestLogic::classLists_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("learners");
    QTest::addColumn<int>("rejected");
    QTest::newRow("text with tabs, CRLF and a BOM")
        << QByteArray("\xEF\xBB\xBFゆき\t1組\r\nはると\r\n\r\n田中 はると\t2組\r\n")
        << QStringList{"ゆき/1組", "はると/", "田中 はると/2組"} << 0;
    QTest::newRow("CSV with a header and quotes")
        << QByteArray("名前,クラス\n\"Bob \"\"B\"\", Jr.\",3組\nann,\n")
        << QStringList{"Bob \"B\", Jr./3組", "ann/"} << 0;
    QTest::newRow("unusable names are reported")
        << QByteArray("ok,1\n" + QByteArray(40, 'x') + ",2\n") << QStringList{"ok/1"} << 1;
}

void TestLogic::classLists() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, learners);
    QFETCH(int, rejected);
    const ClassList list = parseClassList(bytes);
    QStringList got;
    for (const DB_LEARNER& l : list.learners)
        got << l.name + QLatin1Char('/') + l.className;
    QCOMPARE(got, learners);
    QCOMPARE(list.rejected.size(), rejected);
    if (rejected)
        QVERIFY(list.rejected.first().startsWith(QStringLiteral("2行目")));
}

void TestLogic::csvFieldsRoundTrip() {
    QList<DB_RUN> runs{run({2026, 12, 8}, true, 12, "LEVEL3", 123.4)};
    const QStringList names = {"plain", "a, b", "say \"hi\"", " spaced ", "two\r\nlines", "田中 はると"};
    for (const QString& name : names) {
        runs.first().learner = name;
        const QByteArray csv = runsCsv(runs);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        QVERIFY(csv.endsWith("\r\n"));
        const QList<QStringList> records = parseCsv(QString::fromUtf8(csv));
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[1], (QStringList{name, "2026-12-08", "風車", "レベル3", "", "", "123.4", "", ""}));
    }
}

QTEST_APPLESS_MAIN(TestLogic)
#include "tst_logic.moc"
