// Picture buttons: faces from their caption, size of the picture, the hand cursor; loaded cursors.
#include "Common.h"

#include <QtTest>

#include <QDir>

namespace {

QRgb centre(QWidget& widget) {
    const QImage shot = widget.grab().toImage();
    return shot.pixel(shot.width() / 2 - 20, shot.height() / 2);
}

} // namespace

class TestPictureButton : public QObject {
    Q_OBJECT
private slots:
    void facesAndSizeComeFromTheCaption() {
        CMN_PictureButton button(QStringLiteral("OK"));
        QCOMPARE(button.sizeHint(), QSize(96, 40));
        QCOMPARE(button.size(), QSize(96, 40));
        QCOMPARE(centre(button), qRgb(0xff, 0xd8, 0x4a)); // "OKU": yellow at rest
        button.setDown(true);
        QCOMPARE(centre(button), qRgb(0xff, 0x7a, 0x6b)); // "OKD": coral while pressed
        button.setDown(false);
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(48, 20));
        QCOMPARE(clicked.count(), 1);

        const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            QVERIFY(button.grab().save(folder + QStringLiteral("/common_picturebutton.png")));
        }
    }

    void focusMarkShowsOnlyAfterTab() {
        QWidget window;
        auto* first = new CMN_PictureButton(QStringLiteral("OK"), &window);
        auto* second = new CMN_PictureButton(QStringLiteral("OK"), &window);
        second->move(0, 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage plain = first->grab().toImage();
        first->setFocus(Qt::OtherFocusReason); // the focus a menu gives its first button at start
        QVERIFY(first->hasFocus());
        QCOMPARE(first->grab().toImage(), plain);
        QTest::keyClick(&window, Qt::Key_Tab);
        QVERIFY(second->hasFocus());
        QVERIFY(second->grab().toImage() != plain);
        QCOMPARE(first->grab().toImage(), plain);
    }

    void missingPictureStillMakesAUsableButton() {
        CMN_PictureButton button(QStringLiteral("NOSUCH"));
        QVERIFY(button.width() >= 80 && button.height() >= 30);
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    void handCursorReachesEveryButton() {
        CMN_PictureButton before(QStringLiteral("OK"));
        const QCursor hand = CMN_LoadCursor(910, 9, 3);
        QCOMPARE(hand.shape(), Qt::BitmapCursor);
        QCOMPARE(hand.pixmap().size(), QSize(32, 32));
        QCOMPARE(hand.hotSpot(), QPoint(9, 3));
        CMN_PictureButton::setHandCursor(hand);
        CMN_PictureButton after(QStringLiteral("OK"));
        QCOMPARE(before.cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(before.cursor().hotSpot(), QPoint(9, 3));
        QCOMPARE(after.cursor().hotSpot(), QPoint(9, 3));

        QCOMPARE(CMN_LoadCursor(4711).shape(), Qt::ArrowCursor);
        QCOMPARE(CMN_LoadCursor(910, 99, -4).hotSpot(), QPoint(31, 0)); // kept on the picture
    }
};

QTEST_MAIN(TestPictureButton)
#include "tst_picturebutton.moc"
