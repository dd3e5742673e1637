#include "Common.h"
#include "FrmMain.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/201"});
    QApplication app(argc, argv);
    HalvorInitApplication();
    hiragana::FrmMain window;
    window.show();
    return app.exec();
}
