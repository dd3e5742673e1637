// A school on one server: 200 classroom programs at once, each saving 50 windmill runs for its own learner
// and drawing its chart, against a throwaway PostgreSQL cluster on this machine (socket only). Prints the
// time from a run's end until it is safe on the computer and until it is on the server (p50, p99), the chart
// time for a learner with 1,000 runs, and whether every run arrived once.
//   database_bench_school [clients] [runs] [pause-ms]   (the parent; it starts the children itself)
// With a pause, each program waits between runs (0.5 to 1.5 times it, starting at a random moment), as
// learners do while they practise; without one, every program saves back to back, the worst case the server
// can meet. The programs start together, and their runs begin once all of them are up (a school's programs
// run for a lesson; they do not all start within the same second as their first run ends); the first run of
// each, which meets its program's own start (its file opened, its connection made), is told apart.
#include "BenchKit.h"
#include "Database.h"
#include "SaveQueue.h"
#include "Server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// The windmill's save sequence: today's runs as this computer knows them, highest first; then the new row.
int saveRun(const QString& target, const QDate& day, int i) {
    DB_T_DIGIT row;
    DB_OpenT_Digit(DB_RunNumberPath(target),
                   QStringLiteral(" where [Y4mmdd] = #%1# and [Pelvoran] = 12 order by [round] desc")
                       .arg(day.toString(QStringLiteral("yyyy/MM/dd"))));
    const int round = DB_GetRecordT_Digit(&row) ? row.Round + 1 : 1;
    DB_CloseT_Digit();
    DB_ClearStructT_Digit(&row);
    row.Y4mmdd = day;
    row.Y4mmddFlag = 1;
    row.Pelvoran = 12;
    row.PelvoranFlag = 1;
    row.Round = static_cast<std::int16_t>(round);
    row.RoundFlag = 1;
    row.result3 = 100 + i % 50;
    row.result3Flag = 1;
    return DB_InsertT_Digit(target, &row);
}

double chartMs(const QString& target, int* rows) {
    QElapsedTimer t;
    t.start();
    DB_OpenT_Digit(target, QStringLiteral(" where [Pelvoran] = 12 order by [Y4mmdd] , [round]"));
    DB_T_DIGIT rec;
    *rows = 0;
    while (DB_GetRecordT_Digit(&rec))
        ++*rows;
    DB_CloseT_Digit();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// One classroom program: its runs, saved as a drill saves them (on the save queue, the sender after it), then
// its chart; one line per measurement: "safe" when a run is safe on this computer, "server" when the server
// has it. Runs the first try could not send go at the program's next start, as often as it takes.
int child(int runs, int pauseMs) {
    using halvor::db::SaveOutcome;
    using halvor::db::SaveQueue;
    const QString target = DB_DefaultPath();
    // A computer that has been used before: its file is there, and its program sends what waits as it starts.
    DB_OpenT_Digit(DB_LocalPath(), QStringLiteral(" where [Pelvoran] = 12"));
    DB_CloseT_Digit();
    DB_StartOutboxSend();
    std::printf("ready\n");
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go); // every program is up
    QRandomGenerator* random = QRandomGenerator::global();
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> endedAt(static_cast<std::size_t>(runs));
    // How long the save itself took on the save thread, apart from waiting for its turn and for the CPU.
    std::vector<double> saveMs(static_cast<std::size_t>(runs));
    int reported = 0;
    std::vector<int> late;
    const auto ms = [&](int i) {
        return static_cast<double>(clock.nsecsElapsed() - endedAt[static_cast<std::size_t>(i)]) / 1e6;
    };
    std::function<void(int)> finish = [&](int i) {
        endedAt[static_cast<std::size_t>(i)] = clock.nsecsElapsed();
        SaveQueue::instance().submit(
            [target, i, &saveMs] {
                QElapsedTimer own;
                own.start();
                const int id = saveRun(target, QDate::currentDate().addDays(-(i / 10)), i);
                saveMs[static_cast<std::size_t>(i)] = static_cast<double>(own.nsecsElapsed()) / 1e6;
                return DB_SaveOutcome(id, 0);
            },
            QCoreApplication::instance(),
            [&, i](const SaveOutcome& outcome) {
                std::printf("safe %.3f %d %.3f%s\n", ms(i), i, saveMs[static_cast<std::size_t>(i)],
                            !outcome.stored   ? " lost"
                            : outcome.spooled ? " spooled"
                                              : "");
                if (i + 1 < runs)
                    QTimer::singleShot(pauseMs > 0 ? pauseMs / 2 + int(random->bounded(pauseMs)) : 0,
                                       [&, i] { finish(i + 1); });
            },
            [&, i](const SaveOutcome& outcome) {
                if (outcome.queued)
                    late.push_back(i);
                else
                    std::printf("server %.3f %d\n", ms(i), i);
                if (++reported == runs)
                    QCoreApplication::quit();
            });
    };
    QTimer::singleShot(pauseMs > 0 ? int(random->bounded(pauseMs)) : 0, [&] { finish(0); });
    QCoreApplication::exec();
    for (int start = 0; start < 30 && !late.empty(); ++start) {
        if (DB_SendOutbox()) {
            for (const int i : late)
                std::printf("server %.3f %d late\n", ms(i), i);
            late.clear();
        } else {
            QThread::sleep(1);
        }
    }
    int rows = 0;
    std::printf("chart %.3f %d\n", chartMs(target, &rows), rows);
    return 0;
}

QVariant serverValue(const QString& socketDir, const QString& sql) {
    QVariant out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench"));
        db.setConnectOptions(QStringLiteral("host=%1;user=postgres;dbname=school").arg(socketDir));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                out = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("HALVOR_BENCH_CHILD"))
        return child(qEnvironmentVariableIntValue("HALVOR_BENCH_CHILD"),
                     qEnvironmentVariableIntValue("HALVOR_BENCH_PAUSE"));
    const int clients = argc > 1 ? std::atoi(argv[1]) : 200;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 50;
    const int pauseMs = argc > 3 ? std::atoi(argv[3]) : 0;

    QTemporaryDir dir(QStringLiteral("/tmp/halvor-school-XXXXXX"));
    halvor::bench::ThrowawayCluster pg(dir.path());
    if (!pg.started())
        return 1;
    const QString cluster = pg.path();
    const QString admin = QStringLiteral("postgresql://postgres@/postgres?host=%1").arg(cluster);
    const QString target = QStringLiteral("postgresql://postgres@/school?host=%1").arg(cluster);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("make"));
        db.setConnectOptions(QStringLiteral("host=%1;user=postgres;dbname=postgres").arg(cluster));
        if (db.open())
            QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE school"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    qputenv("VUR_MDB", dir.filePath(QStringLiteral("setup.mdb")).toUtf8());
    saveRun(target, QDate(2026, 1, 1), 0); // the first program makes the tables
    qputenv("HALVOR_DATABASE", target.toUtf8());
    DB_SendOutbox();
    qunsetenv("HALVOR_DATABASE");

    std::vector<QProcess*> programs;
    QElapsedTimer wall;
    wall.start();
    for (int c = 0; c < clients; ++c) {
        auto* p = new QProcess(&app);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HALVOR_BENCH_CHILD"), QString::number(runs));
        env.insert(QStringLiteral("HALVOR_BENCH_PAUSE"), QString::number(pauseMs));
        env.insert(QStringLiteral("HALVOR_DATABASE"), target);
        env.insert(QStringLiteral("HALVOR_LEARNER"),
                   QStringLiteral("生徒%1").arg(c, 3, 10, QLatin1Char('0')));
        env.insert(QStringLiteral("VUR_MDB"), dir.filePath(QStringLiteral("computer%1.mdb").arg(c)));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(), {});
        programs.push_back(p);
    }
    for (QProcess* p : programs) {
        while (p->state() != QProcess::NotRunning && !p->canReadLine())
            p->waitForReadyRead(1000);
        p->readLine(); // "ready"
    }
    const double startSeconds = static_cast<double>(wall.restart()) / 1000.0;
    for (QProcess* p : programs) {
        p->write("go\n");
        p->waitForBytesWritten(1000); // nothing else runs the parent's event loop
    }
    std::vector<double> safe;
    std::vector<double> safeFirst;
    std::vector<double> saveItself;
    std::vector<double> onServer;
    std::vector<double> charts;
    int late = 0;
    int lost = 0;
    for (QProcess* p : programs) {
        p->waitForFinished(-1);
        for (const QByteArray& line : p->readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() >= 4 && f[0] == "safe") {
                (f[2] == "0" ? safeFirst : safe).push_back(f[1].toDouble());
                saveItself.push_back(f[3].toDouble());
            }
            lost += f.size() >= 5 && f[0] == "safe";
            if (f.size() >= 3 && f[0] == "server")
                onServer.push_back(f[1].toDouble());
            late += f.size() >= 4 && f[0] == "server";
            if (f.size() >= 2 && f[0] == "chart")
                charts.push_back(f[1].toDouble());
        }
    }
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;

    // A learner with 1,000 runs: the chart as that learner's program reads it.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("seed"));
        db.setConnectOptions(QStringLiteral("host=%1;user=postgres;dbname=school").arg(cluster));
        if (db.open())
            QSqlQuery(db).exec(QStringLiteral(
                "insert into t_digit (y4mmdd, pelvoran, round, result3, learner, runid) select date "
                "'2024-01-01' + "
                "(i / 5), 12, i % 5 + 1, 100 + i % 40, 'ながい れんしゅう', gen_random_uuid() from "
                "generate_series(0, 999) i"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("seed"));
    qputenv("HALVOR_LEARNER", "ながい れんしゅう");
    std::vector<double> longCharts;
    int longRows = 0;
    for (int i = 0; i < 11; ++i)
        longCharts.push_back(chartMs(target, &longRows));

    const qlonglong rows =
        serverValue(cluster, QStringLiteral("select count(*) from t_digit where learner like '生徒%'"))
            .toLongLong();
    const qlonglong distinct =
        serverValue(cluster,
                    QStringLiteral("select count(distinct runid) from t_digit where learner like '生徒%'"))
            .toLongLong();
    const qlonglong perLearner =
        serverValue(cluster, QStringLiteral("select count(*) from (select learner from t_digit "
                                            "where learner like '生徒%' group by learner "
                                            "having count(*) = %1) s")
                                 .arg(runs))
            .toLongLong();

    std::printf("%d programs x %d runs, pause %d ms, in %.1f s after %.1f s for the programs to start\n",
                clients, runs, pauseMs, seconds, startSeconds);
    std::printf(
        "from a run's end until safe on the computer: p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu runs, %d "
        "not safe)\n",
        percentile(safe, 0.5), percentile(safe, 0.99), percentile(safe, 1.0), safe.size(), lost);
    std::printf("  a program's first run: p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu runs)\n",
                percentile(safeFirst, 0.5), percentile(safeFirst, 0.99), percentile(safeFirst, 1.0),
                safeFirst.size());
    std::printf("  the save itself on the save thread: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                percentile(saveItself, 0.5), percentile(saveItself, 0.99), percentile(saveItself, 1.0));
    std::printf(
        "from a run's end until on the server: p50 %.1f ms, p99 %.1f ms, max %.1f ms (%d sent at a later "
        "start)\n",
        percentile(onServer, 0.5), percentile(onServer, 0.99), percentile(onServer, 1.0), late);
    std::printf("chart of %d runs per program: p50 %.1f ms, p99 %.1f ms\n", runs, percentile(charts, 0.5),
                percentile(charts, 0.99));
    std::printf("chart of a learner with %d runs: median %.1f ms\n", longRows, percentile(longCharts, 0.5));
    std::printf(
        "rows on the server: %lld, distinct run ids %lld, learners with all %d runs: %lld of %d -> %s\n",
        rows, distinct, runs, perLearner, clients,
        rows == qlonglong(clients) * runs && distinct == rows && perLearner == clients ? "every run once"
                                                                                       : "MISMATCH");
    return 0;
}
