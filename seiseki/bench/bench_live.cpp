// The live page with a classroom of simulated computers: how long from a change heard until its tile is
// repainted (p50, p99), while every tile reports as learners do; all forty changing at once; one tick of
// the page's clock. Offscreen; prints the figures.
#include "LiveClassroom.h"
#include "LivePage.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using halvor::bench::LiveClassroom;

struct Percentiles {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
};

Percentiles percentiles(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back()};
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int computers = argc > 1 ? std::max(1, atoi(argv[1])) : 40;
    const int samples = argc > 2 ? std::max(10, atoi(argv[2])) : 2000;
    const QDateTime lessonStart(QDate(2026, 5, 14), QTime(10, 0), Qt::UTC);
    qint64 lessonMs = 0;
    seiseki::LivePage page([&] { return lessonStart.addMSecs(lessonMs); });
    QList<seiseki::RosterEntry> roster;
    for (int i = 0; i < computers; ++i)
        roster.append({LiveClassroom::learner(i), i + 1});
    page.setRoster(roster);
    page.resize(1400, 1100); // every tile in sight, as on a classroom's projector
    page.show();
    LiveClassroom classroom(computers);

    QString waitingFor;
    QElapsedTimer clock;
    clock.start();
    qint64 paintedAt = -1;
    QObject::connect(page.board(), &seiseki::TileBoard::painted, [&](const QString& key) {
        if (key == waitingFor && paintedAt < 0)
            paintedAt = clock.nsecsElapsed();
    });
    // Every computer is heard of once, so the board is full.
    for (int i = 0; i < computers; ++i) {
        const halvor::presence::Report r = classroom.next(&lessonMs);
        page.apply(LiveClassroom::announced(r, r.computer.mid(2).toInt() - 1, lessonStart, lessonMs));
    }
    page.tick();
    QCoreApplication::processEvents();

    // A lesson as it goes: each report heard in its turn, the page's clock ticking as the lesson's time
    // passes; a report that does not change what its tile shows repaints nothing and is not counted.
    std::vector<double> latency;
    int unchanged = 0;
    qint64 lastTick = lessonMs;
    while (static_cast<int>(latency.size()) < samples) {
        const halvor::presence::Report r = classroom.next(&lessonMs);
        const int index = r.computer.mid(2).toInt() - 1;
        if (lessonMs - lastTick >= 1000) {
            lastTick = lessonMs;
            page.tick();
        }
        waitingFor = LiveClassroom::login(index) + QLatin1Char('/') + r.computer;
        paintedAt = -1;
        const qint64 t0 = clock.nsecsElapsed();
        page.apply(LiveClassroom::announced(r, index, lessonStart, lessonMs));
        QElapsedTimer wait;
        wait.start();
        while (paintedAt < 0 && wait.elapsed() < 50)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (paintedAt < 0) {
            ++unchanged;
            continue;
        }
        latency.push_back(static_cast<double>(paintedAt - t0) / 1e6);
    }
    const Percentiles steady = percentiles(latency);

    // All at once: the page hears every computer in one go; the time until the last tile is repainted.
    std::vector<double> burst;
    QSet<QString> left;
    QObject::disconnect(page.board(), &seiseki::TileBoard::painted, nullptr, nullptr);
    const QMetaObject::Connection watching = QObject::connect(page.board(), &seiseki::TileBoard::painted,
                                                              [&](const QString& key) { left.remove(key); });
    for (int round = 0; round < 50; ++round) {
        lessonMs += 5000;
        page.tick();
        QCoreApplication::processEvents();
        const qint64 t0 = clock.nsecsElapsed();
        for (int i = 0; i < computers; ++i) {
            halvor::presence::Report r;
            r.event = halvor::presence::Event::Progress;
            r.learner = LiveClassroom::learner(i);
            r.computer = LiveClassroom::computer(i);
            r.program = QStringLiteral("Pelvoran12");
            r.course = QStringLiteral("LEVEL%1").arg(round % 7 + 1);
            r.sinceStartMs = lessonMs;
            r.running = true;
            r.sinceInputMs = 100;
            r.figures.keystrokes = round * 10 + i;
            r.figures.speed = 100 + round;
            page.apply(LiveClassroom::announced(r, i, lessonStart, lessonMs));
            left.insert(LiveClassroom::login(i) + QLatin1Char('/') + r.computer);
        }
        while (!left.isEmpty())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        burst.push_back(static_cast<double>(clock.nsecsElapsed() - t0) / 1e6);
    }
    QObject::disconnect(watching);
    const Percentiles all = percentiles(burst);

    std::vector<double> ticks;
    for (int i = 0; i < 200; ++i) {
        lessonMs += 1000;
        const qint64 t0 = clock.nsecsElapsed();
        page.tick();
        ticks.push_back(static_cast<double>(clock.nsecsElapsed() - t0) / 1e6);
        QCoreApplication::processEvents();
    }
    const Percentiles tick = percentiles(ticks);

    std::printf("live page, %d computers (offscreen, %s)\n", computers,
                qPrintable(QSysInfo::prettyProductName()));
    std::printf("  change heard -> tile repainted: p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu changes, %d "
                "reports that changed nothing shown)\n",
                steady.p50, steady.p99, steady.max, latency.size(), unchanged);
    std::printf("  all %d at once -> last tile repainted: p50 %.2f ms, p99 %.2f ms\n", computers, all.p50,
                all.p99);
    std::printf("  one tick of the page's clock: p50 %.3f ms, p99 %.3f ms\n", tick.p50, tick.p99);
    return 0;
}
