// The game's rules frame by frame: wall, water, warning, the two endings and what each frame draws.
#include "BlocksCore.h"
#include "TestDoubles.h"

#include <QSet>
#include <QTest>

using halvor::blocks::BlocksCore;
using halvor::blocks::DrawList;
using halvor::blocks::DrawOp;
using State = BlocksCore::State;

namespace {

// The size each bitmap is drawn at, so every source rectangle can be checked against it.
QSize bitmapSize(int id) {
    switch (id) {
    case 135:
        return {28, 21};
    case 136:
        return {120, 119};
    case 140:
        return {160, 115};
    case 141:
        return {39, 39};
    case 147:
        return {111, 232};
    default:
        return {704, 444};
    }
}

QList<DrawOp> opsOf(const DrawList& frame, int bitmap) {
    QList<DrawOp> found;
    for (const DrawOp& op : frame) {
        if (op.kind == DrawOp::Kind::Bitmap && op.bitmap == bitmap) {
            found.append(op);
        }
    }
    return found;
}

bool hasText(const DrawList& frame, const QString& text) {
    return std::any_of(frame.begin(), frame.end(),
                       [&](const DrawOp& op) { return op.kind == DrawOp::Kind::Text && op.text == text; });
}

// Every source rectangle lies inside its bitmap, and every frame that draws ends with a flip.
void checkFrame(const DrawList& frame) {
    if (frame.isEmpty()) {
        return;
    }
    QCOMPARE(frame.last().kind, DrawOp::Kind::Flip);
    for (const DrawOp& op : frame) {
        if (op.kind == DrawOp::Kind::Bitmap && !op.source.isNull()) {
            const QRect image(QPoint(0, 0), bitmapSize(op.bitmap));
            QVERIFY2(image.contains(op.source),
                     qPrintable(QStringLiteral("bitmap %1 source (%2, %3, %4 x %5) outside the image")
                                    .arg(op.bitmap)
                                    .arg(op.source.x())
                                    .arg(op.source.y())
                                    .arg(op.source.width())
                                    .arg(op.source.height())));
        }
    }
}

// A game with its run, clock and random source; four frames later is 400 ms later.
struct Game {
    explicit Game(int mode = 12, QList<int> randoms = {0, 4, 8, 12}) : random(std::move(randoms)) {
        core = std::make_unique<BlocksCore>(run, random, mode);
    }
    void start() {
        core->start();
        run.start(core->keys());
    }
    void typeCorrect(int count) {
        for (int i = 0; i < count; ++i) {
            QCOMPARE(run.checkKey(core->keys().at(run.nextKey()).unicode()),
                     halvor::FingerRun::KeyResult::Correct);
        }
    }
    void typeWrong(int count) {
        for (int i = 0; i < count; ++i) {
            QCOMPARE(run.checkKey(U'Z'), halvor::FingerRun::KeyResult::Wrong);
        }
    }
    BlocksCore::TickResult frame() {
        clock.advance(100);
        return core->tick();
    }

    FakeClock clock;
    ScriptedRandom random;
    halvor::FingerRun run{clock};
    std::unique_ptr<BlocksCore> core;
};

} // namespace

class TestBlocksCore : public QObject {
    Q_OBJECT

private slots:
    void modeComesFromTheLastTwoCharacters_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("mode");
        QTest::newRow("four characters from the menu") << R"("/b/Tavrel11" "/b/Quenmarl" 12)" << 12;
        QTest::newRow("two characters") << R"("/b/Tavrel11" "/b/Quenmarl" 11)" << 11;
        QTest::newRow("no argument, ends in a quote") << R"("/b/Tavrel11" "/b/Quenmarl")" << 11;
        QTest::newRow("no argument, ends in a space") << R"("/b/Tavrel11" "/b/Quenmarl" )" << 11;
        QTest::newRow("program alone, name ends in 11") << R"("/b/Tavrel11")" << 11;
        QTest::newRow("empty") << QString() << 11;
        QTest::newRow("unknown number stays two characters") << R"("/b/Tavrel11" "/b/Q" 7)" << 11;
        QTest::newRow("longer argument, last two count") << R"("/b/Tavrel11" "/b/Q" 112)" << 12;
    }
    void modeComesFromTheLastTwoCharacters() {
        QFETCH(QString, commandLine);
        QFETCH(int, mode);
        QCOMPARE(BlocksCore::ModeFromCommandLine(commandLine), mode);
    }

    void diagonalsAtEveryThreshold_data() {
        QTest::addColumn<int>("bricks");
        QTest::addColumn<int>("diagonals");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("negative") << -3 << 0;
        const int thresholds[] = {1, 3, 6, 10, 15, 21, 28, 36, 45, 55};
        for (int d = 1; d <= 10; ++d) {
            const int n = thresholds[d - 1];
            QTest::addRow("%d bricks", n - 1) << n - 1 << d - 1;
            QTest::addRow("%d bricks", n) << n << d;
        }
        QTest::newRow("more than the wall") << 80 << 10;
    }
    void diagonalsAtEveryThreshold() {
        QFETCH(int, bricks);
        QFETCH(int, diagonals);
        QCOMPARE(BlocksCore::DiagonalsOf(bricks), diagonals);
    }

    void wallLayout_data() {
        QTest::addColumn<int>("brick");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("0, diagonal 1") << 0 << QPoint(255, 397);
        QTest::newRow("1, diagonal 2 bottom") << 1 << QPoint(227, 397);
        QTest::newRow("2, diagonal 2 top") << 2 << QPoint(255, 376);
        QTest::newRow("3, diagonal 3 bottom") << 3 << QPoint(199, 397);
        QTest::newRow("45, diagonal 10 bottom") << 45 << QPoint(3, 397);
        QTest::newRow("54, the top") << 54 << QPoint(255, 208);
    }
    void wallLayout() {
        QFETCH(int, brick);
        QFETCH(QPoint, position);
        QCOMPARE(BlocksCore::BrickPosition(brick), position);
        Game game;
        QCOMPARE(QPoint(game.core->bricks()[brick].x, game.core->bricks()[brick].y), position);
        QCOMPARE(game.core->bricks()[brick].visible, brick == 0);
    }

    void wallIsATriangleWhoseRightColumnGrowsPerDiagonal() {
        QSet<QPair<int, int>> seen;
        for (int i = 0; i < BlocksCore::BrickCount; ++i) {
            const QPoint at = BlocksCore::BrickPosition(i);
            QVERIFY(!seen.contains({at.x(), at.y()}));
            seen.insert({at.x(), at.y()});
            QVERIFY(at.x() >= 0 && at.x() + 28 <= 283);
        }
        for (int d = 1; d <= 10; ++d) {
            const int last = d * (d + 1) / 2 - 1;
            QCOMPARE(BlocksCore::BrickPosition(last), QPoint(255, 418 - 21 * d));
        }
    }

    void charactersAreDifferentAndFromTheKeyString() {
        const QString keyString = QString::fromLatin1(BlocksCore::KeyString);
        QCOMPARE(keyString.size(), BlocksCore::KeyStringLength);
        QSet<QChar> everSeen;
        for (int mode : {11, 12}) {
            for (std::uint32_t seed = 1; seed <= 300; ++seed) {
                FakeClock clock;
                halvor::FingerRun run(clock);
                halvor::StdRandom random;
                random.seed(seed);
                BlocksCore core(run, random, mode);
                const QString keys = core.chooseCharacters();
                QCOMPARE(keys.size(), mode == 12 ? 4 : 2);
                for (int i = 0; i < keys.size(); ++i) {
                    QVERIFY(keyString.contains(keys[i]));
                    QCOMPARE(keys.count(keys[i]), 1);
                    everSeen.insert(keys[i]);
                }
            }
        }
        QCOMPARE(everSeen.size(), 40); // every key of the four rows turns up
    }

    void aRepeatedCharacterIsDrawnAgain() {
        Game game(12, {0, 40, 80, 1, 1, 2, 3});
        QCOMPARE(game.core->chooseCharacters(), QStringLiteral("1qaz"));
        Game stuck(12, {5}); // a source stuck on one number still gives four different characters
        QCOMPARE(stuck.core->chooseCharacters().size(), 4);
        QCOMPARE(QSet<QChar>(stuck.core->keys().begin(), stuck.core->keys().end()).size(), 4);
    }

    void everyFourthCorrectCharacterLaysABrick() {
        Game game;
        game.start();
        game.typeCorrect(3);
        auto result = game.frame();
        QCOMPARE(game.core->placed(), 0);
        QVERIFY(!result.brickLaid);
        QVERIFY(!game.core->bricks()[1].visible);
        game.typeWrong(5); // misses lay nothing and take nothing away
        result = game.frame();
        QCOMPARE(game.core->placed(), 0);
        QVERIFY(!result.brickLaid);
        game.typeCorrect(1);
        result = game.frame();
        QCOMPARE(game.core->placed(), 1);
        QVERIFY(result.brickLaid);
        QVERIFY(game.core->bricks()[1].visible);
        QVERIFY(!game.core->bricks()[2].visible);
        game.typeWrong(3);
        game.typeCorrect(3);
        QVERIFY(!game.frame().brickLaid); // 7 correct: the same wall, no sound
        QCOMPARE(game.core->placed(), 1);
        game.typeCorrect(13); // a burst lays several bricks with one sound
        QVERIFY(game.frame().brickLaid);
        QCOMPARE(game.core->placed(), 5);
        for (int i = 0; i < BlocksCore::BrickCount; ++i) {
            QCOMPARE(game.core->bricks()[i].visible, i <= 5);
        }
    }

    void runningFrameDrawsInOrder() {
        Game game;
        game.start();
        QCOMPARE(game.core->keys(), QStringLiteral("1234"));
        game.typeCorrect(2);
        game.typeWrong(1);
        game.frame();
        const DrawList& frame = game.core->frame();
        QList<int> bitmaps;
        for (const DrawOp& op : frame) {
            bitmaps.append(op.kind == DrawOp::Kind::Bitmap ? op.bitmap : -static_cast<int>(op.kind));
        }
        const int sprites = -static_cast<int>(DrawOp::Kind::Sprites);
        const int text = -static_cast<int>(DrawOp::Kind::Text);
        const int flip = -static_cast<int>(DrawOp::Kind::Flip);
        // No water body yet: the inflow has not reached the wall.
        QCOMPARE(bitmaps, (QList<int>{129, 130, 138, sprites, 147, text, text, text, text, flip}));
        QCOMPARE(frame[2].at, QPoint(656, 210));
        QCOMPARE(frame[2].source, QRect(656, 210, 48, 234));
        QCOMPARE(frame[4].source, QRect(0, 0, 111, 58));
        for (int i = 0; i < 4; ++i) {
            const DrawOp& op = frame[5 + i];
            QCOMPARE(op.text, QString(game.core->keys()[i]));
            QCOMPARE(op.at, QPoint(200 + 140 * i, 50));
            QCOMPARE(op.size, 260);
            QCOMPARE(op.colour, i == 2 ? 0x0A0AF0u : 0u); // the third is expected after two hits and a miss
        }
        checkFrame(frame);
    }

    void edgeLineShimmersOnceASecondAndMascotEveryTwo() {
        Game game(11);
        game.start();
        QList<int> edges;
        QList<int> mascots;
        for (int frame = 0; frame < 41; ++frame) {
            game.frame();
            edges.append(opsOf(game.core->frame(), 137).size() ? 0 : 1);
            mascots.append(game.core->mascotFrame());
        }
        QCOMPARE(edges.mid(0, 12), (QList<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0}));
        QCOMPARE(edges.mid(19, 3), (QList<int>{0, 1, 1}));
        QCOMPARE(mascots.mid(18, 4), (QList<int>{0, 1, 1, 1}));
        QCOMPARE(mascots.mid(38, 3), (QList<int>{1, 0, 0}));
    }

    void waterRisesOnlyAfterTheInflowReachesTheWall() {
        Game game;
        game.start();
        for (int frame = 1; frame <= 94; ++frame) {
            game.frame();
            QCOMPARE(game.core->edgeX(), 660 - 4 * frame);
            QCOMPARE(game.core->waterLevel(), 417.0);
            QVERIFY(opsOf(game.core->frame(), 139).isEmpty());
        }
        game.frame(); // frame 95: the line arrives and the water starts
        QCOMPARE(game.core->edgeX(), 283);
        QVERIFY(qFuzzyCompare(game.core->waterLevel(), 416.8));
        for (int frame = 96; frame <= 120; ++frame) {
            const double before = game.core->waterLevel();
            game.frame();
            QCOMPARE(game.core->edgeX(), 283);
            QVERIFY(qAbs(before - game.core->waterLevel() - 0.2) < 1e-9);
        }
        const QList<DrawOp> water = opsOf(game.core->frame(), 139);
        QCOMPARE(water.size(), 1);
        const int level = static_cast<int>(game.core->waterLevel());
        QCOMPARE(water[0].at, QPoint(283, level));
        QCOMPARE(water[0].source, QRect(283, level, 421, 417 - level));
    }

    void warningDropsBlinkNearTheTopOfTheWall_data() {
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("diagonals");
        QTest::newRow("first brick only") << 0 << 1;
        QTest::newRow("three diagonals") << 20 << 3; // 5 more bricks: 6 in all
    }
    void warningDropsBlinkNearTheTopOfTheWall() {
        QFETCH(int, correct);
        QFETCH(int, diagonals);
        Game game;
        game.start();
        game.typeCorrect(correct);
        const int warnBelow = 433 - 21 * diagonals;
        int frames = 0;
        while (static_cast<int>(game.core->waterLevel()) >= warnBelow) {
            game.frame();
            QVERIFY(!game.core->warningShown());
            QVERIFY(++frames < 1000);
        }
        // The first frame below the line only sets the blink; the drops show every other frame.
        game.frame();
        QVERIFY(game.core->warningShown());
        const QList<DrawOp> drops = opsOf(game.core->frame(), 141);
        QCOMPARE(drops.size(), 1);
        QCOMPARE(drops[0].at, QPoint(244, static_cast<int>(game.core->waterLevel()) - 39));
        game.frame();
        QVERIFY(!game.core->warningShown());
        game.frame();
        QVERIFY(game.core->warningShown());
        QCOMPARE(game.core->state(), State::Running);
    }

    void idleLearnerLosesAfterAboutTwentySeconds() {
        Game game;
        game.start();
        int frames = 0;
        BlocksCore::TickResult result;
        while (game.core->state() == State::Running) {
            result = game.frame();
            checkFrame(game.core->frame());
            QVERIFY(!result.finished);
            ++frames;
            QVERIFY(frames < 400);
        }
        QCOMPARE(game.core->state(), State::FailureAnimation);
        QVERIFY(result.clockStopped);
        QVERIFY2(frames >= 190 && frames <= 200, qPrintable(QString::number(frames)));
        const int level = static_cast<int>(game.core->waterLevel());
        QVERIFY(level < 397);
        const int step = -((418 - level) / 3);
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(game.core->waves()[k], QPoint(140, std::min(338 + k * step, 304)));
        }

        const double floodLevel = game.core->waterLevel();
        int animation = 0;
        do {
            result = game.frame();
            checkFrame(game.core->frame());
            ++animation;
            QVERIFY(hasText(game.core->frame(), QStringLiteral("失　　 敗")));
            QCOMPARE(opsOf(game.core->frame(), 147).first().source, QRect(0, 174, 111, 58)); // crying
            QCOMPARE(opsOf(game.core->frame(), 140).size(), 4);
            QCOMPARE(opsOf(game.core->frame(), 141).size(), animation % 2 ? 4 : 0);
            QCOMPARE(game.core->waterLevel(), floodLevel); // the level stands still while it floods
            QCOMPARE(opsOf(game.core->frame(), 139).first().at.y(), level);
            QVERIFY(!result.clockStopped);
        } while (!result.finished && animation < 100);
        QCOMPARE(animation, 36);
        QVERIFY(!result.won);
        QCOMPARE(game.core->state(), State::Idle);
        QVERIFY(game.core->floodX() <= 0);
        QCOMPARE(game.core->waves()[0].x(), 140 - 8 * 36);
        QVERIFY(!game.frame().finished);
        QVERIFY(game.core->frame().isEmpty()); // idle: the last picture stays
    }

    void fastLearnerWinsAndTheBoatCrosses() {
        Game game;
        game.start();
        BlocksCore::TickResult result;
        int frames = 0;
        // About 3.4 characters a second at first, then faster: the water is rising when the wall is done.
        while (game.core->state() == State::Running) {
            game.typeCorrect(frames % 3 == 0 ? 1 : 0);
            if (frames > 60) {
                game.typeCorrect(2);
            }
            result = game.frame();
            checkFrame(game.core->frame());
            ++frames;
            if (game.core->placed() < 54) {
                QVERIFY(!result.clockStopped);
            }
            QVERIFY(frames < 400);
        }
        QCOMPARE(game.core->state(), State::SuccessAnimation);
        QCOMPARE(game.core->placed(), 54);
        QVERIFY(game.run.correct() >= 216);
        QVERIFY(result.clockStopped);
        QVERIFY(result.brickLaid);
        QVERIFY(game.core->waterLevel() < 417.0);
        QVERIFY(game.run.maxSpeed() > 0);
        for (const auto& brick : game.core->bricks()) {
            QVERIFY(brick.visible);
        }

        // The basin fills 10 pixels a frame, drawn over the last picture.
        int filling = 0;
        const double start = game.core->waterLevel();
        while (game.core->waterLevel() > 218.0) {
            const double before = game.core->waterLevel();
            result = game.frame();
            ++filling;
            QCOMPARE(game.core->frame().size(), 2);
            QCOMPARE(game.core->frame()[0].bitmap, 139);
            QCOMPARE(game.core->waterLevel(), std::max(before - 10.0, 218.0));
            QVERIFY(!result.finished);
        }
        QCOMPARE(filling, static_cast<int>(std::ceil((start - 218.0) / 10.0)));

        int crossing = 0;
        do {
            result = game.frame();
            checkFrame(game.core->frame());
            ++crossing;
            QVERIFY(hasText(game.core->frame(), QStringLiteral("成　　 功")));
            QCOMPARE(opsOf(game.core->frame(), 147).first().source, QRect(0, 116, 111, 58)); // cheering
            QCOMPARE(opsOf(game.core->frame(), 136).first().at, QPoint(540 - 3 * crossing, 102));
            QCOMPARE(game.core->waterLevel(), 218.0);
        } while (!result.finished && crossing < 200);
        QCOMPARE(crossing, 64);
        QVERIFY(result.won);
        QVERIFY(!result.clockStopped);
        QCOMPARE(game.core->state(), State::Idle);
    }

    void aNewRunStartsFromAFreshWall() {
        Game game(11, {3, 7, 11, 5, 9});
        game.start();
        game.typeCorrect(40);
        for (int frame = 0; frame < 150; ++frame) {
            game.frame();
        }
        QVERIFY(game.core->waterLevel() < 417.0);
        game.start();
        QCOMPARE(game.core->state(), State::Running);
        QCOMPARE(game.core->waterLevel(), 417.0);
        QCOMPARE(game.core->edgeX(), 660);
        QCOMPARE(game.core->keys().size(), 2);
        for (int i = 0; i < BlocksCore::BrickCount; ++i) {
            QCOMPARE(game.core->bricks()[i].visible, i == 0);
        }
        QVERIFY(!game.frame().brickLaid); // the old wall's count does not sound again
    }

    void startupPictureShowsWallAndIdleMascot() {
        Game game;
        const DrawList& frame = game.core->drawStartup();
        QCOMPARE(frame.size(), 4);
        QCOMPARE(frame[0].bitmap, 129);
        QCOMPARE(frame[1].bitmap, 130);
        QCOMPARE(frame[2].kind, DrawOp::Kind::Sprites);
        QCOMPARE(frame[3].bitmap, 147);
        QCOMPARE(frame[3].at, QPoint(31, 134));
    }
};

QTEST_APPLESS_MAIN(TestBlocksCore)
#include "tst_blockscore.moc"
