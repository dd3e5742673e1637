// The pixel density windows are drawn at, and full screen: F11 shows the program's 720 x 540 window scaled
// to fill the screen, aspect kept, the rest in the window's background colour; F11 again gives it back. The
// window is shown through a full-screen graphics view, which draws it through a scaling painter (text and
// shapes stay sharp, pictures are made at the zoomed density) and maps the mouse back to the window.
//
// Full screen is one state for the whole suite. Every other window the program shows meanwhile (a message,
// a chart, the instructions) is shown through a view of its own, scaled like the program's window and
// centred on the screen; one as large as the program's window fills the screen, so nothing of the drill
// shows around it. A program started from a full-screen program starts full screen.
#include "Common.h"
#include "CommonDetail.h"

#include <QApplication>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace {

const QSize kClientSize(720, 540);
// A message box is kept this far inside the screen's edges.
constexpr qreal kScreenShare = 0.94;

class Host;

struct State {
    bool suite = false;                  // the learner's choice, passed on to the programs this one starts
    bool startPending = false;           // the first window of this program opens full screen
    QPointer<Host> screen;               // the program's window in full screen
    std::vector<QPointer<Host>> dialogs; // windows shown over it, the newest last
};

State& state() {
    static State s;
    return s;
}

// Whether `window` is shown as the program's window: parentless and of the suite's one window size.
bool isProgramWindow(const QWidget* window) {
    return window && window->isWindow() && !window->parentWidget() && window->size() == kClientSize;
}

// One window of the program shown through a scaling view: the program's window itself (filling the screen),
// or a window shown over it (a dialog of its scaled size in the middle of the screen, or the whole screen
// for one as large as the program's window).
class Host : public QGraphicsView {
public:
    enum class Kind { ProgramWindow, Dialog, ScreenDialog };

    Host(QWidget* window, Kind kind, QWidget* below) : QGraphicsView(below), window_(window), kind_(kind) {
        setObjectName(kind == Kind::ProgramWindow ? QStringLiteral("halvorFullScreen")
                                                  : QStringLiteral("halvorFullScreenDialog"));
        if (kind != Kind::ProgramWindow)
            setWindowFlags(Qt::Dialog);
        setWindowTitle(window->windowTitle());
        // A window without an icon of its own shows the program's, never the toolkit's.
        const QWidget* iconFrom = below ? below->window() : window;
        setWindowIcon(window->windowIcon().isNull() ? iconFrom->windowIcon() : window->windowIcon());
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setScene(&scene_);
        place_ = window->pos();
        // A window that Qt put in the scene of the window it belongs to comes out of it first.
        if (QGraphicsProxyWidget* embedded = window->graphicsProxyWidget()) {
            embedded->setWidget(nullptr);
            delete embedded;
        }
        // In a scene a window takes the colours and font of the window it belongs to; it keeps its own, so
        // it looks as it does outside full screen.
        ownPalette_ = window->testAttribute(Qt::WA_SetPalette);
        ownFont_ = window->testAttribute(Qt::WA_SetFont);
        QPalette palette = window->palette();
        QFont font = window->font();
        palette.setResolveMask(~QPalette::ResolveMask(0));
        font.setResolveMask(QFont::AllPropertiesResolved);
        setBackgroundBrush(palette.color(window->backgroundRole()));
        // The view takes the window's modality: the window itself is never on the screen, and left modal it
        // would block the view that shows it.
        modality_ = window->windowModality();
        if (kind != Kind::ProgramWindow) {
            window->setWindowModality(Qt::NonModal);
            setWindowModality(modality_);
        }
        // Watched before the proxy watches it, so this view hears of a move or resize after the proxy.
        window->installEventFilter(this);
        proxy_ = scene_.addWidget(window);
        if (window->parentWidget()) {
            window->setPalette(palette);
            window->setFont(font);
        }
        proxy_->setPos(0, 0); // the window's place on the screen means nothing in the view
        fitScene();
        setAlignment(Qt::AlignCenter);
    }
    ~Host() override { release(); }

    QWidget* shown() const { return window_; }
    Kind kind() const { return kind_; }
    qreal zoom() const { return zoom_; }

    // Shown over the whole screen the program's window is on, or as a dialog in its middle.
    void showOn(QScreen* screen) {
        screen_ = screen;
        // Keys go to the window's focus widget (a message box's default button) from the first.
        if (proxy_)
            proxy_->setFocus(Qt::ActiveWindowFocusReason);
        if (kind_ == Kind::Dialog) {
            place();
            show();
        } else {
            if (screen)
                setGeometry(screen->geometry()); // the whole screen even without a window manager
            showFullScreen();
        }
        activateWindow();
        setFocus();
    }

    // Gives the window back as a window of its own; it never goes down with the view.
    void release() {
        if (!window_)
            return;
        window_->removeEventFilter(this);
        if (kind_ != Kind::ProgramWindow)
            window_->setWindowModality(modality_);
        if (proxy_)
            proxy_->setWidget(nullptr);
        if (window_->parentWidget()) {
            if (!ownPalette_)
                window_->setPalette(QPalette());
            if (!ownFont_)
                window_->setFont(QFont());
        }
        QWidget* window = window_;
        window_ = nullptr;
        zoom_ = 1;
        window->move(place_);
        window->update();
        for (QWidget* child : window->findChildren<QWidget*>())
            child->update();
    }

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

protected:
    void resizeEvent(QResizeEvent* event) override {
        QGraphicsView::resizeEvent(event);
        rezoom();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_)
            return QGraphicsView::eventFilter(watched, event);
        switch (event->type()) {
        case QEvent::Hide:
        case QEvent::Close:
            if (kind_ == Kind::ProgramWindow) {
                // A window that closes or hides takes the full screen with it.
                QMetaObject::invokeMethod(
                    this, [this] { leave(false); }, Qt::QueuedConnection);
            } else if (event->type() == QEvent::Hide) {
                // At once: a dialog's exec() returns right after, and the window must be its own again by
                // then (with its modality) should it be shown once more. The keys go back to the window under
                // it, even where no window manager hands them on.
                release();
                hide();
                deleteLater();
                if (QWidget* under = parentWidget())
                    under->activateWindow();
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
            // A dialog places itself over its parent as it is shown, and a message box takes its size then.
            fitScene();
            if (kind_ == Kind::Dialog)
                place();
            else
                rezoom();
            break;
        case QEvent::WindowTitleChange:
            setWindowTitle(window_->windowTitle());
            break;
        default:
            break;
        }
        return QGraphicsView::eventFilter(watched, event);
    }

private:
    // The zoom of the program's window; a dialog is never drawn larger than that.
    static qreal programZoom() {
        const Host* screen = state().screen;
        return screen ? screen->zoom() : 1.0;
    }

    // The largest zoom that shows the whole window in the view; a dialog's never above the program's.
    void rezoom() {
        const QSizeF room = viewport()->size();
        const QSizeF size = window_ ? QSizeF(window_->size()) : QSizeF(kClientSize);
        qreal zoom = std::min(room.width() / size.width(), room.height() / size.height());
        if (kind_ != Kind::ProgramWindow)
            zoom = std::min(zoom, programZoom());
        zoom_ = std::max(0.01, zoom);
        setTransform(QTransform::fromScale(zoom_, zoom_));
        centerOn(scene_.sceneRect().center());
    }

    // The view shows the window wherever the proxy holds it, at the window's size (a window that sizes
    // itself as it is shown can leave the proxy behind).
    void fitScene() {
        if (!proxy_ || !window_)
            return;
        if (proxy_->size() != QSizeF(window_->size()))
            proxy_->resize(window_->size());
        scene_.setSceneRect(QRectF(proxy_->pos(), QSizeF(window_->size())));
    }

    // A dialog's size times the program's zoom, kept inside the screen, in the screen's middle.
    void place() {
        if (!window_)
            return;
        const QRect area = screen_ ? screen_->geometry() : QRect(QPoint(0, 0), kClientSize);
        const QSizeF size(window_->size());
        const qreal zoom = std::max(0.01, std::min({programZoom(), area.width() * kScreenShare / size.width(),
                                                    area.height() * kScreenShare / size.height()}));
        const QSize scaled = (size * zoom).toSize();
        setFixedSize(scaled);
        move(area.center() - QPoint(scaled.width() / 2, scaled.height() / 2));
        rezoom();
    }

    QGraphicsScene scene_;
    QGraphicsProxyWidget* proxy_ = nullptr;
    QPointer<QWidget> window_;
    Kind kind_;
    Qt::WindowModality modality_ = Qt::NonModal;
    bool ownPalette_ = false;
    bool ownFont_ = false;
    QPointer<QScreen> screen_;
    QPoint place_;
    qreal zoom_ = 1;
};

void enter(QWidget* window) {
    QScreen* screen = window->screen();
    auto* host = new Host(window, Host::Kind::ProgramWindow, nullptr);
    state().screen = host;
    host->showOn(screen);
}

void toggle(QWidget* window) {
    State& s = state();
    if (Host* current = s.screen) {
        s.suite = false;
        current->leave(true);
        return;
    }
    // Only the program's own window goes full screen, not a dialog or message over it.
    if (!isProgramWindow(window) || !window->isVisible())
        return;
    s.suite = true;
    enter(window);
}

// The host of the newest window shown over the program's window, or the program's window's own.
Host* topHost() {
    State& s = state();
    std::erase_if(s.dialogs, [](const QPointer<Host>& host) { return host.isNull() || !host->shown(); });
    return s.dialogs.empty() ? s.screen.data() : s.dialogs.back().data();
}

// Whether a window about to be shown is one the full screen shows through a view of its own.
bool belongsOverFullScreen(const QWidget* window) {
    const Host* screen = state().screen;
    if (!screen || !screen->shown() || !window->isWindow() || window == screen->shown())
        return false;
    if (dynamic_cast<const Host*>(window))
        return false;
    // Popups and tooltips stay where Qt puts them; the start-up message is a tool window of its own. A
    // window-modal message box is a sheet.
    const Qt::WindowType type = window->windowType();
    return type == Qt::Dialog || type == Qt::Window || type == Qt::Sheet;
}

class FullScreenKey : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
            shown(static_cast<QWidget*>(watched));
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F11)
            return false;
        // F11 belongs to the window, never to a drill or a button, whatever has the focus. The key comes to
        // the native window first, then to the widget with the focus; the first to see it acts. While a
        // window is shown over the full-screen one, the key does nothing: that window is answered first.
        // Held down, the key acts once: its first press, which the window system may already mark as a
        // repeat when the program was slow to take it.
        if (type == QEvent::KeyRelease && !key->isAutoRepeat())
            held_ = false;
        if (type == QEvent::KeyPress && !held_) {
            held_ = true;
            if (topHost() == state().screen.data()) {
                QWidget* window = watched->isWidgetType() ? static_cast<QWidget*>(watched)->window()
                                                          : QApplication::activeWindow();
                toggle(window);
            }
        }
        return true;
    }

private:
    bool held_ = false;

    // Called as a window is shown, before it is put on the screen.
    static void shown(QWidget* window) {
        State& s = state();
        if (s.startPending && isProgramWindow(window)) {
            // Started from a program in full screen: the window never shows at its small size.
            s.startPending = false;
            s.suite = true;
            enter(window);
            return;
        }
        if (!belongsOverFullScreen(window))
            return;
        Host* below = topHost();
        const QSize size = window->size();
        const bool wholeScreen = size.width() >= kClientSize.width() || size.height() >= kClientSize.height();
        auto* host = new Host(window, wholeScreen ? Host::Kind::ScreenDialog : Host::Kind::Dialog, below);
        s.dialogs.emplace_back(host);
        host->showOn(state().screen->screen());
    }
};

} // namespace

void CMN_EnableFullScreenKey() {
    static FullScreenKey* filter = [] {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return static_cast<FullScreenKey*>(nullptr);
        // Read once and not passed on by itself: what this program starts learns the state from it.
        if (qEnvironmentVariableIntValue(cmn_detail::kFullScreenVariable) == 1)
            state().startPending = true;
        qunsetenv(cmn_detail::kFullScreenVariable);
        auto* f = new FullScreenKey;
        qApp->installEventFilter(f);
        qAddPostRoutine([] {
            State& s = state();
            for (const QPointer<Host>& dialog : s.dialogs)
                delete dialog.data();
            s.dialogs.clear();
            if (Host* current = s.screen)
                delete current; // gives the window back before the application goes
        });
        return f;
    }();
    Q_UNUSED(filter);
}

bool CMN_IsFullScreen(const QWidget* window) {
    const Host* current = state().screen;
    return current && window && current->shown() == window->window();
}

bool cmn_detail::suiteFullScreen() {
    return state().suite;
}

qreal CMN_PixelRatio(const QWidget* widget) {
    qreal ratio = widget ? widget->devicePixelRatioF() : qApp ? qApp->devicePixelRatio() : 1.0;
    if (ratio <= 0)
        ratio = 1.0;
    if (!widget)
        return ratio;
    const QWidget* window = widget->window();
    State& s = state();
    if (s.screen && s.screen->shown() == window)
        return ratio * s.screen->zoom();
    for (const QPointer<Host>& dialog : s.dialogs)
        if (dialog && dialog->shown() == window)
            return ratio * dialog->zoom();
    return ratio;
}

QMessageBox* CMN_ShowMessage(QWidget* owner, QMessageBox::Icon icon, const QString& caption,
                             const QString& text, const QString& name, const QString& topic) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    static const char kTopic[] = "halvorMessageTopic";
    if (owner && !topic.isEmpty()) {
        for (QMessageBox* older : owner->findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly))
            if (older->property(kTopic).toString() == topic)
                older->close();
    }
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::Ok, owner);
    box->setObjectName(name);
    box->setProperty(kTopic, topic);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    box->show();
    return box;
}
