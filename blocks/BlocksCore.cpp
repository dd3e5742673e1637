#include "BlocksCore.h"

#include "Random.h"

#include <algorithm>

namespace halvor::blocks {

namespace {

constexpr int PictureWidth = 704;
constexpr int PictureHeight = 444;
constexpr int EdgeTop = 210;
constexpr int WaterBottom = 417;
constexpr int Diagonals = 10;

DrawOp opOf(DrawOp::Kind kind) {
    DrawOp op;
    op.kind = kind;
    return op;
}

} // namespace

int BlocksCore::ModeFromCommandLine(const QString& commandLine) {
    return CourseNumber(commandLine, 2) == 12 ? 12 : 11;
}

int BlocksCore::DiagonalsOf(int n) {
    for (int d = Diagonals; d >= 1; --d) {
        if (d * (d + 1) / 2 <= n) {
            return d;
        }
    }
    return 0;
}

QPoint BlocksCore::BrickPosition(int i) {
    i = std::clamp(i, 0, BrickCount - 1);
    const int d = DiagonalsOf(i) + 1;  // the bricks before i fill the diagonals below this one
    const int first = d * (d - 1) / 2; // index of the diagonal's bottom brick
    const int j = i - first;
    return {255 - BrickWidth * (d - 1) + BrickWidth * j, 397 - BrickHeight * j};
}

BlocksCore::BlocksCore(FingerRun& run, Random& random, int mode)
    : run_(run), random_(random), mode_(mode == 12 ? 12 : 11) {
    layOutWall();
}

void BlocksCore::layOutWall() {
    for (int i = 0; i < BrickCount; ++i) {
        const QPoint at = BrickPosition(i);
        bricks_[i] = Brick{at.x(), at.y(), i == 0};
    }
}

const QString& BlocksCore::chooseCharacters() {
    keys_.clear();
    // A source that keeps repeating itself must not hang the game: after many draws take the next free key.
    for (int draws = 0; keys_.size() < keyCount(); ++draws) {
        const int at = draws < 10000 ? random_.next() % KeyStringLength : draws % KeyStringLength;
        const QChar c = QLatin1Char(KeyString[at]);
        if (!keys_.contains(c)) {
            keys_.append(c);
        }
    }
    return keys_;
}

void BlocksCore::start() {
    waterLevel_ = StartLevel;
    waterStep_ = -0.2;
    edgeFrame_ = 0;
    edgeX_ = EdgeStartX;
    edgeCountdown_ = 1;
    dropletFlag_ = 0;
    mascot_.frame = 0;
    layOutWall();
    placed_ = 0;
    chooseCharacters();
    lastPlaced_ = 0;
    warningShown_ = false;
    state_ = State::Running;
}

const DrawList& BlocksCore::drawStartup() {
    frame_.clear();
    putBackground();
    frame_.append(opOf(DrawOp::Kind::Sprites));
    putMascot(mascot_.frame);
    return frame_;
}

BlocksCore::TickResult BlocksCore::tick() {
    TickResult result;
    frame_.clear();
    warningShown_ = false;
    switch (state_) {
    case State::Running:
        runningFrame(result);
        break;
    case State::SuccessAnimation:
        successFrame(result);
        break;
    case State::FailureAnimation:
        failureFrame(result);
        break;
    case State::Idle:
        break;
    }
    return result;
}

void BlocksCore::runningFrame(TickResult& result) {
    run_.updateSpeed();
    placed_ = std::max(run_.correct(), 0) / 4;
    for (int i = 0; i <= std::min(placed_, BrickCount - 1); ++i) {
        bricks_[i].visible = true;
    }

    putBackground();
    putWaterEdge();
    putWaterBody();
    frame_.append(opOf(DrawOp::Kind::Sprites));
    mascot_.tick();
    putMascot(mascot_.frame);
    for (int i = 0; i < keys_.size(); ++i) {
        DrawOp text = opOf(DrawOp::Kind::Text);
        text.at = {200 + 140 * i, 50};
        text.text = keys_.at(i);
        text.size = 260;
        text.colour = i == run_.nextKey() ? 0x0A0AF0 : 0;
        text.bold = true;
        frame_.append(text);
    }

    // The drops warn while the water is less than 15 pixels below the wall's top; they blink.
    const int level = static_cast<int>(waterLevel_);
    const int diagonals = DiagonalsOf(placed_ + 1);
    if (level < 433 - BrickHeight * diagonals) {
        if (dropletFlag_) {
            dropletFlag_ = 0;
            putBitmap(DropBitmap, 244, level - 39);
            warningShown_ = true;
        } else {
            dropletFlag_ = 1;
        }
    }
    flip();

    if (placed_ != lastPlaced_) {
        result.brickLaid = true;
    }
    lastPlaced_ = placed_;

    if (placed_ >= BrickCount - 1) {
        result.clockStopped = true;
        boatX_ = 540;
        boatY_ = 102;
        state_ = State::SuccessAnimation;
    } else if (level < 418 - BrickHeight * diagonals) {
        result.clockStopped = true;
        dropletFlag_ = 0;
        floodX_ = BasinLeft;
        const int step = -((418 - level) / 3);
        for (int k = 0; k < 4; ++k) {
            waves_[k] = QPoint(140, std::min(338 + k * step, 304));
        }
        state_ = State::FailureAnimation;
    }
}

void BlocksCore::successFrame(TickResult& result) {
    edgeX_ = BasinLeft;
    if (waterLevel_ > TopLevel) {
        // The basin fills quickly over the last picture before the boat sets out.
        waterStep_ = -10.0;
        putWaterBody();
        flip();
        return;
    }
    putBackground();
    putWaterEdge();
    putWaterBody();
    frame_.append(opOf(DrawOp::Kind::Sprites));
    putMascot(2);
    boatX_ -= 3;
    putBitmap(BoatBitmap, boatX_, boatY_);
    putTitle(QStringLiteral("成　　 功"), 0xFF00FF);
    flip();
    if (boatX_ < 350) {
        state_ = State::Idle;
        result.finished = true;
        result.won = true;
    }
}

void BlocksCore::failureFrame(TickResult& result) {
    dropletFlag_ = 1 - dropletFlag_;
    for (QPoint& wave : waves_) {
        wave.rx() -= 8;
    }
    floodX_ -= 8;

    putBackground();
    putWaterEdge();
    frame_.append(opOf(DrawOp::Kind::Sprites));
    putMascot(3);
    // The last step passes the picture's left edge; the source must stay inside the image.
    const int level = static_cast<int>(waterLevel_);
    const int left = std::max(floodX_, 0);
    putBitmap(WaterBitmap, left, level, QRect(left, level, PictureWidth - left, PictureHeight - level));
    for (const QPoint& wave : waves_) {
        putBitmap(WaveBitmap, wave.x(), wave.y());
        if (dropletFlag_) {
            putBitmap(DropBitmap, wave.x() - 4, wave.y() + 30);
        }
    }
    putTitle(QStringLiteral("失　　 敗"), 0x0000FF);
    flip();
    if (floodX_ <= 0) {
        state_ = State::Idle;
        result.finished = true;
    }
}

void BlocksCore::putBitmap(int bitmap, int x, int y, const QRect& source) {
    DrawOp op = opOf(DrawOp::Kind::Bitmap);
    op.bitmap = bitmap;
    op.at = {x, y};
    op.source = source;
    frame_.append(op);
}

void BlocksCore::putBackground() {
    putBitmap(SkyBitmap, 0, 0);
    putBitmap(DikeBitmap, 0, 0);
}

void BlocksCore::putMascot(int frame) {
    putBitmap(MascotBitmap, 31, 134, QRect(0, 58 * frame, 111, 58));
}

void BlocksCore::putWaterEdge() {
    edgeX_ = std::max(edgeX_ - 4, BasinLeft);
    if (--edgeCountdown_ <= 0) {
        edgeCountdown_ = EdgeReload;
        edgeFrame_ = 1 - edgeFrame_;
    }
    putBitmap(edgeFrame_ ? EdgeBitmap1 : EdgeBitmap0, edgeX_, EdgeTop,
              QRect(edgeX_, EdgeTop, PictureWidth - edgeX_, PictureHeight - EdgeTop));
}

void BlocksCore::putWaterBody() {
    if (edgeX_ > BasinLeft) {
        return; // the water only rises once the inflow has reached the wall
    }
    waterLevel_ = std::max(waterLevel_ + waterStep_, TopLevel);
    const int level = static_cast<int>(waterLevel_);
    if (level < WaterBottom) {
        putBitmap(WaterBitmap, BasinLeft, level,
                  QRect(BasinLeft, level, PictureWidth - BasinLeft, WaterBottom - level));
    }
}

void BlocksCore::putTitle(const QString& text, std::uint32_t colour) {
    DrawOp shadow = opOf(DrawOp::Kind::Text);
    shadow.at = {332, 48};
    shadow.text = text;
    shadow.size = 300;
    shadow.colour = 0;
    shadow.bold = true;
    frame_.append(shadow);
    DrawOp face = shadow;
    face.at = {330, 46};
    face.colour = colour;
    frame_.append(face);
}

void BlocksCore::flip() {
    frame_.append(opOf(DrawOp::Kind::Flip));
}

} // namespace halvor::blocks
