#include "Wipe.h"

#include <algorithm>
#include <utility>

namespace halvor::lesson {

WipeStrip wipeStrip(int step, bool forward, QSize page) {
    step = std::clamp(step, 0, kWipeSteps - 1);
    const int w = std::min(1 + 10 * step, page.width());
    if (forward)
        return {QRect(0, 0, w, page.height()), QPoint(page.width() - w, 0)};
    return {QRect(page.width() - w, 0, w, page.height()), QPoint(0, 0)};
}

Wipe::Wipe(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    // Rounded up: a step per tick must not finish the wipe before its time.
    timer_.setInterval((kWipeMilliseconds + kWipeSteps - 1) / kWipeSteps);
    connect(&timer_, &QTimer::timeout, this, &Wipe::tick);
}

void Wipe::start(std::function<void(int)> drawStep, std::function<void()> finished) {
    drawStep_ = std::move(drawStep);
    finished_ = std::move(finished);
    step_ = -1;
    elapsed_.start();
    timer_.start();
    tick(); // the first strip shows at once
}

void Wipe::tick() {
    if (!drawStep_)
        return;
    const auto due = static_cast<int>(elapsed_.elapsed() * kWipeSteps / kWipeMilliseconds);
    step_ = std::clamp(std::max(step_ + 1, due), 0, kWipeSteps - 1);
    drawStep_(step_);
    if (step_ == kWipeSteps - 1) {
        timer_.stop();
        drawStep_ = nullptr;
        // Moved out first: the handler may start the next wipe.
        auto finished = std::move(finished_);
        finished_ = nullptr;
        if (finished)
            finished();
    }
}

void Wipe::finishNow() {
    if (!drawStep_)
        return;
    step_ = kWipeSteps - 2;
    tick();
}

void Wipe::cancel() {
    timer_.stop();
    drawStep_ = nullptr;
    finished_ = nullptr;
}

} // namespace halvor::lesson
