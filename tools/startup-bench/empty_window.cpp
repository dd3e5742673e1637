// The yardstick of the start-up benchmark: an empty Qt window of the suite's size, nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(720, 540);
    window.show();
    return app.exec();
}
