// What the menu tests share: a launcher that records the programs started instead of starting them, a way
// to queue clicks as a quick learner would, and screenshots.
#pragma once

#include "Common.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QMouseEvent>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

namespace halvor::testing {

struct Launch {
    QString program;
    QStringList arguments;
};

// Replaces Common's program start for as long as it lives.
class LaunchRecorder {
public:
    explicit LaunchRecorder(bool succeed = true) : succeed_(succeed) {
        CMN_SetLauncher([this](const QString& program, const QStringList& arguments) {
            launches.push_back({program, arguments});
            if (during)
                during();
            return succeed_;
        });
    }
    ~LaunchRecorder() { CMN_SetLauncher(nullptr); }
    LaunchRecorder(const LaunchRecorder&) = delete;
    LaunchRecorder& operator=(const LaunchRecorder&) = delete;

    void setSucceed(bool succeed) { succeed_ = succeed; }

    std::vector<Launch> launches;
    std::function<void()> during; // runs inside each start, as if the learner acted meanwhile

private:
    bool succeed_;
};

// A click as the window system delivers it: queued, not yet handled.
inline void postClick(QWidget* widget) {
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

inline bool saveScreenshot(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (folder.isEmpty())
        return true;
    QDir().mkpath(folder);
    return widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

} // namespace halvor::testing
