// Bold that shows. The suite's Japanese fonts have no bold face; Qt thickens their glyphs by a share of the
// size the font is made at, but under a scale (a screen at 200 %, the full-screen view) it thickens them as
// if they were drawn unscaled, and bold fades to almost regular. Bold of such a font is drawn here as the
// regular glyphs' outlines, filled and stroked in the text's colour: the same weight at every scale.
#include "Common.h"
#include "CommonDetail.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>
#include <QTextLayout>
#include <algorithm>
#include <memory>

namespace {

// A standard icon looked up when it is first drawn or asked about. Many are made for what may never show
// (a line edit's clear button, a menu bar's overflow button), and the first lookup scans the icon theme's
// folders and loads the image plugins: tens of milliseconds before a window's first frame.
class LaterIconEngine : public QIconEngine {
public:
    LaterIconEngine(const QStyle* style, QStyle::StandardPixmap which, const QStyleOption* option,
                    const QWidget* widget)
        : style_(const_cast<QStyle*>(style)), which_(which), widget_(const_cast<QWidget*>(widget)) {
        if (const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option))
            option_ = std::make_shared<QStyleOptionFrame>(*frame);
        else if (option)
            option_ = std::make_shared<QStyleOption>(*option);
    }

    // The options that can be kept whole for later.
    static bool keeps(const QStyleOption* option) {
        return !option || option->type == QStyleOption::SO_Default ||
               qstyleoption_cast<const QStyleOptionFrame*>(option);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, 1, mode, state);
    }
    // `size` counts device pixels here.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        if (scale <= 0)
            scale = 1;
        return icon().pixmap((QSizeF(size) / scale).toSize(), scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    bool isNull() override { return icon().isNull(); }
    QString key() const override { return QStringLiteral("halvor-later"); }
    QIconEngine* clone() const override { return new LaterIconEngine(*this); }

private:
    const QIcon& icon() {
        if (!resolved_) {
            resolved_ = true;
            if (style_)
                icon_ = style_->standardIcon(which_, option_.get(), widget_);
        }
        return icon_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    QPointer<QWidget> widget_;
    std::shared_ptr<const QStyleOption> option_;
    bool resolved_ = false;
    QIcon icon_;
};

// Widgets draw their captions through the style: the labels and buttons of the menus, panels and lessons.
class BoldTextStyle : public QProxyStyle {
public:
    void drawItemText(QPainter* painter, const QRect& rect, int flags, const QPalette& palette, bool enabled,
                      const QString& text, QPalette::ColorRole textRole) const override {
        if (!painter || cmn_detail::boldOutline(painter->font()) <= 0) {
            QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
            return;
        }
        painter->save();
        if (textRole != QPalette::NoRole)
            painter->setPen(QPen(palette.brush(textRole), painter->pen().widthF()));
        CMN_DrawText(*painter, rect, flags, text);
        painter->restore();
    }

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (!LaterIconEngine::keeps(option))
            return QProxyStyle::standardIcon(which, option, widget);
        return QIcon(new LaterIconEngine(baseStyle(), which, option, widget));
    }
};

} // namespace

qreal cmn_detail::boldOutline(const QFont& font) {
    if (!font.bold())
        return 0;
    static QHash<QString, bool> hasBoldFace;
    const QFontInfo info(font);
    const QString family = info.family();
    auto known = hasBoldFace.find(family);
    if (known == hasBoldFace.end()) {
        const QStringList styles = QFontDatabase::styles(family);
        known =
            hasBoldFace.insert(family, std::any_of(styles.begin(), styles.end(), [&](const QString& style) {
                                   return QFontDatabase::weight(family, style) >= QFont::DemiBold;
                               }));
    }
    return *known ? 0 : std::max(0.75, info.pixelSize() * 0.045);
}

void cmn_detail::fillOutlined(QPainter& painter, const QPainterPath& glyphs, const QBrush& ink,
                              qreal outline) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(glyphs, ink);
    painter.strokePath(glyphs, QPen(ink, outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.restore();
}

void cmn_detail::useBoldTextStyle() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) &&
        !dynamic_cast<BoldTextStyle*>(QApplication::style()))
        QApplication::setStyle(new BoldTextStyle);
}

void CMN_DrawText(QPainter& painter, const QRectF& rect, int flags, const QString& text) {
    const qreal outline = cmn_detail::boldOutline(painter.font());
    // Mnemonics are Qt's own to draw; no caption of the suite has one.
    if (outline <= 0 || text.isEmpty() ||
        (text.contains(QLatin1Char('&')) && (flags & (Qt::TextShowMnemonic | Qt::TextHideMnemonic)))) {
        painter.drawText(rect, flags, text);
        return;
    }
    QFont regular = painter.font();
    regular.setBold(false);
    // The lines as drawText would break and place them.
    QString laid = text;
    laid.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(laid, regular);
    QTextOption option;
    option.setWrapMode(flags & Qt::TextWordWrap ? QTextOption::WordWrap : QTextOption::ManualWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(rect.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    qreal top = rect.top();
    if (flags & Qt::AlignBottom)
        top = rect.bottom() - height;
    else if (flags & Qt::AlignVCenter)
        top = rect.top() + (rect.height() - height) / 2;
    QPainterPath glyphs;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        const qreal width = line.naturalTextWidth();
        qreal left = rect.left();
        if (flags & Qt::AlignRight)
            left = rect.right() - width;
        else if (flags & Qt::AlignHCenter)
            left = rect.left() + (rect.width() - width) / 2;
        glyphs.addText(QPointF(left, top + line.y() + line.ascent()), regular,
                       laid.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator));
    }
    cmn_detail::fillOutlined(painter, glyphs, painter.pen().brush(), outline);
}
