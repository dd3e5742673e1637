// The lesson's rules without a window: the home-position check, the quiz, the pauses and their kept keys,
// the hot spots of every page.
#include "KeyboardLessonCore.h"
#include "TestDoubles.h"

#include <QtTest>

using halvor::KeyboardLessonCore;
using halvor::lesson::PageAction;
using Banner = KeyboardLessonCore::Banner;

Q_DECLARE_METATYPE(PageAction)
Q_DECLARE_METATYPE(Banner)

namespace {

// Marks as the learner sees them: the key and + for a finger-coloured key, - for a red cross.
QString marksText(const KeyboardLessonCore& core) {
    QString text;
    for (const auto& mark : core.marks()) {
        text += QChar(halvor::keyCells()[static_cast<std::size_t>(mark.cell)].key);
        text += mark.correct ? u'+' : u'-';
    }
    return text;
}

// Types a script: '|' is the end of a pause (its timer running out), anything else a typed character.
void play(KeyboardLessonCore& core, const QString& script) {
    for (QChar ch : script) {
        if (ch == u'|')
            core.endPause();
        else
            core.type(ch);
    }
}

const QPoint kOnStart(580, 100);

} // namespace

class KeyboardLessonCoreTest : public QObject {
    Q_OBJECT
private slots:
    void keyTables();
    void homeCheck_data();
    void homeCheck();
    void quiz_data();
    void quiz();
    void keysOnOtherPagesChangeNothing();
    void quizNeedsStartEachVisit();
    void keysTypedDuringTurnAreJudgedOnArrival();
    void turningDropsPauseAndKeptKeys();
    void keptKeysAreBounded();
    void hotSpots_data();
    void hotSpots();
};

void KeyboardLessonCoreTest::keyTables() {
    // Every key of the 40 belongs to exactly one finger, and the home keys to the eight fingers in order.
    for (const auto& cell : halvor::keyCells())
        QVERIFY2(halvor::fingerOfKey(QChar(cell.key)) >= 0, QByteArray(1, cell.key).constData());
    const QString home = QString::fromLatin1(KeyboardLessonCore::kHomeKeys);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(halvor::fingerOfKey(home[i]), i);
    QCOMPARE(halvor::keyCellIndex(u'a'), -1); // cells hold upper case only
    QCOMPARE(halvor::keyCells()[static_cast<std::size_t>(halvor::keyCellIndex(u';'))].area.left,
             165 + 41 * 9);
}

void KeyboardLessonCoreTest::homeCheck_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("remaining");
    QTest::addColumn<Banner>("banner");
    QTest::addColumn<bool>("paused");

    QTest::newRow("lower case counts") << "asdf"
                                       << "A+S+D+F+"
                                       << "JKL;" << Banner::None << false;
    QTest::newRow("a key twice counts once") << "aAa"
                                             << "A+"
                                             << "SDFJKL;" << Banner::None << false;
    QTest::newRow("not one of the 40 keys") << "@-= \tあＡ"
                                            << ""
                                            << "ASDFJKL;" << Banner::None << false;
    QTest::newRow("key outside the home set") << "asg"
                                              << "A+S+G-"
                                              << "DFJKL;" << Banner::Wrong << true;
    QTest::newRow("number row is outside too") << "1"
                                               << "1-"
                                               << "ASDFJKL;" << Banner::Wrong << true;
    QTest::newRow("a mistake starts the check over") << "asg|"
                                                     << ""
                                                     << "ASDFJKL;" << Banner::None << false;
    QTest::newRow("all eight in any order") << ";LkJfDsA"
                                            << ";+L+K+J+F+D+S+A+"
                                            << "" << Banner::Correct << true;
    QTest::newRow("after praise the check starts over") << ";lkjfdsa|"
                                                        << ""
                                                        << "ASDFJKL;" << Banner::None << false;
    QTest::newRow("keys typed in a pause wait for it") << "gad"
                                                       << "G-"
                                                       << "ASDFJKL;" << Banner::Wrong << true;
    QTest::newRow("and are judged after the reset") << "gad|"
                                                    << "A+D+"
                                                    << "SFJKL;" << Banner::None << false;
    QTest::newRow("a kept mistake pauses again") << "gah|"
                                                 << "A+H-"
                                                 << "SDFJKL;" << Banner::Wrong << true;
    QTest::newRow("the rest waits for that pause") << "gahs||"
                                                   << "S+"
                                                   << "ADFJKL;" << Banner::None << false;
    QTest::newRow("keys after praise go to the fresh check") << "asdfjkl;f|"
                                                             << "F+"
                                                             << "ASDJKL;" << Banner::None << false;
    QTest::newRow("an end without a pause changes nothing") << "a|"
                                                            << "A+"
                                                            << "SDFJKL;" << Banner::None << false;
}

void KeyboardLessonCoreTest::homeCheck() {
    QFETCH(QString, script);
    ScriptedRandom random;
    KeyboardLessonCore core(random);
    core.enterPage(3);
    play(core, script);
    QFETCH(QString, marks);
    QCOMPARE(marksText(core), marks);
    QFETCH(QString, remaining);
    QCOMPARE(core.remaining(), remaining);
    QFETCH(Banner, banner);
    QCOMPARE(core.banner(), banner);
    QFETCH(bool, paused);
    QCOMPARE(core.paused(), paused);
    QCOMPARE(core.target(), QStringLiteral("ASDFJKL;"));
}

void KeyboardLessonCoreTest::quiz_data() {
    QTest::addColumn<QList<int>>("draws");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("finger");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("remaining");
    QTest::addColumn<Banner>("banner");

    QTest::newRow("the draw names the finger") << QList<int>{5} << "" << 5 << ""
                                               << "8IK," << Banner::None;
    QTest::newRow("draws are taken mod 8") << QList<int>{32767} << "0" << 7 << "0+"
                                           << "P;/" << Banner::None;
    QTest::newRow("left index needs all eight keys") << QList<int>{3} << "4rfv5tg" << 3 << "4+R+F+V+5+T+G+"
                                                     << "B" << Banner::None;
    QTest::newRow("the eighth key completes it") << QList<int>{3} << "4rfv5tgb" << 3 << "4+R+F+V+5+T+G+B+"
                                                 << "" << Banner::Correct;
    QTest::newRow("another finger's key") << QList<int>{0} << "1w" << 0 << "1+W-"
                                          << "QAZ" << Banner::Wrong;
    QTest::newRow("a new round follows the pause") << QList<int>{0, 7} << "w|" << 7 << ""
                                                   << "0P;/" << Banner::None;
    QTest::newRow("keys typed in the pause answer the new round") << QList<int>{0, 7} << "w0p|" << 7 << "0+P+"
                                                                  << ";/" << Banner::None;
    QTest::newRow("the same finger may come twice") << QList<int>{2, 10} << "3edc|e" << 2 << "E+"
                                                    << "3DC" << Banner::None;
}

void KeyboardLessonCoreTest::quiz() {
    QFETCH(QList<int>, draws);
    QFETCH(QString, script);
    ScriptedRandom random(QList<int>(draws.begin(), draws.end()), ScriptedRandom::AtEnd::HoldLast);
    KeyboardLessonCore core(random);
    core.enterPage(5);
    QVERIFY(!core.startAt(QPoint(528, 100)));
    QVERIFY(core.startAt(kOnStart));
    QVERIFY(core.clickStart(kOnStart));
    QVERIFY(core.promptShown());
    QVERIFY(!core.startAt(kOnStart)); // START is gone while the quiz runs
    play(core, script);
    QFETCH(int, finger);
    QCOMPARE(core.fingerRow(), finger);
    QFETCH(QString, marks);
    QCOMPARE(marksText(core), marks);
    QFETCH(QString, remaining);
    QCOMPARE(core.remaining(), remaining);
    QFETCH(Banner, banner);
    QCOMPARE(core.banner(), banner);
}

void KeyboardLessonCoreTest::keysOnOtherPagesChangeNothing() {
    ScriptedRandom random;
    KeyboardLessonCore core(random);
    for (int page : {1, 2, 4, 5}) {
        core.enterPage(page);
        play(core, "asdfg1;");
        QVERIFY2(core.marks().empty(), qPrintable(QString::number(page)));
        QVERIFY(!core.paused());
        QCOMPARE(core.banner(), Banner::None);
    }
    QVERIFY(!core.quizStarted());
    QVERIFY(!core.clickStart(QPoint(600, 520))); // the bottom right of page 5 is not START
}

void KeyboardLessonCoreTest::quizNeedsStartEachVisit() {
    ScriptedRandom random({1});
    KeyboardLessonCore core(random);
    core.enterPage(5);
    QVERIFY(core.clickStart(kOnStart));
    play(core, "2");
    core.beginTurn();
    core.enterPage(4);
    core.beginTurn();
    core.enterPage(5);
    QVERIFY(!core.quizStarted());
    QVERIFY(core.startAt(kOnStart));
    play(core, "w");
    QVERIFY(core.marks().empty());
}

void KeyboardLessonCoreTest::keysTypedDuringTurnAreJudgedOnArrival() {
    ScriptedRandom random;
    KeyboardLessonCore core(random);
    core.enterPage(2);
    core.beginTurn();
    play(core, "as");
    QVERIFY(core.marks().empty());
    QCOMPARE(core.pendingCount(), std::size_t(2));
    core.enterPage(3);
    QCOMPARE(marksText(core), QStringLiteral("A+S+"));
    QCOMPARE(core.pendingCount(), std::size_t(0));
}

void KeyboardLessonCoreTest::turningDropsPauseAndKeptKeys() {
    ScriptedRandom random;
    KeyboardLessonCore core(random);
    core.enterPage(3);
    play(core, "gas");
    QVERIFY(core.paused());
    core.beginTurn(); // the learner clicked next during the pause
    QVERIFY(!core.paused());
    core.enterPage(4);
    core.beginTurn();
    core.enterPage(3);
    QVERIFY(core.marks().empty());
    QCOMPARE(core.remaining(), QStringLiteral("ASDFJKL;"));
}

void KeyboardLessonCoreTest::keptKeysAreBounded() {
    ScriptedRandom random;
    KeyboardLessonCore core(random);
    core.enterPage(3);
    core.type(u'g');
    for (int i = 0; i < 100; ++i)
        core.type(u'a');
    QCOMPARE(core.pendingCount(), KeyboardLessonCore::kMaxPending);
    core.endPause();
    QCOMPARE(marksText(core), QStringLiteral("A+"));
}

void KeyboardLessonCoreTest::hotSpots_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<PageAction>("action");
    QTest::addColumn<int>("target");

    const auto close = PageAction::Close;
    const auto previous = PageAction::Previous;
    const auto next = PageAction::Next;
    const auto none = PageAction::None;
    for (int page = 1; page <= 5; ++page) {
        const QByteArray p = "page " + QByteArray::number(page);
        QTest::newRow(p + " close, top left") << page << QPoint(562, 11) << close << 0;
        QTest::newRow(p + " close, last pixel") << page << QPoint(710, 34) << close << 0;
        QTest::newRow(p + " right of close") << page << QPoint(711, 20) << none << 0;
        QTest::newRow(p + " below close") << page << QPoint(600, 35) << none << 0;
        QTest::newRow(p + " middle of the page") << page << QPoint(360, 270) << none << 0;
    }
    QTest::newRow("page 1 has no previous") << 1 << QPoint(50, 520) << none << 0;
    QTest::newRow("page 1 next") << 1 << QPoint(561, 508) << next << 2;
    QTest::newRow("page 1 next, bottom edge") << 1 << QPoint(600, 532) << none << 0;
    QTest::newRow("page 2 previous") << 2 << QPoint(11, 511) << previous << 1;
    QTest::newRow("page 2 above previous") << 2 << QPoint(11, 510) << none << 0;
    QTest::newRow("page 2 next, wide") << 2 << QPoint(528, 509) << next << 3;
    QTest::newRow("page 3 previous") << 3 << QPoint(161, 533) << previous << 2;
    QTest::newRow("page 3 right of previous") << 3 << QPoint(162, 520) << none << 0;
    QTest::newRow("page 3 next") << 3 << QPoint(560, 508) << next << 4;
    QTest::newRow("page 3 left of next") << 3 << QPoint(559, 520) << none << 0;
    QTest::newRow("page 4 previous, wide") << 4 << QPoint(192, 520) << previous << 3;
    QTest::newRow("page 4 next") << 4 << QPoint(530, 533) << next << 5;
    QTest::newRow("page 5 previous") << 5 << QPoint(162, 530) << previous << 4;
    QTest::newRow("page 5 previous, bottom edge") << 5 << QPoint(100, 531) << none << 0;
    QTest::newRow("page 5 has no next") << 5 << QPoint(600, 520) << none << 0;
    QTest::newRow("page 5 START is no hot spot") << 5 << kOnStart << none << 0;
}

void KeyboardLessonCoreTest::hotSpots() {
    QFETCH(int, page);
    QFETCH(QPoint, point);
    QFETCH(PageAction, action);
    ScriptedRandom random;
    KeyboardLessonCore core(random);
    core.enterPage(page);
    QCOMPARE(core.book().actionAt(point), action);
    QFETCH(int, target);
    QCOMPARE(core.book().target(action), target);
}

QTEST_APPLESS_MAIN(KeyboardLessonCoreTest)
#include "tst_keyboard_lesson_core.moc"
