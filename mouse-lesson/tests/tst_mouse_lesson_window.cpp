// The mouse lesson's window driven by real mouse events: every exercise finished, double-click against
// two slow clicks, dragging, the cursor, and the road back to the caller.
#include "ArtworkText.h"
#include "MouseLessonWindow.h"
#include "PresenceDoubles.h"
#include "TestDoubles.h"

#include <QStyleHints>
#include <QtTest>

using halvor::MouseLessonCore;
using halvor::MouseLessonWindow;

namespace {

const QString kCaller = QStringLiteral("/opt/halvor/bin/Quenmarl");
const QString kCommandLine = QStringLiteral("\"/opt/halvor/bin/Sorvanel11\" \"%1\" ").arg(kCaller);
const QPoint kNext(640, 520);
const QPoint kPrevious(60, 520);

void screenshot(QWidget& window, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(folder + QStringLiteral("/mouse_lesson_") + name + QStringLiteral(".png"));
}

int count(const QImage& image, QRect rect, const std::function<bool(QRgb)>& pick) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += pick(image.pixel(x, y)) ? 1 : 0;
    return n;
}

} // namespace

class MouseLessonWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyPageAndTheClickExercise();
    void doubleClickAgainstTwoSlowClicks();
    void dragIntoAndOutsideTheBasket();
    void backToTheMenuStartsCaller();
    void textReadsWell_data() { artwork::pictureRows(); }
    void textReadsWell() { artwork::verifyReadable(); }

private:
    QWidget* area() { return window_->drawArea(); }
    void turnTo(int page);

    QStringList started_;
    ScriptedRandom random_{{100, 100, 400, 250, 50, 30, 500, 300}, ScriptedRandom::AtEnd::HoldLast};
    FakeClock clock_;
    std::unique_ptr<MouseLessonWindow> window_;
};

void MouseLessonWindowTest::init() {
    started_.clear();
    CMN_SetLauncher([this](const QString& program, const QStringList& arguments) {
        started_ << (QStringList{program} + arguments).join(u' ');
        return true;
    });
    window_ = std::make_unique<MouseLessonWindow>(kCommandLine, &random_, &clock_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QVERIFY(window_->drawingReady());
}

void MouseLessonWindowTest::cleanup() {
    window_.reset();
    CMN_SetLauncher(nullptr);
}

void MouseLessonWindowTest::turnTo(int page) {
    while (window_->core().page() != page) {
        QTest::mouseClick(area(), Qt::LeftButton, {}, window_->core().page() < page ? kNext : kPrevious);
        QVERIFY(window_->wiping());
        window_->finishWipe();
    }
}

void MouseLessonWindowTest::everyPageAndTheClickExercise() {
    // With a school server the teacher sees the page and the exercise: its start, and its end with the
    // targets hit, the misses and the time.
    presencetest::InstalledReporter live(QStringLiteral("Sorvanel11"));
    using halvor::presence::Event;
    using halvor::presence::Report;
    QCOMPARE(window_->windowTitle(), QStringLiteral("マウスについて"));
    screenshot(*window_, QStringLiteral("page1"));
    turnTo(2);
    screenshot(*window_, QStringLiteral("page2"));
    QTest::mouseMove(area(), window_->core().target());
    QTRY_VERIFY(window_->handShown());
    clock_.tick += 20000; // reading the page is not timed
    for (int i = 0; i < MouseLessonCore::kTargets; ++i) {
        clock_.tick += 800;
        if (i == 0) {
            QTest::mouseClick(area(), Qt::LeftButton, {}, window_->core().target() + QPoint(45, 0), 300);
            // Only the latest state is sent: a start is heard only if the exercise is still going.
            QVERIFY(
                live.waitFor([](const Report& r) { return r.event == Event::Start && r.course == "P2"; }));
        }
        const QPoint target = window_->core().target();
        QTest::mouseClick(area(), Qt::LeftButton, {}, target, 300);
        if (i == 5) // a double-click out of habit (press, release, double-click) is one hit
            QTest::mouseDClick(area(), Qt::LeftButton, {}, target, 10);
    }
    QVERIFY(window_->core().clicksDone());
    QCOMPARE(window_->clickResult(), QStringLiteral("じかん 7.2 びょう　　ミス 1 かい"));
    const auto finished = live.waitFor([](const Report& r) { return r.event == Event::Finish; });
    QVERIFY(finished);
    QCOMPARE(finished->figures.done, std::optional<int>(10));
    QCOMPARE(finished->figures.errors, std::optional<int>(1));
    QCOMPARE(finished->figures.seconds, std::optional<double>(7.2));
    screenshot(*window_, QStringLiteral("page2_done"));
    // The count's box still says something, and the result sits on the page, not on a white band.
    const QImage done = window_->grab().toImage();
    QCOMPARE(window_->remainingText(), QStringLiteral("あと 0 こ"));
    QVERIFY(count(done, QRect(556, 60, 140, 28), [](QRgb c) { return qGray(c) < 128; }) > 20);
    QCOMPARE(count(done, QRect(150, 300, 400, 22), [](QRgb c) { return (c & 0xffffff) == 0xffffff; }), 0);
    for (int page = 3; page <= 5; ++page) {
        turnTo(page);
        screenshot(*window_, QStringLiteral("page%1").arg(page));
    }
    // Coming back restarts the exercise.
    turnTo(2);
    QCOMPARE(window_->core().hits(), 0);
    QCOMPARE(window_->core().misses(), 0);
}

void MouseLessonWindowTest::doubleClickAgainstTwoSlowClicks() {
    turnTo(3);
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const QPoint first = MouseLessonCore::presentArea(0).rect().center();
    QTest::mouseClick(area(), Qt::LeftButton, {}, first);
    QTest::mouseClick(area(), Qt::LeftButton, {}, first, interval + 100);
    QVERIFY(!window_->core().opened(0));
    QVERIFY(window_->core().hintShown());
    screenshot(*window_, QStringLiteral("page3_hint"));
    for (int i = 0; i < MouseLessonCore::kPresents; ++i) {
        QTest::mouseDClick(area(), Qt::LeftButton, {}, MouseLessonCore::presentArea(i).rect().center(), 300);
        QVERIFY2(window_->core().opened(i), qPrintable(QString::number(i)));
    }
    QVERIFY(window_->core().presentsDone());
    screenshot(*window_, QStringLiteral("page3_done"));
}

void MouseLessonWindowTest::dragIntoAndOutsideTheBasket() {
    turnTo(4);
    const QRect instructions(20, 56, 521, 37);
    const QImage before = window_->grab().toImage().copy(instructions);
    const QPoint home = MouseLessonCore::fruitHome(1);
    QTest::mousePress(area(), Qt::LeftButton, {}, home);
    QTest::mouseMove(area(), QPoint(300, 300));
    QCOMPARE(window_->core().dragged(), 1);
    QTest::mouseRelease(area(), Qt::LeftButton, {}, QPoint(300, 300));
    QVERIFY(!window_->core().inBasket(1));
    QVERIFY(window_->core().sliding());
    clock_.tick += MouseLessonCore::kSlideMs;
    QTRY_VERIFY(!window_->core().sliding());
    QCOMPARE(window_->core().fruitPosition(1), home);
    for (int i = 0; i < MouseLessonCore::kFruits; ++i) {
        const QPoint from = MouseLessonCore::fruitHome(i);
        QTest::mousePress(area(), Qt::LeftButton, {}, from, 300);
        QTest::mouseMove(area(), QPoint(400, 300));
        QTest::mouseMove(area(), QPoint(570, 320));
        if (i == 2)
            screenshot(*window_, QStringLiteral("page4_dragging"));
        QTest::mouseRelease(area(), Qt::LeftButton, {}, QPoint(570, 320));
        QVERIFY2(window_->core().inBasket(i), qPrintable(QString::number(i)));
    }
    QVERIFY(window_->core().fruitsDone());
    screenshot(*window_, QStringLiteral("page4_done"));
    QCOMPARE(window_->grab().toImage().copy(instructions), before); // the praise leaves them readable
}

void MouseLessonWindowTest::backToTheMenuStartsCaller() {
    turnTo(5);
    QTest::mouseClick(area(), Qt::LeftButton, {}, QPoint(360, 430));
    QTRY_VERIFY(!window_->isVisible());
    QCOMPARE(started_, QStringList{kCaller});
}

QTEST_MAIN(MouseLessonWindowTest)
#include "tst_mouse_lesson_window.moc"
