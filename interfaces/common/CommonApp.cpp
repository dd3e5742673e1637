// Application set-up shared by every program: names, Japanese font mapping, colours.
#include "Common.h"
#include "Database.h"

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcApp, "halvor.common", QtInfoMsg)

const QString kGothic = QStringLiteral("ＭＳ ゴシック");
const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");

// fontconfig alone maps the two Windows face names to a Latin font with no kana, so the suite names its own.
void installFontSubstitutions() {
    static bool done = false;
    if (done)
        return;
    done = true;
    QFont::insertSubstitution(kGothic, QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(kPGothic, QStringLiteral("IPAPGothic"));
}

} // namespace

QColor CMN_ColorFromRef(COLORREF colour) {
    return QColor(int(colour & 0xFFu), int((colour >> 8) & 0xFFu), int((colour >> 16) & 0xFFu));
}

void CMN_InitApplication() {
    QCoreApplication::setOrganizationName(QStringLiteral("Halvor"));
    QCoreApplication::setApplicationName(QStringLiteral("Halvor"));
    installFontSubstitutions();
    CMN_EnableFullScreenKey();
    // Runs kept on this computer while the school's server was away go now, without holding up the start.
    DB_StartOutboxSend();
}

QFont CMN_Font(const QString& face, double points, bool bold) {
    // A font made before CMN_InitApplication (a test, a helper) still finds the Japanese faces.
    installFontSubstitutions();
    constexpr double kDefaultPoints = 9.0;
    if (!std::isfinite(points) || points <= 0.0) {
        qCWarning(lcApp) << "font size" << points << "pt is not usable; using" << kDefaultPoints << "pt";
        points = kDefaultPoints;
    }
    // Layouts are placed in pixels at 96 dpi, so the size is fixed in pixels, not in points.
    const double pixels = std::min(points * 4.0 / 3.0, 4096.0);
    QFont font(face.isEmpty() ? kGothic : face);
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    font.setBold(bold);
    return font;
}
