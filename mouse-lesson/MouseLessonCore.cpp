#include "MouseLessonCore.h"

#include <algorithm>

namespace halvor {

using lesson::HotSpot;
using lesson::PageAction;

namespace {

std::vector<lesson::PageHotSpots> hotSpotTable() {
    const HotSpot close{{562, 11, 711, 35}, PageAction::Close};
    const HotSpot previous{{11, 508, 162, 534}, PageAction::Previous};
    const HotSpot next{{560, 508, 710, 534}, PageAction::Next};
    const HotSpot none{};
    // The last page's big button leads back to the menu too.
    const HotSpot backToMenu{{250, 400, 470, 460}, PageAction::Close};
    return {
        {close, none, next},     {close, previous, next},       {close, previous, next},
        {close, previous, next}, {close, previous, backToMenu},
    };
}

bool inCircle(QPoint p, QPoint centre, int radius) {
    const QPoint d = p - centre;
    return d.x() * d.x() + d.y() * d.y() < radius * radius;
}

int squaredDistance(QPoint a, QPoint b) {
    const QPoint d = a - b;
    return d.x() * d.x() + d.y() * d.y();
}

} // namespace

lesson::Area MouseLessonCore::presentArea(int i) {
    const int left = 54 + 124 * i;
    return {left, 220, left + kPresentSize, 220 + kPresentSize};
}

QPoint MouseLessonCore::fruitHome(int i) {
    return {72 + 78 * i, 420};
}

QPoint MouseLessonCore::basketSlot(int i) {
    // Two rows in the basket's mouth, so every fruit stays in sight.
    return i < 3 ? QPoint(512 + 60 * i, 316) : QPoint(542 + 60 * (i - 3), 366);
}

MouseLessonCore::MouseLessonCore(Random& random, const Clock& clock)
    : random_(random), clock_(clock), book_(hotSpotTable()) {}

void MouseLessonCore::enterPage(int page) {
    book_.setPage(page);
    hits_ = misses_ = 0;
    clicking_ = false;
    clickStart_ = clickEnd_ = 0;
    placeTarget();
    opened_.fill(false);
    hint_ = false;
    for (int i = 0; i < kFruits; ++i) {
        fruits_[static_cast<std::size_t>(i)] = Fruit{};
        fruits_[static_cast<std::size_t>(i)].at = fruitHome(i);
    }
    dragged_ = -1;
}

void MouseLessonCore::placeTarget() {
    const lesson::Area area = playArea();
    const int r = kTargetRadius;
    QPoint candidate;
    // The next target appears well away from the last one, so every hit means moving the mouse.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int x = area.left + r + random_.next() % (area.right - area.left - 2 * r);
        const int y = area.top + r + random_.next() % (area.bottom - area.top - 2 * r);
        candidate = QPoint(x, y);
        if (hits_ == 0 || squaredDistance(candidate, target_) >= 150 * 150)
            break;
    }
    target_ = candidate;
}

bool MouseLessonCore::press(QPoint p) {
    switch (page()) {
    case kClickPage:
        if (clicksDone() || !playArea().contains(p))
            return false;
        if (!clicking_) {
            clicking_ = true;
            clickStart_ = clock_.tickCount();
        }
        if (inCircle(p, target_, kTargetRadius)) {
            ++hits_;
            ++successes_;
            if (clicksDone())
                clickEnd_ = clock_.tickCount();
            else
                placeTarget();
        } else {
            ++misses_;
        }
        return true;
    case kDoubleClickPage:
        for (int i = 0; i < kPresents; ++i) {
            if (!opened(i) && presentArea(i).contains(p)) {
                hint_ = true; // one click is not enough; the page says to click twice quickly
                return true;
            }
        }
        return false;
    case kDragPage: {
        const int i = fruitAt(p);
        if (i < 0)
            return false;
        Fruit& fruit = fruits_[static_cast<std::size_t>(i)];
        fruit.at = fruitPosition(i); // a fruit caught while it slides stops where it is
        fruit.slidingBack = false;
        dragged_ = i;
        grabOffset_ = fruit.at - p;
        return true;
    }
    default:
        return false;
    }
}

bool MouseLessonCore::doubleClick(QPoint p) {
    switch (page()) {
    case kClickPage:
        // Its first press was judged already; a target hit twice quickly is one hit, not a hit and a miss.
        return playArea().contains(p);
    case kDoubleClickPage:
        for (int i = 0; i < kPresents; ++i) {
            if (!opened(i) && presentArea(i).contains(p)) {
                opened_[static_cast<std::size_t>(i)] = true;
                hint_ = false;
                ++successes_;
                return true;
            }
        }
        return false;
    default:
        return false;
    }
}

void MouseLessonCore::move(QPoint p) {
    if (page() != kDragPage || dragged_ < 0)
        return;
    // The fruit stays whole inside the window.
    const int r = kFruitRadius;
    const QPoint at = p + grabOffset_;
    fruits_[static_cast<std::size_t>(dragged_)].at =
        QPoint(std::clamp(at.x(), r, 720 - r), std::clamp(at.y(), r, 540 - r));
}

void MouseLessonCore::release(QPoint p) {
    if (page() != kDragPage || dragged_ < 0)
        return;
    move(p);
    Fruit& fruit = fruits_[static_cast<std::size_t>(dragged_)];
    if (basketArea().contains(fruit.at)) {
        fruit.inBasket = true;
        fruit.at = basketSlot(dragged_);
        ++successes_;
    } else {
        fruit.slidingBack = true;
        fruit.slideFrom = fruit.at;
        fruit.slideStart = clock_.tickCount();
        fruit.at = fruitHome(dragged_);
    }
    dragged_ = -1;
}

int MouseLessonCore::fruitAt(QPoint p) const {
    // The topmost fruit first: later fruits are drawn over earlier ones.
    for (int i = kFruits - 1; i >= 0; --i) {
        if (!inBasket(i) && inCircle(p, fruitPosition(i), kFruitRadius))
            return i;
    }
    return -1;
}

bool MouseLessonCore::clickable(QPoint p) const {
    switch (page()) {
    case kClickPage:
        return !clicksDone() && inCircle(p, target_, kTargetRadius);
    case kDoubleClickPage:
        for (int i = 0; i < kPresents; ++i) {
            if (!opened(i) && presentArea(i).contains(p))
                return true;
        }
        return false;
    case kDragPage:
        return dragged_ >= 0 || fruitAt(p) >= 0;
    default:
        return false;
    }
}

std::uint32_t MouseLessonCore::clickMilliseconds() const {
    if (!clicking_)
        return 0;
    return (clicksDone() ? clickEnd_ : clock_.tickCount()) - clickStart_;
}

bool MouseLessonCore::presentsDone() const {
    return std::all_of(opened_.begin(), opened_.end(), [](bool b) { return b; });
}

QPoint MouseLessonCore::fruitPosition(int i) const {
    const Fruit& fruit = fruits_[static_cast<std::size_t>(i)];
    if (!fruit.slidingBack)
        return fruit.at;
    const std::uint32_t t = clock_.tickCount() - fruit.slideStart;
    if (t >= static_cast<std::uint32_t>(kSlideMs))
        return fruit.at;
    const double f = static_cast<double>(t) / kSlideMs;
    const QPointF from(fruit.slideFrom), to(fruit.at);
    return (from + (to - from) * f).toPoint();
}

bool MouseLessonCore::sliding() const {
    for (int i = 0; i < kFruits; ++i) {
        const Fruit& fruit = fruits_[static_cast<std::size_t>(i)];
        if (fruit.slidingBack && clock_.tickCount() - fruit.slideStart < static_cast<std::uint32_t>(kSlideMs))
            return true;
    }
    return false;
}

bool MouseLessonCore::fruitsDone() const {
    return std::all_of(fruits_.begin(), fruits_.end(), [](const Fruit& f) { return f.inBasket; });
}

} // namespace halvor
