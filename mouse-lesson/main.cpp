#include "MouseLessonWindow.h"

#include <Common.h>
#include <QApplication>

int main(int argc, char* argv[]) {
    CMN_PrepareDisplay(argv[0]);
    QApplication app(argc, argv);
    CMN_InitApplication();
    halvor::MouseLessonWindow window;
    window.show();
    return app.exec();
}
