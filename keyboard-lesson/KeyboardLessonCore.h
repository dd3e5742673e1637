// The rules of the keyboard lesson, apart from any widget: five pages and their hot spots, the
// home-position check of page 3 and the endless finger quiz of page 5. Typed characters that arrive while
// a banner pauses the exercise or a page turns are kept and judged afterwards, in order.
#pragma once

#include "LessonPages.h"

#include <QChar>
#include <QPoint>
#include <QString>
#include <Random.h>
#include <array>
#include <deque>
#include <vector>

namespace halvor {

struct KeyCell {
    lesson::Area area;
    char key = 0;
};
// 40 keys, index 10 x row + column, rows "1234567890", "QWERTYUIOP", "ASDFGHJKL;", "ZXCVBNM,./".
const std::array<KeyCell, 40>& keyCells();
// The first cell of an upper-case key character, -1 for none.
int keyCellIndex(QChar key);

struct FingerRow {
    const char* keys;
    QString name;
};
// Left little finger to right little finger.
const std::array<FingerRow, 8>& fingerRows();
// The finger row that covers a key character, -1 for none.
int fingerOfKey(QChar key);

class KeyboardLessonCore {
public:
    static constexpr int kPages = 5;
    static constexpr int kCheckPage = 3;
    static constexpr int kQuizPage = 5;
    static constexpr int kPauseMs = 2000;
    static constexpr const char* kHomeKeys = "ASDFJKL;";
    // Characters kept beyond this while paused are dropped, so a child leaning on the keyboard does not
    // queue minutes of banners.
    static constexpr std::size_t kMaxPending = 32;

    enum class Banner { None, Correct, Wrong };
    struct Mark {
        int cell;
        bool correct;
    };

    explicit KeyboardLessonCore(Random& random);

    lesson::PageBook& book() { return book_; }
    const lesson::PageBook& book() const { return book_; }
    int page() const { return book_.page(); }

    static lesson::Area startArea() { return {529, 85, 648, 133}; }
    // START can be clicked at p (page 5, quiz waiting).
    bool startAt(QPoint p) const;
    // A click that START takes begins the quiz; true when used.
    bool clickStart(QPoint p);

    // A page turn begins: the old page's pause and kept characters are dropped, new ones wait for the turn.
    void beginTurn();
    // The turn ended on `page`: its exercise is reset and kept characters are judged.
    void enterPage(int page);

    void type(QChar ch);
    bool paused() const { return paused_; }
    // The pause is over: the check starts over or the next quiz round begins; kept characters follow.
    void endPause();
    std::size_t pendingCount() const { return pending_.size(); }

    // What the current page shows over its picture.
    bool quizStarted() const { return quizStarted_; }
    int fingerRow() const { return fingerRow_; }
    bool promptShown() const { return page() == kQuizPage && quizStarted_; }
    QString target() const { return target_; }
    QString remaining() const { return remaining_; }
    const std::vector<Mark>& marks() const { return marks_; }
    Banner banner() const { return banner_; }
    // Keys judged on the page since it was entered, and the wrong ones among them.
    int judged() const { return judged_; }
    int wrongKeys() const { return wrong_; }
    QPoint bannerPosition() const;

private:
    void resetCheck();
    void resetQuiz();
    void newRound();
    void judge(QChar ch);
    void judgePending();

    Random& random_;
    lesson::PageBook book_;
    bool turning_ = false;
    bool paused_ = false;
    bool quizStarted_ = false;
    int fingerRow_ = -1;
    QString target_;
    QString remaining_;
    std::vector<Mark> marks_;
    Banner banner_ = Banner::None;
    int judged_ = 0;
    int wrong_ = 0;
    std::deque<QChar> pending_;
};

} // namespace halvor
