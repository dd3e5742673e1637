// The pixel density windows are drawn at.
#include "Common.h"

#include <QApplication>
#include <QWidget>

qreal CMN_PixelRatio(const QWidget* widget) {
    const qreal ratio = widget ? widget->devicePixelRatioF() : qApp ? qApp->devicePixelRatio() : 1.0;
    return ratio > 0 ? ratio : 1.0;
}
