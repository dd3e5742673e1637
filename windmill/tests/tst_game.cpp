// The windmill's rules: key choice per level, the shown speed, the pinwheel and needle, the end of a run.
#include "TestDoubles.h"
#include "WindmillGame.h"

#include <QSet>
#include <QTest>

using halvor::FingerRun;
using halvor::FingerTable;
using halvor::WindmillGame;

namespace {

int fingerOf(QChar key) {
    for (int f = 0; f < 8; ++f)
        if (QString::fromLatin1(FingerTable[f].keys).contains(key))
            return f;
    return -1;
}
int handOf(QChar key) {
    return fingerOf(key) < 4 ? 0 : 1;
}

} // namespace

class TestGame : public QObject {
    Q_OBJECT

private slots:
    void levelComesFromTheLastCharacter_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("background");
        QTest::newRow("level 5") << R"("/b/Pelvoran12" "/b/Quenmarl" 5)" << 5 << 140;
        QTest::newRow("level 3 day") << R"("/b/Pelvoran12" "/b/Quenmarl" 3)" << 3 << 139;
        QTest::newRow("level 4 evening") << R"("/b/Pelvoran12" "/b/Quenmarl" 4)" << 4 << 140;
        QTest::newRow("level 6 night") << R"("/b/Pelvoran12" "/b/Quenmarl" 6)" << 6 << 141;
        QTest::newRow("no level after the quote") << R"("/b/Pelvoran12" "/b/Quenmarl")" << 1 << 139;
        QTest::newRow("no level after a space") << R"("/b/Pelvoran12" "/b/Quenmarl" )" << 1 << 139;
        QTest::newRow("zero") << R"("/b/Pelvoran12" "/b/Quenmarl" 0)" << 1 << 139;
        QTest::newRow("nine") << R"("/b/Pelvoran12" "/b/Quenmarl" 9)" << 9 << 141;
        QTest::newRow("letter") << R"("/b/Pelvoran12" "/b/Quenmarl" x)" << 1 << 139;
    }
    void levelComesFromTheLastCharacter() {
        QFETCH(QString, line);
        QFETCH(int, level);
        QFETCH(int, background);
        QCOMPARE(WindmillGame::LevelFromCommandLine(line), level);
        QCOMPARE(WindmillGame::BackgroundBitmap(level), background);
    }

    void keyChoiceKeepsEachLevelsRuleOverManySeeds_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("count");
        for (int level = 1; level <= 9; ++level)
            QTest::addRow("level %d", level) << level
                                             << (level >= 5 && level <= 7   ? level - 3
                                                 : level >= 2 && level <= 4 ? 2
                                                                            : 1);
    }
    void keyChoiceKeepsEachLevelsRuleOverManySeeds() {
        QFETCH(int, level);
        QFETCH(int, count);
        FakeClock clock;
        FingerRun run(clock);
        halvor::StdRandom random;
        WindmillGame game(run, random);
        game.setLevel(level);
        QSet<QString> seen;
        for (std::uint32_t seed = 0; seed < 2000; ++seed) {
            random.seed(seed);
            const QString keys = game.ChooseKeys();
            QCOMPARE(keys.size(), count);
            QCOMPARE(game.fingerNames().size(), count);
            seen.insert(keys);
            for (int i = 0; i < count; ++i) {
                QVERIFY2(fingerOf(keys[i]) >= 0, qPrintable(keys));
                QCOMPARE(game.fingerNames()[i], QString::fromUtf8(FingerTable[fingerOf(keys[i])].name));
            }
            if (count == 1)
                continue;
            QVERIFY2(QSet<QChar>(keys.begin(), keys.end()).size() == count, qPrintable(keys)); // all differ
            switch (level) {
            case 2:
                QCOMPARE(fingerOf(keys[0]), fingerOf(keys[1]));
                break;
            case 3:
                QCOMPARE(handOf(keys[0]), handOf(keys[1]));
                QCOMPARE(fingerOf(keys[0]), 3 + handOf(keys[0])); // the index finger first
                QVERIFY(fingerOf(keys[1]) != fingerOf(keys[0]));
                break;
            case 4: {
                QCOMPARE(handOf(keys[0]), handOf(keys[1]));
                QCOMPARE(fingerOf(keys[0]), 2 + 3 * handOf(keys[0])); // the middle finger first
                // left: little, middle or index finger; right: index, ring or little finger
                const QList<int> allowed = handOf(keys[0]) == 0 ? QList<int>{0, 2, 3} : QList<int>{4, 6, 7};
                QVERIFY2(allowed.contains(fingerOf(keys[1])), qPrintable(keys));
                break;
            }
            default: {
                QSet<int> fingers;
                for (QChar k : keys)
                    fingers.insert(fingerOf(k));
                QCOMPARE(fingers.size(), count);
            }
            }
        }
        QVERIFY2(seen.size() > 5, "the choice must vary with the seed");
    }

    void theShownSpeedFollowsByTwoAndIsClamped() {
        FakeClock clock;
        FingerRun run(clock);
        halvor::StdRandom random;
        WindmillGame game(run, random);
        game.setLevel(1);
        run.start(game.ChooseKeys());
        game.start();
        const QChar key = run.keys()[0];
        for (int i = 0; i < 100; ++i) // 100 strokes in 10 s: 600 a minute, beyond the dial
            run.checkKey(key.unicode());
        clock.advance(10000);
        game.frameTick();
        QCOMPARE(game.shownSpeed(), 2.0);
        for (int i = 0; i < 300; ++i)
            game.frameTick();
        QCOMPARE(game.shownSpeed(), 400.0);
        QCOMPARE(game.needleAngle(), 120);
        const int before = game.windmillAngle();
        game.frameTick();
        QCOMPARE((game.windmillAngle() - before + 360) % 360, 40); // 40 degrees a frame at most

        clock.advance(50000); // 100 strokes in 60 s: 100 a minute; the needle comes back 2 a frame
        game.frameTick();
        QCOMPARE(game.shownSpeed(), 398.0);
        for (int i = 0; i < 200; ++i)
            game.frameTick();
        QCOMPARE(game.shownSpeed(), 100.0);
        QCOMPARE(game.needleAngle(), -59);
    }

    void aSlowSpeedLeavesThePinwheelStanding() {
        FakeClock clock;
        FingerRun run(clock);
        halvor::StdRandom random;
        WindmillGame game(run, random);
        run.start("a");
        game.start();
        run.checkKey('a');
        clock.advance(10000); // 6 a minute
        for (int i = 0; i < 10; ++i)
            game.frameTick();
        QCOMPARE(game.shownSpeed(), 6.0);
        QCOMPARE(game.windmillAngle(), 0);
    }

    void needleAngle_data() {
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("angle");
        QTest::newRow("0") << 0.0 << -120;
        QTest::newRow("100 (factor just above 0.6)") << 100.0 << -59;
        QTest::newRow("200 upright") << 200.0 << 0;
        QTest::newRow("300") << 300.0 << 60;
        QTest::newRow("400") << 400.0 << 120;
        QTest::newRow("1") << 1.0 << -119;
    }
    void needleAngle() {
        QFETCH(double, speed);
        QFETCH(int, angle);
        QCOMPARE(WindmillGame::NeedleAngle(speed), angle);
    }

    void aRunEndsAtItsTime_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("lastGoingMs");
        QTest::newRow("one key: 30 s") << 1 << 29999;
        QTest::newRow("two keys: 60 s") << 2 << 59999;
        QTest::newRow("four keys: 60 s") << 7 << 59999;
        QTest::newRow("level 9: one key") << 9 << 29999;
    }
    void aRunEndsAtItsTime() {
        QFETCH(int, level);
        QFETCH(int, lastGoingMs);
        FakeClock clock;
        FingerRun run(clock);
        halvor::StdRandom random;
        WindmillGame game(run, random);
        game.setLevel(level);
        run.start(game.ChooseKeys());
        game.start();
        clock.advance(static_cast<std::uint32_t>(lastGoingMs));
        QVERIFY(!game.frameTick());
        clock.advance(1);
        QVERIFY(game.frameTick());
    }
};

QTEST_APPLESS_MAIN(TestGame)
#include "tst_game.moc"
