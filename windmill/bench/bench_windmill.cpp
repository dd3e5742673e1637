// Medians of the windmill's frame tick (rules and the whole redraw) and of the time from process start to
// the first frame on screen, against an empty window of the same size.
//   windmill_bench            runs both and prints the medians
#include "Common.h"
#include "WindmillDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class StepClock final : public halvor::Clock {
public:
    std::uint32_t tickCount() const override { return tick; }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    std::uint32_t tick = 0;
};

// One child process: start-up to the first exposed frame, in ms, printed on stdout.
int firstFrame(int argc, char* argv[], bool windmill) {
    QElapsedTimer t;
    t.start();
    QApplication app(argc, argv);
    CMN_InitApplication();
    halvor::SystemClock clock;
    halvor::StdRandom random;
    std::unique_ptr<QWidget> w;
    if (windmill)
        w = std::make_unique<halvor::CWindmillDlg>(clock, random, "\"Pelvoran12\" \"\" 7");
    else {
        w = std::make_unique<QWidget>();
        w->setFixedSize(720, 540);
    }
    const double built = t.nsecsElapsed() / 1e6;
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return 1;
    std::printf("%.2f\n", t.nsecsElapsed() / 1e6);
    std::fprintf(stderr, "built at %.1f ms\n", built);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && (qstrcmp(argv[1], "--empty") == 0 || qstrcmp(argv[1], "--windmill") == 0))
        return firstFrame(argc, argv, qstrcmp(argv[1], "--windmill") == 0);

    std::vector<double> empty, drill;
    for (int i = 0; i < 9; ++i) {
        for (const char* mode : {"--empty", "--windmill"}) {
            QProcess p;
            p.start(QString::fromLocal8Bit(argv[0]), {mode});
            p.waitForFinished(30000);
            const double ms = p.readAllStandardOutput().trimmed().toDouble();
            (qstrcmp(mode, "--empty") == 0 ? empty : drill).push_back(ms);
        }
    }

    QApplication app(argc, argv);
    CMN_InitApplication();
    StepClock clock;
    halvor::StdRandom random;
    halvor::CWindmillDlg dlg(clock, random, "\"Pelvoran12\" \"\" 7");
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg))
        return 1;
    dlg.findChild<QPushButton*>("cmdStart")->click();
    std::vector<double> ticks, draws, cpu;
    QElapsedTimer t;
    for (int i = 0; i < 500; ++i) { // well inside the minute, the run keeps going
        clock.tick += 100;
        if (i % 2 == 0) // a learner typing about 300 a minute: the panel changes too
            QTest::keyClick(&dlg, dlg.run().keys().at(dlg.run().nextKey()).toLatin1());
        t.start();
        const std::clock_t c0 = std::clock();
        dlg.frameTimerTick();
        draws.push_back(t.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents(); // the repaint the tick asked for
        ticks.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(double(std::clock() - c0) * 1000.0 / CLOCKS_PER_SEC);
    }
    std::printf(
        "frame tick (rules and full redraw), median of %zu: %.3f ms, of which the drawing into the back "
        "surface %.3f ms\n",
        ticks.size(), median(ticks), median(draws));
    // On a busy machine wall time counts other processes' turns; processor time does not.
    std::printf("frame tick processor time, median: %.3f ms\n", median(cpu));
    std::printf("first frame: empty window %.1f ms, windmill %.1f ms (ratio %.2f), medians of %zu starts\n",
                median(empty), median(drill), median(drill) / median(empty), empty.size());
    return 0;
}
