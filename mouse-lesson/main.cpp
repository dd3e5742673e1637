#include "MouseLessonWindow.h"

#include <Common.h>
#include <QApplication>
#include <Startup.h>

int main(int argc, char* argv[]) {
    CMN_PrepareDisplay(argv[0]);
    QApplication app(argc, argv);
    HalvorInitApplication();
    halvor::MouseLessonWindow window;
    window.show();
    return app.exec();
}
