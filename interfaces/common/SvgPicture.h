// One way to draw an SVG picture at device pixels, shared by the programs and by the build's picture
// renderer, so that a picture drawn ahead at build time is exactly the one a program would draw.
#pragma once

#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

namespace halvor {

inline QImage renderSvg(QSvgRenderer& renderer, QSize pixels) {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    return image;
}

// The pictures drawn ahead are for the ratios most screens have; others are drawn when loaded.
inline constexpr int kPrerenderedRatios[] = {1, 2};

// "<stem>@<ratio>x.png": the picture <stem>.svg drawn ahead at its own size for that device pixel ratio.
inline QString prerenderedName(const QString& stem, int ratio) {
    return QStringLiteral("%1@%2x.png").arg(stem).arg(ratio);
}

} // namespace halvor
