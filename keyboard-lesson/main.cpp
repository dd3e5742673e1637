#include "KeyboardLessonWindow.h"

#include <Common.h>
#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    halvor::KeyboardLessonWindow window;
    window.show();
    return app.exec();
}
