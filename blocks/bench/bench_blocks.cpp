// Medians of the block game's frame tick: the rules alone, and the rules with the whole redraw through
// Common, in play (54 bricks, the inflow and the rising water) and while the boat crosses (all 55 bricks,
// both water images, the boat and the title).
#include "BlockDlg.h"
#include "Common.h"
#include "Random.h"
#include "TestDoubles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void type(halvor::CBlockDlg& dialog, int count) {
    for (int i = 0; i < count; ++i) {
        const QChar c = dialog.game().keys().at(dialog.run().nextKey());
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&dialog, &press);
    }
}

// Times `frames` ticks of the dialog (the last one of an ending is not timed: it stores the run).
void timeFrames(halvor::CBlockDlg& dialog, FakeClock& clock, int frames, std::vector<double>& out) {
    QElapsedTimer t;
    for (int i = 0; i < frames; ++i) {
        clock.tick += 100;
        t.start();
        dialog.frameTimerTick();
        out.push_back(t.nsecsElapsed() / 1e6);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // The crossing frames store runs at their end; keep them out of the learner's own results.
    const QString db = QStringLiteral("/tmp/halvor-blocks-bench.mdb");
    QFile::remove(db);
    qputenv("VUR_MDB", db.toLocal8Bit());
    QApplication app(argc, argv);
    CMN_InitApplication();
    FakeClock clock;
    halvor::StdRandom random;
    halvor::CBlockDlg dialog(clock, random, QStringLiteral(R"("Tavrel11" "" 12)"));
    dialog.show();
    QApplication::processEvents();
    using State = halvor::blocks::BlocksCore::State;

    // Play: 53 bricks laid on the first brick, then the water rises for 300 frames.
    std::vector<double> play;
    dialog.startButton()->click();
    type(dialog, 212);
    std::vector<double> warmUp;
    timeFrames(dialog, clock, 100, warmUp);
    timeFrames(dialog, clock, 300, play);
    if (dialog.game().state() != State::Running)
        return 1;

    // Crossing: ten wins, the boat's frames after the basin is full.
    std::vector<double> crossing;
    for (int run = 0; run < 10; ++run) {
        if (run > 0)
            dialog.startButton()->click();
        type(dialog, 216);
        while (dialog.game().state() != State::SuccessAnimation || dialog.game().waterLevel() > 218.0)
            timeFrames(dialog, clock, 1, warmUp);
        timeFrames(dialog, clock, 63, crossing);
        timeFrames(dialog, clock, 1, warmUp);
    }

    // The rules alone, without drawing.
    std::vector<double> rules;
    {
        FakeClock ruleClock;
        halvor::FingerRun run(ruleClock);
        halvor::StdRandom ruleRandom;
        halvor::blocks::BlocksCore core(run, ruleRandom, 12);
        core.start();
        run.start(core.keys());
        for (int i = 0; i < 212; ++i)
            run.checkKey(core.keys().at(run.nextKey()).unicode());
        QElapsedTimer t;
        for (int i = 0; i < 400; ++i) {
            ruleClock.tick += 100;
            t.start();
            core.tick();
            rules.push_back(t.nsecsElapsed() / 1e6);
        }
    }

    std::printf("block frame tick, rules only:               median %.4f ms (%zu frames)\n", median(rules),
                rules.size());
    std::printf("block frame tick, play, 54 bricks + water:  median %.3f ms (%zu frames)\n", median(play),
                play.size());
    std::printf("block frame tick, boat, 55 bricks + water:  median %.3f ms (%zu frames)\n", median(crossing),
                crossing.size());
    QFile::remove(db);
    return 0;
}
