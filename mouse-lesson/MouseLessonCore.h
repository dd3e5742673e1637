// The rules of the mouse lesson, apart from any widget: five pages, ten targets to click, five presents
// that open on a double-click, five fruits to drag into a basket. Every exercise restarts when its page is
// entered.
#pragma once

#include "LessonPages.h"

#include <Clock.h>
#include <QPoint>
#include <Random.h>
#include <array>
#include <cstdint>

namespace halvor {

class MouseLessonCore {
public:
    static constexpr int kPages = 5;
    static constexpr int kClickPage = 2;
    static constexpr int kDoubleClickPage = 3;
    static constexpr int kDragPage = 4;

    static constexpr int kTargets = 10;
    static constexpr int kTargetRadius = 30;
    static constexpr int kPresents = 5;
    static constexpr int kPresentSize = 96;
    static constexpr int kFruits = 5;
    static constexpr int kFruitRadius = 30;
    static constexpr int kSlideMs = 300;

    // Where targets may appear and where a click that hits nothing counts as a miss.
    static lesson::Area playArea() { return {20, 96, 700, 500}; }
    static lesson::Area basketArea() { return {452, 192, 692, 472}; }
    static lesson::Area presentArea(int i);
    static QPoint fruitHome(int i);

    MouseLessonCore(Random& random, const Clock& clock);

    lesson::PageBook& book() { return book_; }
    const lesson::PageBook& book() const { return book_; }
    int page() const { return book_.page(); }
    // The page is shown (a turn ended on it): its exercise starts over.
    void enterPage(int page);

    // A press of the left button; true when the exercise used it (so it is no hot-spot click).
    bool press(QPoint p);
    // The second press of a double-click; true when the exercise used it (so it is no press of its own).
    bool doubleClick(QPoint p);
    void move(QPoint p);
    void release(QPoint p);
    // The hand cursor: over a target, a closed present, a fruit not yet in the basket.
    bool clickable(QPoint p) const;
    // Counts every success (a target hit, a present opened, a fruit in the basket), for the sound.
    std::uint32_t successes() const { return successes_; }

    // Page 2.
    int hits() const { return hits_; }
    int misses() const { return misses_; }
    QPoint target() const { return target_; }
    bool clicksDone() const { return hits_ == kTargets; }
    // Milliseconds from the first click to the last hit (or to now while it runs); 0 before the first click,
    // so reading the page is not timed.
    std::uint32_t clickMilliseconds() const;

    // Page 3.
    bool opened(int i) const { return opened_[static_cast<std::size_t>(i)]; }
    bool hintShown() const { return hint_; }
    bool presentsDone() const;

    // Page 4.
    QPoint fruitPosition(int i) const;
    bool inBasket(int i) const { return fruits_[static_cast<std::size_t>(i)].inBasket; }
    int dragged() const { return dragged_; }
    bool sliding() const;
    bool fruitsDone() const;

private:
    struct Fruit {
        QPoint at;
        bool inBasket = false;
        QPoint slideFrom;
        std::uint32_t slideStart = 0;
        bool slidingBack = false;
    };

    void placeTarget();
    int fruitAt(QPoint p) const;
    static QPoint basketSlot(int i);

    Random& random_;
    const Clock& clock_;
    lesson::PageBook book_;
    std::uint32_t successes_ = 0;

    int hits_ = 0;
    int misses_ = 0;
    QPoint target_;
    bool clicking_ = false;
    std::uint32_t clickStart_ = 0;
    std::uint32_t clickEnd_ = 0;

    std::array<bool, kPresents> opened_{};
    bool hint_ = false;

    std::array<Fruit, kFruits> fruits_{};
    int dragged_ = -1;
    QPoint grabOffset_;
};

} // namespace halvor
