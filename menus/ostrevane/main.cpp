#include "Common.h"
#include "Ostrevane.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    COstrevaneDlg dialog;
    return dialog.exec();
}
