#include "WindmillDlg.h"

namespace halvor {

namespace {

constexpr COLORREF ColourKey = 0xFF0000;
constexpr COLORREF White = 0xFFFFFF;
constexpr COLORREF GoldenYellow = 0x12CDFD;
const QString Gothic = QStringLiteral("ＭＳ ゴシック");

} // namespace

CWindmillDlg::CWindmillDlg(const Clock& clock, Random& random, const QString& commandLine, QWidget* parent)
    : FingerDrillDialog("PELVORAN12", GraphKind::Windmill, clock, commandLine, parent),
      game_(runState(), random) {
    CMN_SetWindowIcon(this, QStringLiteral("128"));
    game_.setLevel(WindmillGame::LevelFromCommandLine(commandLine));
    random.seed(static_cast<std::uint32_t>(clock.now().toSecsSinceEpoch()));

    if (!setUpGraphics()) {
        postClose();
        return;
    }
    if (!setUpSound()) {
        CMN_DSReleaseDirectSound();
        postClose();
        return;
    }
    setUp_ = true;
    game_.passenger().reset();
    drawPicture(false);
    CMN_DXFlip();
}

void CWindmillDlg::loadBitmaps() {
    CMN_DXCreateSurfaceFromBitmap(background_, WindmillGame::BackgroundBitmap(game_.level()));
    CMN_DXCreateSurfaceFromBitmap(mascotSheet_, 142);
    CMN_DXSetColorKey(nullptr, ColourKey, ColourKey);
    CMN_DXSetColorKey(background_, ColourKey, ColourKey);
    CMN_DXSetColorKey(mascotSheet_, ColourKey, ColourKey);
    CMN_D3CreateTextureFromBitmap(windmillTexture_, 131);
    CMN_D3CreateTextureFromBitmap(needleTexture_, 132);
}

bool CWindmillDlg::setUpGraphics() {
    backSurface_ = CMN_DXInitDirectDraw7(drawFrame());
    if (!backSurface_ || !CMN_D3InitDirect3D7(backSurface_))
        return false;
    background_ = CMN_DXCreateSurfaceFromBitmap(nullptr, WindmillGame::BackgroundBitmap(game_.level()));
    mascotSheet_ = CMN_DXCreateSurfaceFromBitmap(nullptr, 142);
    if (!background_ || !mascotSheet_)
        return false;
    CMN_DXSetColorKey(nullptr, ColourKey, ColourKey);
    CMN_DXSetColorKey(background_, ColourKey, ColourKey);
    CMN_DXSetColorKey(mascotSheet_, ColourKey, ColourKey);
    windmillTexture_ = CMN_D3CreateTextureFromBitmap(nullptr, 131);
    needleTexture_ = CMN_D3CreateTextureFromBitmap(nullptr, 132);
    if (!windmillTexture_ || !needleTexture_)
        return false;
    CMN_DXSetRestoreCallbackFunc([this] {
        loadBitmaps();
        drawPicture(isCounting());
        CMN_DXFlip();
    });

    // The pinwheel's hub lands on the pole top (156, 155), the needle's pivot on the dial centre (580, 220).
    CMN_D3TransRectToVertex(windmill_, QRect(0, 0, 256, 256).translated(28, 27));
    windmill_.texture = windmillTexture_;
    windmill_.angle = 0;
    CMN_D3TransRectToVertex(needle_, QRect(0, 0, 256, 256).translated(452, 92));
    needle_.texture = needleTexture_;
    needle_.angle = 0;
    return true;
}

bool CWindmillDlg::setUpSound() {
    primaryBuffer_ = CMN_DSInitDirectSound(drawFrame());
    if (!primaryBuffer_)
        return false;
    runMusic_ = CMN_DSCreateBufferFromWave(nullptr, 134);
    whirSound_ = CMN_DSCreateBufferFromWave(nullptr, 135);
    if (!runMusic_ || !whirSound_)
        return false;
    CMN_DSSetRestoreCallbackFunc([this] {
        CMN_DSCreateBufferFromWave(runMusic_, 134);
        CMN_DSCreateBufferFromWave(whirSound_, 135);
    });
    CMN_DSPlaySound(primaryBuffer_, 1);
    return true;
}

void CWindmillDlg::runStarted() {
    game_.start();
    CMN_DSPlaySound(runMusic_, 1);
}

void CWindmillDlg::keyChecked(FingerRun::KeyResult result) {
    if (result == FingerRun::KeyResult::Correct && !CMN_DSIsPlayingSound(whirSound_))
        CMN_DSPlaySound(whirSound_, 0);
}

void CWindmillDlg::frameTick() {
    const bool timeUp = game_.frameTick();
    windmill_.angle = game_.windmillAngle();
    needle_.angle = game_.needleAngle();
    drawPicture(true);
    CMN_DXFlip();
    updatePanel();
    if (timeUp)
        endRun();
}

void CWindmillDlg::drawPicture(bool withKeys) {
    if (!backSurface_)
        return;
    CMN_DXPutSurface(backSurface_, 0, 0, background_);
    CMN_D3PutD3DPlain(windmill_);
    CMN_D3PutD3DPlain(needle_);
    const int frame = game_.passenger().frame;
    const QRect cell(0, 48 * frame, 43, 48);
    CMN_DXPutSurface(backSurface_, 223, 323, mascotSheet_, &cell);
    CMN_DXTextOut(backSurface_, 330, 240, QString::asprintf("LEVEL%d", game_.level()), Gothic, 160, 0, 0, 1,
                  0);
    if (!withKeys)
        return;
    const FingerRun& r = run();
    const QStringList& names = game_.fingerNames();
    for (int i = 0; i < r.keyCount(); ++i) {
        CMN_DXTextOut(backSurface_, 290 + 56 * i, 330, r.keys().mid(i, 1), Gothic, 200,
                      i == r.nextKey() ? GoldenYellow : White, 0, 1, 1);
        if (i < names.size())
            CMN_DXTextOut(backSurface_, 274 + 56 * i, 368, names[i], Gothic, 80, White, 0, 1, 0);
    }
}

void CWindmillDlg::endRun() {
    CMN_DSStopSound(runMusic_);
    CMN_DSStopSound(whirSound_);
    CMN_DXTextOut(backSurface_, 262, 182, "終了", Gothic, 600, 0, 0, 1, 1);
    CMN_DXTextOut(backSurface_, 260, 180, "終了", Gothic, 600, ColourKey, 0, 1, 1);
    CMN_DXFlip();
    finishRun(true);
}

FingerRecord CWindmillDlg::finishedRecord() const {
    return FingerRecord::fromRun(FingerRecord::Table::Digit, game_.level(), run());
}

QStringList CWindmillDlg::InstructionLines() {
    return {
        "  　風車    - - 指の運動訓練 - -",
        "",
        "□　親指は別として、左手、右手の指1本から4本までの組合せを考えてキーを",
        "　　打つ練習をします。キーを打つと速度に応じて風車が廻ります。速度計に",
        "　　は毎分平均タッチ数が表示されます。速度計は遅い場合を対象にしていま",
        "　　すので目盛を超える速い人は下側の数値表示を見て下さい｡",
        "　　[グラフ]ボタンをクリックすると過去の記録が表示されます｡",
        "",
        "□　ゲームの方法",
        "　　(1) [ｹﾞｰﾑ 開始]ﾎﾞﾀﾝをｸﾘｯｸすると練習(ﾚﾝｼｭｳ)する指(ﾕﾋﾞ)と文字(ﾓｼﾞ)が",
        "　  　　表示(ﾋｮｳｼﾞ)されます。指定(ｼﾃｲ)された指と文字は｢キーボード｣で",
        "　  　　説明(ｾﾂﾒｲ)した関係(ｶﾝｹｲ)になっています。親指(ｵﾔﾕﾋﾞ)で打(ｳ)つ",
        "　  　　スペースキーなどは練習対象外(ﾚﾝｼｭｳﾀｲｼｮｳｶﾞｲ)としています。",
        "　　(2) 練習中は指定されたキーを打ち続(ﾂﾂﾞ)けて下さい。指定された以外",
        "　　　　(ｲｶﾞｲ)のキーを打つとエラーとなります。",
        "　　(3) 1本指・1文字だけの練習時間は30秒です。それ以外は1分間で自動的",
        "　　　　(ｼﾞﾄﾞｳﾃｷ)に練習終了(ﾚﾝｼｭｳｼｭｳﾘｮｳ)となります。",
        "",
        "□　速度表示",
        "　　(1) 数秒前の移動平均速度を計算表示します。最高速度はこの練習時間の",
        "　　　　中での最大の毎分タッチ数です｡",
        "　　(2) エラーを打つと平均速度は差引いた数値となりますが、最高速度はエ",
        "　　　　ラーを含めた運動能力を表示します。",
        "",
        "□　記録",
        "　　入力速度、最高速度、エラー率の記録をゲーム毎に自動記録しますが、グ",
        "　　ラフは、最高速度を表示しています。",
        "     ",
    };
}

} // namespace halvor
