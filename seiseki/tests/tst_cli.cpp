// Seiseki from the command line, as an administrator's script runs it: exit codes with their one-line
// reasons, and the CSV read back by Python's csv module and compared with the database.
#include "DbTestKit.h"
#include "Results.h"
#include "RunData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace seiseki;
using namespace seisekitest;

namespace {

const QString kOdd = QStringLiteral("Bob \"B\" O'Neil, Jr.");

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void exitCodes_data();
    void exitCodes();
    void csvReadsBackInPython_data();
    void csvReadsBackInPython();
    void pdfReportsHoldNamesFiguresAndVectorCharts_data();
    void pdfReportsHoldNamesFiguresAndVectorCharts();

private:
    Outcome seiseki(const QStringList& arguments, const QString& database);
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir{scratchBase() + QStringLiteral("/seiseki-cli-XXXXXX")};
    QString m_db;
};

void TestCli::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_db = path(QStringLiteral("VUR.MDB"));
    const QList<Run> runs = {{"alice", {2026, 3, 31}, 'W', "3", 120},
                             {"alice", {2026, 4, 1}, 'W', "3", 150},
                             {kOdd, {2026, 4, 2}, 'H', "GA", 70.5},
                             {kOdd, {2026, 6, 1}, 'B', "4", 55},
                             {"田中 はると", {2026, 12, 1}, 'H', "AI", 99}};
    for (const Run& run : runs)
        QVERIFY(store(m_db, run));
    writeFile(path(QStringLiteral("letter.txt")), "Dear teacher,\n");
}

Outcome TestCli::seiseki(const QStringList& arguments, const QString& database) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HALVOR_DATABASE"), database);
    env.insert(QStringLiteral("VUR_MDB"), path(QStringLiteral("local.mdb")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("halvor.*=false"));
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("HALVOR_BIN") + QStringLiteral("/Seiseki"), arguments);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

void TestCli::exitCodes_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("database"); // "" for the test's file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason"); // what the one line holds
    QTest::newRow("csv written") << QStringList{"--csv", "out.csv"} << "" << 0 << "5件";
    QTest::newRow("one learner, any case")
        << QStringList{"--csv", "out.csv", "--learner", "ALICE"} << "" << 0 << "2件";
    QTest::newRow("unknown option") << QStringList{"--cvs", "out.csv"} << "" << 2 << "--cvs";
    QTest::newRow("from after to") << QStringList{"--csv",      "o.csv", "--from",
                                                  "2026-05-01", "--to",  "2026-04-01"}
                                   << "" << 2 << "--from";
    QTest::newRow("a day that does not exist")
        << QStringList{"--csv", "o.csv", "--to", "2026-02-30"} << "" << 2 << "YYYY-MM-DD";
    QTest::newRow("unknown learner") << QStringList{"--csv", "o.csv", "--learner", "nobody"} << "" << 2
                                     << "nobody";
    QTest::newRow("unreachable server")
        << QStringList{"--csv", "o.csv"} << "postgresql://nobody@/halvor?host=/nonexistent-socket-dir" << 2
        << "サーバーに つながりません";
    QTest::newRow("not a results database")
        << QStringList{"--csv", "o.csv"} << "letter.txt" << 2 << "成績を 読めません";
    QTest::newRow("output folder missing")
        << QStringList{"--csv", "no/such/folder/o.csv"} << "" << 2 << "o.csv";
}

void TestCli::exitCodes() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, database);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    for (QString& a : arguments) {
        if (a.endsWith(QLatin1String(".csv")))
            a = path(a);
    }
    const QString db = database.isEmpty() || database.contains(QLatin1String("://"))
                           ? (database.isEmpty() ? m_db : database)
                           : path(database);
    const Outcome o = seiseki(arguments, db);
    QCOMPARE(o.exitCode, exitCode);
    const QString line = exitCode == 0 ? o.out : o.err;
    QVERIFY2(line.endsWith(QLatin1Char('\n')) && line.count(QLatin1Char('\n')) == 1, qPrintable(line));
    QVERIFY2(line.contains(reason), qPrintable(line));
    QCOMPARE(readAll(path("letter.txt")), QByteArray("Dear teacher,\n"));
}

void TestCli::csvReadsBackInPython_data() {
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QString>("learner");
    QTest::newRow("every run") << QStringList{} << QString();
    QTest::newRow("a learner with quotes and a comma, this school year")
        << QStringList{"--learner", kOdd, "--from", "2026-04-01", "--to", "2027-03-31"} << kOdd;
    QTest::newRow("a Japanese name") << QStringList{"--learner", "田中 はると"}
                                     << QStringLiteral("田中 はると");
}

void TestCli::csvReadsBackInPython() {
    QFETCH(QStringList, filters);
    QFETCH(QString, learner);
    const QString csv = path(QStringLiteral("check.csv"));
    QCOMPARE(seiseki(QStringList{"--csv", csv} + filters, m_db).exitCode, 0);

    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(HALVOR_CSV_CHECK), csv});
    QVERIFY(python.waitForFinished(30000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonObject got = QJsonDocument::fromJson(python.readAllStandardOutput()).object();

    DB_RUN_FILTER filter{learner, {}, {}, {}, {}};
    if (filters.contains("--from")) {
        filter.from = QDate(2026, 4, 1);
        filter.to = QDate(2027, 3, 31);
    }
    QList<DB_RUN> runs;
    QVERIFY(DB_ReadRuns(m_db, filter, runs));
    double seconds = 0;
    QStringList learners;
    for (const DB_RUN& r : runs) {
        seconds += r.fields.Time;
        if (!learners.contains(r.learner))
            learners << r.learner;
    }
    learners.sort();
    QVERIFY(got.value("bom").toBool());
    QCOMPARE(got.value("bare_lf").toInt(), 0);
    QCOMPARE(got.value("header").toArray().first().toString(), QStringLiteral("学習者"));
    QCOMPARE(got.value("widths").toArray(), QJsonArray{9});
    QCOMPARE(got.value("rows").toInt(), runs.size());
    QCOMPARE(got.value("time_sum").toDouble(), seconds);
    QStringList names;
    for (const QJsonValue& v : got.value("learners").toArray())
        names << v.toString();
    QCOMPARE(names, learners);
}

void TestCli::pdfReportsHoldNamesFiguresAndVectorCharts_data() {
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QStringList>("expected"); // texts pdftotext finds
    QTest::newRow("learner") << QStringList{"--learner", "alice", "--from", "2026-03-01"}
                             << QStringList{"alice さんの れんしゅうの きろく",
                                            "2026/03/01 から",
                                            "風車 これまでの練習結果",
                                            "ひらがなローマ字入力グラフ",
                                            "レベル3",
                                            "150",
                                            "120"};
    QTest::newRow("class") << QStringList{}
                           << QStringList{
                                  "クラスの れんしゅうの きろく", "すべての 日", kOdd, "田中 はると", "70.5",
                                  "ひとりずつの ようす"};
}

void TestCli::pdfReportsHoldNamesFiguresAndVectorCharts() {
    QFETCH(QStringList, filters);
    QFETCH(QStringList, expected);
    const QString pdf = path(QStringLiteral("%1.pdf").arg(QTest::currentDataTag()));
    const Outcome o = seiseki(QStringList{"--pdf", pdf} + filters, m_db);
    QVERIFY2(o.exitCode == 0, qPrintable(o.err));
    const auto run = [](const QString& program, const QStringList& arguments) {
        QProcess p;
        p.start(program, arguments);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    // pdftotext breaks lines where the layout does; the texts are looked for with spaces and breaks folded.
    const QString text = run("pdftotext", {"-enc", "UTF-8", pdf, "-"}).simplified();
    for (const QString& t : expected)
        QVERIFY2(text.contains(t.simplified()), qPrintable(t + " not in: " + text.left(600)));
    // Drawn as vectors: the page holds no pictures.
    const QStringList images = run("pdfimages", {"-list", pdf}).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(images.size(), 2); // the two header lines only
    const QString page =
        qEnvironmentVariable("HALVOR_SCREENSHOTS") + "/seiseki_report_" + QTest::currentDataTag();
    run("pdftoppm", {"-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile", pdf, page});
    QVERIFY(QFileInfo::exists(page + ".png"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
