#include "Common.h"
#include "FrmMain.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (CMN_AnswerInfoOption(
            argc, argv, "[RETURN-PROGRAM]",
            "The hiragana romaji drill (ひらがなローマ字入力), three lessons. It starts RETURN-PROGRAM when "
            "it closes."))
        return 0;
    CMN_PrepareDisplay(argv[0]);
    CMN_PreloadPictures({"bitmap/201"});
    QApplication app(argc, argv);
    HalvorInitApplication();
    hiragana::FrmMain window;
    window.show();
    return app.exec();
}
