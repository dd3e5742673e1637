// The suite's window conventions: captions, the fixed client area, the drill's frames and number panel,
// fonts, colours and the start-up message.
#include "Common.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOption>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

void saveScreenshot(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    widget->grab().save(QDir(folder).filePath(name));
}

// A drill window in miniature: the two frames, the three panel buttons and the five panel numbers, painted
// as the windmill drill paints its panel.
class PanelWindow : public QWidget {
public:
    PanelWindow() {
        CMN_SetWindowTitle("PELVORAN12", this);
        CMN_SetWindowSize(this, 720, 540);
        drawFrame = new QWidget(this);
        panelFrame = new QWidget(this);
        help = new QPushButton(QStringLiteral("説明"), this);
        graph = new QPushButton(QStringLiteral("グラフ"), this);
        end = new QPushButton(QStringLiteral("終了"), this);
        for (QPushButton* button : {help, graph, end})
            button->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 9));
        CMN_SetFrameSize(this, drawFrame, panelFrame, help, graph, end);
    }

    QWidget* drawFrame;
    QWidget* panelFrame;
    QPushButton* help;
    QPushButton* graph;
    QPushButton* end;
    tagKirokuNumber numbers[5] = {{123, 200, 8, 3, 1},
                                  {245, 440, 8, 3, 1},
                                  {7, 180, 40, 3, 1},
                                  {0, 340, 40, 2, 1},
                                  {42, 422, 40, 2, 1}};

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter dc(this);
        CMN_RedrawFrame(this, dc, drawFrame, panelFrame, 0xFF8080);
        dc.fillRect(drawFrame->geometry(), QColor(0x8e, 0xc9, 0xff));
        const QPoint origin = panelFrame->pos();
        dc.setFont(CMN_Font(QStringLiteral("ＭＳ ゴシック"), 12, true));
        dc.setPen(Qt::white);
        const struct {
            int x, y;
            const char* text;
        } labels[] = {{120, 12, "現在速度"}, {284, 12, "回／分"}, {360, 12, "最高速度"},
                      {524, 12, "回／分"},   {120, 45, "エラー"}, {263, 45, "％"},
                      {296, 45, "時間"},     {396, 45, "分"},     {478, 45, "秒"}};
        for (const auto& label : labels)
            dc.drawText(QRect(origin + QPoint(label.x, label.y), QSize(200, 30)),
                        Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(label.text));
        for (tagKirokuNumber number : numbers) {
            number.x += origin.x();
            number.y += origin.y();
            CMN_RedrawKirokuNumber(dc, number);
        }
    }
};

bool isLit(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) > 170 && qBlue(pixel) < 140;
}

int litPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += isLit(image.pixel(x, y)) ? 1 : 0;
    return count;
}

QImage paintNumber(const tagKirokuNumber& number, QSize size = QSize(300, 80)) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    QPainter dc(&image);
    CMN_RedrawKirokuNumber(dc, number);
    return image;
}

} // namespace

// The ink of what `draw` lays on white at `ratio`, in logical pixels' worth.
double inkAt(QSize logical, qreal ratio, const std::function<void(QPainter&)>& draw) {
    QImage image(logical * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    draw(painter);
    painter.end();
    double ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += (255 - qGray(image.pixel(x, y))) / 255.0;
    return ink / (ratio * ratio);
}

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { CMN_InitApplication(); }
    void captions_data();
    void captions();
    void unknownCaptionKeepsTheTitle();
    void clientAreaIsFixed();
    void framesAndButtonsArePlaced_data();
    void framesAndButtonsArePlaced();
    void nullButtonIsLeftAlone();
    void framesInsideAContainerArePlacedInWindowCoordinates();
    void frameBordersAreSunken_data();
    void frameBordersAreSunken();
    void numberPaintsInsideItsRectOnly_data();
    void numberPaintsInsideItsRectOnly();
    void numberShowsDigitsRightAligned_data();
    void numberShowsDigitsRightAligned();
    void numberTooLargeShowsTheHighestThatFits();
    void panelNumbersEndBeforeTheirLabels_data();
    void panelNumbersEndBeforeTheirLabels();
    void boldShowsAtEveryScale_data();
    void boldShowsAtEveryScale();
    void standardIconsAreTheStylesOwn_data();
    void standardIconsAreTheStylesOwn();
    void fontsArePixelSizedAndJapanese_data();
    void fontsArePixelSizedAndJapanese();
    void coloursAreBlueGreenRed();
    void startupMessageShowsAtThePoint();
    void startupMessageStaysOnScreen();
    void startupMessageIsFreedWithItsOwner();
    void panelScreenshot();
};

void TestWindow::captions_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("caption");
    QTest::newRow("top menu") << "OSTREVANE"
                              << "Halvorシステム";
    QTest::newRow("course menu") << "Quenmarl"
                                 << "Halvorシステム - コースメニュー";
    QTest::newRow("keyboard lesson") << "PELVORAN11"
                                     << "キーボードについて";
    QTest::newRow("windmill") << "PELVORAN12"
                              << "風車";
    QTest::newRow("blocks") << "TAVREL11"
                            << "堤防のブロック  - - 文字入力 - -";
    QTest::newRow("hiragana") << "TAVREL23"
                              << "ひらがなローマ字入力";
    QTest::newRow("mouse lesson") << "SORVANEL11"
                                  << "マウスについて";
    QTest::newRow("key in another case") << "quenmarl"
                                         << "Halvorシステム - コースメニュー";
    QTest::newRow("unknown") << "TAVREL99"
                             << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestWindow::captions() {
    QFETCH(QString, key);
    QFETCH(QString, caption);
    const QByteArray narrow = key.toLatin1();
    QCOMPARE(CMN_WindowTitle(narrow.constData()), caption);
    if (!caption.isEmpty()) {
        QWidget window;
        CMN_SetWindowTitle(narrow.constData(), &window);
        QCOMPARE(window.windowTitle(), caption);
    }
}

void TestWindow::unknownCaptionKeepsTheTitle() {
    QWidget window;
    window.setWindowTitle(QStringLiteral("placeholder"));
    CMN_SetWindowTitle("NOSUCHKEY", &window);
    CMN_SetWindowTitle(nullptr, &window);
    QCOMPARE(window.windowTitle(), QStringLiteral("placeholder"));
    QCOMPARE(CMN_WindowTitle(nullptr), QString());
    CMN_SetWindowTitle("OSTREVANE", nullptr); // no window: nothing to do, no crash
}

void TestWindow::clientAreaIsFixed() {
    QDialog window;
    CMN_SetWindowSize(&window, 720, 540);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(720, 540));
    window.resize(800, 600);
    QCOMPARE(window.size(), QSize(720, 540));
    QCOMPARE(window.minimumSize(), window.maximumSize());

    CMN_SetWindowSize(&window, 0, 540);
    CMN_SetWindowSize(&window, 720, -1);
    QCOMPARE(window.size(), QSize(720, 540));
}

void TestWindow::framesAndButtonsArePlaced_data() {
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QRect>("draw");
    QTest::addColumn<QRect>("panel");
    QTest::addColumn<QRect>("end");
    QTest::addColumn<QRect>("graph");
    QTest::addColumn<QRect>("help");
    QTest::newRow("720 x 540") << QSize(720, 540) << QRect(8, 8, 704, 444) << QRect(8, 460, 704, 72)
                               << QRect(612, 498, 96, 30) << QRect(662, 464, 46, 30)
                               << QRect(612, 464, 46, 30);
    QTest::newRow("640 x 480") << QSize(640, 480) << QRect(8, 8, 624, 384) << QRect(8, 400, 624, 72)
                               << QRect(532, 438, 96, 30) << QRect(582, 404, 46, 30)
                               << QRect(532, 404, 46, 30);
}

void TestWindow::framesAndButtonsArePlaced() {
    QFETCH(QSize, client);
    QFETCH(QRect, draw);
    QFETCH(QRect, panel);
    QFETCH(QRect, end);
    QFETCH(QRect, graph);
    QFETCH(QRect, help);
    QWidget window;
    CMN_SetWindowSize(&window, client.width(), client.height());
    QWidget drawFrame(&window), panelFrame(&window), endButton(&window), graphButton(&window),
        helpButton(&window);
    CMN_SetFrameSize(&window, &drawFrame, &panelFrame, &helpButton, &graphButton, &endButton);
    QCOMPARE(drawFrame.geometry(), draw);
    QCOMPARE(panelFrame.geometry(), panel);
    QCOMPARE(endButton.geometry(), end);
    QCOMPARE(graphButton.geometry(), graph);
    QCOMPARE(helpButton.geometry(), help);
}

void TestWindow::nullButtonIsLeftAlone() {
    QWidget window;
    CMN_SetWindowSize(&window, 720, 540);
    QWidget drawFrame(&window), panelFrame(&window), endButton(&window), helpButton(&window);
    const QRect designed(300, 200, 50, 20);
    helpButton.setGeometry(designed);
    CMN_SetFrameSize(&window, &drawFrame, &panelFrame, nullptr, nullptr, &endButton);
    QCOMPARE(helpButton.geometry(), designed);
    QCOMPARE(endButton.geometry(), QRect(612, 498, 96, 30));
    QCOMPARE(panelFrame.geometry(), QRect(8, 460, 704, 72));
    CMN_SetFrameSize(nullptr, &drawFrame, nullptr, nullptr, nullptr,
                     nullptr); // nothing to measure: no change
    QCOMPARE(drawFrame.geometry(), QRect(8, 8, 704, 444));
}

void TestWindow::framesInsideAContainerArePlacedInWindowCoordinates() {
    QWidget window;
    CMN_SetWindowSize(&window, 720, 540);
    QWidget container(&window);
    container.setGeometry(5, 6, 720, 540);
    QWidget drawFrame(&container), panelFrame(&container);
    CMN_SetFrameSize(&window, &drawFrame, &panelFrame, nullptr, nullptr, nullptr);
    QCOMPARE(QRect(drawFrame.mapTo(&window, QPoint(0, 0)), drawFrame.size()), QRect(8, 8, 704, 444));
    QCOMPARE(QRect(panelFrame.mapTo(&window, QPoint(0, 0)), panelFrame.size()), QRect(8, 460, 704, 72));
}

void TestWindow::frameBordersAreSunken_data() {
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QString>("role");
    // Panel frame: L 8, T 460, R 712, B 532 (R and B one past the frame).
    QTest::newRow("inner left line") << QPoint(7, 460) << "dark";
    QTest::newRow("inner left line, below the frame") << QPoint(7, 533) << "dark";
    QTest::newRow("inner top line") << QPoint(711, 459) << "dark";
    QTest::newRow("outer left line") << QPoint(6, 533) << "dark";
    QTest::newRow("outer top line") << QPoint(6, 458) << "dark";
    QTest::newRow("outer top line end") << QPoint(711, 458) << "dark";
    QTest::newRow("inner bottom line") << QPoint(8, 532) << "light";
    QTest::newRow("inner right line") << QPoint(712, 459) << "light";
    QTest::newRow("inner right line top") << QPoint(712, 458) << "light";
    QTest::newRow("outer right line top") << QPoint(713, 458) << "light";
    QTest::newRow("outer bottom right") << QPoint(713, 533) << "light";
    QTest::newRow("outer bottom line") << QPoint(8, 533) << "light";
    QTest::newRow("panel fill, top left") << QPoint(8, 460) << "fill";
    QTest::newRow("panel fill, bottom right") << QPoint(711, 531) << "fill";
    QTest::newRow("beyond the outer left line") << QPoint(5, 500) << "back";
    QTest::newRow("beyond the outer right line") << QPoint(714, 500) << "back";
    QTest::newRow("above the right lines") << QPoint(712, 457) << "back";
    QTest::newRow("beyond the bottom lines") << QPoint(300, 534) << "back";
    // Drawing frame: L 8, T 8, R 712, B 452.
    QTest::newRow("drawing frame inner top") << QPoint(100, 7) << "dark";
    QTest::newRow("drawing frame outer bottom") << QPoint(100, 453) << "light";
    QTest::newRow("drawing frame inside untouched") << QPoint(100, 100) << "back";
    QTest::newRow("between the frames") << QPoint(100, 456) << "back";
}

void TestWindow::frameBordersAreSunken() {
    QFETCH(QPoint, at);
    QFETCH(QString, role);
    QWidget window;
    CMN_SetWindowSize(&window, 720, 540);
    QPalette colours = window.palette();
    colours.setColor(QPalette::Shadow, QColor(10, 20, 30));
    colours.setColor(QPalette::Light, QColor(240, 230, 220));
    window.setPalette(colours);
    QWidget drawFrame(&window), panelFrame(&window);
    CMN_SetFrameSize(&window, &drawFrame, &panelFrame, nullptr, nullptr, nullptr);

    QImage image(720, 540, QImage::Format_RGB32);
    const QColor back(90, 90, 90);
    image.fill(back);
    {
        QPainter dc(&image);
        CMN_RedrawFrame(&window, dc, &drawFrame, &panelFrame, 0xFF8080);
    }
    const QHash<QString, QColor> expected{{"dark", QColor(10, 20, 30)},
                                          {"light", QColor(240, 230, 220)},
                                          {"fill", QColor(128, 128, 255)},
                                          {"back", back}};
    QCOMPARE(image.pixelColor(at), expected.value(role));
}

void TestWindow::numberPaintsInsideItsRectOnly_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("three digits") << 123 << 3 << QRect(20, 10, 78, 28);
    QTest::newRow("two digits") << 5 << 2 << QRect(20, 10, 52, 28);
    QTest::newRow("zero digits becomes one") << 4 << 0 << QRect(20, 10, 26, 28);
    QTest::newRow("too many digits is capped") << 123 << 40 << QRect(20, 10, 234, 28);
}

void TestWindow::numberPaintsInsideItsRectOnly() {
    QFETCH(int, value);
    QFETCH(int, digits);
    QFETCH(QRect, rect);
    const tagKirokuNumber number{value, 20, 10, digits, 1};
    QCOMPARE(CMN_KirokuNumberRect(number), rect);
    const QImage image = paintNumber(number);
    int inside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool changed = image.pixelColor(x, y) != QColor(Qt::magenta);
            if (!rect.contains(x, y))
                QVERIFY2(!changed, qPrintable(QStringLiteral("painted outside at %1, %2").arg(x).arg(y)));
            inside += changed ? 1 : 0;
        }
    QVERIFY(inside > rect.width() * rect.height() * 9 / 10); // the box fills its rect but for rounded corners
}

void TestWindow::numberShowsDigitsRightAligned_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("shown"); // per cell: '.' blank, a digit lit
    QTest::newRow("single digit") << 7 << 3 << "..7";
    QTest::newRow("zero shows one zero") << 0 << 3 << "..0";
    QTest::newRow("inner zero is shown") << 105 << 3 << "105";
    QTest::newRow("two of three") << 42 << 3 << ".42";
    QTest::newRow("negative shows zero") << -5 << 2 << ".0";
}

void TestWindow::numberShowsDigitsRightAligned() {
    QFETCH(int, value);
    QFETCH(int, digits);
    QFETCH(QString, shown);
    const tagKirokuNumber number{value, 0, 0, digits, 1};
    const QImage image = paintNumber(number);
    // The lit area of each digit is its own: "1" lights 2 segments, "8" all 7, "0" 6, "7" 3.
    const tagKirokuNumber eight{8, 0, 0, 1, 1};
    const int eightLit = litPixels(paintNumber(eight), QRect(0, 0, 26, 28));
    QVERIFY(eightLit > 100);
    static const int segmentsOf[10] = {6, 2, 5, 5, 4, 5, 6, 3, 7, 6};
    for (int i = 0; i < digits; ++i) {
        const int lit = litPixels(image, QRect(i * 26, 0, 26, 28));
        if (shown[i] == QLatin1Char('.')) {
            QCOMPARE(lit, 0);
        } else {
            const int expected = eightLit * segmentsOf[shown[i].digitValue()] / 7;
            QVERIFY2(qAbs(lit - expected) <= eightLit / 10,
                     qPrintable(
                         QStringLiteral("cell %1: %2 lit, about %3 expected").arg(i).arg(lit).arg(expected)));
        }
    }
}

void TestWindow::numberTooLargeShowsTheHighestThatFits() {
    QCOMPARE(paintNumber({1000, 0, 0, 3, 1}), paintNumber({999, 0, 0, 3, 1}));
    QCOMPARE(paintNumber({100, 0, 0, 2, 1}), paintNumber({99, 0, 0, 2, 1}));
    QCOMPARE(paintNumber({std::numeric_limits<int>::max(), 0, 0, 9, 1}),
             paintNumber({999999999, 0, 0, 9, 1}));
    QVERIFY(paintNumber({998, 0, 0, 3, 1}) != paintNumber({999, 0, 0, 3, 1}));
}

void TestWindow::panelNumbersEndBeforeTheirLabels_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("labelX");
    QTest::newRow("speed") << 200 << 8 << 3 << 284;
    QTest::newRow("highest speed") << 440 << 8 << 3 << 524;
    QTest::newRow("errors") << 180 << 40 << 3 << 263;
    QTest::newRow("minutes") << 340 << 40 << 2 << 396;
    QTest::newRow("seconds") << 422 << 40 << 2 << 478;
}

void TestWindow::panelNumbersEndBeforeTheirLabels() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, digits);
    QFETCH(int, labelX);
    const QRect rect = CMN_KirokuNumberRect({999, x, y, digits, 1});
    QVERIFY(rect.right() < labelX);
    QVERIFY(rect.bottom() < 72);                                 // inside the panel
    QVERIFY(rect.height() >= 24 && rect.width() >= 22 * digits); // still large enough to read at a glance
}

// Bold lays down at least 1.3 times the ink of regular at the same size, at 100 % and 200 % and in the
// full-screen view's zoom: the panels' labels drawn by a painter, and a widget's caption drawn by the style.
void TestWindow::boldShowsAtEveryScale_data() {
    QTest::addColumn<QString>("face");
    QTest::addColumn<double>("points");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<bool>("widget");
    for (const qreal ratio : {1.0, 2.0, 2.0 * 1024 / 540}) {
        QTest::addRow("panel label x%.2f", ratio)
            << QStringLiteral("ＭＳ ゴシック") << 12.0 << ratio << false;
        QTest::addRow("small caption x%.2f", ratio)
            << QStringLiteral("ＭＳ Ｐゴシック") << 9.0 << ratio << true;
        QTest::addRow("heading x%.2f", ratio) << QStringLiteral("ＭＳ Ｐゴシック") << 15.0 << ratio << true;
    }
}

void TestWindow::boldShowsAtEveryScale() {
    QFETCH(QString, face);
    QFETCH(double, points);
    QFETCH(qreal, ratio);
    QFETCH(bool, widget);
    const QString text = QStringLiteral("現在速度 回／分 ひらがな キー");
    const QSize size(360, 40);
    const auto draw = [&](bool bold) {
        return inkAt(size, ratio, [&](QPainter& painter) {
            painter.setFont(CMN_Font(face, points, bold));
            if (!widget) {
                painter.setPen(Qt::black);
                CMN_DrawText(painter, QRect(QPoint(4, 4), size), Qt::AlignLeft | Qt::AlignTop, text);
                return;
            }
            QLabel label(text);
            label.setFont(painter.font());
            label.setStyleSheet(QStringLiteral("color: black; background: white;"));
            label.resize(size);
            label.render(&painter);
        });
    };
    const double regular = draw(false);
    QVERIFY(regular > 0);
    const double bold = draw(true);
    QVERIFY2(bold >= 1.3 * regular, qPrintable(QStringLiteral("bold is %1 x regular").arg(bold / regular)));
}

// The suite's style looks its standard icons up only when they are first drawn; what is drawn is the
// underlying style's icon, for the option and widget it was asked with.
void TestWindow::standardIconsAreTheStylesOwn_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("withOption");
    QTest::newRow("clear button, line edit's option") << int(QStyle::SP_LineEditClearButton) << true;
    QTest::newRow("menu bar's overflow") << int(QStyle::SP_ToolBarHorizontalExtensionButton) << false;
    QTest::newRow("message warning") << int(QStyle::SP_MessageBoxWarning) << false;
    QTest::newRow("dialog's yes, option") << int(QStyle::SP_DialogYesButton) << true;
}

void TestWindow::standardIconsAreTheStylesOwn() {
    QFETCH(int, which);
    QFETCH(bool, withOption);
    QLineEdit edit;
    edit.setLayoutDirection(Qt::RightToLeft);
    QStyleOptionFrame option;
    option.initFrom(&edit);
    const auto pixmap = QStyle::StandardPixmap(which);
    const QStyleOption* given = withOption ? &option : nullptr;
    const QIcon later = QApplication::style()->standardIcon(pixmap, given, &edit);
    const std::unique_ptr<QStyle> plain(QStyleFactory::create(QStringLiteral("Fusion")));
    const QIcon now = plain->standardIcon(pixmap, given, &edit);
    QVERIFY(!now.isNull());
    QVERIFY(!later.isNull());
    for (const int side : {16, 32}) {
        for (const qreal ratio : {1.0, 2.0}) {
            const QImage expected = now.pixmap(QSize(side, side), ratio).toImage();
            QCOMPARE(later.pixmap(QSize(side, side), ratio).toImage(), expected);
        }
    }
    QCOMPARE(later.actualSize(QSize(32, 32)), now.actualSize(QSize(32, 32)));
}

void TestWindow::fontsArePixelSizedAndJapanese_data() {
    QTest::addColumn<QString>("face");
    QTest::addColumn<double>("points");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("family");
    QTest::newRow("gothic 12") << "ＭＳ ゴシック" << 12.0 << 16 << "IPAGothic";
    QTest::newRow("proportional 9") << "ＭＳ Ｐゴシック" << 9.0 << 12 << "IPAPGothic";
    QTest::newRow("rounded 10.5") << "ＭＳ ゴシック" << 10.5 << 14 << "IPAGothic";
    QTest::newRow("zero size gets the default") << "ＭＳ ゴシック" << 0.0 << 12 << "IPAGothic";
    QTest::newRow("not a number gets the default") << "ＭＳ ゴシック" << std::nan("") << 12 << "IPAGothic";
}

void TestWindow::fontsArePixelSizedAndJapanese() {
    QFETCH(QString, face);
    QFETCH(double, points);
    QFETCH(int, pixels);
    QFETCH(QString, family);
    const QFont font = CMN_Font(face, points, true);
    QCOMPARE(font.pixelSize(), pixels);
    QVERIFY(font.bold());
    QCOMPARE(QFontInfo(font).family(), family);
    QVERIFY(!CMN_Font(face, points).bold());
}

void TestWindow::coloursAreBlueGreenRed() {
    QCOMPARE(CMN_ColorFromRef(0xFF8080), QColor(128, 128, 255));
    QCOMPARE(CMN_ColorFromRef(0xFF0000), QColor(0, 0, 255)); // the transparent key is pure blue
    QCOMPARE(CMN_ColorFromRef(0x00C800), QColor(0, 200, 0));
    QCOMPARE(CMN_ColorFromRef(0xFF123456), QColor(0x56, 0x34, 0x12)); // the top byte is not a colour
}

void TestWindow::startupMessageShowsAtThePoint() {
    QWidget owner;
    owner.show();
    QPointer<QWidget> message = CMN_DispStartupMsg(&owner, 100, 120, QStringLiteral("起動中です"));
    QVERIFY(message);
    QVERIFY(message->isWindow());
    QVERIFY(message->isVisible());
    QCOMPARE(message->parentWidget(), &owner);
    QCOMPARE(message->pos(), QPoint(100, 120));
    auto* label = message->findChild<QLabel*>();
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("起動中です"));
    QVERIFY(label->geometry().width() <= message->width());
    saveScreenshot(message, QStringLiteral("common_startup_message.png"));
    QVERIFY(message->close());
    QVERIFY(!message->isVisible());
}

void TestWindow::startupMessageStaysOnScreen() {
    QWidget owner;
    QPointer<QWidget> message = CMN_DispStartupMsg(&owner, 100000, -50, QStringLiteral("起動中です"));
    QVERIFY(message);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(message->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                       .arg(message->x())
                                                                       .arg(message->y())
                                                                       .arg(message->width())
                                                                       .arg(message->height())));
    message->close();
}

void TestWindow::startupMessageIsFreedWithItsOwner() {
    auto* owner = new QWidget;
    QPointer<QWidget> owned = CMN_DispStartupMsg(owner, 10, 10, QStringLiteral("起動中です"));
    QVERIFY(owned);
    owned->close();
    QVERIFY(owned); // closing twice is harmless while the owner lives
    owned->close();
    delete owner;
    QVERIFY(owned.isNull());

    QPointer<QWidget> orphan = CMN_DispStartupMsg(nullptr, 10, 10, QStringLiteral("起動中です"));
    QVERIFY(orphan);
    orphan->close();
    QTRY_VERIFY(orphan.isNull()); // nobody else would free it
}

void TestWindow::panelScreenshot() {
    PanelWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(720, 540));
    const QImage shot = window.grab().toImage();
    // The panel fill shows between the numbers, and every number box lies on the panel.
    QCOMPARE(shot.pixelColor(20, 500), QColor(128, 128, 255));
    for (const tagKirokuNumber& number : window.numbers)
        QVERIFY(window.panelFrame->rect().contains(CMN_KirokuNumberRect(number)));
    QVERIFY(litPixels(shot, QRect(window.panelFrame->pos() + QPoint(200, 8), QSize(78, 28))) > 0);
    saveScreenshot(&window, QStringLiteral("common_panel.png"));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
