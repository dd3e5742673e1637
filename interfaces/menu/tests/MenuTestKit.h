// What the menu tests share: a launcher that records the programs started instead of starting them, a way
// to queue clicks as a quick learner would, and screenshots.
#pragma once

#include "Common.h"
#include "MenuWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>
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

inline bool showAndWait(QWidget& window) {
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// A button sits at its place with the size of its picture, the hand over it, the arrow elsewhere.
inline void verifyButtonPlace(const MenuWindow& menu, const QString& caption, const QRect& place) {
    QCOMPARE(menu.size(), QSize(720, 540));
    auto* button = menu.findChild<QAbstractButton*>(caption);
    QVERIFY(button);
    QCOMPARE(button->geometry(), place);
    QCOMPARE(button->cursor().shape(), Qt::BitmapCursor); // the hand of the resources
    QCOMPARE(menu.cursor().shape(), Qt::ArrowCursor);
}

// The first of `order` holds the focus and Tab walks the buttons in that order; Enter and Esc, on the
// button and on the window, neither close the menu nor start anything, and the music plays on.
inline void verifyKeyboard(MenuWindow& menu, const QStringList& order, const LaunchRecorder& recorder) {
    QSignalSpy closed(&menu, &MenuWindow::closed);
    QVERIFY(showAndWait(menu));
    menu.activateWindow();
    auto* first = menu.findChild<QAbstractButton*>(order.front());
    QTRY_COMPARE(QApplication::focusWidget(), first);
    for (const QString& name : order) {
        QCOMPARE(QApplication::focusWidget()->objectName(), name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget(), first);

    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(first, key);
        QTest::keyClick(&menu, key);
    }
    QTest::qWait(20);
    QCOMPARE(closed.count(), 0);
    QVERIFY(menu.isVisible());
    QVERIFY(recorder.launches.empty());
    QVERIFY(menu.musicPlaying());
}

// Caption and icon, and screenshots with the buttons at rest and pressed.
inline void verifyLook(MenuWindow& menu, const char* titleKey, const QString& name) {
    QVERIFY(showAndWait(menu));
    QCOMPARE(menu.windowTitle(), CMN_WindowTitle(titleKey));
    QTRY_VERIFY(!menu.windowIcon().isNull()); // set once the first frame is up
    QVERIFY(saveScreenshot(&menu, name));
    for (QAbstractButton* button : menu.findChildren<QAbstractButton*>())
        button->setDown(true);
    QVERIFY(saveScreenshot(&menu, name + QStringLiteral("_pressed")));
    for (QAbstractButton* button : menu.findChildren<QAbstractButton*>())
        button->setDown(false);
}

} // namespace halvor::testing
