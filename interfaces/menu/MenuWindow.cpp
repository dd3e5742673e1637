#include "MenuWindow.h"

#include "Common.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QPainter>
#include <QWindow>

Q_LOGGING_CATEGORY(lcMenu, "halvor.menu")

namespace halvor {

namespace {

// The first paint of the program raises its window once, so a menu started by another program comes to
// the front instead of opening behind the one that just closed.
bool firstPaint = true;

// Rendered for the pixel density the window is shown at, so the picture stays sharp on a scaled screen. Kept
// as the image it was loaded as: on the raster screen a pixmap would only be a copy of it.
QImage renderBackground(int id, QSize size, qreal ratio) {
    const QImage picture = CMN_LoadPicture(QString::number(id), ratio, size);
    if (picture.isNull()) {
        qCWarning(lcMenu) << "background picture missing:" << id;
        QImage blank(size * ratio, QImage::Format_RGB32);
        blank.setDevicePixelRatio(ratio);
        blank.fill(Qt::white);
        return blank;
    }
    if (CMN_IsOpaque(picture))
        return picture;
    // A picture with see-through parts is laid on white, since the window fills nothing under it.
    QImage filled(picture.size(), QImage::Format_RGB32);
    filled.setDevicePixelRatio(ratio);
    filled.fill(Qt::white);
    QPainter(&filled).drawImage(0, 0, picture);
    return filled;
}

bool isInputEvent(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        return true;
    default:
        return false;
    }
}

} // namespace

MenuWindow::MenuWindow(const MenuLook& look, std::span<const MenuButton> buttons,
                       std::span<const int> tabOrder, QWidget* parent)
    : QDialog(parent) {
    // Caption bar, close and minimise boxes, a taskbar entry, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    CMN_SetWindowIcon(this, QString::number(look.iconId));
    CMN_SetWindowTitle(look.titleKey, this);
    CMN_SetWindowSize(this, 720, 540);
    // The background picture covers the whole window: nothing need be filled under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    backgroundId_ = look.backgroundId;

    const QCursor hand = CMN_LoadCursor(look.cursorId, look.cursorHotX, look.cursorHotY);
    CMN_PictureButton::setHandCursor(hand);
    setCursor(Qt::ArrowCursor);

    for (const MenuButton& row : buttons) {
        auto* button = new CMN_PictureButton(QString::fromLatin1(row.caption), this);
        button->setObjectName(QString::fromLatin1(row.caption));
        button->setGeometry(row.x, row.y, 16, 16);
        button->resize(button->sizeHint());
        button->setCursor(hand);
        button->setFocusPolicy(Qt::StrongFocus);
        const int id = row.id;
        connect(button, &QAbstractButton::clicked, this, [this, id] {
            if (!leaving_)
                buttonClicked(id);
        });
        buttons_.push_back(button);
        ids_.push_back(row.id);
    }

    QWidget* previous = nullptr;
    for (int id : tabOrder) {
        QWidget* next = button(id);
        if (!next)
            continue;
        if (previous)
            setTabOrder(previous, next);
        else
            next->setFocus(Qt::OtherFocusReason);
        previous = next;
    }

    // Enter and Esc reach whatever widget has the focus, so they are caught application-wide.
    qApp->installEventFilter(this);

    if (!initSound(look.musicId)) {
        qCWarning(lcMenu) << "no sound; the menu closes";
        CMN_DSSetRestoreCallbackFunc({});
        CMN_DSReleaseDirectSound();
        soundReleased_ = true;
        postClose();
    }
}

MenuWindow::~MenuWindow() {
    qApp->removeEventFilter(this);
    if (!soundReleased_) {
        CMN_DSSetRestoreCallbackFunc({});
        CMN_DSReleaseDirectSound();
    }
}

CMN_PictureButton* MenuWindow::button(int id) const {
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        if (ids_[i] == id)
            return buttons_[i];
    }
    return nullptr;
}

bool MenuWindow::initSound(int musicId) {
    primary_ = CMN_DSInitDirectSound(this);
    if (!primary_)
        return false;
    music_ = CMN_DSCreateBufferFromWave(nullptr, musicId);
    if (!music_)
        return false;
    CMN_DSSetRestoreCallbackFunc([this, musicId] { CMN_DSCreateBufferFromWave(music_, musicId); });
    CMN_DSPlaySound(primary_, 1);
    startMusic();
    return true;
}

void MenuWindow::startMusic() {
    stopMusic();
    CMN_DSSetVolume(music_, 0);
    CMN_DSSetCurrentPosition(music_, 0);
    CMN_DSPlaySound(music_, 1);
}

void MenuWindow::stopMusic() {
    if (!music_ || soundReleased_)
        return;
    CMN_DSSetVolume(music_, -10000);
    CMN_DSPlaySound(music_, 1);
    CMN_DSStopSound(music_);
}

bool MenuWindow::musicPlaying() const {
    return music_ && !soundReleased_ && CMN_DSIsPlayingSound(music_) != 0;
}

bool MenuWindow::startProgram(const QString& file, const QString& argument, bool discardInput) {
    stopMusic();
    const bool started = CMN_STDExecPGM2(file, argument, 1, this) != 0;
    if (started)
        onProgramStarted();
    else
        qCInfo(lcMenu) << "could not start" << file;
    if (discardInput)
        discardQueuedInput();
    if (started)
        postClose();
    return started;
}

void MenuWindow::discardQueuedInput() {
    // Whatever the learner clicked or typed while the program was being started is dropped, not acted on.
    // The close is posted only after this, so it cannot run inside the click handler.
    discarding_ = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    discarding_ = false;
}

void MenuWindow::postClose() {
    leaving_ = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MenuWindow::paintEvent(QPaintEvent*) {
    if (firstPaint) {
        firstPaint = false;
        raise();
        activateWindow();
    }
    QPainter painter(this);
    if (const qreal ratio = CMN_PixelRatio(this);
        background_.isNull() || background_.devicePixelRatio() != ratio)
        background_ = renderBackground(backgroundId_, QSize(720, 540), ratio);
    painter.drawImage(0, 0, background_);
}

void MenuWindow::closeEvent(QCloseEvent* event) {
    // A close while hidden would not end the dialog by itself; the leaving work must run all the same.
    finish();
    QDialog::closeEvent(event);
}

void MenuWindow::done(int result) {
    finish();
    QDialog::done(result);
}

void MenuWindow::finish() {
    if (finished_)
        return;
    finished_ = true;
    leaving_ = true;
    if (!soundReleased_) {
        CMN_DSSetRestoreCallbackFunc({});
        CMN_DSReleaseDirectSound();
        soundReleased_ = true;
    }
    onClose();
    emit closed();
}

bool MenuWindow::ownsObject(QObject* object) const {
    if (object == this)
        return true;
    if (auto* widget = qobject_cast<QWidget*>(object))
        return isAncestorOf(widget);
    if (auto* window = qobject_cast<QWindow*>(object))
        return window == windowHandle();
    return false;
}

bool MenuWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!isInputEvent(type))
        return false;
    if (discarding_)
        return true;
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) && ownsObject(watched))
            return true;
    }
    return false;
}

} // namespace halvor
