// On a real X server: the start-up message is on the screen, painted, when the call returns, because the
// caller goes straight on with slow work (opening a browser) and processes no events meanwhile. Windows shown
// over a program in full screen are dialogs of their own, centred, scaled like it and whole.
#include "Common.h"

#include <QApplication>
#include <QDialog>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtTest>

namespace {

void saveShot(const QImage& image, const QString& name) {
    if (const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS"); !folder.isEmpty())
        image.save(folder + u'/' + name);
}

QList<QGraphicsView*> fullScreenViews(const QString& name) {
    QList<QGraphicsView*> views;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            views << qobject_cast<QGraphicsView*>(w);
    return views;
}

// A program window of the suite's size, put in full screen by F11.
struct FullScreenProgram {
    QWidget window;
    FullScreenProgram() {
        window.setFixedSize(720, 540);
        window.setWindowTitle(QStringLiteral("program"));
        QPalette colours = window.palette();
        colours.setColor(QPalette::Window, QColor(0x20, 0x90, 0x90));
        window.setPalette(colours);
        window.show();
    }
    ~FullScreenProgram() {
        if (CMN_IsFullScreen(&window))
            QTest::keyClick(fullScreenViews(QStringLiteral("halvorFullScreen")).value(0), Qt::Key_F11);
    }
    bool enter() {
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        QTest::keyClick(&window, Qt::Key_F11);
        return CMN_IsFullScreen(&window) &&
               QTest::qWaitFor([] { return !fullScreenViews(QStringLiteral("halvorFullScreen")).isEmpty(); });
    }
};

} // namespace

class TestWindowXvfb : public QObject {
    Q_OBJECT

private slots:
    void startupMessageIsPaintedBeforeReturning();
    void dialogsOverFullScreenAreCentredScaledAndWhole_data();
    void dialogsOverFullScreenAreCentredScaledAndWhole();
    void messagesOfOneTopicReplaceEachOther();
};

void TestWindowXvfb::startupMessageIsPaintedBeforeReturning() {
    CMN_InitApplication();
    QWidget owner;
    owner.setFixedSize(300, 200);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    QPointer<QWidget> message = CMN_DispStartupMsg(&owner, 400, 300, QStringLiteral("起動中です"));
    QVERIFY(message);
    // No event processing between the return and the look at the screen.
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS"); !folder.isEmpty())
        screen.copy(0, 0, 640, 480).save(folder + QStringLiteral("/common_startup_message_xvfb.png"));
    const QRect area(QPoint(400, 300), message->size());
    int white = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            white += screen.pixelColor(x, y) == QColor(Qt::white) ? 1 : 0;
    QVERIFY2(white > area.width() * area.height() / 2, qPrintable(QString::number(white)));
    QCOMPARE(screen.pixelColor(400, 300), QColor(0x2b, 0x3a, 0x67)); // its border, at the very point
    message->close();
}

void TestWindowXvfb::dialogsOverFullScreenAreCentredScaledAndWhole_data() {
    QTest::addColumn<QSize>("size"); // empty: a three-line warning message box
    QTest::addColumn<bool>("childOfWindow");
    QTest::addColumn<bool>("coversScreen");
    QTest::newRow("failure message over the window") << QSize() << true << false;
    QTest::newRow("chart of the window's size, no parent") << QSize(720, 540) << false << true;
    QTest::newRow("instructions wider than the window") << QSize(740, 520) << false << true;
    QTest::newRow("help smaller than the window") << QSize(651, 388) << true << false;
}

void TestWindowXvfb::dialogsOverFullScreenAreCentredScaledAndWhole() {
    QFETCH(QSize, size);
    QFETCH(bool, childOfWindow);
    QFETCH(bool, coversScreen);
    CMN_InitApplication();
    FullScreenProgram program;
    QVERIFY(program.enter());
    QGraphicsView* screenView = fullScreenViews(QStringLiteral("halvorFullScreen")).value(0);
    const QRect screen = screenView->screen()->geometry();
    QTRY_COMPARE(screenView->geometry(), screen);
    const qreal zoom = std::min(screen.width() / 720.0, screen.height() / 540.0);

    QPointer<QDialog> dialog;
    if (size.isEmpty()) {
        dialog = new QMessageBox(QMessageBox::Warning, QStringLiteral("ひらがなローマ字入力"),
                                 QStringLiteral("結果を保存できませんでした。\nほかの プログラムが きろくを "
                                                "つかっています。その プログラムを とじてから、もう いちど "
                                                "ためしてください。\n(3行目)"),
                                 QMessageBox::Ok, childOfWindow ? &program.window : nullptr);
    } else {
        dialog = new QDialog(childOfWindow ? &program.window : nullptr);
        dialog->setFixedSize(size);
        auto* close = new QPushButton(QStringLiteral("閉じる"), dialog);
        close->setGeometry(size.width() - 100, size.height() - 40, 90, 30);
        QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::accept);
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    int result = -1;
    QList<QGraphicsView*> shown;
    bool blockedUnder = false;
    bool ownWindowMapped = true;
    QRect placed;
    QSize logical;
    qreal scale = 0;
    QColor corner;
    QTimer::singleShot(0, [&] {
        // A failed check returns early; the dialog must not wait for a click that never comes.
        const auto ending = qScopeGuard([&] {
            if (dialog && dialog->isVisible())
                dialog->done(-2);
        });
        QTRY_VERIFY(!fullScreenViews(QStringLiteral("halvorFullScreenDialog")).isEmpty());
        shown = fullScreenViews(QStringLiteral("halvorFullScreenDialog"));
        QGraphicsView* view = shown.value(0);
        QTRY_VERIFY(view->isVisible() && view->windowHandle()->isExposed());
        QTest::qWait(50);
        ownWindowMapped = dialog->windowHandle() && dialog->windowHandle()->isVisible();
        placed = view->geometry();
        logical = dialog->size();
        scale = view->transform().m11();
        corner = view->grab().toImage().pixelColor(3, 3);
        blockedUnder = QGuiApplication::modalWindow() == view->windowHandle();
        saveShot(
            QGuiApplication::primaryScreen()->grabWindow(0).toImage(),
            QStringLiteral("common_full_screen_%1.png")
                .arg(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_').replace(u',', u'_')));
        // Closed the learner's way: a message by Enter, a window by a click on its button where the view
        // shows it.
        if (size.isEmpty()) {
            QTest::keyClick(view->windowHandle(), Qt::Key_Return);
            return;
        }
        auto* button = dialog->findChild<QPushButton*>();
        const QPoint at = view->mapFromScene(
            dialog->graphicsProxyWidget()->mapToScene(button->mapTo(dialog, button->rect().center())));
        QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, view->viewport()->mapTo(view, at));
    });
    result = dialog->exec();

    QCOMPARE(shown.size(), 1);
    QVERIFY(screen.contains(placed));
    QVERIFY(std::abs(placed.center().x() - screen.center().x()) <= 1);
    QVERIFY(std::abs(placed.center().y() - screen.center().y()) <= 1);
    QCOMPARE(placed == screen, coversScreen);
    // As large as the window is shown, unless that would not fit on the screen (a dialog keeps a margin).
    const qreal room = coversScreen ? 1.0 : 0.94;
    const qreal expected =
        std::min({zoom, room * screen.width() / logical.width(), room * screen.height() / logical.height()});
    QVERIFY2(qAbs(scale - expected) < 0.01, qPrintable(QStringLiteral("%1 for %2").arg(scale).arg(expected)));
    QVERIFY2(corner.isValid() && corner != QColor(0x20, 0x90, 0x90), "the dialog keeps its own colours");
    QVERIFY2(!ownWindowMapped, "the dialog is shown only through its view");
    QVERIFY2(blockedUnder, "the view is modal, as the dialog was");
    QCOMPARE(result, size.isEmpty() ? int(QMessageBox::Ok) : int(QDialog::Accepted));
    QVERIFY(dialog.isNull()); // closed and freed as usual
    QTRY_VERIFY(fullScreenViews(QStringLiteral("halvorFullScreenDialog")).isEmpty());
    QVERIFY(CMN_IsFullScreen(&program.window)); // the program's full screen goes on, with the keys
    QTRY_COMPARE(QApplication::activeWindow(), screenView);
}

void TestWindowXvfb::messagesOfOneTopicReplaceEachOther() {
    CMN_InitApplication();
    QWidget owner;
    owner.setFixedSize(300, 200);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QPointer<QMessageBox> waiting =
        CMN_ShowMessage(&owner, QMessageBox::Information, QStringLiteral("t"), QStringLiteral("待っています"),
                        QStringLiteral("first"), QStringLiteral("save"));
    QPointer<QMessageBox> other = CMN_ShowMessage(&owner, QMessageBox::Information, QStringLiteral("t"),
                                                  QStringLiteral("ほかの話"), QStringLiteral("other"));
    QPointer<QMessageBox> saved =
        CMN_ShowMessage(&owner, QMessageBox::Information, QStringLiteral("t"), QStringLiteral("保存しました"),
                        QStringLiteral("second"), QStringLiteral("save"));
    QVERIFY(saved && saved->isVisible() && saved->objectName() == QStringLiteral("second"));
    QTRY_VERIFY(waiting.isNull()); // closed and freed
    QVERIFY(other && other->isVisible());
    QCOMPARE(saved->windowModality(), Qt::WindowModal);
    saved->close();
    other->close();
    QTRY_VERIFY(saved.isNull() && other.isNull());
}

QTEST_MAIN(TestWindowXvfb)
#include "tst_window_xvfb.moc"
