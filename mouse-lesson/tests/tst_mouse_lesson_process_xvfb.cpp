// The real Sorvanel11 on a real X server, finished with the mouse as a learner would: xdotool clicks the
// targets it sees on the screen, double-clicks the presents, drags the fruit, and goes back to the menu.
#include "LessonProcessDriver.h"

namespace {
const QPoint kNext(640, 520);
// The praise banner's warm fill.
const QRgb kPraise = qRgb(0xff, 0xf6, 0xcc);
} // namespace

class MouseLessonProcessTest : public QObject {
    Q_OBJECT
private slots:
    void finishEveryExerciseWithTheMouse();
};

void MouseLessonProcessTest::finishEveryExerciseWithTheMouse() {
    LessonProcessDriver lesson;
    QVERIFY2(lesson.start(QStringLiteral("Sorvanel11"), QStringLiteral("マウスについて")),
             "no lesson window");
    QVERIFY(lesson.click(kNext));
    QTest::qWait(700);

    // Ten targets, found on the screen by their red rings.
    for (int i = 0; i < 10; ++i) {
        const QImage image =
            lesson.screen(i == 0 ? QStringLiteral("mouse_lesson_process_targets") : QString());
        QRect found;
        for (int y = 96; y < 500; ++y)
            for (int x = 20; x < 700; ++x)
                if (image.pixel(x, y) == qRgb(0xe5, 0x39, 0x35))
                    found |= QRect(x, y, 1, 1);
        QVERIFY2(found.isValid(), qPrintable(QStringLiteral("target %1 not on the screen").arg(i + 1)));
        QVERIFY(lesson.click(found.center()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(lesson.screen().pixel(360, 200), kPraise, 3000);
    lesson.screen(QStringLiteral("mouse_lesson_process_clicks_done"));

    QVERIFY(lesson.click(kNext));
    QTest::qWait(700);
    for (int i = 0; i < 5; ++i)
        QVERIFY(lesson.click(QPoint(102 + 124 * i, 268), 2));
    QTRY_COMPARE_WITH_TIMEOUT(lesson.screen().pixel(360, 380), kPraise, 3000);
    lesson.screen(QStringLiteral("mouse_lesson_process_presents_done"));

    QVERIFY(lesson.click(kNext));
    QTest::qWait(700);
    for (int i = 0; i < 5; ++i)
        QVERIFY(lesson.drag(QPoint(72 + 78 * i, 420), QPoint(572, 330)));
    QTRY_COMPARE_WITH_TIMEOUT(lesson.screen().pixel(360, 140), kPraise, 3000);
    lesson.screen(QStringLiteral("mouse_lesson_process_fruit_done"));

    QVERIFY(lesson.click(kNext));
    QTest::qWait(700);
    lesson.screen(QStringLiteral("mouse_lesson_process_summary"));
    QVERIFY(lesson.click(QPoint(360, 430))); // back to the menu
    QTRY_VERIFY_WITH_TIMEOUT(!lesson.running(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(lesson.callerStarted(), 5000);
}

QTEST_MAIN(MouseLessonProcessTest)
#include "tst_mouse_lesson_process_xvfb.moc"
