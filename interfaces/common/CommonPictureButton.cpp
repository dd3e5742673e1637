// Picture buttons and the programs' cursors.
#include "Common.h"
#include "CommonDetail.h"

#include <QFocusEvent>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPainter>
#include <QPointer>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcDraw)

namespace {

struct ButtonState {
    QCursor hand{Qt::PointingHandCursor};
    std::vector<QPointer<CMN_PictureButton>> buttons;
};

ButtonState& state() {
    static ButtonState s;
    return s;
}

// The picture at its own size, drawn at the pixel density it is shown at so it stays sharp.
QPixmap face(const QString& name, qreal ratio) {
    return QPixmap::fromImage(cmn_detail::loadPicture(QStringLiteral("bitmap"), name, {}, ratio));
}

} // namespace

CMN_PictureButton::CMN_PictureButton(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
    setText(caption);
    loadFaces(CMN_PixelRatio(this));
    if (up_.isNull())
        qCWarning(lcDraw) << "picture button" << caption << "has no picture" << caption + QLatin1Char('U');
    setFixedSize(sizeHint());
    setCursor(state().hand);
    setFocusPolicy(Qt::StrongFocus);
    auto& buttons = state().buttons;
    std::erase_if(buttons, [](const QPointer<CMN_PictureButton>& b) { return b.isNull(); });
    buttons.emplace_back(this);
}

void CMN_PictureButton::loadFaces(qreal ratio) {
    ratio_ = ratio;
    up_ = face(text() + QLatin1Char('U'), ratio);
    down_ = QPixmap(); // drawn when the button is first pressed: a menu shows sooner without them
}

QSize CMN_PictureButton::sizeHint() const {
    if (!up_.isNull())
        return up_.deviceIndependentSize().toSize();
    // Without its picture the button still shows its caption and can be pressed.
    const QFontMetrics metrics(font());
    return QSize(std::max(80, metrics.horizontalAdvance(text()) + 24), std::max(30, metrics.height() + 12));
}

void CMN_PictureButton::setHandCursor(const QCursor& cursor) {
    ButtonState& s = state();
    s.hand = cursor;
    for (const auto& button : s.buttons) {
        if (button)
            button->setCursor(cursor);
    }
}

void CMN_PictureButton::paintEvent(QPaintEvent*) {
    if (const qreal ratio = CMN_PixelRatio(this); !up_.isNull() && !qFuzzyCompare(ratio, ratio_))
        loadFaces(ratio); // moved to another screen, or the scale changed
    if (isDown() && down_.isNull() && !up_.isNull()) {
        down_ = face(text() + QLatin1Char('D'), ratio_);
        if (down_.isNull())
            down_ = up_;
    }
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(0.5);
    const QPixmap& picture = isDown() ? down_ : up_;
    if (!picture.isNull()) {
        painter.drawPixmap(0, 0, picture);
    } else {
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        painter.setPen(QPen(QColor(0x2b, 0x3a, 0x67), 2));
        painter.setBrush(isDown() ? QColor(0xff, 0xd8, 0x4a) : QColor(Qt::white));
        painter.drawRoundedRect(box, 8, 8);
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
    if (hasFocus() && tabbedTo_) {
        painter.setOpacity(1.0);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0x2b, 0x3a, 0x67), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), 6, 6);
    }
}

void CMN_PictureButton::focusInEvent(QFocusEvent* event) {
    // The pictures carry no focus mark of their own; one appears only once the learner moves with Tab.
    tabbedTo_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
    update();
}

void CMN_PictureButton::focusOutEvent(QFocusEvent* event) {
    tabbedTo_ = false;
    QAbstractButton::focusOutEvent(event);
    update();
}

QCursor CMN_LoadCursor(int id, int hotX, int hotY) {
    const QImage image =
        cmn_detail::loadPicture(QStringLiteral("cursor"), QString::number(id), QSize(32, 32));
    if (image.isNull()) {
        qCWarning(lcDraw) << "cursor" << id << "is missing; the arrow stands in";
        return QCursor(Qt::ArrowCursor);
    }
    return QCursor(QPixmap::fromImage(image), std::clamp(hotX, 0, 31), std::clamp(hotY, 0, 31));
}
