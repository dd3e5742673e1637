// The windmill drill's window: the pinwheel on its pole, the speedometer, the bus with the keys to strike
// and the number panel. The rules live in WindmillGame; this window forwards keys and timer ticks and
// draws through Common.
#pragma once

#include "Common.h"
#include "FingerDrillDialog.h"
#include "Random.h"
#include "WindmillGame.h"

namespace halvor {

class CWindmillDlg : public FingerDrillDialog {
    Q_OBJECT
public:
    // commandLine: "\"program\" \"caller\" level" (CMN_GetCommandLine() in the program).
    CWindmillDlg(const Clock& clock, Random& random, const QString& commandLine, QWidget* parent = nullptr);

    const WindmillGame& game() const { return game_; }
    int level() const { return game_.level(); }
    // False when drawing or sound could not be set up; the window then closes at once.
    bool isSetUp() const { return setUp_; }

    static QStringList InstructionLines();

protected:
    QString chooseKeys() override { return game_.ChooseKeys(); }
    QStringList instructionLines() const override { return InstructionLines(); }
    void frameTick() override;
    FingerRecord finishedRecord() const override;
    void runStarted() override;
    void keyChecked(FingerRun::KeyResult result) override;

private:
    bool setUpGraphics();
    bool setUpSound();
    void loadBitmaps();
    // The whole picture into the back surface: scene, pinwheel, needle, passenger, level and keys.
    void drawPicture(bool withKeys);
    void endRun();

    WindmillGame game_;
    bool setUp_ = false;
    CMN_Surface* backSurface_ = nullptr;
    CMN_Surface* background_ = nullptr;
    CMN_Surface* mascotSheet_ = nullptr;
    CMN_Texture* windmillTexture_ = nullptr;
    CMN_Texture* needleTexture_ = nullptr;
    tagD3DPlain windmill_;
    tagD3DPlain needle_;
    CMN_SoundBuffer* primaryBuffer_ = nullptr;
    CMN_SoundBuffer* runMusic_ = nullptr;
    CMN_SoundBuffer* whirSound_ = nullptr;
};

} // namespace halvor
