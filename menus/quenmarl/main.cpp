#include "Common.h"
#include "Quenmarl.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    CQuenmarlDlg dialog;
    return dialog.exec();
}
