// Time from creating a menu window to the end of its first paint: what the learner waits for after a
// program start. Prints the median and the 90th percentile.
#pragma once

#include "Common.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace halvor::bench {

class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

template <typename Window> int runFirstFrame(int argc, char* argv[], const char* name, int rounds = 40) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        {
            Window window;
            PaintWatch watch;
            window.installEventFilter(&watch);
            window.show();
            while (!watch.painted)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            ms.push_back(timer.nsecsElapsed() / 1e6);
            window.removeEventFilter(&watch);
            window.hide();
        }
        QCoreApplication::processEvents();
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%s first frame: first %.1f ms, median %.1f ms, p90 %.1f ms over %d windows\n", name,
                ms.front(), sorted[sorted.size() / 2], sorted[sorted.size() * 9 / 10], rounds);
    return 0;
}

} // namespace halvor::bench
