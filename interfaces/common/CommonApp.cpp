// Application set-up shared by every program: names, Japanese font mapping, colours.
#include "Common.h"
#include "CommonDetail.h"

#include <QApplication>
#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QLibrary>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <future>
#include <thread>
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

// fontconfig reads its configuration and caches the first time a font is asked for, which is while the
// first window is being built. Read on a thread of its own, it overlaps the window system's set-up instead.
std::shared_future<void>& fontsRead() {
    static std::shared_future<void> read;
    return read;
}

void startReadingFonts() {
    std::packaged_task<void()> task([] { FcInit(); });
    fontsRead() = task.get_future().share();
    std::thread(std::move(task)).detach();
}

// ---- After the first frame ----

class FirstFrame : public QObject {
public:
    // One per application: it goes with the application it watches.
    static FirstFrame& instance() {
        static QPointer<FirstFrame> frame;
        if (!frame)
            frame = new FirstFrame(qApp);
        return *frame;
    }

    void add(std::function<void()> task) {
        tasks_.push_back(std::move(task));
        if (watching_)
            return;
        watching_ = true;
        qApp->installEventFilter(this);
        // A program whose window never paints (hidden, or closed at once) still gets its work done.
        QTimer::singleShot(kLongestWaitMs, this, &FirstFrame::run);
    }

    bool painted() const { return painted_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->window()->isVisible()) {
                painted_ = true;
                // Queued: the paint is put on the screen only after this event has been handled.
                QMetaObject::invokeMethod(this, &FirstFrame::run, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    using QObject::QObject;
    static constexpr int kLongestWaitMs = 1000;

    void run() {
        painted_ = true;
        if (watching_) {
            watching_ = false;
            qApp->removeEventFilter(this);
        }
        // A task may add another; each runs once.
        while (!tasks_.empty()) {
            std::function<void()> task = std::move(tasks_.front());
            tasks_.erase(tasks_.begin());
            task();
        }
    }

    std::vector<std::function<void()>> tasks_;
    bool watching_ = false;
    bool painted_ = false;
};

} // namespace

void CMN_AfterFirstFrame(std::function<void()> task) {
    if (!task)
        return;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || FirstFrame::instance().painted()) {
        task();
        return;
    }
    FirstFrame::instance().add(std::move(task));
}

void CMN_SetWindowIcon(QWidget* window, const QString& name) {
    CMN_AfterFirstFrame([window = QPointer<QWidget>(window), name] {
        if (!window)
            return;
        // The icon drawn ahead at both usual densities: no icon engine to load, nothing to draw.
        QIcon icon;
        for (const qreal ratio : {1.0, 2.0}) {
            QImage picture = cmn_detail::loadPicture(QStringLiteral("icon"), name, {}, ratio);
            picture.setDevicePixelRatio(1); // an icon size counts pixels
            if (!picture.isNull())
                icon.addPixmap(QPixmap::fromImage(std::move(picture)));
        }
        window->setWindowIcon(icon);
    });
}

QFunctionPointer CMN_LoadModule(const char* name, const char* entry, QString* why) {
    QStringList folders{QCoreApplication::applicationDirPath() + QStringLiteral("/modules")};
    if (const QString extra = qEnvironmentVariable("HALVOR_MODULES"); !extra.isEmpty())
        folders << extra;
    QString reason;
    for (const QString& folder : std::as_const(folders)) {
        QLibrary module(folder + QLatin1Char('/') + QLatin1String(name));
        if (const QFunctionPointer function = module.resolve(entry))
            return function; // the module stays loaded: what it made lives on
        reason = module.errorString();
    }
    if (why)
        *why = reason;
    return nullptr;
}

QString CMN_NoDisplayText(const QString& program) {
    const QString name = QFileInfo(program).fileName();
    return (name.isEmpty() ? QString() : name + QStringLiteral(": ")) +
           QStringLiteral("画面(ディスプレイ)が見つからないため起動できません。"
                          "画面なしでテストするときは QT_QPA_PLATFORM=offscreen をつけるか、"
                          "xvfb-run で起動してください。");
}

bool CMN_AnswerInfoOption(int argc, char* argv[], const char* arguments, const char* what) {
    if (argc != 2 || !argv || !argv[1])
        return false;
    const QByteArray option(argv[1]);
    if (option != "--version" && option != "--help")
        return false;
    const QByteArray name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit();
    if (option == "--version") {
        std::printf("%s (Halvor) %s\n", name.constData(), HALVOR_VERSION);
    } else {
        std::printf("Usage: %s %s\n%s\n\n"
                    "  --help     this text\n"
                    "  --version  the program's version\n\n"
                    "F11 fills the screen with the window, and F11 again leaves. More in halvor(1).\n",
                    name.constData(), arguments ? arguments : "", what ? what : "");
    }
    std::fflush(stdout);
    return true;
}

void CMN_PrepareDisplay(const char* program) {
    StartUp& s = startUp();
    if (s.watching)
        return;
    s.watching = true;
    s.program = QString::fromLocal8Bit(program ? program : "");
    s.previous = qInstallMessageHandler(startUpHandler);
    startReadingFonts();
}

QColor CMN_ColorFromRef(COLORREF colour) {
    return QColor(int(colour & 0xFFu), int((colour >> 8) & 0xFFu), int((colour >> 16) & 0xFFu));
}

void CMN_InitApplication() {
    endStartUp();
    QCoreApplication::setOrganizationName(QStringLiteral("Halvor"));
    QCoreApplication::setApplicationName(QStringLiteral("Halvor"));
    installFontSubstitutions();
    cmn_detail::useBoldTextStyle();
    CMN_EnableFullScreenKey();
    CMN_AfterFirstFrame(cmn_detail::dropPreloaded);
    // The window is built next, and asks for fonts.
    if (fontsRead().valid())
        fontsRead().wait();
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
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}
