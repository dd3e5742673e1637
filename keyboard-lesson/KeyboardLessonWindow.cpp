#include "KeyboardLessonWindow.h"

namespace halvor {

namespace {

std::vector<int> lessonBitmaps() {
    using W = KeyboardLessonWindow;
    std::vector<int> ids;
    for (int page = 1; page <= KeyboardLessonCore::kPages; ++page)
        ids.push_back(W::kPageBitmap + page);
    for (int id : {W::kCorrectBanner, W::kWrongBanner, W::kCorrectLayer, W::kWrongLayer, W::kPromptBanner})
        ids.push_back(id);
    return ids;
}

} // namespace

KeyboardLessonWindow::KeyboardLessonWindow(QString commandLine, Random* random, QWidget* parent)
    : LessonWindow("PELVORAN11", lessonBitmaps(), kIcon, kHandCursor, commandLine, parent),
      core_(lesson::randomOrSeeded(random, ownRandom_)) {
    pause_.setSingleShot(true);
    pause_.setInterval(KeyboardLessonCore::kPauseMs);
    connect(&pause_, &QTimer::timeout, this, [this] {
        core_.endPause();
        afterChange();
    });
    core_.enterPage(1);
    redraw();
}

void KeyboardLessonWindow::finishPause() {
    if (!pause_.isActive())
        return;
    pause_.stop();
    core_.endPause();
    afterChange();
}

void KeyboardLessonWindow::afterChange() {
    if (core_.paused() && !pause_.isActive())
        pause_.start();
    redraw();
}

void KeyboardLessonWindow::putMark(const KeyboardLessonCore::Mark& mark) {
    const lesson::Area& cell = keyCells()[static_cast<std::size_t>(mark.cell)].area;
    const QRect source = cell.rect();
    CMN_DXPutSurface(backSurface(), cell.left, cell.top, surface(mark.correct ? kCorrectLayer : kWrongLayer),
                     &source);
}

void KeyboardLessonWindow::render() {
    CMN_Surface* back = backSurface();
    CMN_DXPutSurface(back, 0, 0, pageSurface(core_.page()));
    if (core_.promptShown()) {
        CMN_DXPutSurface(back, 32, 67, surface(kPromptBanner));
        const QString& name = fingerRows()[static_cast<std::size_t>(core_.fingerRow())].name;
        CMN_DXTextOut(back, 130, 103, name, QStringLiteral("ＭＳ ゴシック"), 150, 0x000000, 0xffffff, 1, 1, 0,
                      0);
    }
    for (const auto& mark : core_.marks())
        putMark(mark);
    if (core_.banner() != KeyboardLessonCore::Banner::None) {
        const QPoint at = core_.bannerPosition();
        const int id = core_.banner() == KeyboardLessonCore::Banner::Correct ? kCorrectBanner : kWrongBanner;
        CMN_DXPutSurface(back, at.x(), at.y(), surface(id));
    }
}

void KeyboardLessonWindow::turnStarting() {
    pause_.stop();
    core_.beginTurn();
}

void KeyboardLessonWindow::pageEntered(int page) {
    core_.enterPage(page);
    if (core_.paused() && !pause_.isActive())
        pause_.start();
}

bool KeyboardLessonWindow::pageClicked(QPoint p) {
    if (!core_.clickStart(p))
        return false;
    afterChange();
    return true;
}

lesson::LessonWindow::Exercise KeyboardLessonWindow::exercise() const {
    // The home-position check goes on as long as its page shows; the finger quiz once it was started.
    Exercise e;
    e.going = core_.page() == KeyboardLessonCore::kCheckPage || core_.quizStarted();
    e.figures.keystrokes = core_.judged();
    e.figures.errors = core_.wrongKeys();
    e.figures.accuracy = presence::accuracyOf(core_.judged(), core_.wrongKeys());
    return e;
}

void KeyboardLessonWindow::typed(QChar ch) {
    core_.type(ch);
    if (!wiping())
        afterChange();
}

} // namespace halvor
