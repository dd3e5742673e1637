// The least any Japanese program of the suite does: the empty window with one line of Japanese in the
// suite's font. Measured like a program, it shows what the first text costs before the program's own work.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("ひらがなを ローマ字で入力する方法を学習します。"));
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(15);
    window.setFont(font);
    window.setFixedSize(720, 540);
    window.show();
    return app.exec();
}
