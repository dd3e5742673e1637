// The page book and the wipe that both lessons turn their pages with.
#include "LessonPages.h"
#include "Wipe.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

using namespace halvor::lesson;

Q_DECLARE_METATYPE(PageAction)

class LessonPagesTest : public QObject {
    Q_OBJECT
private slots:
    void slotsInOrder();
    void turning_data();
    void turning();
    void wipeShowsNewPageFromItsEdge_data();
    void wipeShowsNewPageFromItsEdge();
    void wipeRunsToTheEndWithoutBlocking();
    void wipeFinishNowAndCancel();
};

namespace {
PageBook twoPages() {
    const HotSpot none{};
    // Page 1: an empty slot over the next area must not hide it; page 2: previous only.
    return PageBook(
        {{{{{0, 0, 100, 100}, PageAction::None}, {{0, 0, 50, 50}, PageAction::Next}, none}},
         {{{{0, 0, 50, 50}, PageAction::Previous}, {{0, 0, 100, 100}, PageAction::Close}, none}}});
}
} // namespace

void LessonPagesTest::slotsInOrder() {
    PageBook book = twoPages();
    QCOMPARE(book.actionAt({10, 10}), PageAction::Next);
    QCOMPARE(book.actionAt({60, 60}), PageAction::None);
    QVERIFY(book.setPage(2));
    QCOMPARE(book.actionAt({10, 10}), PageAction::Previous); // the first slot wins where two overlap
    QCOMPARE(book.actionAt({60, 60}), PageAction::Close);
    QCOMPARE(book.actionAt({100, 60}), PageAction::None);
}

void LessonPagesTest::turning_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<PageAction>("action");
    QTest::addColumn<int>("target");
    QTest::newRow("next from the first") << 1 << PageAction::Next << 2;
    QTest::newRow("no page before the first") << 1 << PageAction::Previous << 0;
    QTest::newRow("no page after the last") << 2 << PageAction::Next << 0;
    QTest::newRow("close turns nowhere") << 2 << PageAction::Close << 0;
    QTest::newRow("none turns nowhere") << 1 << PageAction::None << 0;
}

void LessonPagesTest::turning() {
    PageBook book = twoPages();
    QFETCH(int, page);
    QVERIFY(book.setPage(page));
    QFETCH(PageAction, action);
    QFETCH(int, target);
    QCOMPARE(book.target(action), target);
    QVERIFY(!book.setPage(0));
    QVERIFY(!book.setPage(3));
}

void LessonPagesTest::wipeShowsNewPageFromItsEdge_data() {
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("step");
    for (bool forward : {true, false}) {
        for (int step : {0, 1, 35, 70, 71}) {
            QTest::addRow("%s step %d", forward ? "forward" : "backward", step) << forward << step;
        }
    }
}

void LessonPagesTest::wipeShowsNewPageFromItsEdge() {
    QFETCH(bool, forward);
    QFETCH(int, step);
    // The new page is a gradient, so a strip taken from the wrong columns shows.
    QImage next(720, 540, QImage::Format_RGB32);
    for (int x = 0; x < 720; ++x)
        for (int y = 0; y < 540; y += 270)
            next.setPixel(x, y, qRgb(x % 256, x / 256, 0));
    QImage back(720, 540, QImage::Format_RGB32);
    back.fill(Qt::white);
    QPainter painter(&back);
    for (int k = 0; k <= step; ++k) {
        const WipeStrip strip = wipeStrip(k, forward);
        painter.drawImage(strip.at, next, strip.source);
    }
    painter.end();
    const int w = 1 + 10 * step;
    for (int x = 0; x < 720; ++x) {
        const bool shown = forward ? x >= 720 - w : x < w;
        const int from = forward ? x - (720 - w) : 720 - w + x;
        const QRgb want = shown ? next.pixel(from, 0) : qRgb(255, 255, 255);
        QVERIFY2(back.pixel(x, 0) == want, qPrintable(QStringLiteral("column %1").arg(x)));
    }
}

void LessonPagesTest::wipeRunsToTheEndWithoutBlocking() {
    Wipe wipe;
    std::vector<int> steps;
    bool finished = false;
    wipe.start([&](int step) { steps.push_back(step); }, [&] { finished = true; });
    QVERIFY(wipe.running());
    QCOMPARE(steps, std::vector<int>{0}); // the first strip shows at once
    QTRY_VERIFY_WITH_TIMEOUT(finished, 5000);
    QVERIFY(!wipe.running());
    QCOMPARE(steps.back(), kWipeSteps - 1);
    QVERIFY(std::is_sorted(steps.begin(), steps.end()));
    QVERIFY(std::adjacent_find(steps.begin(), steps.end()) == steps.end()); // no step drawn twice
}

void LessonPagesTest::wipeFinishNowAndCancel() {
    Wipe wipe;
    int last = -1;
    int finished = 0;
    wipe.start([&](int step) { last = step; }, [&] { ++finished; });
    wipe.finishNow();
    QCOMPARE(last, kWipeSteps - 1);
    QCOMPARE(finished, 1);
    wipe.finishNow(); // nothing more to finish
    QCOMPARE(finished, 1);

    wipe.start([&](int step) { last = step; }, [&] { ++finished; });
    wipe.cancel();
    QTest::qWait(50);
    QCOMPARE(last, 0);
    QCOMPARE(finished, 1);
}

QTEST_GUILESS_MAIN(LessonPagesTest)
#include "tst_lesson_pages.moc"
