// On a real X server: the start-up message is on the screen, painted, when the call returns, because the
// caller goes straight on with slow work (opening a browser) and processes no events meanwhile.
#include "Common.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QtTest>

class TestWindowXvfb : public QObject {
    Q_OBJECT

private slots:
    void startupMessageIsPaintedBeforeReturning();
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

QTEST_MAIN(TestWindowXvfb)
#include "tst_window_xvfb.moc"
