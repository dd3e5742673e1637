#include "BlockDlg.h"

#include "Clock.h"
#include "Common.h"
#include "Random.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/129", "bitmap/130", "bitmap/147"});
    QApplication app(argc, argv);
    HalvorInitApplication();
    halvor::SystemClock clock;
    halvor::StdRandom random;
    halvor::CBlockDlg dialog(clock, random, CMN_GetCommandLine());
    dialog.show();
    return app.exec();
}
