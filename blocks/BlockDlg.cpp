#include "BlockDlg.h"

#include "Random.h"

#include <algorithm>
#include <iterator>

namespace halvor {

namespace {

// Loaded in this order; the first that fails stops the set-up.
constexpr int Bitmaps[] = {129, 130, 137, 138, 140, 141, 139, 135, 136, 147};
constexpr COLORREF ColourKey = 0xFF0000;
constexpr int MusicA = 144;
constexpr int MusicB = 142;
constexpr int BrickWave = 143;
constexpr int FanfareWave = 148;

} // namespace

CBlockDlg::CBlockDlg(const Clock& clock, Random& random, const QString& commandLine, QWidget* parent)
    : FingerDrillDialog("TAVREL11", GraphKind::Blocks, clock, commandLine, parent),
      game_(runState(), random, blocks::BlocksCore::ModeFromCommandLine(commandLine)) {
    CMN_SetWindowIcon(this, QStringLiteral("128"));
    if (!setUpGraphics()) {
        CMN_DXReleaseDirectDraw7();
        postClose();
        return;
    }
    setUpSprites();
    if (!setUpSound()) {
        CMN_DSReleaseDirectSound();
        postClose();
        return;
    }
    setUp_ = true;
    execute(game_.drawStartup());
    CMN_DXFlip();
    random.seed(static_cast<std::uint32_t>(clock.now().toSecsSinceEpoch()));
}

CBlockDlg::~CBlockDlg() = default;

bool CBlockDlg::setUpGraphics() {
    back_ = CMN_DXInitDirectDraw7(drawFrame());
    if (!back_ || !loadBitmaps())
        return false;
    CMN_DXSetRestoreCallbackFunc([this] {
        // The pictures again at the new pixel density, and the last frame drawn with them.
        if (loadBitmaps() && setUp_)
            execute(game_.frame());
        CMN_DXFlip();
    });
    return true;
}

bool CBlockDlg::loadBitmaps() {
    // Every picture must be there; each is drawn when the game first shows it (the water and the endings
    // only during a run), and a restore draws again the ones already shown.
    CMN_DXSetColorKey(nullptr, ColourKey, ColourKey);
    for (const int id : Bitmaps) {
        CMN_Surface* slot = surfaces_[static_cast<std::size_t>(id - FirstBitmap)];
        if (slot ? !CMN_DXCreateSurfaceFromBitmap(slot, id) : !CMN_DXHasBitmap(id))
            return false;
    }
    return true;
}

void CBlockDlg::setUpSprites() {
    sprites_ = CMN_DXInitSprite(blocks::BlocksCore::BrickCount);
    if (!sprites_)
        return; // drawn without a wall rather than not at all
    for (int i = 0; i < blocks::BlocksCore::BrickCount; ++i) {
        tagSprite& sprite = sprites_[i];
        const blocks::Brick& brick = game_.bricks()[static_cast<std::size_t>(i)];
        sprite.x = brick.x;
        sprite.y = brick.y;
        sprite.width = blocks::BlocksCore::BrickWidth;
        sprite.height = blocks::BlocksCore::BrickHeight;
        sprite.surface = surface(blocks::BrickBitmap);
        sprite.sourceY = 0;
        sprite.visible = brick.visible ? 1 : 0;
    }
}

bool CBlockDlg::setUpSound() {
    primary_ = CMN_DSInitDirectSound(drawFrame());
    if (!primary_ || !loadWaves())
        return false;
    CMN_DSSetRestoreCallbackFunc([this] { loadWaves(); });
    CMN_DSPlaySound(primary_, 1);
    return true;
}

bool CBlockDlg::loadWaves() {
    musicA_ = CMN_DSCreateBufferFromWave(musicA_, MusicA);
    musicB_ = CMN_DSCreateBufferFromWave(musicB_, MusicB);
    brickSound_ = CMN_DSCreateBufferFromWave(brickSound_, BrickWave);
    // The fanfare only adds to a win; the game goes on without it.
    fanfare_ = CMN_DSCreateBufferFromWave(fanfare_, FanfareWave);
    return musicA_ && musicB_ && brickSound_;
}

CMN_Surface* CBlockDlg::surface(int bitmap) const {
    const int index = bitmap - FirstBitmap;
    if (index < 0 || index >= static_cast<int>(surfaces_.size()) || !back_ ||
        std::find(std::begin(Bitmaps), std::end(Bitmaps), bitmap) == std::end(Bitmaps))
        return nullptr;
    CMN_Surface*& slot = surfaces_[static_cast<std::size_t>(index)];
    if (!slot)
        slot = CMN_DXCreateSurfaceFromBitmap(nullptr, bitmap);
    return slot;
}

bool CBlockDlg::isPlaying(int wave) const {
    CMN_SoundBuffer* buffer = wave == MusicA        ? musicA_
                              : wave == MusicB      ? musicB_
                              : wave == BrickWave   ? brickSound_
                              : wave == FanfareWave ? fanfare_
                                                    : nullptr;
    return buffer && CMN_DSIsPlayingSound(buffer) != 0;
}

QString CBlockDlg::chooseKeys() {
    game_.start();
    return game_.keys();
}

void CBlockDlg::runStarted() {
    CMN_DSPlaySound(musicA_, 1);
    CMN_DSPlaySound(musicB_, 1);
}

void CBlockDlg::frameTick() {
    if (!setUp_)
        return;
    const bool running = game_.state() == blocks::BlocksCore::State::Running;
    const blocks::BlocksCore::TickResult result = game_.tick();
    execute(game_.frame());
    if (result.brickLaid)
        CMN_DSPlaySound(brickSound_, 0);
    if (running)
        updatePanel();
    if (result.clockStopped) {
        stopClock();
        if (game_.state() == blocks::BlocksCore::State::SuccessAnimation && fanfare_)
            CMN_DSPlaySound(fanfare_, 0);
    }
    if (result.finished) {
        CMN_DSStopSound(musicB_);
        CMN_DSStopSound(musicA_);
        finishRun(result.won);
    }
}

FingerRecord CBlockDlg::finishedRecord() const {
    return FingerRecord::fromRun(FingerRecord::Table::Key, game_.mode(), run());
}

void CBlockDlg::execute(const blocks::DrawList& frame) {
    using Kind = blocks::DrawOp::Kind;
    for (const blocks::DrawOp& op : frame) {
        switch (op.kind) {
        case Kind::Bitmap:
            CMN_DXPutSurface(back_, op.at.x(), op.at.y(), surface(op.bitmap),
                             op.source.isNull() ? nullptr : &op.source);
            break;
        case Kind::Sprites:
            if (sprites_) {
                for (int i = 0; i < blocks::BlocksCore::BrickCount; ++i)
                    sprites_[i].visible = game_.bricks()[static_cast<std::size_t>(i)].visible ? 1 : 0;
            }
            CMN_DXPutAllSprites();
            break;
        case Kind::Text:
            CMN_DXTextOut(back_, op.at.x(), op.at.y(), op.text, QStringLiteral("ＭＳ ゴシック"), op.size,
                          op.colour, 0, 1, op.bold ? 1 : 0, 0, 0);
            break;
        case Kind::Flip:
            CMN_DXFlip();
            break;
        }
    }
}

QStringList CBlockDlg::InstructionLines() {
    return {
        QStringLiteral("     堤防のブロック -- 文 字 入 力 - -"),
        QStringLiteral(""),
        QStringLiteral("□　文字入力の練習です。練習で入力する文字数は文字入力メニューで選択した２文字か "),
        QStringLiteral("　　４文字になります。入力された文字は堤防のブロックに２文字または４文字づつ詰め"),
        QStringLiteral("　  込まれます。入力速度が遅いと水が溢れてゲーム終了になります。"),
        QStringLiteral("　  "),
        QStringLiteral("　  [グラフ]ボタン をクリックすると過去の記録が表示されます｡"),
        QStringLiteral(""),
        QStringLiteral("□　ゲームの方法"),
        QStringLiteral("　　(1) [ゲーム開始]ボタンをクリックすると入力練習(ﾆｭｳﾘｮｸﾚﾝｼｭｳ)する文字(ﾓｼﾞ)が"),
        QStringLiteral("　  　  自動的(ｼﾞﾄﾞｳﾃｷ)に表示(ﾋｮｳｼﾞ)されます。"),
        QStringLiteral("　　(2) 練習する文字は2文字か4文字かの指定(ｼﾃｲ)となりますが、対応(ﾀｲｵｳ)する指の"),
        QStringLiteral("　　　　説明(ｾﾂﾒｲ)はしません。不明(ﾌﾒｲ)のときは｢キーボードについて｣画面(ｶﾞﾒﾝ)を"),
        QStringLiteral("　　　  みてください。"),
        QStringLiteral("　  (3) 指定した文字以外(ｲｶﾞｲ)を入力するとエラーになります｡"),
        QStringLiteral(""),
        QStringLiteral("□　速度表示"),
        QStringLiteral("　　(1) 数秒前の移動平均速度を計算表示します。最高速度はこの練習時間の中での最大"),
        QStringLiteral("　  　　の毎分タッチ数です。"),
        QStringLiteral("　　(2) 間違ったキーを打つと平均速度は差引いた数値となりますが最高速度はエラーを"),
        QStringLiteral("　  　　含めた入力能力を表示します｡"),
        QStringLiteral("     "),
    };
}

} // namespace halvor
