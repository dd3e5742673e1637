#include "LessonWindow.h"

#include "Reporter.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <utility>

namespace halvor::lesson {

namespace {
constexpr COLORREF kColourKey = 0xff0000; // pure blue is see-through in every bitmap
// The fingertip of the hand cursor's picture.
constexpr int kHandHotX = 9;
constexpr int kHandHotY = 1;
} // namespace

Random& randomOrSeeded(Random* given, std::unique_ptr<Random>& own) {
    if (given)
        return *given;
    auto random = std::make_unique<StdRandom>();
    random->seed(static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch()));
    own = std::move(random);
    return *own;
}

LessonWindow::LessonWindow(const char* captionKey, std::vector<int> bitmapIds, int iconId, int handCursorId,
                           QString commandLine, QWidget* parent)
    : QWidget(parent), bitmapIds_(std::move(bitmapIds)), returnCommand_(CMN_ReturnCommand(commandLine)) {
    CMN_SetWindowIcon(this, QString::number(iconId));
    CMN_SetWindowTitle(captionKey, this);
    hand_ = CMN_LoadCursor(handCursorId, kHandHotX, kHandHotY);
    CMN_SetWindowSize(this, 720, 540);
    if (!parent)
        CMN_CentreWindow(this); // where the menus and drills are
    setFocusPolicy(Qt::StrongFocus);
    installEventFilter(this);

    drawArea_ = new QWidget(this);
    drawArea_->setObjectName(QStringLiteral("drawArea"));
    drawArea_->setGeometry(0, 0, 720, 540);
    drawArea_->setFocusPolicy(Qt::NoFocus);
    drawArea_->setMouseTracking(true);
    drawArea_->installEventFilter(this);

    if (!setUpDrawing())
        postClose(); // the close path still starts the caller
}

LessonWindow::~LessonWindow() {
    wipe_.cancel();
    releaseDrawing();
}

bool LessonWindow::setUpDrawing() {
    back_ = CMN_DXInitDirectDraw7(drawArea_);
    if (!back_)
        return false;
    if (!loadSurfaces(false)) {
        releaseDrawing();
        return false;
    }
    CMN_DXSetRestoreCallbackFunc([this] {
        if (back_ && loadSurfaces(true))
            redraw();
    });
    return true;
}

bool LessonWindow::loadSurfaces(bool reload) {
    CMN_DXSetColorKey(nullptr, kColourKey, kColourKey); // every picture loaded from now on is keyed
    if (reload) {
        for (auto& [id, loaded] : surfaces_) {
            if (!CMN_DXCreateSurfaceFromBitmap(loaded, id))
                return false;
        }
        return true;
    }
    // Only whether every picture is there is known at start; each is drawn when first shown, so the first
    // page appears without waiting for the others (and they take no memory until then).
    for (int id : bitmapIds_) {
        if (!CMN_DXHasBitmap(id))
            return false;
    }
    return true;
}

void LessonWindow::releaseDrawing() {
    if (!back_)
        return;
    CMN_DXSetRestoreCallbackFunc(nullptr);
    CMN_DXReleaseDirectDraw7();
    back_ = nullptr;
    surfaces_.clear();
}

CMN_Surface* LessonWindow::surface(int id) const {
    if (auto it = surfaces_.find(id); it != surfaces_.end())
        return it->second;
    if (!back_ || std::find(bitmapIds_.begin(), bitmapIds_.end(), id) == bitmapIds_.end())
        return nullptr;
    CMN_Surface* loaded = CMN_DXCreateSurfaceFromBitmap(nullptr, id);
    if (loaded)
        surfaces_[id] = loaded;
    return loaded;
}

CMN_Surface* LessonWindow::pageSurface(int page) const {
    if (page < 1 || page > static_cast<int>(bitmapIds_.size()))
        return nullptr;
    return surface(bitmapIds_[static_cast<std::size_t>(page - 1)]);
}

void LessonWindow::redraw() {
    if (!back_)
        return;
    render();
    CMN_DXFlip();
    tellPresence();
}

void LessonWindow::tellPresence() {
    const int page = book().page();
    if (page != reportedPage_) {
        if (exercising_)
            presence::runStopped();
        exercising_ = false;
        reportedPage_ = page;
        presence::setCourse(QStringLiteral("P%1").arg(page));
    }
    const Exercise e = exercise();
    if (e.going) {
        if (!exercising_)
            presence::runStarted();
        exercising_ = true;
        presence::progress(e.figures);
    } else if (exercising_) {
        exercising_ = false;
        if (e.done)
            presence::runFinished(e.figures);
        else
            presence::runStopped();
    }
}

void LessonWindow::turnTo(int t) {
    const int current = book().page();
    if (!back_ || wipe_.running() || t < 1 || t > book().pageCount() || t == current)
        return;
    CMN_Surface* next = pageSurface(t);
    if (!next)
        return;
    turnStarting();
    const bool forward = t > current;
    wipe_.start(
        [this, next, forward](int step) {
            if (!back_)
                return;
            const WipeStrip strip = wipeStrip(step, forward);
            CMN_DXPutSurface(back_, strip.at.x(), strip.at.y(), next, &strip.source);
            CMN_DXFlip();
        },
        [this, t] {
            book().setPage(t);
            pageEntered(t);
            redraw();
            updateCursor(drawArea_->mapFromGlobal(QCursor::pos()));
        });
}

void LessonWindow::postClose() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void LessonWindow::updateCursor(QPoint p) {
    const bool hand = book().actionAt(p) != PageAction::None || pageClickable(p);
    if (hand == handShown_)
        return;
    handShown_ = hand;
    drawArea_->setCursor(hand ? hand_ : QCursor(Qt::ArrowCursor));
}

bool LessonWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != this && watched != drawArea_)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape)
            return true;
        // A held key's repeats would be judged one by one, each a fresh mistake and pause.
        if (key->isAutoRepeat())
            return true;
        // Only typed characters count; a chord with Ctrl, Alt or the system key is a command.
        for (QChar ch : CMN_TypedText(key)) {
            if (ch.isPrint())
                typed(ch);
        }
        return !key->text().isEmpty();
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = mouse->position().toPoint();
        updateCursor(p);
        pageMouseMoved(p, mouse->buttons() & Qt::LeftButton);
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || watched != drawArea_)
            return false;
        const QPoint p = mouse->position().toPoint();
        updateCursor(p);
        // A click while the page slides would act on a page the learner no longer sees.
        if (wipe_.running())
            return true;
        if (event->type() == QEvent::MouseButtonDblClick && pageDoubleClicked(p))
            return true;
        if (!pageClicked(p)) {
            const PageAction action = book().actionAt(p);
            if (action == PageAction::Close)
                postClose();
            else if (action != PageAction::None)
                turnTo(book().target(action));
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && watched == drawArea_)
            pageMouseReleased(mouse->position().toPoint());
        return false;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void LessonWindow::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        wipe_.cancel();
        releaseDrawing();
        if (!returnCommand_.isEmpty())
            CMN_ExecPGM2(returnCommand_, 0, 0, nullptr);
    }
    event->accept();
}

} // namespace halvor::lesson
