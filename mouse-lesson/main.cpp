#include "MouseLessonWindow.h"

#include <Common.h>
#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    halvor::MouseLessonWindow window;
    window.show();
    return app.exec();
}
