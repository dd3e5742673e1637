// The lesson's window wired to its rules: pages turned by clicks with the wipe, the cursor, keys typed on
// the real keyboard and the pauses, what the learner sees, and the road back to the caller.
#include "KeyboardLessonWindow.h"
#include "PresenceDoubles.h"
#include "TestDoubles.h"

#include <QDialog>
#include <QtTest>

using halvor::KeyboardLessonCore;
using halvor::KeyboardLessonWindow;
using Banner = KeyboardLessonCore::Banner;

namespace {

const QString kCaller = QStringLiteral("/opt/halvor/bin/Quenmarl");
const QString kCommandLine = QStringLiteral("\"/opt/halvor/bin/Pelvoran11\" \"%1\" ").arg(kCaller);

const QPoint kClose(630, 20);
const QPoint kPrevious(60, 520);
const QPoint kNext(640, 520);
const QPoint kStart(580, 100);
const QPoint kMiddle(360, 450);

void screenshot(QWidget& window, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(folder + QStringLiteral("/keyboard_lesson_window_") + name +
                           QStringLiteral(".png"));
}

QRgb pixelAt(QWidget& window, QPoint p) {
    return window.grab().toImage().pixel(p);
}

QPoint insideCell(char key) {
    const auto& area = halvor::keyCells()[static_cast<std::size_t>(halvor::keyCellIndex(QChar(key)))].area;
    return {area.left + 7, area.top + 7};
}

} // namespace

class KeyboardLessonWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pagesTurnByHotSpots();
    void clicksDuringWipeAreIgnoredKeysAreKept();
    void cursorIsHandOverClickables_data();
    void cursorIsHandOverClickables();
    void homeCheckWithRealKeys();
    void quizRound();
    void enterAndEscDoNothing();
    void closingStartsCaller_data();
    void closingStartsCaller();
    void drawingFailureClosesAndReturns();

private:
    void click(QPoint p) { QTest::mouseClick(window_->drawArea(), Qt::LeftButton, {}, p); }
    void turnTo(int page);

    QStringList started_;
    std::unique_ptr<ScriptedRandom> random_;
    std::unique_ptr<KeyboardLessonWindow> window_;
};

void KeyboardLessonWindowTest::init() {
    started_.clear();
    CMN_SetLauncher([this](const QString& program, const QStringList& arguments) {
        started_ << (QStringList{program} + arguments).join(u' ');
        return true;
    });
    random_ = std::make_unique<ScriptedRandom>(QList<int>{3, 6}, ScriptedRandom::AtEnd::HoldLast);
    window_ = std::make_unique<KeyboardLessonWindow>(kCommandLine, random_.get());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QVERIFY(window_->drawingReady());
}

void KeyboardLessonWindowTest::cleanup() {
    window_.reset();
    CMN_SetLauncher(nullptr);
    CMN_DXForceInitFailure(false);
}

void KeyboardLessonWindowTest::turnTo(int page) {
    while (window_->core().page() != page) {
        click(window_->core().page() < page ? kNext : kPrevious);
        QVERIFY(window_->wiping());
        window_->finishWipe();
    }
}

void KeyboardLessonWindowTest::pagesTurnByHotSpots() {
    QCOMPARE(window_->windowTitle(), CMN_WindowTitle("PELVORAN11"));
    QCOMPARE(window_->size(), QSize(720, 540));
    for (int page = 1; page <= 5; ++page) {
        QCOMPARE(window_->core().page(), page);
        screenshot(*window_, QStringLiteral("page%1").arg(page));
        click(kNext);
        if (page == 5) {
            QVERIFY(!window_->wiping()); // page 5 has no next
            break;
        }
        QVERIFY(window_->wiping());
        QTRY_VERIFY_WITH_TIMEOUT(!window_->wiping(), 5000); // paced by its timer, not frozen
        QCOMPARE(window_->core().page(), page + 1);
    }
    // Backwards: the previous page slides in from the left, and the picture is whole afterwards.
    const QImage page5 = window_->grab().toImage();
    click(kPrevious);
    QTRY_VERIFY_WITH_TIMEOUT(!window_->wiping(), 5000);
    QCOMPARE(window_->core().page(), 4);
    QVERIFY(window_->grab().toImage() != page5);
    QCOMPARE(pixelAt(*window_, insideCell('A')), pixelAt(*window_, insideCell('Q'))); // page 4: little finger
    click(kMiddle);
    QCOMPARE(window_->core().page(), 4);
    QVERIFY(!window_->wiping());
}

void KeyboardLessonWindowTest::clicksDuringWipeAreIgnoredKeysAreKept() {
    turnTo(2);
    click(kNext);
    QVERIFY(window_->wiping());
    click(kNext); // a second click while page 3 slides in
    QTest::keyClicks(window_.get(), QStringLiteral("as"));
    QTRY_VERIFY_WITH_TIMEOUT(!window_->wiping(), 5000);
    QCOMPARE(window_->core().page(), 3);
    QCOMPARE(window_->core().remaining(), QStringLiteral("DFJKL;"));
}

void KeyboardLessonWindowTest::cursorIsHandOverClickables_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("hand");
    QTest::newRow("close on page 1") << 1 << kClose << true;
    QTest::newRow("next on page 1") << 1 << kNext << true;
    QTest::newRow("no previous on page 1") << 1 << kPrevious << false;
    QTest::newRow("middle of page 3") << 3 << kMiddle << false;
    QTest::newRow("START waiting on page 5") << 5 << kStart << true;
    QTest::newRow("START's place on page 4") << 4 << kStart << false;
    QTest::newRow("no next on page 5") << 5 << kNext << false;
}

void KeyboardLessonWindowTest::cursorIsHandOverClickables() {
    QFETCH(int, page);
    QFETCH(QPoint, point);
    QFETCH(bool, hand);
    turnTo(page);
    QTest::mouseMove(window_->drawArea(), kMiddle);
    QTest::mouseMove(window_->drawArea(), point);
    QTRY_COMPARE(window_->handShown(), hand);
    QCOMPARE(window_->drawArea()->cursor().shape(), hand ? Qt::BitmapCursor : Qt::ArrowCursor);
}

void KeyboardLessonWindowTest::homeCheckWithRealKeys() {
    turnTo(3);
    const QRgb plainKey = pixelAt(*window_, insideCell('A'));
    QTest::keyClicks(window_.get(), QStringLiteral("as"));
    QVERIFY(pixelAt(*window_, insideCell('A')) != plainKey); // coloured by its finger
    QCOMPARE(pixelAt(*window_, insideCell('D')), plainKey);
    QTest::keyClicks(window_.get(), QStringLiteral("g"));
    QCOMPARE(window_->core().banner(), Banner::Wrong);
    QVERIFY(window_->pausing());
    screenshot(*window_, QStringLiteral("page3_wrong"));
    QTest::keyClicks(window_.get(), QStringLiteral("df")); // typed during the pause
    QCOMPARE(window_->core().remaining(), QStringLiteral("DFJKL;"));
    QTRY_VERIFY_WITH_TIMEOUT(!window_->pausing(), 5000); // a single-shot timer ends the pause
    QCOMPARE(window_->core().remaining(), QStringLiteral("ASJKL;"));
    QCOMPARE(pixelAt(*window_, insideCell('A')), plainKey);
    QTest::keyClicks(window_.get(), QStringLiteral("ASjkl;"));
    QCOMPARE(window_->core().banner(), Banner::Correct);
    screenshot(*window_, QStringLiteral("page3_correct"));
    window_->finishPause();
    QCOMPARE(window_->core().remaining(), QStringLiteral("ASDFJKL;"));
}

void KeyboardLessonWindowTest::quizRound() {
    // With a school server the teacher sees the quiz from START, its keys and wrong keys, and its end.
    presencetest::InstalledReporter live(QStringLiteral("Pelvoran11"));
    using halvor::presence::Event;
    using halvor::presence::Report;
    turnTo(5);
    const QImage waiting = window_->grab().toImage();
    QTest::keyClicks(window_.get(), QStringLiteral("4rfv"));
    QCOMPARE(window_->grab().toImage(), waiting); // before START nothing happens
    click(kStart);
    QVERIFY(window_->core().quizStarted());
    QCOMPARE(window_->core().fingerRow(), 3);
    const QImage prompt = window_->grab().toImage();
    QVERIFY(prompt != waiting);
    QTest::keyClicks(window_.get(), QStringLiteral("4rfv5tg"));
    screenshot(*window_, QStringLiteral("page5_quiz"));
    QVERIFY(!window_->pausing());
    QTest::keyClicks(window_.get(), QStringLiteral("b6"));
    QCOMPARE(window_->core().banner(), Banner::Correct);
    screenshot(*window_, QStringLiteral("page5_correct"));
    window_->finishPause();
    QCOMPARE(window_->core().fingerRow(), 6); // the next round, with the key typed in the pause judged
    QCOMPARE(window_->core().banner(), Banner::Wrong);
    screenshot(*window_, QStringLiteral("page5_wrong"));
    QVERIFY(live.waitFor([](const Report& r) { return r.event == Event::Start && r.course == "P5"; }));
    const auto going = live.waitFor(
        [](const Report& r) { return r.running && r.figures.errors == 1 && r.figures.keystrokes == 9; });
    QVERIFY(going);
    QCOMPARE(going->figures.accuracy, halvor::presence::accuracyOf(9, 1));
    // Leaving and coming back needs START again.
    turnTo(4);
    turnTo(5);
    QVERIFY(!window_->core().quizStarted());
    QVERIFY(live.waitFor([](const Report& r) { return !r.running && r.course == "P5"; }));
    QCOMPARE(window_->grab().toImage(), waiting);
}

void KeyboardLessonWindowTest::enterAndEscDoNothing() {
    // Placed where the menus and drills are, as a dialog of its size would be.
    QDialog dialog;
    dialog.setFixedSize(720, 540);
    dialog.show();
    KeyboardLessonWindow another(kCommandLine, random_.get());
    QCOMPARE(another.pos(), dialog.pos());
    dialog.hide();
    turnTo(3);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(window_.get(), key);
    // A wrong key held with Ctrl, Alt or the system key is a command, not a typed character.
    for (Qt::KeyboardModifier m : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier})
        QTest::keyClick(window_.get(), Qt::Key_G, m);
    QCoreApplication::processEvents();
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->core().page(), 3);
    QVERIFY(window_->core().marks().empty());
    QVERIFY(started_.isEmpty());
}

void KeyboardLessonWindowTest::closingStartsCaller_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("byHotSpot");
    QTest::addColumn<QStringList>("started");
    QTest::newRow("by the back-to-menu area") << kCommandLine << true << QStringList{kCaller};
    QTest::newRow("by the close box") << kCommandLine << false << QStringList{kCaller};
    QTest::newRow("started by hand: nothing to start")
        << QStringLiteral("\"/opt/halvor/bin/Pelvoran11\"") << true << QStringList{};
}

void KeyboardLessonWindowTest::closingStartsCaller() {
    QFETCH(QString, commandLine);
    QFETCH(bool, byHotSpot);
    QFETCH(QStringList, started);
    window_ = std::make_unique<KeyboardLessonWindow>(commandLine, random_.get());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    if (byHotSpot)
        click(kClose);
    else
        window_->close();
    QTRY_VERIFY(!window_->isVisible());
    QCOMPARE(started_, started);
    window_->close(); // a second close starts nothing more
    QCOMPARE(started_.size(), started.size());
}

void KeyboardLessonWindowTest::drawingFailureClosesAndReturns() {
    window_.reset();
    CMN_DXForceInitFailure(true);
    window_ = std::make_unique<KeyboardLessonWindow>(kCommandLine, random_.get());
    window_->show();
    QVERIFY(!window_->drawingReady());
    QTRY_VERIFY(!window_->isVisible());
    QCOMPARE(started_, QStringList{kCaller});
    QTest::keyClicks(window_.get(), QStringLiteral("asdf")); // nothing left to draw on; no crash
}

QTEST_MAIN(KeyboardLessonWindowTest)
#include "tst_keyboard_lesson_window.moc"
