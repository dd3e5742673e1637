// The run arithmetic both finger drills share.
#include "FingerRun.h"
#include "TestDoubles.h"

#include <QTest>

using halvor::FingerRun;
using Result = FingerRun::KeyResult;

class TestFingerRun : public QObject {
    Q_OBJECT

private slots:
    void keyCheckCyclesAndKeepsTheExpectedKeyOnAMiss() {
        FakeClock clock;
        FingerRun run(clock);
        run.start("fj");
        QCOMPARE(run.checkKey('f'), Result::Correct);
        QCOMPARE(run.nextKey(), 1);
        QCOMPARE(run.checkKey('f'), Result::Wrong); // j expected: the miss is j's
        QCOMPARE(run.nextKey(), 1);
        QCOMPARE(run.checkKey('x'), Result::Wrong);
        QCOMPARE(run.checkKey('j'), Result::Correct);
        QCOMPARE(run.nextKey(), 0); // wraps to the first key
        QCOMPARE(run.keystrokes(), 4);
        QCOMPARE(run.errors(), 2);
        QCOMPARE(run.keyErrors(0), 0);
        QCOMPARE(run.keyErrors(1), 2);
        QCOMPARE(run.correct(), 2);
    }

    // Keys typed 100 ms apart ("." waits 100 ms more); per key asked: attempts/misses, mean ms, wrong key.
    void unitsPerKeyAsked_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("units");
        QTest::newRow("clean, first stroke not timed") << "fj"
                                                       << "fjf" << QStringList{"f 2/0 100", "j 1/0 100"};
        QTest::newRow("misses count against the key asked")
            << "fj"
            << "fkkhj" << QStringList{"f 1/0 -1", "j 4/3 400 k"};
        QTest::newRow("a tie: the wrong key pressed first") << "a"
                                                            << "ab.ca" << QStringList{"a 4/2 400 b"};
        QTest::newRow("upper case is its own key") << "a"
                                                   << "aAa" << QStringList{"a 3/1 200 A"};
        QTest::newRow("ignored characters are no attempt") << "a"
                                                           << "a\ta" << QStringList{"a 2/0 200"};
    }
    void unitsPerKeyAsked() {
        QFETCH(QString, keys);
        QFETCH(QString, typed);
        QFETCH(QStringList, units);
        FakeClock clock;
        FingerRun run(clock);
        run.start(keys);
        for (const QChar c : typed) {
            clock.advance(100);
            if (c != u'.')
                run.checkKey(c.unicode());
        }
        QStringList got;
        int attempts = 0;
        int misses = 0;
        for (const halvor::UnitRow& r : run.units().rows()) {
            got << QStringLiteral("%1 %2/%3 %4 %5")
                       .arg(r.unit)
                       .arg(r.attempts)
                       .arg(r.misses)
                       .arg(r.meanMs)
                       .arg(r.wrongKey)
                       .trimmed();
            attempts += r.attempts;
            misses += r.misses;
        }
        QCOMPARE(got, units);
        // The units add up to the run's own counts.
        QCOMPARE(attempts, run.keystrokes());
        QCOMPARE(misses, run.errors());
    }

    void charactersOutsidePrintableAsciiAreNotKeystrokes_data() {
        QTest::addColumn<uint>("code");
        QTest::newRow("tab") << 0x09u;
        QTest::newRow("backspace") << 0x08u;
        QTest::newRow("unit separator") << 0x1fu;
        QTest::newRow("delete") << 0x7fu;
        QTest::newRow("0x80") << 0x80u;
        QTest::newRow("latin-1 letter") << 0xe9u;
        QTest::newRow("half-width katakana a") << 0xff71u;
        QTest::newRow("hiragana a") << 0x3042u;
    }
    void charactersOutsidePrintableAsciiAreNotKeystrokes() {
        QFETCH(uint, code);
        FakeClock clock;
        FingerRun run(clock);
        run.start("a");
        QCOMPARE(run.checkKey(code), Result::Ignored);
        QCOMPARE(run.keystrokes(), 0);
        QCOMPARE(run.errors(), 0);
        QCOMPARE(run.checkKey(' '), Result::Wrong); // space is printable: a miss
        QCOMPARE(run.checkKey('~'), Result::Wrong); // the last printable character
        QCOMPARE(run.keystrokes(), 2);
    }

    void speedAndBestSpeedAtTheEdgeSeconds_data() {
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("wrong");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("best");
        QTest::newRow("first second shows 0") << 999 << 5 << 0 << 0.0 << 0.0;
        QTest::newRow("one second") << 1000 << 5 << 0 << 300.0 << 0.0;
        QTest::newRow("4.9 s: an early burst is not the best") << 4900 << 40 << 0 << 600.0 << 0.0;
        QTest::newRow("5th second counts") << 5000 << 40 << 0 << 480.0 << 480.0;
        QTest::newRow("only right keys count") << 6000 << 30 << 10 << 300.0 << 300.0;
        QTest::newRow("more errors than right keys") << 10000 << 1 << 5 << 6.0 << 6.0;
        QTest::newRow("division in double") << 7000 << 10 << 0 << 600.0 / 7 << 600.0 / 7;
    }
    void speedAndBestSpeedAtTheEdgeSeconds() {
        QFETCH(int, ms);
        QFETCH(int, correct);
        QFETCH(int, wrong);
        QFETCH(double, speed);
        QFETCH(double, best);
        FakeClock clock;
        FingerRun run(clock);
        run.start("a");
        for (int i = 0; i < correct; ++i)
            run.checkKey('a');
        for (int i = 0; i < wrong; ++i)
            run.checkKey('b');
        clock.advance(static_cast<std::uint32_t>(ms));
        run.updateSpeed();
        QCOMPARE(run.currentSpeed(), speed);
        QCOMPARE(run.maxSpeed(), best);
        QCOMPARE(run.speedNumber(), static_cast<int>(speed));
    }

    void bestSpeedKeepsTheHighestFromTheFifthSecond() {
        FakeClock clock;
        FingerRun run(clock);
        run.start("a");
        for (int i = 0; i < 50; ++i)
            run.checkKey('a');
        clock.advance(5000);
        run.updateSpeed(); // 600
        clock.advance(5000);
        run.updateSpeed(); // 300
        QCOMPARE(run.currentSpeed(), 300.0);
        QCOMPARE(run.maxSpeed(), 600.0);
        QCOMPARE(run.maxNumber(), 600);
    }

    void errorPercentageIsCutAndZeroBeforeTheFirstKey() {
        FakeClock clock;
        FingerRun run(clock);
        run.start("a");
        QCOMPARE(run.errorNumber(), 0);
        run.checkKey('a');
        run.checkKey('a');
        run.checkKey('b'); // 1 of 3: 33.3 %
        QCOMPARE(run.errorNumber(), 33);
        run.checkKey('b'); // 2 of 4
        QCOMPARE(run.errorNumber(), 50);
    }

    // A clock tick stands for the whole second nearest to it, however early or late it fires; a run's end
    // (a frame tick) shows the whole seconds that have passed.
    void panelClockShowsMinutesAndSeconds_data() {
        QTest::addColumn<int>("ms");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("seconds");
        QTest::newRow("start") << 0 << false << 0 << 0;
        QTest::newRow("first tick 3 % early") << 970 << false << 0 << 1;
        QTest::newRow("first tick 400 ms late") << 1400 << false << 0 << 1;
        QTest::newRow("30th tick 5 % early") << 29950 << false << 0 << 30;
        QTest::newRow("60th tick early") << 59900 << false << 1 << 0;
        QTest::newRow("61 minutes wrap") << 61 * 60000 + 3000 << false << 1 << 3;
        QTest::newRow("stopped at 30 s, before the 30th tick") << 30000 << true << 0 << 30;
        QTest::newRow("stopped late at 30.6 s") << 30600 << true << 0 << 30;
        QTest::newRow("stopped at 19.5 s") << 19500 << true << 0 << 19;
    }
    void panelClockShowsMinutesAndSeconds() {
        QFETCH(int, ms);
        QFETCH(bool, stopped);
        QFETCH(int, minutes);
        QFETCH(int, seconds);
        FakeClock clock;
        FingerRun run(clock);
        run.start("a");
        clock.advance(static_cast<std::uint32_t>(ms));
        if (stopped)
            run.stopClock();
        else
            run.updateClock();
        QCOMPARE(run.minuteNumber(), minutes);
        QCOMPARE(run.secondNumber(), seconds);
    }

    void elapsedSecondsSurviveTheTickCountWrap() {
        FakeClock clock;
        clock.tick = 0xFFFFFC18u; // one second before the wrap
        FingerRun run(clock);
        run.start("a");
        clock.advance(3000);
        QCOMPARE(run.elapsedSeconds(), 3u);
    }

    void aNewRunStartsFromZero() {
        FakeClock clock;
        FingerRun run(clock);
        run.start("ab");
        run.checkKey('a');
        run.checkKey('x');
        clock.advance(9000);
        run.updateSpeed();
        run.updateClock();
        run.start("cd");
        QCOMPARE(run.keys(), QString("cd"));
        QCOMPARE(run.nextKey(), 0);
        QCOMPARE(run.keystrokes(), 0);
        QCOMPARE(run.errors(), 0);
        QCOMPARE(run.keyErrors(1), 0);
        QCOMPARE(run.maxSpeed(), 0.0);
        QCOMPARE(run.secondNumber(), 0);
        QCOMPARE(run.elapsedSeconds(), 0u);
    }

    void courseNumberReadsTheTailAsAtoiDoes_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("value");
        QTest::newRow("level") << R"("/bin/Pelvoran12" "/bin/Quenmarl" 5)" << 1 << 5;
        QTest::newRow("ends in a quote") << R"("/bin/Pelvoran12" "/bin/Quenmarl")" << 1 << 0;
        QTest::newRow("ends in a space") << R"("/bin/Pelvoran12" "/bin/Quenmarl" )" << 1 << 0;
        QTest::newRow("mode") << R"("/bin/Tavrel11" "/bin/Quenmarl" 12)" << 2 << 12;
        QTest::newRow("one-digit mode") << R"("/bin/Tavrel11" "/bin/Quenmarl" 7)" << 2 << 7;
        QTest::newRow("digit then letter") << "x 1a" << 2 << 1;
        QTest::newRow("empty") << "" << 2 << 0;
    }
    void courseNumberReadsTheTailAsAtoiDoes() {
        QFETCH(QString, line);
        QFETCH(int, count);
        QFETCH(int, value);
        QCOMPARE(halvor::CourseNumber(line, count), value);
    }

    void passengerAlternatesEveryReload() {
        halvor::FrameAlternator a;
        a.reset();
        QList<int> frames;
        for (int i = 0; i < 45; ++i) {
            a.tick();
            frames << a.frame;
        }
        QCOMPARE(frames[18], 0);
        QCOMPARE(frames[19], 1); // the 20th tick changes it
        QCOMPARE(frames[38], 1);
        QCOMPARE(frames[39], 0);
    }
};

QTEST_APPLESS_MAIN(TestFingerRun)
#include "tst_fingerrun.moc"
