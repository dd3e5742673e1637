// The real Pelvoran11 on a real X server: pages turned by clicks, the home position typed on the keyboard
// (the window must have the keyboard after a click), the quiz started, and back to the caller.
#include "LessonProcessDriver.h"

#include <Common.h>

namespace {
const QPoint kNext(640, 520);
const QPoint kBanner(360, 75);
const QRgb kPraise = qRgb(0xff, 0xf6, 0xcc);
const QRgb kReview = qRgb(0xe6, 0xf1, 0xff);
const QRgb kPrompt = qRgb(0xff, 0xfb, 0xea);
} // namespace

class KeyboardLessonProcessTest : public QObject {
    Q_OBJECT
private slots:
    void typeTheHomePositionAndStartTheQuiz();
};

void KeyboardLessonProcessTest::typeTheHomePositionAndStartTheQuiz() {
    LessonProcessDriver lesson;
    QVERIFY2(lesson.start(QStringLiteral("Pelvoran11"), CMN_WindowTitle("PELVORAN11")), "no lesson window");
    for (int i = 0; i < 2; ++i) {
        QVERIFY(lesson.click(kNext));
        QTest::qWait(700);
    }
    QVERIFY(lesson.type(QStringLiteral("asdfjkl;")));
    QTRY_COMPARE_WITH_TIMEOUT(lesson.screen().pixel(kBanner), kPraise, 3000);
    lesson.screen(QStringLiteral("keyboard_lesson_process_praise"));
    QTRY_VERIFY_WITH_TIMEOUT(lesson.screen().pixel(kBanner) != kPraise, 5000); // the pause ends by itself
    QVERIFY(lesson.type(QStringLiteral("g")));
    QTRY_COMPARE_WITH_TIMEOUT(lesson.screen().pixel(kBanner), kReview, 3000);
    lesson.screen(QStringLiteral("keyboard_lesson_process_review"));

    for (int i = 0; i < 2; ++i) {
        QVERIFY(lesson.click(kNext));
        QTest::qWait(700);
    }
    QVERIFY(lesson.click(QPoint(580, 100))); // START
    QTRY_COMPARE_WITH_TIMEOUT(lesson.screen().pixel(600, 140), kPrompt, 3000);
    lesson.screen(QStringLiteral("keyboard_lesson_process_quiz"));

    QVERIFY(lesson.click(QPoint(630, 20))); // back to the menu
    QTRY_VERIFY_WITH_TIMEOUT(!lesson.running(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(lesson.callerStarted(), 5000);
}

QTEST_MAIN(KeyboardLessonProcessTest)
#include "tst_keyboard_lesson_process_xvfb.moc"
