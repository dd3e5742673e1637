// Medians of what a learner waits for: one wipe step, one page draw with marks and a banner, and the
// whole wipe as its timer paces it.
#include "KeyboardLessonWindow.h"
#include "Wipe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class BenchWindow : public halvor::KeyboardLessonWindow {
public:
    using KeyboardLessonWindow::KeyboardLessonWindow;
    using KeyboardLessonWindow::pageSurface;
    using KeyboardLessonWindow::redraw;
    using KeyboardLessonWindow::turnTo;
};

template <typename F> double medianMicros(int runs, F&& f) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        f(i);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    BenchWindow window(QStringLiteral("\"Pelvoran11\""));
    window.show();
    if (!window.drawingReady()) {
        std::fprintf(stderr, "drawing could not be set up\n");
        return 1;
    }
    CMN_Surface* back = window.backSurface();
    CMN_Surface* next = window.pageSurface(2);

    const double step = medianMicros(720, [&](int i) {
        const auto strip = halvor::lesson::wipeStrip(i % halvor::lesson::kWipeSteps, i % 2 == 0);
        CMN_DXPutSurface(back, strip.at.x(), strip.at.y(), next, &strip.source);
        CMN_DXFlip();
    });
    std::printf("wipe step (strip put + flip), median: %.1f us\n", step);

    // Page 3 with all eight keys marked and the praise banner: the fullest page draw.
    window.turnTo(3);
    window.finishWipe();
    QTest::keyClicks(&window, QStringLiteral("asdfjkl;"));
    const double draw = medianMicros(500, [&](int) { window.redraw(); });
    std::printf("page draw (page, 8 marks, banner, flip), median: %.1f us\n", draw);

    const double wipe = medianMicros(5, [&](int i) {
        window.turnTo(i % 2 == 0 ? 4 : 3);
        while (window.wiping())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    });
    std::printf("whole wipe as the timer paces it, median: %.0f ms\n", wipe / 1000.0);
    return 0;
}
