#include "KeyboardLessonWindow.h"

#include <Common.h>
#include <QApplication>
#include <Startup.h>

int main(int argc, char* argv[]) {
    if (CMN_AnswerInfoOption(
            argc, argv, "[RETURN-PROGRAM]",
            "The keyboard lesson (キーボードについて): which finger presses which key. It starts "
            "RETURN-PROGRAM when it closes."))
        return 0;
    CMN_PrepareDisplay(argv[0]);
    // The first page, the hand cursor and the back surface, made while the window system is set up.
    CMN_PreloadPictures({"bitmap/129", "cursor/139"}, QSize(720, 540));
    QApplication app(argc, argv);
    HalvorInitApplication();
    halvor::KeyboardLessonWindow window;
    window.show();
    return app.exec();
}
