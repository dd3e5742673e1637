// The mouse lesson's rules without a window: clicking targets, double-clicking presents, dragging fruit.
#include "MouseLessonCore.h"
#include "TestDoubles.h"

#include <QtTest>

using halvor::MouseLessonCore;
using halvor::lesson::PageAction;

Q_DECLARE_METATYPE(PageAction)

class MouseLessonCoreTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void targetHitOnlyInsideItsCircle_data();
    void targetHitOnlyInsideItsCircle();
    void tenTargetsTimedWithMisses();
    void doubleClickOnATargetIsOneHit();
    void targetsStayInThePlayArea();
    void presentsOpenOnlyOnDoubleClick();
    void fruitIntoTheBasket();
    void fruitDroppedElsewhereSlidesBack();
    void exercisesRestartOnEachVisit();
    void hotSpots_data();
    void hotSpots();

private:
    std::unique_ptr<ScriptedRandom> random_;
    FakeClock clock_;
    std::unique_ptr<MouseLessonCore> core_;
};

void MouseLessonCoreTest::init() {
    // Draws that put targets at clearly different places, then repeat.
    random_ = std::make_unique<ScriptedRandom>(QList<int>{100, 100, 400, 250, 50, 30, 500, 300},
                                               ScriptedRandom::AtEnd::HoldLast);
    clock_.tick = 1000;
    core_ = std::make_unique<MouseLessonCore>(*random_, clock_);
}

void MouseLessonCoreTest::targetHitOnlyInsideItsCircle_data() {
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<bool>("hit");
    QTest::newRow("centre") << QPoint(0, 0) << true;
    QTest::newRow("just inside the edge") << QPoint(29, 0) << true;
    QTest::newRow("on the edge") << QPoint(30, 0) << false;
    QTest::newRow("inside, diagonally") << QPoint(-21, 21) << true;
    QTest::newRow("the bounding square's corner") << QPoint(-28, -28) << false;
}

void MouseLessonCoreTest::targetHitOnlyInsideItsCircle() {
    QFETCH(QPoint, offset);
    QFETCH(bool, hit);
    core_->enterPage(2);
    const QPoint target = core_->target();
    QVERIFY(core_->press(target + offset));
    QCOMPARE(core_->hits(), hit ? 1 : 0);
    QCOMPARE(core_->misses(), hit ? 0 : 1);
    QCOMPARE(core_->target() != target, hit); // a hit moves the target on
    QCOMPARE(core_->clickable(core_->target() + offset), hit);
}

void MouseLessonCoreTest::tenTargetsTimedWithMisses() {
    core_->enterPage(2);
    // A click outside the play area (the menu button's row) is no miss and is left to the hot spots.
    QVERIFY(!core_->press(QPoint(600, 20)));
    QVERIFY(!core_->press(QPoint(600, 520)));
    QCOMPARE(core_->misses(), 0);
    clock_.tick += 30000; // reading the page is not timed
    QCOMPARE(core_->clickMilliseconds(), 0u);
    for (int i = 0; i < MouseLessonCore::kTargets; ++i) {
        if (i > 0)
            clock_.tick += 700;
        if (i == 3)
            QVERIFY(core_->press(core_->target() + QPoint(0, 40))); // one miss, counted once
        QVERIFY(core_->press(core_->target()));
    }
    QVERIFY(core_->clicksDone());
    QCOMPARE(core_->hits(), 10);
    QCOMPARE(core_->misses(), 1);
    QCOMPARE(core_->successes(), 10u);
    QCOMPARE(core_->clickMilliseconds(), 6300u); // from the first click to the last hit
    clock_.tick += 5000;                         // the time stands once all are hit
    QCOMPARE(core_->clickMilliseconds(), 6300u);
    QVERIFY(!core_->press(QPoint(300, 300)));
    QCOMPARE(core_->misses(), 1);
}

void MouseLessonCoreTest::doubleClickOnATargetIsOneHit() {
    core_->enterPage(2);
    const QPoint target = core_->target();
    QVERIFY(core_->press(target));
    QVERIFY(core_->doubleClick(target)); // its second press belongs to the first click
    QCOMPARE(core_->hits(), 1);
    QCOMPARE(core_->misses(), 0);
    const QPoint beside = core_->target() + QPoint(0, 40);
    QVERIFY(core_->press(beside));
    QVERIFY(core_->doubleClick(beside));
    QCOMPARE(core_->misses(), 1);
    QVERIFY(!core_->doubleClick(QPoint(600, 520))); // outside the play area: left to the hot spots
}

void MouseLessonCoreTest::targetsStayInThePlayArea() {
    halvor::StdRandom random;
    random.seed(7);
    MouseLessonCore core(random, clock_);
    core.enterPage(2);
    const auto area = MouseLessonCore::playArea();
    const int r = MouseLessonCore::kTargetRadius;
    for (int round = 0; round < 50; ++round) {
        if (core.clicksDone())
            core.enterPage(2);
        const QPoint t = core.target();
        QVERIFY(t.x() - r >= area.left && t.x() + r <= area.right);
        QVERIFY(t.y() - r >= area.top && t.y() + r <= area.bottom);
        core.press(t);
        if (!core.clicksDone())
            QVERIFY((core.target() - t).manhattanLength() >= 150); // the mouse must travel
    }
}

void MouseLessonCoreTest::presentsOpenOnlyOnDoubleClick() {
    core_->enterPage(3);
    const QPoint first = MouseLessonCore::presentArea(0).rect().center();
    QVERIFY(core_->clickable(first));
    QVERIFY(core_->press(first)); // a single click only shows the hint
    QVERIFY(core_->hintShown());
    QVERIFY(!core_->opened(0));
    QVERIFY(!core_->doubleClick(QPoint(360, 480))); // between and below the presents
    QVERIFY(!core_->opened(0));
    QVERIFY(core_->doubleClick(first));
    QVERIFY(core_->opened(0));
    QVERIFY(!core_->hintShown());
    QVERIFY(!core_->clickable(first));
    QVERIFY(!core_->press(first)); // an open present takes no clicks
    for (int i = 1; i < MouseLessonCore::kPresents; ++i)
        core_->doubleClick(MouseLessonCore::presentArea(i).topLeft());
    QVERIFY(core_->presentsDone());
    QCOMPARE(core_->successes(), 5u);
}

void MouseLessonCoreTest::fruitIntoTheBasket() {
    core_->enterPage(4);
    const QPoint home = MouseLessonCore::fruitHome(2);
    QVERIFY(!core_->press(QPoint(360, 200))); // nothing to pick up there
    QVERIFY(core_->press(home + QPoint(10, 5)));
    QCOMPARE(core_->dragged(), 2);
    core_->move(QPoint(300, 250));
    QCOMPARE(core_->fruitPosition(2), QPoint(290, 245)); // held where it was grabbed
    core_->release(MouseLessonCore::basketArea().rect().center() + QPoint(10, 5));
    QVERIFY(core_->inBasket(2));
    QCOMPARE(core_->dragged(), -1);
    QVERIFY(!core_->press(core_->fruitPosition(2))); // a fruit in the basket stays there
    QVERIFY(!core_->fruitsDone());
    for (int i : {0, 1, 3, 4}) {
        QVERIFY(core_->press(MouseLessonCore::fruitHome(i)));
        core_->release(QPoint(560, 300));
    }
    QVERIFY(core_->fruitsDone());
    QCOMPARE(core_->successes(), 5u);
    // Every fruit in the basket shows apart from the others.
    for (int i = 0; i < 5; ++i)
        for (int j = i + 1; j < 5; ++j)
            QVERIFY(core_->fruitPosition(i) != core_->fruitPosition(j));
}

void MouseLessonCoreTest::fruitDroppedElsewhereSlidesBack() {
    core_->enterPage(4);
    const QPoint home = MouseLessonCore::fruitHome(0);
    QVERIFY(core_->press(home));
    core_->release(QPoint(home.x() + 200, 200));
    QVERIFY(!core_->inBasket(0));
    QVERIFY(core_->sliding());
    QCOMPARE(core_->fruitPosition(0), QPoint(home.x() + 200, 200));
    clock_.tick += MouseLessonCore::kSlideMs / 2;
    QCOMPARE(core_->fruitPosition(0), QPoint(home.x() + 100, (200 + home.y()) / 2));
    clock_.tick += MouseLessonCore::kSlideMs / 2;
    QVERIFY(!core_->sliding());
    QCOMPARE(core_->fruitPosition(0), home);
    // Dragged off the window's edge, a fruit stays whole in sight.
    QVERIFY(core_->press(home));
    core_->move(QPoint(-100, 900));
    QCOMPARE(core_->fruitPosition(0), QPoint(30, 510));
}

void MouseLessonCoreTest::exercisesRestartOnEachVisit() {
    core_->enterPage(2);
    core_->press(core_->target());
    core_->press(QPoint(700 - 40, 480));
    core_->enterPage(3);
    core_->doubleClick(MouseLessonCore::presentArea(1).topLeft());
    core_->enterPage(4);
    core_->press(MouseLessonCore::fruitHome(1));
    core_->release(QPoint(560, 300));
    QVERIFY(core_->inBasket(1));

    core_->enterPage(2);
    QCOMPARE(core_->hits(), 0);
    QCOMPARE(core_->misses(), 0);
    core_->enterPage(3);
    QVERIFY(!core_->opened(1));
    core_->enterPage(4);
    QVERIFY(!core_->inBasket(1));
    QCOMPARE(core_->fruitPosition(1), MouseLessonCore::fruitHome(1));
}

void MouseLessonCoreTest::hotSpots_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<PageAction>("action");
    QTest::newRow("page 1 close") << 1 << QPoint(600, 20) << PageAction::Close;
    QTest::newRow("page 1 has no previous") << 1 << QPoint(60, 520) << PageAction::None;
    QTest::newRow("page 1 next") << 1 << QPoint(600, 520) << PageAction::Next;
    QTest::newRow("page 3 previous") << 3 << QPoint(60, 520) << PageAction::Previous;
    QTest::newRow("page 5 has no next") << 5 << QPoint(600, 520) << PageAction::None;
    QTest::newRow("page 5 back to the menu") << 5 << QPoint(360, 430) << PageAction::Close;
}

void MouseLessonCoreTest::hotSpots() {
    QFETCH(int, page);
    QFETCH(QPoint, point);
    core_->enterPage(page);
    QFETCH(PageAction, action);
    QCOMPARE(core_->book().actionAt(point), action);
}

QTEST_APPLESS_MAIN(MouseLessonCoreTest)
#include "tst_mouse_lesson_core.moc"
