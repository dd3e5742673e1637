// Common's own helpers shared between its source files; not part of the programs' interface.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

namespace cmn_detail {

// Renders ":/<folder>/<stem>.svg" (or loads the .png) at `ratio` device pixels per logical pixel; the
// image's devicePixelRatio says so. The logical size is the SVG's own unless `size` is valid. Null when
// there is no such picture.
QImage loadPicture(const QString& folder, const QString& stem, QSize size = {}, qreal ratio = 1);

// Logical to device pixels. Edges are rounded one by one, so neighbouring cells of a sheet stay
// neighbours at any ratio.
int toDevice(int logical, qreal ratio);
QRect toDevice(const QRect& logical, qreal ratio);
QSize deviceSize(QSize logical, qreal ratio);
QSize logicalSize(const QImage& image);

} // namespace cmn_detail
