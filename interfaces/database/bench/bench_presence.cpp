// What presence costs the school's server: a classroom of computers (40 by default), each with a drill's
// reporter on the real schedule while a learner types (about three keys a second, the figures changing every
// second, a run finished every minute, staggered), and one viewer listening, against a throwaway cluster on
// this machine. Prints the server's CPU (every process of the cluster, from /proc) while idle and under the
// traffic, as a share of one core, and how many reports went and records were heard.
//   database_bench_presence [computers] [seconds]
#include "BenchKit.h"
#include "Database.h"
#include "Live.h"
#include "Server.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Nanoseconds on a CPU of the cluster's postmaster and of every process it started, from the scheduler
// (/proc/PID/schedstat): exact, where the ticks of /proc/PID/stat overcharge processes that timers wake.
long long clusterNanoseconds(const QString& socketFolder) {
    QFile pidFile(socketFolder + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray postmaster = pidFile.readLine().trimmed();
    long long ns = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        QFile sched(QStringLiteral("/proc/%1/schedstat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly) || !sched.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // Fields after the command's closing parenthesis: state ppid ...
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 1 && (entry.toLatin1() == postmaster || f[1] == postmaster))
            ns += sched.readAll().split(' ').value(0).toLongLong();
    }
    return ns;
}

double corePercent(long long ns, double seconds) {
    return 100.0 * static_cast<double>(ns) / 1e9 / seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int computers = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 40;
    const int seconds = argc > 2 ? std::max(5, QByteArray(argv[2]).toInt()) : 60;
    QTemporaryDir dir;
    halvor::bench::ThrowawayCluster cluster(dir.path());
    if (!cluster.started()) {
        std::fprintf(stderr, "the test cluster did not start\n");
        return 1;
    }
    const QString uri = QStringLiteral("postgresql://postgres@/postgres?host=%1").arg(cluster.path());
    qputenv("VUR_MDB", (dir.path() + QStringLiteral("/VUR.MDB")).toUtf8());
    if (!halvor::db::connectServer(uri)) {
        std::fprintf(stderr, "no server: %s\n", qPrintable(DB_LastError()));
        return 1;
    }

    const auto measure = [&](double secs) {
        const long long before = clusterNanoseconds(cluster.path());
        QThread::msleep(static_cast<unsigned long>(secs * 1000));
        return corePercent(clusterNanoseconds(cluster.path()) - before, secs);
    };
    QThread::sleep(2); // the backend of the check above has gone, with its ticks
    const double idle = measure(10);

    std::atomic<int> heard{0};
    halvor::db::LiveListener viewer(
        uri, {[&](const halvor::presence::Record&) { ++heard; }, [](halvor::db::Problem, qint64) {}});
    halvor::SystemClock clock;
    std::vector<std::unique_ptr<halvor::presence::Reporter>> reporters;
    for (int i = 0; i < computers; ++i) {
        reporters.push_back(
            std::make_unique<halvor::presence::Reporter>(clock, halvor::db::presenceTransport(uri)));
        reporters.back()->open(QStringLiteral("learner%1").arg(i), QStringLiteral("pc-%1").arg(i),
                               QStringLiteral("Pelvoran12"), QStringLiteral("LEVEL3"));
        reporters.back()->runStarted();
        QThread::msleep(100); // computers come up one by one, as a class sits down
    }
    // The learners type: a tick every 100 ms, each key with a chance of 0.3 (three a second), the figures
    // once a second, a run finished every minute at a moment of each computer's own.
    QRandomGenerator random(7);
    std::vector<int> keys(static_cast<std::size_t>(computers), 0);
    const auto drive = [&](int tick) {
        for (int i = 0; i < computers; ++i) {
            auto& r = *reporters[static_cast<std::size_t>(i)];
            if (random.bounded(10) < 3) {
                r.input();
                ++keys[static_cast<std::size_t>(i)];
            }
            if (tick % 10 == i % 10) {
                halvor::presence::Figures f;
                f.keystrokes = keys[static_cast<std::size_t>(i)];
                f.errors = keys[static_cast<std::size_t>(i)] / 20;
                f.speed = 150 + i;
                f.accuracy = halvor::presence::accuracyOf(*f.keystrokes, *f.errors);
                r.progress(f);
            }
            if (tick % 600 == (i * 15) % 600) {
                halvor::presence::Figures f;
                f.keystrokes = keys[static_cast<std::size_t>(i)];
                f.speed = 150 + i;
                r.runFinished(f);
                r.runStarted();
                keys[static_cast<std::size_t>(i)] = 0;
            }
        }
    };
    for (int tick = 0; tick < 100; ++tick) { // warming up: every computer has connected and reported
        drive(tick);
        QThread::msleep(100);
    }
    const int sentBefore = [&] {
        int n = 0;
        for (const auto& r : reporters)
            n += r->sent();
        return n;
    }();
    const long long before = clusterNanoseconds(cluster.path());
    QElapsedTimer wall;
    wall.start();
    for (int tick = 100; wall.elapsed() < seconds * 1000LL; ++tick) {
        drive(tick);
        QThread::msleep(100);
    }
    const double busy =
        corePercent(clusterNanoseconds(cluster.path()) - before, double(wall.elapsed()) / 1000.0);
    int sent = -sentBefore;
    int failed = 0;
    for (const auto& r : reporters) {
        sent += r->sent();
        failed += r->failed();
    }
    std::printf(
        "%d computers, %d s: %d reports (%.1f a second), %d not taken, %d records heard by a viewer\n",
        computers, seconds, sent, sent * 1000.0 / double(wall.elapsed()), failed, heard.load());
    std::printf("server CPU, share of one core: idle %.2f %%, with the classroom's presence %.2f %% "
                "(the presence's own: %.2f %%)\n",
                idle, busy, busy - idle);
    reporters.clear();
    return 0;
}
