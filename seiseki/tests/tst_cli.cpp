// Seiseki from the command line, as an administrator's script runs it: exit codes with their one-line
// reasons, and the CSV read back by Python's csv module and compared with the database.
#include "DbTestKit.h"
#include "Export.h"
#include "Results.h"
#include "RunData.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace seiseki;
using namespace seisekitest;

namespace {

const QString kOdd = QStringLiteral("Bob \"B\" O'Neil, Jr.");
const QString kFormula = QStringLiteral("=HYPERLINK(\"http://x.jp\",\"見る\")");

// The bytes in Shift_JIS as Windows writes it, through iconv as a spreadsheet's export would.
QByteArray toCp932(const QByteArray& utf8) {
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"), {"-f", "UTF-8", "-t", "CP932"});
    iconv.write(utf8);
    iconv.closeWriteChannel();
    iconv.waitForFinished(10000);
    return iconv.readAllStandardOutput();
}

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
    void classListsImportExactlyOrNotAtAll_data();
    void classListsImportExactlyOrNotAtAll();
    void calcKeepsFormulaLikeNamesAsText();
    void aLostDisplayWhileTheServerStallsEndsWithoutACrash();

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
    // Kana and keys of some runs; their CSV is checked against the database's rows.
    const QList<QList<DB_UNIT>> units = {{{"f", 40, 3, 310, "g"}, {"j", 38, 0, 290, {}}},
                                         {},
                                         {{"き", 5, 2, 800, "k"}, {"きゃ", 4, 1, -1, "i"}},
                                         {{"d", 20, 1, 400, "e"}},
                                         {{"あ", 6, 0, 500, {}}}};
    for (qsizetype i = 0; i < runs.size(); ++i)
        QVERIFY(store(m_db, runs[i], 1, units[i]));
    QVERIFY(DB_RegisterLearners(m_db, {{"alice", "1組", true, 1, {}}, {kOdd, "2組", true, 1, {}}}));
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
    QTest::newRow("kana and keys written")
        << QStringList{"--csv-units", "out.csv"} << "" << 0 << "6件の もじ";
    QTest::newRow("kana and keys of a class nobody is in")
        << QStringList{"--csv-units", "out.csv", "--class", "9組"} << "" << 2 << "「9組」";
    QTest::newRow("one learner, any case")
        << QStringList{"--csv", "out.csv", "--learner", "ALICE"} << "" << 0 << "2件";
    QTest::newRow("one class") << QStringList{"--csv", "out.csv", "--class", "2組"} << "" << 0 << "2件";
    QTest::newRow("a class nobody is in") << QStringList{"--csv", "out.csv", "--class", "9組"} << "" << 2
                                          << "「9組」という クラスは ありません (つかえるのは 1組、2組)";
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
    // The one line is Japanese; the technical reason stays in the log.
    QVERIFY2(!line.contains(QRegularExpression("(?i)\\b(cannot|failed|server|error|database|not)\\b")),
             qPrintable(line));
    QCOMPARE(readAll(path("letter.txt")), QByteArray("Dear teacher,\n"));
}

void TestCli::csvReadsBackInPython_data() {
    QTest::addColumn<QString>("option"); // --csv: runs, --csv-units: their kana and keys
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QString>("learner");
    for (const QString option : {"--csv", "--csv-units"}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s, %s", qPrintable(option), name);
        };
        row("everyone") << option << QStringList{} << QString();
        row("a learner with quotes and a comma, this school year")
            << option << QStringList{"--learner", kOdd, "--from", "2026-04-01", "--to", "2027-03-31"} << kOdd;
        row("a Japanese name") << option << QStringList{"--learner", "田中 はると"}
                               << QStringLiteral("田中 はると");
        row("one class") << option << QStringList{"--class", "1組"} << QStringLiteral("alice");
    }
}

void TestCli::csvReadsBackInPython() {
    QFETCH(QString, option);
    QFETCH(QStringList, filters);
    QFETCH(QString, learner);
    const QString csv = path(QStringLiteral("check.csv"));
    QCOMPARE(seiseki(QStringList{option, csv} + filters, m_db).exitCode, 0);

    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(HALVOR_CSV_CHECK), csv});
    QVERIFY(python.waitForFinished(30000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonObject got = QJsonDocument::fromJson(python.readAllStandardOutput()).object();

    DB_RUN_FILTER filter{filters.contains("--class") ? QString() : learner, {}, {}, {}, {}};
    if (filters.contains("--class"))
        filter.className = filters.last();
    if (filters.contains("--from")) {
        filter.from = QDate(2026, 4, 1);
        filter.to = QDate(2027, 3, 31);
    }
    // The sixth column is a run's time, or a kana's or key's misses.
    QStringList learners;
    double sixth = 0;
    qsizetype rows = 0;
    if (option == "--csv") {
        QList<DB_RUN> runs;
        QVERIFY(DB_ReadRuns(m_db, filter, runs));
        for (const DB_RUN& r : runs) {
            sixth += r.fields.Time;
            learners << r.learner;
        }
        rows = runs.size();
    } else {
        QList<DB_UNIT_ROW> units;
        QVERIFY(DB_ReadUnits(m_db, filter, 0, units));
        for (const DB_UNIT_ROW& u : units) {
            sixth += u.unit.misses;
            learners << u.learner;
        }
        rows = units.size();
        QVERIFY(rows > 0);
    }
    learners.removeDuplicates();
    learners.sort();
    QVERIFY(got.value("bom").toBool());
    QCOMPARE(got.value("bare_lf").toInt(), 0);
    QCOMPARE(got.value("header").toArray().first().toString(), QStringLiteral("学習者"));
    QCOMPARE(got.value("widths").toArray(), QJsonArray{option == "--csv" ? 9 : 8});
    QCOMPARE(got.value("rows").toInt(), rows);
    QCOMPARE(got.value("time_sum").toDouble(), sixth);
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
                                            "クラス: 1組",
                                            "できるように なった こと",
                                            "風車 さいこう速度",
                                            "レベル3",
                                            "回／分",
                                            "1 / 1 ページ"};
    QTest::newRow("class") << QStringList{} << QStringList{"クラスの れんしゅうの きろく",
                                                           "すべての 日",
                                                           kOdd,
                                                           "田中 はると",
                                                           "70.5",
                                                           "あいうえお",
                                                           "ひとりずつの ようす",
                                                           "1 / 1 ページ"};
    QTest::newRow("one class") << QStringList{"--class", "2組"}
                               << QStringList{"クラスの れんしゅうの きろく 2組", "クラス: 2組", kOdd,
                                              "1 / 1 ページ"};
}

void TestCli::pdfReportsHoldNamesFiguresAndVectorCharts() {
    QFETCH(QStringList, filters);
    QFETCH(QStringList, expected);
    const QString pdf = path(QStringLiteral("%1.pdf").arg(QTest::currentDataTag()).replace(' ', '_'));
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
    QVERIFY2(!text.contains(QStringLiteral("田中 はると")) || !filters.contains("--class"),
             "another class's learner");
    // Drawn as vectors: the page holds no pictures.
    const QStringList images = run("pdfimages", {"-list", pdf}).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(images.size(), 2); // the two header lines only
    const QString page = qEnvironmentVariable("HALVOR_SCREENSHOTS") + "/seiseki_report_" +
                         QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    run("pdftoppm", {"-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile", pdf, page});
    QVERIFY(QFileInfo::exists(page + ".png"));
}

void TestCli::classListsImportExactlyOrNotAtAll_data() {
    QTest::addColumn<QByteArray>("roster");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("registered"); // class/number/name/reading, in the class list's order
    // 氏名,番号,ふりがな as a Japanese spreadsheet saves it (Shift_JIS); 髙 is one of CP932's own.
    const QByteArray sjis = QString::fromUtf8("氏名,番号,ふりがな\r\n髙野　剛,2,たかの つよし\r\n"
                                              "伊藤 彩子,1,いとう あやこ\r\n")
                                .toUtf8();
    QTest::newRow("Shift_JIS with 氏名, 番号 and ふりがな, into a class")
        << toCp932(sjis) << "3年1組" << 0
        << QStringList{"3年1組/1/伊藤 彩子/いとう あやこ", "3年1組/2/髙野　剛/たかの つよし"};
    QTest::newRow("a line that cannot be registered: nothing is")
        << QByteArray("名前\nゆき\n" + QByteArray(40, 'x') + "\n") << "" << 2 << QStringList{};
}

void TestCli::classListsImportExactlyOrNotAtAll() {
    QFETCH(QByteArray, roster);
    QFETCH(QString, className);
    QFETCH(int, exitCode);
    QFETCH(QStringList, registered);
    const QString db = path(QStringLiteral("roster-%1.mdb").arg(exitCode));
    const QString file = path(QStringLiteral("名簿.csv"));
    writeFile(file, roster);
    QStringList arguments{"--import-class-list", file};
    if (!className.isEmpty())
        arguments << "--class" << className;
    const Outcome o = seiseki(arguments, db);
    QCOMPARE(o.exitCode, exitCode);
    QCOMPARE((exitCode == 0 ? o.out : o.err).count('\n'), 1);
    QList<DB_LEARNER> learners;
    QVERIFY(DB_KnownLearners(db, learners));
    QStringList got;
    for (const DB_LEARNER& l : learners)
        got << QStringLiteral("%1/%2/%3/%4").arg(l.className).arg(l.number).arg(l.name, l.furigana);
    QCOMPARE(got, registered);
}

void TestCli::calcKeepsFormulaLikeNamesAsText() {
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("LibreOffice Calc (soffice) is not installed; tools/install-deps installs it");
    const QString db = path(QStringLiteral("formula.mdb"));
    // Keys such as - and = stand in the kana and keys' CSV.
    for (const QString& name : {kFormula, QStringLiteral("+81 3"), QStringLiteral("@ゆき")})
        QVERIFY(store(db, {name, {2026, 12, 1}, 'W', "1", 40}, 1, {{"-", 9, 2, 250, "="}}));
    const QString csv = path(QStringLiteral("formula.csv"));
    const QString unitsCsv = path(QStringLiteral("formula-units.csv"));
    QCOMPARE(seiseki({"--csv", csv, "--csv-units", unitsCsv}, db).exitCode, 0);
    // Calc reads the files as a teacher's double click would (UTF-8, comma), and saves what it understood.
    QProcess calc;
    calc.setWorkingDirectory(m_dir.path());
    calc.start(QStringLiteral("soffice"),
               {"-env:UserInstallation=file://" + path("lo-profile"), "--headless", "--convert-to", "fods",
                "--infilter=CSV:44,34,76,1", "--outdir", m_dir.path(), csv, unitsCsv});
    QVERIFY(calc.waitForFinished(180000));
    const QString sheet = QString::fromUtf8(readAll(path(QStringLiteral("formula.fods"))));
    QVERIFY2(!sheet.isEmpty(), calc.readAllStandardError().constData());
    QVERIFY2(!sheet.contains(QStringLiteral("table:formula")), "a name became a formula");
    QVERIFY2(!sheet.contains(QStringLiteral("xlink:href")), "a name became a link");
    QVERIFY(sheet.contains(QStringLiteral("HYPERLINK(&quot;http://x.jp&quot;,&quot;見る&quot;)")));
    QVERIFY(sheet.contains(QStringLiteral("@ゆき")));
    const QString keys = QString::fromUtf8(readAll(path(QStringLiteral("formula-units.fods"))));
    QVERIFY2(!keys.isEmpty(), calc.readAllStandardError().constData());
    QVERIFY2(!keys.contains(QStringLiteral("table:formula")), "a key became a formula");
    // Text cells, the apostrophe shown as Calc shows it for the runs' CSV too.
    QCOMPARE(keys.count(QStringLiteral("-</text:p>")), 3);
    QCOMPARE(keys.count(QStringLiteral("=</text:p>")), 3);
    // Read back by Seiseki, the apostrophe is gone again.
    const QList<QStringList> records = parseCsv(QString::fromUtf8(readAll(csv)));
    QStringList names;
    for (qsizetype r = 1; r < records.size(); ++r)
        names << records[r].first();
    names.sort();
    QCOMPARE(names, (QStringList{"+81 3", kFormula, "@ゆき"}));
}

// The teacher's session ends (the display goes, and Qt ends the program by exit()) while the window still
// reads from a server that took the connection and never answers.
void TestCli::aLostDisplayWhileTheServerStallsEndsWithoutACrash() {
    QTcpServer stalling; // the kernel takes the connections; nothing ever answers them
    QVERIFY(stalling.listen(QHostAddress::LocalHost));
    QProcess display;
    display.start(QStringLiteral("Xvfb"),
                  {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    QVERIFY(display.waitForReadyRead(20000));
    const QString number = QString::fromLatin1(display.readLine()).trimmed();
    QProcess window;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), u':' + number);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HALVOR_DATABASE"),
               QStringLiteral("postgresql://u:p@127.0.0.1:%1/x?sslmode=disable").arg(stalling.serverPort()));
    env.insert(QStringLiteral("VUR_MDB"), path(QStringLiteral("lost-display.mdb")));
    window.setProcessEnvironment(env);
    window.start(qEnvironmentVariable("HALVOR_BIN") + QStringLiteral("/Seiseki"), {});
    QVERIFY(window.waitForStarted());
    QTest::qWait(2500); // the window shows and its first read waits on the server
    QVERIFY(window.state() == QProcess::Running);
    display.terminate();
    QVERIFY(display.waitForFinished(10000));
    QVERIFY(window.waitForFinished(20000));
    QVERIFY2(window.exitStatus() == QProcess::NormalExit,
             window.readAllStandardError().right(2000).constData());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
