// One way to draw an SVG picture at device pixels, shared by the programs and by the build's picture
// renderer, so that a picture drawn ahead at build time is exactly the one a program would draw.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QString>
#include <QSvgRenderer>
#include <QSysInfo>
#include <QtEndian>
#include <cstring>

namespace halvor {

// QtSvg lays a text out at 100 px and scales it down, its pen with it: a text's outline comes out at
// font-size / 100 of the width the file gives, and a bold outline shows as nothing. Each text's
// stroke-width is given over in that measure, so an outline (the bold of fonts without a bold face, a halo)
// is as wide as the file says, as other renderers draw it.
inline QByteArray textStrokesAsWritten(const QByteArray& svg) {
    static const QRegularExpression text(QStringLiteral("<text\\b[^>]*>"));
    static const QRegularExpression fontSize(QStringLiteral("\\sfont-size=\"([0-9.]+)\""));
    static const QRegularExpression strokeWidth(QStringLiteral("\\sstroke-width=\"([0-9.]+)\""));
    const QString source = QString::fromUtf8(svg);
    QString out;
    qsizetype at = 0;
    for (auto it = text.globalMatch(source); it.hasNext();) {
        const QRegularExpressionMatch tag = it.next();
        QString element = tag.captured(0);
        const QRegularExpressionMatch size = fontSize.match(element);
        const QRegularExpressionMatch width = strokeWidth.match(element);
        const double pixels = size.captured(1).toDouble();
        if (pixels > 0 && width.hasMatch())
            element.replace(width.capturedStart(1), width.capturedLength(1),
                            QString::number(width.captured(1).toDouble() * 100 / pixels, 'g', 6));
        out += QStringView(source).mid(at, tag.capturedStart() - at);
        out += element;
        at = tag.capturedEnd();
    }
    out += QStringView(source).mid(at);
    return out.toUtf8();
}

// Reads the SVG file at `path` into `renderer` (see isValid()), its text outlines as written.
inline void loadSvg(QSvgRenderer& renderer, const QString& path) {
    QFile file(path);
    renderer.load(file.open(QIODevice::ReadOnly) ? textStrokesAsWritten(file.readAll()) : QByteArray());
}

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

// "<stem>@<ratio>x.px": the picture <stem>.svg drawn ahead at its own size for that device pixel ratio.
inline QString prerenderedName(const QString& stem, int ratio) {
    return QStringLiteral("%1@%2x.px").arg(stem).arg(ratio);
}

// A picture drawn ahead is kept as its premultiplied pixels, little-endian, after a 16-byte header ("HLVP",
// width, height, 0). The resource compiler compresses it; a program takes the pixels as they are, without
// a decoder or the image plugins a PNG would make Qt look through.
inline constexpr char kPictureMagic[4] = {'H', 'L', 'V', 'P'};
inline constexpr qsizetype kPictureHeader = 16;
inline constexpr quint32 kLargestPictureSide = 16384;

inline QByteArray packPicture(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QByteArray data(kPictureHeader + qsizetype(image.width()) * image.height() * 4, Qt::Uninitialized);
    char* out = data.data();
    std::memcpy(out, kPictureMagic, 4);
    qToLittleEndian(quint32(image.width()), out + 4);
    qToLittleEndian(quint32(image.height()), out + 8);
    qToLittleEndian(quint32(0), out + 12);
    out += kPictureHeader;
    for (int y = 0; y < image.height(); ++y, out += image.width() * 4)
        qToLittleEndian<quint32>(image.constScanLine(y), image.width(), out);
    return data;
}

// The picture in `data`, sharing its bytes where it can; null when `data` is not a whole picture.
inline QImage unpackPicture(const QByteArray& data) {
    if (data.size() < kPictureHeader || std::memcmp(data.constData(), kPictureMagic, 4) != 0)
        return {};
    const quint32 width = qFromLittleEndian<quint32>(data.constData() + 4);
    const quint32 height = qFromLittleEndian<quint32>(data.constData() + 8);
    if (width == 0 || height == 0 || width > kLargestPictureSide || height > kLargestPictureSide ||
        data.size() != kPictureHeader + qsizetype(width) * height * 4)
        return {};
    const uchar* pixels = reinterpret_cast<const uchar*>(data.constData()) + kPictureHeader;
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian && quintptr(pixels) % 4 == 0) {
        auto* kept = new QByteArray(data);
        return QImage(
            pixels, int(width), int(height), qsizetype(width) * 4, QImage::Format_ARGB32_Premultiplied,
            [](void* bytes) { delete static_cast<QByteArray*>(bytes); }, kept);
    }
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y)
        qFromLittleEndian<quint32>(pixels + qsizetype(y) * width * 4, width, image.scanLine(y));
    return image;
}

} // namespace halvor
