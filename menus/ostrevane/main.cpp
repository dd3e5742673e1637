#include "Common.h"
#include "Ostrevane.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (CMN_AnswerInfoOption(argc, argv, "",
                             "The top menu of the Halvor typing course (Halvorシステム): the course menu, "
                             "the guide for learners "
                             "and parents, and on a shared computer who is practising."))
        return 0;
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/133", "cursor/134"});
    QApplication app(argc, argv);
    HalvorInitApplication();
    COstrevaneDlg dialog;
    return dialog.exec();
}
