// The keyboard lesson's window: draws what KeyboardLessonCore says and times its pauses.
#pragma once

#include "KeyboardLessonCore.h"
#include "LessonWindow.h"

#include <QTimer>
#include <Random.h>
#include <memory>

namespace halvor {

class KeyboardLessonWindow : public lesson::LessonWindow {
    Q_OBJECT
public:
    // Bitmaps: pages 129-133, correct and wrong banners 134, 135, key layers 136 (finger colours) and 137
    // (red crosses), quiz prompt 138.
    static constexpr int kPageBitmap = 128; // page n is bitmap 128 + n
    static constexpr int kCorrectBanner = 134;
    static constexpr int kWrongBanner = 135;
    static constexpr int kCorrectLayer = 136;
    static constexpr int kWrongLayer = 137;
    static constexpr int kPromptBanner = 138;
    static constexpr int kHandCursor = 139;
    static constexpr int kIcon = 128;

    // random: the quiz's source (a test's fixed one); null uses the C runtime's generator seeded by time.
    explicit KeyboardLessonWindow(QString commandLine = CMN_GetCommandLine(), Random* random = nullptr,
                                  QWidget* parent = nullptr);

    const KeyboardLessonCore& core() const { return core_; }
    bool pausing() const { return pause_.isActive(); }
    // Ends a running pause at once, as its timer would.
    void finishPause();

protected:
    lesson::PageBook& book() override { return core_.book(); }
    void render() override;
    void turnStarting() override;
    void pageEntered(int page) override;
    bool pageClicked(QPoint p) override;
    bool pageClickable(QPoint p) const override { return core_.startAt(p); }
    void typed(QChar ch) override;
    Exercise exercise() const override;

private:
    void afterChange();
    void putMark(const KeyboardLessonCore::Mark& mark);

    std::unique_ptr<Random> ownRandom_;
    KeyboardLessonCore core_;
    QTimer pause_;
};

} // namespace halvor
