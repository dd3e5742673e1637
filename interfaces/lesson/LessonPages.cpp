#include "LessonPages.h"

#include <utility>

namespace halvor::lesson {

PageBook::PageBook(std::vector<PageHotSpots> hotSpots) : hotSpots_(std::move(hotSpots)) {}

PageAction PageBook::actionAt(QPoint p) const {
    if (page_ < 1 || page_ > pageCount())
        return PageAction::None;
    for (const HotSpot& slot : hotSpots_[page_ - 1]) {
        if (slot.action != PageAction::None && slot.area.contains(p))
            return slot.action;
    }
    return PageAction::None;
}

int PageBook::target(PageAction action) const {
    int t = 0;
    if (action == PageAction::Previous)
        t = page_ - 1;
    else if (action == PageAction::Next)
        t = page_ + 1;
    return t >= 1 && t <= pageCount() ? t : 0;
}

bool PageBook::setPage(int page) {
    if (page < 1 || page > pageCount())
        return false;
    page_ = page;
    return true;
}

} // namespace halvor::lesson
