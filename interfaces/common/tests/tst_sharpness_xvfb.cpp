// Every program's window on a screen scaled to 200 %: drawn at device pixels, not a 720 x 540 picture
// stretched, and with everything where it is at 100 %. Each program runs for real on the X server, once
// with QT_SCALE_FACTOR 1 and once with 2, and the screen is grabbed.
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QtTest>

namespace {

// Mean and largest difference per colour channel (0 .. 255) of two images of one size.
std::pair<double, int> difference(const QImage& a, const QImage& b) {
    double sum = 0;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int r = std::abs(qRed(p[x]) - qRed(q[x])), g = std::abs(qGreen(p[x]) - qGreen(q[x])),
                      b = std::abs(qBlue(p[x]) - qBlue(q[x]));
            sum += r + g + b;
            largest = std::max({largest, r, g, b});
        }
    }
    return {sum / (3.0 * a.width() * a.height()), largest};
}

double meanDifference(const QImage& a, const QImage& b) {
    return difference(a, b).first;
}

// Each 2 x 2 block averaged into one pixel.
QImage halved(const QImage& image) {
    QImage half(image.width() / 2, image.height() / 2, QImage::Format_RGB32);
    for (int y = 0; y < half.height(); ++y) {
        for (int x = 0; x < half.width(); ++x) {
            int r = 0, g = 0, b = 0;
            for (const QPoint d : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
                const QRgb p = image.pixel(2 * x + d.x(), 2 * y + d.y());
                r += qRed(p);
                g += qGreen(p);
                b += qBlue(p);
            }
            half.setPixel(x, y, qRgb((r + 2) / 4, (g + 2) / 4, (b + 2) / 4));
        }
    }
    return half;
}

// The most a picture loses anywhere when halved and enlarged again by pixel repetition: nothing at all for a
// picture that was itself stretched that way from half its size.
int detail(const QImage& image) {
    return difference(image, halved(image).scaled(image.size())).second;
}

// The steepest step between neighbouring pixels, in one colour channel. Stretching smoothly to twice the
// size halves every step.
int steepestStep(const QImage& image) {
    int steepest = 0;
    for (int y = 0; y + 1 < image.height(); ++y) {
        for (int x = 0; x + 1 < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            for (const QRgb q : {image.pixel(x + 1, y), image.pixel(x, y + 1)})
                steepest = std::max({steepest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                     std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return steepest;
}

bool xdotool(const QStringList& arguments, QString* output) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return false;
    *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return true;
}

// The program's client area once its drawing has settled, at `scale`; null when it never showed.
QImage shot(const QString& program, int scale) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
    process.setProcessEnvironment(environment);
    process.start(program, {});
    if (!process.waitForStarted())
        return {};
    QString id, geometry;
    QElapsedTimer waited;
    waited.start();
    while (!xdotool({"search", "--onlyvisible", "--pid", QString::number(process.processId())}, &id) &&
           waited.elapsed() < 10000)
        QTest::qWait(100);
    QPoint origin;
    if (xdotool({"getwindowgeometry", "--shell", id.section(u'\n', 0, 0)}, &geometry)) {
        for (const QString& line : geometry.split(u'\n')) {
            if (line.startsWith(QLatin1String("X=")))
                origin.setX(line.mid(2).toInt());
            if (line.startsWith(QLatin1String("Y=")))
                origin.setY(line.mid(2).toInt());
        }
    }
    // Settled: two grabs a while apart agree.
    QImage last, image;
    do {
        last = image;
        QTest::qWait(300);
        image = QGuiApplication::primaryScreen()
                    ->grabWindow(0, origin.x(), origin.y(), 720 * scale, 540 * scale)
                    .toImage()
                    .convertToFormat(QImage::Format_RGB32);
    } while (image != last && waited.elapsed() < 20000);
    process.kill();
    process.waitForFinished();
    return id.isEmpty() ? QImage() : image;
}

constexpr int kTile = 30; // logical pixels

} // namespace

class TestSharpness : public QObject {
    Q_OBJECT
private slots:
    void everyWindowIsDrawnAtDevicePixels_data();
    void everyWindowIsDrawnAtDevicePixels();
};

void TestSharpness::everyWindowIsDrawnAtDevicePixels_data() {
    QTest::addColumn<QString>("program");
    for (const char* name :
         {"Ostrevane", "Quenmarl", "Pelvoran11", "Pelvoran12", "Tavrel11", "Tavrel23", "Sorvanel11"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestSharpness::everyWindowIsDrawnAtDevicePixels() {
    QFETCH(QString, program);
    const QString path = qEnvironmentVariable("HALVOR_BIN") + u'/' + program;
    if (!QFile::exists(path))
        QSKIP("program not built");
    const QImage single = shot(path, 1);
    const QImage doubled = shot(path, 2);
    QVERIFY(!single.isNull() && !doubled.isNull());
    if (const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS"); !folder.isEmpty()) {
        single.save(QStringLiteral("%1/sharpness_%2_x1.png").arg(folder, program));
        doubled.save(QStringLiteral("%1/sharpness_%2_x2.png").arg(folder, program));
    }
    // Nothing moved: the doubled window, halved, is the single one (text and edges differ in their shading).
    const double moved = meanDifference(halved(doubled), single);
    QVERIFY2(moved < 4.0, qPrintable(QStringLiteral("differs from 100 % by %1").arg(moved)));
    // Sharp: where the window shows an edge, the doubled picture is neither a repetition of half its pixels
    // nor a smooth stretch, whose steps are half as steep as the single window's. Parts that come out the
    // same at both densities (straight lines on whole pixels) tell nothing, but a stretched window is made
    // of those only.
    int edged = 0, same = 0, sharp = 0;
    QStringList blurred;
    for (int y = 0; y + kTile <= 540; y += kTile) {
        for (int x = 0; x + kTile <= 720; x += kTile) {
            const QImage part = single.copy(x, y, kTile, kTile);
            const int step = steepestStep(part);
            if (step < 48)
                continue; // no edge here to be sharp or blurred
            ++edged;
            const QImage tile = doubled.copy(2 * x, 2 * y, 2 * kTile, 2 * kTile);
            if (meanDifference(tile, part.scaled(tile.size())) < 0.05)
                ++same;
            else if (detail(tile) >= step / 4 && steepestStep(tile) * 4 >= step * 3)
                ++sharp;
            else
                blurred << QStringLiteral("(%1,%2)").arg(x).arg(y);
        }
    }
    QVERIFY2(edged > 20 && same <= edged / 2 && sharp >= (edged - same) * 9 / 10,
             qPrintable(QStringLiteral("%1 of %2 parts with edges sharp, %3 the same at 100 %; blurred at %4")
                            .arg(sharp)
                            .arg(edged)
                            .arg(same)
                            .arg(blurred.join(u' '))));
}

QTEST_MAIN(TestSharpness)
#include "tst_sharpness_xvfb.moc"
