#include "Common.h"
#include "Startup.h"
#include "WindmillDlg.h"
#include "WindmillGame.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (CMN_AnswerInfoOption(
            argc, argv, "[RETURN-PROGRAM [LEVEL]]",
            "The windmill finger-speed drill (風車), LEVEL 1 to 7 (1 without). It starts RETURN-PROGRAM "
            "when it closes."))
        return 0;
    CMN_PrepareDisplay(argv[0]);
    const int level = halvor::WindmillGame::LevelFromCommandLine(CMN_CommandLineOf(argc, argv));
    const QByteArray background =
        "bitmap/" + QByteArray::number(halvor::WindmillGame::BackgroundBitmap(level));
    CMN_PreloadPictures({background.constData(), "bitmap/142", "bitmap/131", "bitmap/132"},
                        CMN_kDrillDrawSize);
    QApplication app(argc, argv);
    HalvorInitApplication();
    halvor::SystemClock clock;
    halvor::StdRandom random;
    halvor::CWindmillDlg dialog(clock, random, CMN_GetCommandLine());
    dialog.show();
    return app.exec();
}
