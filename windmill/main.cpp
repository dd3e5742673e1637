#include "Common.h"
#include "WindmillDlg.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    CMN_PrepareDisplay(argv[0]);
    QApplication app(argc, argv);
    CMN_InitApplication();
    halvor::SystemClock clock;
    halvor::StdRandom random;
    halvor::CWindmillDlg dialog(clock, random, CMN_GetCommandLine());
    dialog.show();
    return app.exec();
}
