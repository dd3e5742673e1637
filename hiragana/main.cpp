#include "Common.h"
#include "FrmMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    hiragana::FrmMain window;
    window.show();
    return app.exec();
}
