#include "Common.h"
#include "Quenmarl.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    CMN_PrepareDisplay(argv[0]);
    QApplication app(argc, argv);
    CMN_InitApplication();
    CQuenmarlDlg dialog;
    return dialog.exec();
}
