// Page machinery shared by the lessons: rectangles as the lesson tables give them, hot spots, and the book
// of pages that the hot spots turn one step at a time.
#pragma once

#include <QPoint>
#include <QRect>
#include <array>
#include <vector>

namespace halvor::lesson {

// A rectangle of the lesson tables: left <= x < right and top <= y < bottom.
struct Area {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr bool contains(QPoint p) const {
        return left <= p.x() && p.x() < right && top <= p.y() && p.y() < bottom;
    }
    QRect rect() const { return QRect(left, top, right - left, bottom - top); }
    QPoint topLeft() const { return QPoint(left, top); }
};

enum class PageAction { None = 0, Close = 1, Previous = 2, Next = 3 };

struct HotSpot {
    Area area;
    PageAction action = PageAction::None;
};
using PageHotSpots = std::array<HotSpot, 3>;

// Pages numbered from 1. The current page's slots are tested in order; the first with an action that holds
// the point wins, so an empty slot never hides a later one.
class PageBook {
public:
    explicit PageBook(std::vector<PageHotSpots> hotSpots);

    int page() const { return page_; }
    int pageCount() const { return static_cast<int>(hotSpots_.size()); }
    PageAction actionAt(QPoint p) const;
    // The page a turning action leads to from the current page; 0 when it leads nowhere.
    int target(PageAction action) const;
    // False (and nothing changes) for a page out of range.
    bool setPage(int page);

private:
    std::vector<PageHotSpots> hotSpots_;
    int page_ = 1;
};

} // namespace halvor::lesson
