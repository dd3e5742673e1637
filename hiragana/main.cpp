#include "Common.h"
#include "FrmMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    CMN_PrepareDisplay(argv[0]);
    QApplication app(argc, argv);
    CMN_InitApplication();
    hiragana::FrmMain window;
    window.show();
    return app.exec();
}
