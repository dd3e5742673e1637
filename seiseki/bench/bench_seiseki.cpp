// A school's results: 100,000 runs of 500 learners over two school years. How long the teacher waits
// for the class overview, a learner's page, a CSV of every run and the reports, and how long the window
// goes without a repaint while an export runs. Prints medians.
#include "BenchKit.h"
#include "Charts.h"
#include "Database.h"
#include "Export.h"
#include "ExportJob.h"
#include "Report.h"
#include "Results.h"
#include "Server.h"
#include "Window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kLearners = 500;
constexpr int kRuns = 100000;

using halvor::bench::medianMs;

QString learner(int i) {
    return QStringLiteral("生徒%1").arg(i, 3, 10, QLatin1Char('0'));
}

// Rows as the drills store them, written in one transaction beside the library on `db`; a quarter
// windmill runs. The statement suits both engines (unquoted names fold to the server's lower-case ones).
void fill(QSqlDatabase& db) {
    db.transaction();
    QSqlQuery key(db);
    QSqlQuery digit(db);
    const QString columns =
        QStringLiteral(" (Y4mmdd, %1, %2, REM, COND1, Time, result1, result3, result4, ERR1, "
                       "Learner, RunId) values (?,?,?,?,?,?,?,?,?,?,?,?)");
    key.prepare(QStringLiteral("insert into T_Key") + columns.arg("Tavrel", "Round"));
    digit.prepare(QStringLiteral("insert into T_Digit") + columns.arg("Pelvoran", "round"));
    for (int i = 0; i < kRuns; ++i) {
        const int kind = i % 4; // windmill, two, four characters, hiragana
        QSqlQuery& q = kind == 0 ? digit : key;
        q.addBindValue(QDate(2025, 4, 1).addDays(i * 600 / kRuns).toString(Qt::ISODate));
        q.addBindValue(kind == 0 ? 12 : kind == 1 ? 11 : kind == 2 ? 12 : 23);
        q.addBindValue(i % 5 + 1);
        q.addBindValue(kind == 0 ? QStringLiteral("LEVEL%1").arg(i % 7 + 1) : QStringLiteral("指2本訓練"));
        q.addBindValue(kind == 3 ? QStringLiteral("AI") : QStringLiteral("2"));
        q.addBindValue(30.0 + i % 40);
        q.addBindValue(100.0 + i % 50);
        q.addBindValue(kind == 3 ? QVariant(QMetaType::fromType<double>()) : QVariant(60.0 + i % 97));
        q.addBindValue(double(i % 6));
        q.addBindValue(QStringLiteral("f"));
        q.addBindValue(learner(i % kLearners));
        q.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
        q.exec();
    }
    // The first save made the tables; its empty row is no learner's.
    QSqlQuery(db).exec(QStringLiteral("delete from T_Key where Y4mmdd is null"));
    QSqlQuery(db).exec(QStringLiteral("delete from T_Digit where Y4mmdd is null"));
    db.commit();
}

// Fills the results at `path` (made by a first save through the library) over a connection of its own.
void fill(const QString& path, const QString& driver, const QString& options) {
    DB_T_KEY first;
    DB_InsertT_Key(path, &first);
    DB_T_DIGIT second;
    DB_InsertT_Digit(path, &second);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, QStringLiteral("fill"));
        if (options.isEmpty())
            db.setDatabaseName(path);
        else
            db.setConnectOptions(options);
        db.open();
        fill(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

void measure(const char* where, const QString& path, const QString& scratch) {
    const QDate today(2026, 11, 20);
    qsizetype rows = 0;
    const double overview = medianMs(5, [&] {
        QList<DB_LEARNER> learners;
        QList<DB_RUN_GROUP> groups;
        DB_KnownLearners(path, learners);
        DB_ReadRunGroups(path, {}, groups);
        rows = seiseki::buildOverview(learners, groups).size();
    });
    const seiseki::DateRange year = seiseki::rangeFor(seiseki::Range::SchoolYear, today);
    const double overviewYear = medianMs(5, [&] {
        QList<DB_LEARNER> learners;
        QList<DB_RUN_GROUP> groups;
        DB_KnownLearners(path, learners);
        DB_ReadRunGroups(path, {{}, year.from, year.to, {}, {}}, groups);
        seiseki::buildOverview(learners, groups);
    });
    qsizetype learnerRuns = 0;
    const double page = medianMs(11, [&] {
        QList<DB_RUN> runs;
        DB_ReadRuns(path, {learner(123), {}, {}, {}, {}}, runs);
        learnerRuns = runs.size();
        seiseki::summarize(runs);
        seiseki::learnerCharts(runs);
    });
    const double readAll = medianMs(5, [&] {
        QList<DB_RUN> runs;
        DB_ReadRuns(path, {}, runs);
    });
    qsizetype written = 0;
    const double csv = medianMs(5, [&] {
        seiseki::writeRunsCsv(scratch, {path, {}, {}, false}, {}, &written, nullptr);
    });
    const qsizetype bytes = QFileInfo(scratch).size();
    const double pdf = medianMs(3, [&] {
        seiseki::ReportData data;
        QList<DB_RUN_GROUP> groups;
        DB_KnownLearners(path, data.known);
        DB_ReadRunGroups(path, {}, groups);
        DB_ReadRuns(path, {}, data.runs);
        data.rows = seiseki::buildOverview(data.known, groups);
        data.today = today;
        seiseki::writeReportPdf(scratch + QStringLiteral(".pdf"), data, {}, nullptr);
    });
    std::printf("%-62s %10s\n", where, "median ms");
    std::printf("  class overview, every day (%lld rows)                       %10.1f\n", qlonglong(rows),
                overview);
    std::printf("  class overview, this school year                            %10.1f\n", overviewYear);
    std::printf("  a learner's page: read %lld runs, summary, three charts       %10.1f\n",
                qlonglong(learnerRuns), page);
    std::printf("  CSV of every run (%lld runs, %lld bytes), streamed          %10.1f\n", qlonglong(written),
                qlonglong(bytes), csv);
    std::printf("    (reading every run into records, for comparison)          %10.1f\n", readAll);
    std::printf("  class PDF of every learner, with every run read             %10.1f\n", pdf);
}

// The window while each export runs on its worker: the longest wait between two ticks of a 10 ms timer on
// the window's thread, which is how long a repaint would have waited.
void repaints(const QString& path, const QString& scratch) {
    seiseki::SeisekiWindow window(path, [] { return QDate(2026, 11, 20); });
    window.show();
    if (!QTest::qWaitFor([&] { return !window.loading(); }, 30000))
        return;
    for (const auto kind : {seiseki::SeisekiWindow::Export::Csv, seiseki::SeisekiWindow::Export::Pdf,
                            seiseki::SeisekiWindow::Export::FamilyPdf}) {
        QElapsedTimer total;
        total.start();
        QElapsedTimer sinceTick;
        sinceTick.start();
        qint64 longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.elapsed());
            sinceTick.restart();
        });
        tick.start(10);
        window.exportTo(kind, scratch + (kind == seiseki::SeisekiWindow::Export::Csv ? "" : ".pdf"));
        if (!QTest::qWaitFor([&] { return !window.exporting(); }, 600000))
            return;
        std::printf("  window during the %-10s export: %7.0f ms in all, longest pause %4lld ms\n",
                    kind == seiseki::SeisekiWindow::Export::Csv   ? "CSV"
                    : kind == seiseki::SeisekiWindow::Export::Pdf ? "class PDF"
                                                                  : "family PDF",
                    double(total.elapsed()), qlonglong(longest));
    }
}

} // namespace

// With --server, the same on a throwaway PostgreSQL server (started and stopped here), as a school keeps it.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The charts are drawn by the chart module of this build.
    if (qEnvironmentVariableIsEmpty("HALVOR_MODULES"))
        qputenv("HALVOR_MODULES", HALVOR_MODULES_DIR);
    QApplication app(argc, argv);
    QTemporaryDir dir(QStringLiteral("/tmp/halvor-seiseki-XXXXXX"));
    qputenv("VUR_MDB", dir.filePath(QStringLiteral("local.mdb")).toUtf8());
    const QString file = dir.filePath(QStringLiteral("school.mdb"));
    fill(file, QStringLiteral("QSQLITE"), {});
    // --keep PATH keeps a copy of the school's file, to look at or to measure by hand.
    if (const qsizetype keep = QCoreApplication::arguments().indexOf(QStringLiteral("--keep")); keep > 0)
        QFile::copy(file, QCoreApplication::arguments().value(keep + 1));
    measure("100,000 runs of 500 learners, SQLite file", file, dir.filePath(QStringLiteral("all.csv")));
    repaints(file, dir.filePath(QStringLiteral("window.csv")));
    if (!QCoreApplication::arguments().contains(QStringLiteral("--server")))
        return 0;

    halvor::bench::ThrowawayCluster pg(dir.path());
    if (!pg.started())
        return 1;
    const QString cluster = pg.path();
    const QString server = QStringLiteral("postgresql://postgres@/postgres?host=%1").arg(cluster);
    {
        halvor::db::ServerSession session; // as the viewer's reading thread keeps its connection
        fill(server, QStringLiteral("QPSQL"),
             QStringLiteral("host=%1;user=postgres;dbname=postgres").arg(cluster));
        measure("the same on the school's PostgreSQL server (Unix socket)", server,
                dir.filePath(QStringLiteral("all-server.csv")));
    }
    return 0;
}
