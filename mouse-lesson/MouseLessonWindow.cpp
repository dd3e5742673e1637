#include "MouseLessonWindow.h"

#include <QCloseEvent>

namespace halvor {

namespace {

std::vector<int> lessonBitmaps() {
    using W = MouseLessonWindow;
    std::vector<int> ids;
    for (int page = 1; page <= MouseLessonCore::kPages; ++page)
        ids.push_back(W::kPageBitmap + page);
    for (int id = W::kTarget; id <= W::kHintBanner; ++id)
        ids.push_back(id);
    return ids;
}

const Clock& chooseClock(const Clock* given, std::unique_ptr<Clock>& own) {
    if (given)
        return *given;
    own = std::make_unique<SystemClock>();
    return *own;
}

constexpr COLORREF kNavy = 0x673a2b; // the suite's outline colour, 0x00BBGGRR
constexpr COLORREF kWhite = 0xffffff;

} // namespace

MouseLessonWindow::MouseLessonWindow(QString commandLine, Random* random, const Clock* clock, QWidget* parent)
    : LessonWindow("SORVANEL11", lessonBitmaps(), kIcon, kHandCursor, commandLine, parent),
      core_(lesson::randomOrSeeded(random, ownRandom_), chooseClock(clock, ownClock_)) {
    slide_.setInterval(16);
    connect(&slide_, &QTimer::timeout, this, [this] {
        if (!core_.sliding())
            slide_.stop();
        redraw();
    });
    // The lesson works silently when there is no sound.
    if (CMN_DSInitDirectSound(this)) {
        soundReady_ = true;
        hitSound_ = CMN_DSCreateBufferFromWave(nullptr, kHitSound);
    }
    core_.enterPage(1);
    redraw();
}

MouseLessonWindow::~MouseLessonWindow() {
    releaseSound();
}

void MouseLessonWindow::releaseSound() {
    if (!soundReady_)
        return;
    soundReady_ = false;
    hitSound_ = nullptr;
    CMN_DSReleaseDirectSound();
}

void MouseLessonWindow::closeEvent(QCloseEvent* event) {
    slide_.stop();
    releaseSound();
    LessonWindow::closeEvent(event);
}

QString MouseLessonWindow::clickResult() const {
    const double seconds = core_.clickMilliseconds() / 1000.0;
    return QStringLiteral("じかん %1 びょう　　ミス %2 かい").arg(seconds, 0, 'f', 1).arg(core_.misses());
}

lesson::LessonWindow::Exercise MouseLessonWindow::exercise() const {
    // An exercise goes from the learner's first try until it is done: targets hit (with the misses and
    // the time), presents opened, fruits in the basket.
    Exercise e;
    presence::Figures& f = e.figures;
    int done = 0;
    switch (core_.page()) {
    case MouseLessonCore::kClickPage:
        done = core_.hits();
        f.total = MouseLessonCore::kTargets;
        f.errors = core_.misses();
        f.accuracy = presence::accuracyOf(core_.hits() + core_.misses(), core_.misses());
        f.seconds = core_.clickMilliseconds() / 1000.0;
        e.done = core_.clicksDone();
        e.going = core_.hits() + core_.misses() > 0; // the first try starts it, though no time has passed
        break;
    case MouseLessonCore::kDoubleClickPage:
        for (int i = 0; i < MouseLessonCore::kPresents; ++i)
            done += core_.opened(i) ? 1 : 0;
        f.total = MouseLessonCore::kPresents;
        e.done = core_.presentsDone();
        e.going = done > 0;
        break;
    case MouseLessonCore::kDragPage:
        for (int i = 0; i < MouseLessonCore::kFruits; ++i)
            done += core_.inBasket(i) ? 1 : 0;
        f.total = MouseLessonCore::kFruits;
        e.done = core_.fruitsDone();
        e.going = done > 0 || core_.dragged() >= 0;
        break;
    default:
        return e;
    }
    f.done = done;
    e.going = e.going && !e.done;
    return e;
}

QString MouseLessonWindow::remainingText() const {
    return QStringLiteral("あと %1 こ").arg(MouseLessonCore::kTargets - core_.hits());
}

void MouseLessonWindow::putCentred(int id, QPoint centre) {
    CMN_Surface* s = surface(id);
    if (!s)
        return;
    const QSize size = CMN_SurfaceSize(s);
    CMN_DXPutSurface(backSurface(), centre.x() - size.width() / 2, centre.y() - size.height() / 2, s);
}

void MouseLessonWindow::render() {
    CMN_Surface* back = backSurface();
    CMN_DXPutSurface(back, 0, 0, pageSurface(core_.page()));
    const QString font = QStringLiteral("ＭＳ Ｐゴシック");
    switch (core_.page()) {
    case MouseLessonCore::kClickPage:
        // The count stays in its box to the end ("あと 0 こ"); texts go straight onto the page's own colours.
        CMN_DXTextOut(back, 560, 64, remainingText(), font, 160, kNavy, kWhite, 1, 1);
        if (core_.clicksDone()) {
            CMN_DXPutSurface(back, 29, 180, surface(kWellDoneBanner));
            CMN_DXTextOut(back, 150, 300, clickResult(), font, 220, kNavy, kWhite, 1, 1);
        } else {
            putCentred(kTarget, core_.target());
        }
        break;
    case MouseLessonCore::kDoubleClickPage:
        for (int i = 0; i < MouseLessonCore::kPresents; ++i) {
            const auto area = MouseLessonCore::presentArea(i);
            CMN_DXPutSurface(back, area.left, area.top,
                             surface(core_.opened(i) ? kPresentOpen : kPresentClosed));
        }
        if (core_.presentsDone())
            CMN_DXPutSurface(back, 29, 360, surface(kWellDoneBanner));
        else if (core_.hintShown())
            CMN_DXPutSurface(back, 150, 370, surface(kHintBanner));
        break;
    case MouseLessonCore::kDragPage:
        for (int i = 0; i < MouseLessonCore::kFruits; ++i) {
            if (i != core_.dragged())
                putCentred(kFirstFruit + i, core_.fruitPosition(i));
        }
        if (core_.dragged() >= 0)
            putCentred(kFirstFruit + core_.dragged(), core_.fruitPosition(core_.dragged()));
        if (core_.fruitsDone()) // between the instructions and the basket
            CMN_DXPutSurface(back, 29, 96, surface(kWellDoneBanner));
        break;
    default:
        break;
    }
}

void MouseLessonWindow::afterChange() {
    if (core_.successes() != successesHeard_) {
        successesHeard_ = core_.successes();
        if (hitSound_)
            CMN_DSPlaySound(hitSound_, 0);
    }
    if (core_.sliding() && !slide_.isActive())
        slide_.start();
    redraw();
}

bool MouseLessonWindow::pageClicked(QPoint p) {
    if (!core_.press(p))
        return false;
    afterChange();
    return true;
}

bool MouseLessonWindow::pageDoubleClicked(QPoint p) {
    if (!core_.doubleClick(p))
        return false;
    afterChange();
    return true;
}

void MouseLessonWindow::pageMouseMoved(QPoint p, bool buttonDown) {
    if (!buttonDown || core_.dragged() < 0)
        return;
    core_.move(p);
    redraw();
}

void MouseLessonWindow::pageMouseReleased(QPoint p) {
    if (core_.dragged() < 0)
        return;
    core_.release(p);
    afterChange();
}

} // namespace halvor
