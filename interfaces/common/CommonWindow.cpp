// The suite's window conventions: captions, the fixed client area, the drill's frames and its number panel,
// and the small start-up message.
#include "Common.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <array>

namespace {

Q_LOGGING_CATEGORY(lcWindow, "halvor.common", QtInfoMsg)

struct Caption {
    const char* key;
    const char* text; // UTF-8
};

constexpr std::array kCaptions{
    Caption{"OSTREVANE", "Halvorシステム"},
    Caption{"Quenmarl", "Halvorシステム - コースメニュー"},
    Caption{"PELVORAN11", "キーボードについて"},
    Caption{"PELVORAN12", "風車"},
    Caption{"TAVREL11", "堤防のブロック  - - 文字入力 - -"},
    Caption{"TAVREL23", "ひらがなローマ字入力"},
    Caption{"SORVANEL11", "マウスについて"},
};

// A widget's rectangle in the coordinates of `window`, whatever widget it sits in.
QRect rectIn(QWidget* window, const QWidget* widget) {
    if (!window || widget->parentWidget() == window || !window->isAncestorOf(widget))
        return widget->geometry();
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

// Places `widget` at `rect` given in the coordinates of `window`.
void placeIn(QWidget* window, QWidget* widget, const QRect& rect) {
    QWidget* parent = widget->parentWidget();
    if (parent && parent != window && window->isAncestorOf(parent))
        widget->setGeometry(rect.translated(-parent->mapTo(window, QPoint(0, 0))));
    else
        widget->setGeometry(rect);
}

// The sunken two-pixel border just outside a frame, pixel for pixel: two dark lines along the left and top,
// two light lines along the bottom and right.
void paintSunkenBorder(QPainter& dc, const QRect& frame, const QColor& dark, const QColor& light) {
    const int l = frame.left();
    const int t = frame.top();
    const int r = l + frame.width();
    const int b = t + frame.height();
    dc.fillRect(QRect(l - 1, t, 1, b - t + 2), dark);
    dc.fillRect(QRect(l - 1, t - 1, r - l + 1, 1), dark);
    dc.fillRect(QRect(l - 2, t - 1, 1, b - t + 3), dark);
    dc.fillRect(QRect(l - 2, t - 2, r - l + 2, 1), dark);
    dc.fillRect(QRect(l, b, r - l, 1), light);
    dc.fillRect(QRect(r, t - 2, 1, b - t + 3), light);
    dc.fillRect(QRect(l, b + 1, r - l + 1, 1), light);
    dc.fillRect(QRect(r + 1, t - 2, 1, b - t + 4), light);
}

// ---- Number display: seven segments per digit ----------------------------------------------------------

constexpr int kCellWidth = 26;
constexpr int kCellHeight = 28;
constexpr int kMaxDigits = 9;

const QColor kDisplayBack(0x1c, 0x26, 0x48); // dark navy
const QColor kDisplayEdge(0x2b, 0x3a, 0x67); // the suite's navy outline
const QColor kSegmentOn(0xff, 0xd8, 0x4a);   // warm yellow
const QColor kSegmentOff(0x29, 0x36, 0x5e);  // unlit segments, just visible

int clampedDigits(int digits) {
    return std::clamp(digits, 1, kMaxDigits);
}

// Segment bits: a top, b upper right, c lower right, d bottom, e lower left, f upper left, g middle.
constexpr std::array<unsigned, 10> kSegments{0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

QPainterPath horizontalSegment(double x0, double x1, double y, double t) {
    QPainterPath path;
    path.moveTo(x0, y);
    path.lineTo(x0 + t / 2, y - t / 2);
    path.lineTo(x1 - t / 2, y - t / 2);
    path.lineTo(x1, y);
    path.lineTo(x1 - t / 2, y + t / 2);
    path.lineTo(x0 + t / 2, y + t / 2);
    path.closeSubpath();
    return path;
}

QPainterPath verticalSegment(double x, double y0, double y1, double t) {
    QPainterPath path;
    path.moveTo(x, y0);
    path.lineTo(x + t / 2, y0 + t / 2);
    path.lineTo(x + t / 2, y1 - t / 2);
    path.lineTo(x, y1);
    path.lineTo(x - t / 2, y1 - t / 2);
    path.lineTo(x - t / 2, y0 + t / 2);
    path.closeSubpath();
    return path;
}

// One digit cell; `digit` -1 is a blank (all segments unlit).
void paintDigit(QPainter& dc, const QRectF& cell, int digit) {
    // Taller than wide, as learners know digits from clocks and scales.
    const double t = 3.2;   // segment thickness
    const double gap = 0.6; // gap between neighbouring segments
    const double left = cell.left() + 7.0;
    const double right = cell.right() - 7.0;
    const double top = cell.top() + 4.5;
    const double bottom = cell.bottom() - 4.5;
    const double middle = (top + bottom) / 2;
    const std::array<QPainterPath, 7> segments{
        horizontalSegment(left + gap, right - gap, top, t),    // a
        verticalSegment(right, top + gap, middle - gap, t),    // b
        verticalSegment(right, middle + gap, bottom - gap, t), // c
        horizontalSegment(left + gap, right - gap, bottom, t), // d
        verticalSegment(left, middle + gap, bottom - gap, t),  // e
        verticalSegment(left, top + gap, middle - gap, t),     // f
        horizontalSegment(left + gap, right - gap, middle, t), // g
    };
    const unsigned lit = digit >= 0 ? kSegments[std::size_t(digit)] : 0u;
    for (std::size_t s = 0; s < segments.size(); ++s)
        dc.fillPath(segments[s], (lit >> s) & 1u ? kSegmentOn : kSegmentOff);
}

// The frameless message window; it draws its own border since no window manager may be there to do it.
class StartupMessage : public QFrame {
public:
    StartupMessage(QWidget* owner, const QString& text)
        : QFrame(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
        setObjectName(QStringLiteral("startupMessage"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        // Without an owner nobody would free it; with one it lives until the owner does.
        setAttribute(Qt::WA_DeleteOnClose, owner == nullptr);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(2);
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, Qt::white);
        colours.setColor(QPalette::WindowText, QColor(0x2b, 0x3a, 0x67));
        setPalette(colours);
        auto* label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("lblMessage"));
        label->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 10.5, true));
        label->setAlignment(Qt::AlignCenter);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(18, 10, 18, 10);
        layout->addWidget(label);
        adjustSize();
    }
};

} // namespace

// ---- Window
// ------------------------------------------------------------------------------------------------

QString CMN_WindowTitle(const char* key) {
    if (!key)
        return {};
    const QByteArray wanted(key);
    for (const Caption& caption : kCaptions)
        if (wanted.compare(caption.key, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(caption.text);
    return {};
}

namespace {
std::function<QString()>& captionSuffix() {
    static std::function<QString()> suffix;
    return suffix;
}
} // namespace

void CMN_SetWindowTitle(const char* key, QWidget* window) {
    if (!window)
        return;
    const QString title = CMN_WindowTitle(key);
    if (title.isEmpty()) {
        qCWarning(lcWindow).nospace()
            << "no caption for key " << (key ? key : "(none)") << "; caption left as it was";
        return;
    }
    // On a shared computer the learner's name follows the caption, so nobody practises under another name.
    const QString suffix = captionSuffix() ? captionSuffix()() : QString();
    window->setWindowTitle(suffix.isEmpty() ? title : title + QStringLiteral("　－　") + suffix);
}

void CMN_SetCaptionSuffix(std::function<QString()> suffix) {
    captionSuffix() = std::move(suffix);
}

void CMN_SetWindowSize(QWidget* window, int width, int height) {
    if (!window)
        return;
    if (width <= 0 || height <= 0) {
        qCWarning(lcWindow) << "window size" << width << "x" << height
                            << "is not usable; size left as it was";
        return;
    }
    // Every layout of the suite is placed in pixels for this one client size.
    window->setFixedSize(width, height);
}

void CMN_CentreWindow(QWidget* window) {
    if (!window)
        return;
    // Placed by the rule Qt places a parentless dialog by, so menus, drills and lessons share one place: the
    // screen's middle, less the window frame as the visible windows have it (a title bar's guess otherwise).
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && screen->virtualSiblings().size() > 1)
        screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = window->screen();
    if (!screen)
        return;
    int frameX = 0;
    int frameY = 0;
    for (const QWidget* top : QApplication::topLevelWidgets()) {
        if (frameX != 0 && frameY != 0)
            break;
        if (top->isVisible()) {
            frameX = std::max(frameX, top->geometry().x() - top->x());
            frameY = std::max(frameY, top->geometry().y() - top->y());
        }
    }
    if (frameX == 0 || frameY == 0 || frameX >= 10 || frameY >= 40) {
        frameX = 10;
        frameY = 40;
    }
    const QRect area = screen->availableGeometry();
    QPoint at(area.x() + area.width() / 2 - window->width() / 2 - frameX,
              area.y() + area.height() / 2 - window->height() / 2 - frameY);
    at.setX(std::max(area.left(), at.x()));
    at.setY(std::max(area.top(), at.y()));
    window->move(at);
}

QString CMN_TypedText(const QKeyEvent* event) {
    if (!event || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return {};
    return event->text();
}

void CMN_SetFrameSize(QWidget* window, QWidget* drawFrame, QWidget* panelFrame, QWidget* helpButton,
                      QWidget* graphButton, QWidget* endButton) {
    if (!window)
        return;
    const int w = window->width();
    const int h = window->height();
    const int margin = 8;
    const int panelHeight = 72;
    const int frameWidth = std::max(0, w - 2 * margin);
    const QRect panel(margin, h - margin - panelHeight, frameWidth, panelHeight);
    const QRect draw(margin, margin, frameWidth, std::max(0, panel.top() - 2 * margin));
    if (panelFrame)
        placeIn(window, panelFrame, panel);
    if (drawFrame)
        placeIn(window, drawFrame, draw);

    const int panelRight = panel.left() + panel.width();
    const int panelBottom = panel.top() + panel.height();
    const int buttonHeight = (panelHeight - 12) / 2;
    if (endButton)
        placeIn(window, endButton,
                QRect(panelRight - 4 - 96, panelBottom - 4 - buttonHeight, 96, buttonHeight));
    if (graphButton)
        placeIn(window, graphButton, QRect(panelRight - 4 - 46, panel.top() + 4, 46, buttonHeight));
    if (helpButton)
        placeIn(window, helpButton, QRect(panelRight - 54 - 46, panel.top() + 4, 46, buttonHeight));
}

void CMN_RedrawFrame(QWidget* window, QPainter& dc, QWidget* drawFrame, QWidget* panelFrame,
                     COLORREF panelColour) {
    if (!dc.isActive())
        return;
    const QPalette colours = window ? window->palette() : QApplication::palette();
    const QColor dark = colours.color(QPalette::Shadow);
    const QColor light = colours.color(QPalette::Light);
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    if (panelFrame)
        dc.fillRect(rectIn(window, panelFrame), CMN_ColorFromRef(panelColour));
    for (QWidget* frame : {drawFrame, panelFrame})
        if (frame)
            paintSunkenBorder(dc, rectIn(window, frame), dark, light);
    dc.restore();
}

// ---- Number panel
// ------------------------------------------------------------------------------------------

QRect CMN_KirokuNumberRect(const tagKirokuNumber& number) {
    return QRect(number.x, number.y, clampedDigits(number.digits) * kCellWidth, kCellHeight);
}

void CMN_RedrawKirokuNumber(QPainter& dc, const tagKirokuNumber& number) {
    if (!dc.isActive())
        return;
    const int digits = clampedDigits(number.digits);
    int highest = 1;
    for (int i = 0; i < digits; ++i)
        highest *= 10;
    // A value that does not fit shows the highest that does, never a wrapped or cut number.
    const int value = std::clamp(number.value, 0, highest - 1);
    const QRect area = CMN_KirokuNumberRect(number);

    dc.save();
    dc.setClipRect(area, Qt::IntersectClip);
    dc.setRenderHint(QPainter::Antialiasing, true);
    dc.setPen(QPen(kDisplayEdge, 1.5));
    dc.setBrush(kDisplayBack);
    dc.drawRoundedRect(QRectF(area).adjusted(0.75, 0.75, -0.75, -0.75), 5, 5);
    dc.setPen(Qt::NoPen);

    // Right-aligned, leading blanks rather than zeros: 0 itself shows one lit digit.
    int rest = value;
    for (int i = digits - 1; i >= 0; --i) {
        const bool blank = rest == 0 && i < digits - 1;
        paintDigit(dc, QRectF(area.left() + i * kCellWidth, area.top(), kCellWidth, kCellHeight),
                   blank ? -1 : rest % 10);
        rest /= 10;
    }
    dc.restore();
}

// ---- Start-up message
// --------------------------------------------------------------------------------------

QWidget* CMN_DispStartupMsg(QWidget* owner, int x, int y, const QString& text) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qCWarning(lcWindow) << "no application for a start-up message";
        return nullptr;
    }
    auto* message = new StartupMessage(owner, text);
    // Keep the whole message on the screen the point is on, even near its edges.
    QPoint at(x, y);
    if (QScreen* screen = QGuiApplication::screenAt(at) ? QGuiApplication::screenAt(at)
                                                        : QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - message->width())));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - message->height())));
    }
    message->move(at);
    message->show();
    // The caller goes on with slow work at once (opening a browser) and handles no events meanwhile, so the
    // message must be mapped and painted before this returns. The wait is bounded: a window system that never
    // exposes the window costs half a second, not a hang.
    QElapsedTimer waited;
    waited.start();
    while (!(message->windowHandle() && message->windowHandle()->isExposed()) && waited.elapsed() < 500) {
        QEventLoop pause;
        QTimer::singleShot(5, &pause, &QEventLoop::quit);
        pause.exec(QEventLoop::ExcludeUserInputEvents);
    }
    message->repaint();
    QGuiApplication::sync();
    return message;
}
