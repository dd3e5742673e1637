// The sliding wipe that turns a lesson page: 72 strips, each wider than the last, of the new page put at
// the edge it slides in from. A timer paces it, so the window keeps answering while a page turns.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <functional>

namespace halvor::lesson {

constexpr int kWipeSteps = 72;
constexpr int kWipeMilliseconds = 500;

struct WipeStrip {
    QRect source; // part of the new page
    QPoint at;    // where it goes on the back surface
};

// Step k (0 .. 71) shows a strip 1 + 10 k wide. Forward, the new page's left columns enter at the right
// edge; backward, its right columns enter at the left edge.
WipeStrip wipeStrip(int step, bool forward, QSize page = QSize(720, 540));

class Wipe : public QObject {
    Q_OBJECT
public:
    explicit Wipe(QObject* parent = nullptr);

    // Calls drawStep with rising steps until the last; a late tick skips steps (each strip covers the ones
    // before it) so the turn keeps its pace. finished runs after the last step.
    void start(std::function<void(int step)> drawStep, std::function<void()> finished);
    bool running() const { return timer_.isActive(); }
    // Draws the last step and finishes at once (closing, or a test that does not wait).
    void finishNow();
    // Stops without drawing or finishing (the window goes away).
    void cancel();

private:
    void tick();

    QTimer timer_;
    QElapsedTimer elapsed_;
    int step_ = -1;
    std::function<void(int)> drawStep_;
    std::function<void()> finished_;
};

} // namespace halvor::lesson
