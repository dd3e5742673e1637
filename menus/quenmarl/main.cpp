#include "Common.h"
#include "Quenmarl.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (CMN_AnswerInfoOption(argc, argv, "",
                             "The course menu (コースメニュー): starts the lessons and drills, and the top "
                             "menu when it closes."))
        return 0;
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/147", "cursor/206"});
    QApplication app(argc, argv);
    HalvorInitApplication();
    CQuenmarlDlg dialog;
    return dialog.exec();
}
