// Application set-up shared by every program: names, Japanese font mapping, colours.
#include "Common.h"
#include "Database.h"

#include <QColor>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

// ---- Start-up without a display ----
// Qt reports a window system it cannot reach with warnings and then a fatal message that aborts the program.
// While the application is being made, the warnings are held back and the fatal message becomes one line.

struct HeldMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};

struct StartUp {
    bool watching = false;
    QString program;
    QtMessageHandler previous = nullptr;
    std::vector<HeldMessage> held;
};

StartUp& startUp() {
    static StartUp s;
    return s;
}

void startUpHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    StartUp& s = startUp();
    if (type == QtFatalMsg && message.contains(QLatin1String("platform plugin"))) {
        const QByteArray line = CMN_NoDisplayText(s.program).toLocal8Bit() + '\n';
        std::fputs(line.constData(), stderr);
        std::fflush(stderr);
        std::_Exit(1); // the application is half made: nothing may run its destructors
    }
    const QByteArray category(context.category ? context.category : "");
    if (category.startsWith("qt.qpa")) {
        s.held.push_back({type, context.file, context.function, category, context.line, message});
        return;
    }
    s.previous(type, context, message);
}

// The application was made: messages go where they went before, the held ones first.
void endStartUp() {
    StartUp& s = startUp();
    if (!s.watching)
        return;
    s.watching = false;
    qInstallMessageHandler(s.previous);
    for (const HeldMessage& m : s.held) {
        const QMessageLogContext context(m.file.constData(), m.line, m.function.constData(),
                                         m.category.constData());
        s.previous(m.type, context, m.text);
    }
    s.held.clear();
}

} // namespace

QString CMN_NoDisplayText(const QString& program) {
    const QString name = QFileInfo(program).fileName();
    return (name.isEmpty() ? QString() : name + QStringLiteral(": ")) +
           QStringLiteral("画面(ディスプレイ)が見つからないため起動できません。"
                          "画面なしでテストするときは QT_QPA_PLATFORM=offscreen をつけるか、"
                          "xvfb-run で起動してください。");
}

void CMN_PrepareDisplay(const char* program) {
    StartUp& s = startUp();
    if (s.watching)
        return;
    s.watching = true;
    s.program = QString::fromLocal8Bit(program ? program : "");
    s.previous = qInstallMessageHandler(startUpHandler);
}

QColor CMN_ColorFromRef(COLORREF colour) {
    return QColor(int(colour & 0xFFu), int((colour >> 8) & 0xFFu), int((colour >> 16) & 0xFFu));
}

void CMN_InitApplication() {
    endStartUp();
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
