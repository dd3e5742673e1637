#include "Startup.h"

#include "AtExit.h"
#include "Clock.h"
#include "Common.h"
#include "Database.h"
#include "Live.h"
#include "Reporter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QSysInfo>

#include <memory>

namespace {

namespace presence = halvor::presence;

// A keystroke or a click anywhere in the program is the learner's sign of life.
class InputWatch final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress)
            presence::input();
        return QObject::eventFilter(watched, event);
    }
};

struct PresenceParts {
    halvor::SystemClock clock;
    std::unique_ptr<presence::Reporter> reporter;
    int atExit = 0;
};
std::unique_ptr<PresenceParts> g_presence;

void stopPresence() {
    if (!g_presence)
        return;
    presence::install(nullptr);
    g_presence->reporter->close(presence::kCloseWaitMs);
    halvor::db::forgetAtExit(g_presence->atExit);
    g_presence.reset();
}

} // namespace

void HalvorShowLearnerInCaptions() {
    CMN_SetCaptionSuffix([] { return DB_SharedComputer() ? DB_Learner() : QString(); });
}

void HalvorStartPresence(const QString& path, const QString& as) {
    const QString program = as.isEmpty() ? QFileInfo(QCoreApplication::applicationFilePath()).fileName() : as;
    // Only the drills and lessons say who is practising; a computer without a server says nothing.
    if (g_presence || !DB_IsServerAddress(path) || presence::programTitle(program) == program)
        return;
    g_presence = std::make_unique<PresenceParts>();
    g_presence->reporter =
        std::make_unique<presence::Reporter>(g_presence->clock, halvor::db::presenceTransport(path));
    g_presence->reporter->open(DB_Learner(), QSysInfo::machineHostName(), program, presence::course());
    presence::install(g_presence->reporter.get());
    qApp->installEventFilter(new InputWatch(qApp));
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, stopPresence);
    // A program that ends without its event loop ending, or by exit() as on a lost display.
    g_presence->atExit = halvor::db::stopAtExit(stopPresence);
}

void HalvorInitApplication() {
    CMN_InitApplication();
    HalvorShowLearnerInCaptions();
    // Runs kept on this computer (beside its file, or for the school's server) go once the window is up, and
    // a drill on a computer of a school's server starts saying who is practising.
    CMN_AfterFirstFrame([] {
        DB_StartOutboxSend();
        HalvorStartPresence(DB_DefaultPath());
    });
}
