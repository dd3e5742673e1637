// The mouse lesson's window: draws what MouseLessonCore says, animates fruits sliding back, plays the
// hit sound.
#pragma once

#include "LessonWindow.h"
#include "MouseLessonCore.h"

#include <Clock.h>
#include <QTimer>
#include <Random.h>
#include <memory>

namespace halvor {

class MouseLessonWindow : public lesson::LessonWindow {
    Q_OBJECT
public:
    static constexpr int kPageBitmap = 128; // page n is bitmap 128 + n
    static constexpr int kTarget = 140;
    static constexpr int kPresentClosed = 141;
    static constexpr int kPresentOpen = 142;
    static constexpr int kFirstFruit = 143; // 143 .. 147
    static constexpr int kWellDoneBanner = 148;
    static constexpr int kHintBanner = 149;
    static constexpr int kHitSound = 150;
    static constexpr int kHandCursor = 139;
    static constexpr int kIcon = 128;

    // random, clock: a test's own; null uses the C runtime's generator seeded by time and the system clock.
    explicit MouseLessonWindow(QString commandLine = CMN_GetCommandLine(), Random* random = nullptr,
                               const Clock* clock = nullptr, QWidget* parent = nullptr);
    ~MouseLessonWindow() override;

    const MouseLessonCore& core() const { return core_; }
    // The result line of the click exercise, as shown.
    QString clickResult() const;
    // The count of targets still to hit, as shown in its box.
    QString remainingText() const;

protected:
    lesson::PageBook& book() override { return core_.book(); }
    void render() override;
    void pageEntered(int page) override { core_.enterPage(page); }
    bool pageClicked(QPoint p) override;
    bool pageClickable(QPoint p) const override { return core_.clickable(p); }
    bool pageDoubleClicked(QPoint p) override;
    void pageMouseMoved(QPoint p, bool buttonDown) override;
    void pageMouseReleased(QPoint p) override;
    Exercise exercise() const override;
    void closeEvent(QCloseEvent* event) override;

private:
    void afterChange();
    void putCentred(int id, QPoint centre);
    void releaseSound();

    std::unique_ptr<Random> ownRandom_;
    std::unique_ptr<Clock> ownClock_;
    MouseLessonCore core_;
    QTimer slide_;
    CMN_SoundBuffer* hitSound_ = nullptr;
    bool soundReady_ = false;
    std::uint32_t successesHeard_ = 0;
};

} // namespace halvor
