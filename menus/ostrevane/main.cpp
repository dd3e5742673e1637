#include "Common.h"
#include "Ostrevane.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/133", "cursor/134"});
    QApplication app(argc, argv);
    HalvorInitApplication();
    COstrevaneDlg dialog;
    return dialog.exec();
}
