#include "BlockDlg.h"

#include "Clock.h"
#include "Common.h"
#include "Random.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (CMN_AnswerInfoOption(
            argc, argv, "[RETURN-PROGRAM [MODE]]",
            "The embankment-block typing game (堤防のブロック): MODE 11 lays two characters (without a "
            "MODE), 12 four. It starts RETURN-PROGRAM when it closes."))
        return 0;
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/129", "bitmap/130", "bitmap/147"}, CMN_kDrillDrawSize);
    QApplication app(argc, argv);
    HalvorInitApplication();
    halvor::SystemClock clock;
    halvor::StdRandom random;
    halvor::CBlockDlg dialog(clock, random, CMN_GetCommandLine());
    dialog.show();
    return app.exec();
}
