// The embankment-block game's window: the finger drills' frame with the block game's picture, sounds and
// instructions. The rules live in BlocksCore; this class sets up Common's surfaces and sounds, forwards the
// timers and draws what each frame lists.
#pragma once

#include "BlocksCore.h"
#include "FingerDrillDialog.h"

#include <array>

namespace halvor {

class Random;

class CBlockDlg : public FingerDrillDialog {
    Q_OBJECT
public:
    // commandLine in the quoted form the programs parse; its last two characters give the mode. The clock
    // and the random source must outlive the dialog.
    CBlockDlg(const Clock& clock, Random& random, const QString& commandLine, QWidget* parent = nullptr);
    ~CBlockDlg() override;

    static QStringList InstructionLines();

    const blocks::BlocksCore& game() const { return game_; }
    int mode() const { return game_.mode(); }
    // False when drawing or sound could not be set up (the window then closes by itself).
    bool isSetUp() const { return setUp_; }
    // Whether the sound of a WAVE id (144, 142 the musics, 143 the brick, 148 the fanfare) is playing.
    bool isPlaying(int wave) const;

protected:
    QString chooseKeys() override;
    QStringList instructionLines() const override { return InstructionLines(); }
    void frameTick() override;
    FingerRecord finishedRecord() const override;
    QString course() const override { return QString::number(game_.keyCount()); }
    void runStarted() override;

private:
    bool setUpGraphics();
    bool loadBitmaps();
    bool setUpSound();
    bool loadWaves();
    void setUpSprites();
    void execute(const blocks::DrawList& frame);
    CMN_Surface* surface(int bitmap) const;

    blocks::BlocksCore game_;
    bool setUp_ = false;
    CMN_Surface* back_ = nullptr;
    // Surfaces by bitmap id, from the first (129) to the last (147).
    static constexpr int FirstBitmap = 129;
    mutable std::array<CMN_Surface*, 19> surfaces_{}; // each loaded when first drawn
    tagSprite* sprites_ = nullptr;
    CMN_SoundBuffer* primary_ = nullptr;
    CMN_SoundBuffer* musicA_ = nullptr;
    CMN_SoundBuffer* musicB_ = nullptr;
    CMN_SoundBuffer* brickSound_ = nullptr;
    CMN_SoundBuffer* fanfare_ = nullptr;
};

} // namespace halvor
