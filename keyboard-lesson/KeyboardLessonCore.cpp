#include "KeyboardLessonCore.h"

namespace halvor {

using lesson::Area;
using lesson::HotSpot;
using lesson::PageAction;

namespace {

std::array<KeyCell, 40> makeKeyCells() {
    static const char* const rows[4] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL;", "ZXCVBNM,./"};
    static const int rowLeft[4] = {141, 153, 165, 177};
    std::array<KeyCell, 40> cells{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 10; ++column) {
            const int left = rowLeft[row] + 41 * column;
            const int top = 168 + 40 * row;
            cells[static_cast<std::size_t>(10 * row + column)] = {{left, top, left + 39, top + 39},
                                                                  rows[row][column]};
        }
    }
    return cells;
}

std::vector<lesson::PageHotSpots> hotSpotTable() {
    const HotSpot close{{562, 11, 711, 35}, PageAction::Close};
    const HotSpot none{};
    return {
        {close, {{561, 508, 711, 532}, PageAction::Next}, none},
        {close, {{11, 511, 162, 534}, PageAction::Previous}, {{528, 509, 710, 534}, PageAction::Next}},
        {close, {{11, 510, 162, 534}, PageAction::Previous}, {{560, 508, 710, 534}, PageAction::Next}},
        {close, {{11, 510, 193, 534}, PageAction::Previous}, {{530, 508, 710, 534}, PageAction::Next}},
        {close, {{11, 510, 163, 531}, PageAction::Previous}, none},
    };
}

} // namespace

const std::array<KeyCell, 40>& keyCells() {
    static const std::array<KeyCell, 40> cells = makeKeyCells();
    return cells;
}

int keyCellIndex(QChar key) {
    const auto& cells = keyCells();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (QChar(cells[i].key) == key)
            return static_cast<int>(i);
    }
    return -1;
}

const std::array<FingerRow, 8>& fingerRows() {
    static const std::array<FingerRow, 8> rows = {{
        {"1QAZ", QStringLiteral("「左手小指」")},
        {"2WSX", QStringLiteral("「左手薬指」")},
        {"3EDC", QStringLiteral("「左手中指」")},
        {"4RFV5TGB", QStringLiteral("「左手人差指」")},
        {"6YHN7UJM", QStringLiteral("「右手人差指」")},
        {"8IK,", QStringLiteral("「右手中指」")},
        {"9OL.", QStringLiteral("「右手薬指」")},
        {"0P;/", QStringLiteral("「右手小指」")},
    }};
    return rows;
}

int fingerOfKey(QChar key) {
    const auto& rows = fingerRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (QString::fromLatin1(rows[i].keys).contains(key))
            return static_cast<int>(i);
    }
    return -1;
}

KeyboardLessonCore::KeyboardLessonCore(Random& random) : random_(random), book_(hotSpotTable()) {}

bool KeyboardLessonCore::startAt(QPoint p) const {
    return page() == kQuizPage && !quizStarted_ && !turning_ && startArea().contains(p);
}

bool KeyboardLessonCore::clickStart(QPoint p) {
    if (!startAt(p))
        return false;
    quizStarted_ = true;
    newRound();
    return true;
}

void KeyboardLessonCore::beginTurn() {
    turning_ = true;
    paused_ = false;
    banner_ = Banner::None;
    pending_.clear();
}

void KeyboardLessonCore::enterPage(int page) {
    book_.setPage(page);
    turning_ = false;
    paused_ = false;
    banner_ = Banner::None;
    marks_.clear();
    target_.clear();
    remaining_.clear();
    judged_ = 0;
    wrong_ = 0;
    if (page == kCheckPage)
        resetCheck();
    else if (page == kQuizPage)
        resetQuiz();
    judgePending();
}

void KeyboardLessonCore::resetCheck() {
    target_ = remaining_ = QString::fromLatin1(kHomeKeys);
    marks_.clear();
    banner_ = Banner::None;
}

void KeyboardLessonCore::resetQuiz() {
    quizStarted_ = false;
    fingerRow_ = -1;
    target_.clear();
    remaining_.clear();
    marks_.clear();
    banner_ = Banner::None;
}

void KeyboardLessonCore::newRound() {
    fingerRow_ = random_.next() % 8;
    target_ = remaining_ = QString::fromLatin1(fingerRows()[static_cast<std::size_t>(fingerRow_)].keys);
    marks_.clear();
    banner_ = Banner::None;
}

void KeyboardLessonCore::type(QChar ch) {
    if (turning_ || paused_) {
        if (pending_.size() < kMaxPending)
            pending_.push_back(ch);
        return;
    }
    judge(ch);
}

void KeyboardLessonCore::judge(QChar ch) {
    const bool active = page() == kCheckPage || (page() == kQuizPage && quizStarted_);
    if (!active || ch.unicode() > 127)
        return;
    const QChar u = ch.toUpper();
    const int cell = keyCellIndex(u);
    if (cell < 0)
        return;
    if (!target_.contains(u)) {
        ++judged_;
        ++wrong_;
        marks_.push_back({cell, false});
        banner_ = Banner::Wrong;
        paused_ = true;
        return;
    }
    if (!remaining_.contains(u))
        return;
    ++judged_;
    marks_.push_back({cell, true});
    remaining_.remove(u);
    if (remaining_.isEmpty()) {
        banner_ = Banner::Correct;
        paused_ = true;
    }
}

void KeyboardLessonCore::endPause() {
    if (!paused_)
        return;
    paused_ = false;
    if (page() == kQuizPage)
        newRound();
    else
        resetCheck();
    judgePending();
}

void KeyboardLessonCore::judgePending() {
    while (!paused_ && !turning_ && !pending_.empty()) {
        const QChar ch = pending_.front();
        pending_.pop_front();
        judge(ch);
    }
}

QPoint KeyboardLessonCore::bannerPosition() const {
    // The quiz's banners sit one pixel lower than the check's, over its prompt.
    const int quiz = page() == kQuizPage ? 1 : 0;
    return banner_ == Banner::Correct ? QPoint(30, 65 + quiz) : QPoint(30, 64 + quiz);
}

} // namespace halvor
