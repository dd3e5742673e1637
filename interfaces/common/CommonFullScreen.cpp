// The pixel density windows are drawn at, and full screen: F11 shows the program's 720 x 540 window scaled
// to fill the screen, aspect kept, the rest in the window's background colour; F11 again gives it back. The
// window is shown through a full-screen graphics view, which draws it through a scaling painter (text and
// shapes stay sharp, pictures are made at the zoomed density) and maps the mouse back to the window.
#include "Common.h"

#include <QApplication>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

const QSize kClientSize(720, 540);

class FullScreenHost : public QGraphicsView {
public:
    explicit FullScreenHost(QWidget* window) : window_(window) {
        setObjectName(QStringLiteral("halvorFullScreen"));
        setWindowTitle(window->windowTitle());
        setWindowIcon(window->windowIcon());
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setBackgroundBrush(window->palette().color(window->backgroundRole()));
        setScene(&scene_);
        place_ = window->pos();
        proxy_ = scene_.addWidget(window);
        proxy_->setPos(0, 0); // the window's place on the screen means nothing in the view
        scene_.setSceneRect(QRectF(QPointF(0, 0), QSizeF(window->size())));
        setAlignment(Qt::AlignCenter);
        window->installEventFilter(this);
    }
    ~FullScreenHost() override { release(); }

    QWidget* shown() const { return window_; }
    qreal zoom() const { return zoom_; }

    // Gives the window back as a window of its own; it never goes down with the view.
    void release() {
        if (!window_)
            return;
        window_->removeEventFilter(this);
        if (proxy_)
            proxy_->setWidget(nullptr);
        QWidget* window = window_;
        window_ = nullptr;
        zoom_ = 1;
        window->move(place_);
        window->update();
        for (QWidget* child : window->findChildren<QWidget*>())
            child->update();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QGraphicsView::resizeEvent(event);
        const QSizeF room = viewport()->size();
        zoom_ = std::max(0.01,
                         std::min(room.width() / kClientSize.width(), room.height() / kClientSize.height()));
        setTransform(QTransform::fromScale(zoom_, zoom_));
        centerOn(scene_.sceneRect().center());
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A window that closes or hides takes the full screen with it.
        if (watched == window_ && (event->type() == QEvent::Hide || event->type() == QEvent::Close))
            QMetaObject::invokeMethod(
                this, [this] { leave(false); }, Qt::QueuedConnection);
        return QGraphicsView::eventFilter(watched, event);
    }

public:
    // Back to the window of its own; `reshow` false when the window is closing anyway.
    void leave(bool reshow) {
        QPointer<QWidget> window = window_.data();
        release();
        hide();
        deleteLater();
        if (window && reshow) {
            window->setAttribute(Qt::WA_DontShowOnScreen, false);
            // Still shown as far as the widget knows (hiding would end a dialog's exec), so only its native
            // window is brought back.
            if (window->isVisible()) {
                window->winId(); // makes the native window again if the view took it
                if (QWindow* native = window->windowHandle())
                    native->show();
            } else {
                window->show();
            }
            window->activateWindow();
        }
    }

private:
    QGraphicsScene scene_;
    QGraphicsProxyWidget* proxy_ = nullptr;
    QPointer<QWidget> window_;
    QPoint place_;
    qreal zoom_ = 1;
};

QPointer<FullScreenHost>& host() {
    static QPointer<FullScreenHost> h;
    return h;
}

void toggle(QWidget* window) {
    if (FullScreenHost* current = host()) {
        current->leave(true);
        return;
    }
    // Only the program's own window goes full screen, not a dialog or message over it.
    if (!window || window->parentWidget() || window->size() != kClientSize || !window->isVisible())
        return;
    QScreen* screen = window->screen();
    auto* fresh = new FullScreenHost(window);
    host() = fresh;
    // The whole screen even without a window manager to honour the full-screen state.
    if (screen)
        fresh->setGeometry(screen->geometry());
    fresh->showFullScreen();
    fresh->activateWindow();
    fresh->setFocus();
}

class FullScreenKey : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F11)
            return false;
        // F11 belongs to the window, never to a drill or a button, whatever has the focus. The key comes to
        // the native window first, then to the widget with the focus; the first to see it acts.
        if (type == QEvent::KeyPress && !key->isAutoRepeat()) {
            QWidget* window = watched->isWidgetType() ? static_cast<QWidget*>(watched)->window()
                                                      : QApplication::activeWindow();
            toggle(window);
        }
        return true;
    }
};

} // namespace

void CMN_EnableFullScreenKey() {
    static FullScreenKey* filter = [] {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return static_cast<FullScreenKey*>(nullptr);
        auto* f = new FullScreenKey;
        qApp->installEventFilter(f);
        qAddPostRoutine([] {
            if (FullScreenHost* current = host())
                delete current; // gives the window back before the application goes
        });
        return f;
    }();
    Q_UNUSED(filter);
}

bool CMN_IsFullScreen(const QWidget* window) {
    const FullScreenHost* current = host();
    return current && window && current->shown() == window->window();
}

qreal CMN_PixelRatio(const QWidget* widget) {
    qreal ratio = widget ? widget->devicePixelRatioF() : qApp ? qApp->devicePixelRatio() : 1.0;
    if (ratio <= 0)
        ratio = 1.0;
    if (const FullScreenHost* current = host(); current && widget && current->shown() == widget->window())
        ratio *= current->zoom();
    return ratio;
}
