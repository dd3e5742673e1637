// The embankment-block game's world: the wall, the water, the mascot and the two endings, advanced one
// frame (100 ms) at a time over the run arithmetic both finger drills share. It knows no widget: each frame
// is a list of drawing steps that the dialog carries out through Common, so tests can check a whole game
// without pixels.
#pragma once

#include "FingerRun.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>

namespace halvor {
class Random;
}

namespace halvor::blocks {

// Bitmap resource ids of the picture.
enum Bitmap : int {
    SkyBitmap = 129,
    DikeBitmap = 130,
    EdgeBitmap0 = 137,
    EdgeBitmap1 = 138,
    WaterBitmap = 139,
    BrickBitmap = 135,
    WaveBitmap = 140,
    DropBitmap = 141,
    BoatBitmap = 136,
    MascotBitmap = 147,
};

// One drawing step: a bitmap (whole, or its `source` part) at `at`, the brick sprites, a text in
// "ＭＳ ゴシック" with a transparent back, or the flip that shows the back surface.
struct DrawOp {
    enum class Kind { Bitmap, Sprites, Text, Flip };
    Kind kind = Kind::Flip;
    int bitmap = 0;
    QPoint at;
    QRect source; // null: the whole bitmap
    QString text;
    int size = 0;             // tenths of a point
    std::uint32_t colour = 0; // 0x00BBGGRR
    bool bold = false;

    bool operator==(const DrawOp&) const = default;
};
using DrawList = QList<DrawOp>;

struct Brick {
    int x = 0;
    int y = 0;
    bool visible = false;
};

class BlocksCore {
public:
    enum class State { Idle = 0, Running = 2, FailureAnimation = 3, SuccessAnimation = 4 };

    // What a frame asks of the dialog besides drawing.
    struct TickResult {
        bool brickLaid = false;    // play the brick sound
        bool clockStopped = false; // the wall was finished or flooded: stop the clock timer
        bool finished = false;     // an ending is over: stop the frame timer, stop the music
        bool won = false;          // with finished: store the run
    };

    static constexpr int BrickCount = 55;
    static constexpr int BrickWidth = 28;
    static constexpr int BrickHeight = 21;
    static constexpr const char* KeyString = "1qaz2wsx3edc4rfv5tgb6yhn7ujm8ik,9ol.0p;/";
    static constexpr int KeyStringLength = 40;
    static constexpr double StartLevel = 417.0;
    static constexpr double TopLevel = 218.0;
    static constexpr int EdgeStartX = 660;
    static constexpr int BasinLeft = 283;
    static constexpr int EdgeReload = 10;

    // The mode from the last two characters of the command line: 12 practises four characters, every
    // other value is the two-character mode 11 (so a run is never stored under a drill number that no
    // chart reads back).
    static int ModeFromCommandLine(const QString& commandLine);
    // Complete diagonals of a wall of n bricks: the largest d (1..10) with d (d + 1) / 2 <= n, else 0.
    static int DiagonalsOf(int n);
    // Where brick i (0..54) sits: diagonals from the bottom right, each rising to the right.
    static QPoint BrickPosition(int i);

    // The run is owned by the dialog frame, which starts it on the characters chosen here.
    BlocksCore(FingerRun& run, Random& random, int mode);

    int mode() const { return mode_; }
    int keyCount() const { return mode_ == 12 ? 4 : 2; }
    const QString& keys() const { return keys_; }
    State state() const { return state_; }

    // Puts every brick in place, hidden except the first.
    void layOutWall();
    // Picks keyCount() different characters of KeyString.
    const QString& chooseCharacters();
    // Water, edge line, wall and characters for a new run; the state becomes Running. The owner then
    // starts the run on keys().
    void start();
    // The picture before the first run: sky, dike, wall and the idle mascot (no flip).
    const DrawList& drawStartup();

    // One frame in the current state; while Running it also updates the run's speed.
    TickResult tick();
    // The drawing steps of the last tick or of the start-up picture.
    const DrawList& frame() const { return frame_; }

    const std::array<Brick, BrickCount>& bricks() const { return bricks_; }
    int placed() const { return placed_; }
    double waterLevel() const { return waterLevel_; }
    int edgeX() const { return edgeX_; }
    int floodX() const { return floodX_; }
    int boatX() const { return boatX_; }
    int mascotFrame() const { return mascot_.frame; }
    const std::array<QPoint, 4>& waves() const { return waves_; }
    // True when the last frame drew the warning drops.
    bool warningShown() const { return warningShown_; }

private:
    void runningFrame(TickResult& result);
    void successFrame(TickResult& result);
    void failureFrame(TickResult& result);

    void putBitmap(int bitmap, int x, int y, const QRect& source = QRect());
    void putBackground();
    void putMascot(int frame);
    void putWaterEdge();
    void putWaterBody();
    void putTitle(const QString& text, std::uint32_t colour);
    void flip();

    FingerRun& run_;
    Random& random_;
    int mode_ = 11;
    QString keys_;
    State state_ = State::Idle;
    std::array<Brick, BrickCount> bricks_{};
    int placed_ = 0;
    int lastPlaced_ = 0;
    double waterLevel_ = StartLevel;
    double waterStep_ = -0.2;
    int edgeX_ = EdgeStartX;
    int edgeFrame_ = 0;
    int edgeCountdown_ = 1;
    int dropletFlag_ = 0;
    int floodX_ = BasinLeft;
    std::array<QPoint, 4> waves_{};
    int boatX_ = 540;
    int boatY_ = 102;
    FrameAlternator mascot_;
    bool warningShown_ = false;
    DrawList frame_;
};

} // namespace halvor::blocks
