#include "Common.h"
#include "Quenmarl.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/147", "cursor/206"});
    QApplication app(argc, argv);
    HalvorInitApplication();
    CQuenmarlDlg dialog;
    return dialog.exec();
}
