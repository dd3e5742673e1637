// The pictures as the program loads them: their sizes, keys drawn exactly on the key cells, coloured by
// finger on the correct-key layer and on page 4, crossed out on the wrong-key layer, and text that reads
// well.
#include "ArtworkText.h"
#include "KeyboardLessonCore.h"

#include <Common.h>
#include <QtTest>
#include <map>
#include <set>

using halvor::fingerOfKey;
using halvor::keyCells;

namespace {

QImage load(int id) {
    CMN_DXSetColorKey(nullptr, 0xff0000, 0xff0000);
    CMN_Surface* surface = CMN_DXCreateSurfaceFromBitmap(nullptr, id);
    return surface ? surface->image.convertToFormat(QImage::Format_ARGB32) : QImage();
}

// Points inside a cell clear of the key's outline, label and bump.
std::vector<QPoint> insidePoints(const halvor::KeyCell& cell) {
    const int l = cell.area.left, t = cell.area.top;
    return {{l + 7, t + 7}, {l + 31, t + 7}, {l + 7, t + 31}, {l + 31, t + 31}, {l + 5, t + 19}};
}

// Points just outside a cell: the gaps between keys.
std::vector<QPoint> gapPoints(const halvor::KeyCell& cell) {
    const int l = cell.area.left, t = cell.area.top;
    return {{l + 39, t + 19}, {l + 40, t + 19}, {l + 19, t + 39}, {l - 1, t + 19}, {l + 19, t - 1}};
}

void save(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (!folder.isEmpty())
        image.save(folder + QStringLiteral("/keyboard_lesson_") + name + QStringLiteral(".png"));
}

QByteArray where(const halvor::KeyCell& cell, QPoint p) {
    return QByteArray("key ") + cell.key + " at " + QByteArray::number(p.x()) + "," +
           QByteArray::number(p.y());
}

} // namespace

class KeyboardLessonArtworkTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CMN_DXReleaseDirectDraw7(); }
    void sizes_data();
    void sizes();
    void fingerColoursOnCells_data();
    void fingerColoursOnCells();
    void wrongLayerCrossesEveryCell();
    void wrongBannerFitsBothExercises();
    void plainKeysOnExercisePages_data();
    void plainKeysOnExercisePages();
    void textReadsWell_data() { artwork::pictureRows(); }
    void textReadsWell() { artwork::verifyReadable(); }
};

void KeyboardLessonArtworkTest::sizes_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    for (int id = 129; id <= 133; ++id)
        QTest::addRow("page %d", id - 128) << id << QSize(720, 540);
    for (int id : {134, 135, 138})
        QTest::addRow("banner %d", id) << id << QSize(662, 92);
    for (int id : {136, 137})
        QTest::addRow("layer %d", id) << id << QSize(720, 540);
}

void KeyboardLessonArtworkTest::sizes() {
    QFETCH(int, id);
    QFETCH(QSize, size);
    const QImage image = load(id);
    QCOMPARE(image.size(), size);
    save(image, QString::number(id));
    // Pages cover the window; banners are see-through only at their rounded corners; layers away from keys.
    const bool layer = id == 136 || id == 137;
    const bool page = size.width() == 720 && !layer;
    QCOMPARE(qAlpha(image.pixel(size.width() / 2, 40)), layer ? 0 : 255);
    QCOMPARE(qAlpha(image.pixel(0, 0)), page ? 255 : 0);
}

void KeyboardLessonArtworkTest::fingerColoursOnCells_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("correct-key layer") << 136;
    QTest::newRow("page 4") << 132;
}

void KeyboardLessonArtworkTest::fingerColoursOnCells() {
    QFETCH(int, id);
    const QImage image = load(id);
    QVERIFY(!image.isNull());
    std::map<int, QRgb> colourOfFinger;
    for (const auto& cell : keyCells()) {
        const int finger = fingerOfKey(QChar(cell.key));
        for (QPoint p : insidePoints(cell)) {
            const QRgb pixel = image.pixel(p);
            QVERIFY2(qAlpha(pixel) == 255, where(cell, p));
            auto [it, first] = colourOfFinger.emplace(finger, pixel);
            QVERIFY2(first || it->second == pixel, where(cell, p) + " differs from its finger's colour");
        }
        if (id == 136) {
            for (QPoint p : gapPoints(cell))
                QVERIFY2(qAlpha(image.pixel(p)) == 0, where(cell, p) + " should be see-through");
        }
    }
    std::set<QRgb> distinct;
    for (const auto& [finger, colour] : colourOfFinger)
        distinct.insert(colour);
    QCOMPARE(int(distinct.size()), 8);
    QVERIFY(!distinct.count(qRgb(255, 255, 255))); // no finger is left as a plain key
    if (id == 136) {
        // Page 4 teaches the same colours the marks later show.
        const QImage page4 = load(132);
        for (const auto& cell : keyCells())
            QCOMPARE(page4.pixel(insidePoints(cell)[0]), image.pixel(insidePoints(cell)[0]));
    }
}

void KeyboardLessonArtworkTest::wrongLayerCrossesEveryCell() {
    const QImage image = load(137);
    for (const auto& cell : keyCells()) {
        const int l = cell.area.left, t = cell.area.top;
        for (QPoint p : {QPoint(l + 7, t + 7), QPoint(l + 32, t + 7), QPoint(l + 7, t + 32)}) {
            const QRgb pixel = image.pixel(p);
            QVERIFY2(qRed(pixel) > 200 && qGreen(pixel) < 90 && qBlue(pixel) < 90,
                     where(cell, p) + " not red");
        }
        QCOMPARE(qAlpha(image.pixel(l + 19, t + 3)), 255); // the key under the cross
        for (QPoint p : gapPoints(cell))
            QVERIFY2(qAlpha(image.pixel(p)) == 0, where(cell, p) + " should be see-through");
    }
}

void KeyboardLessonArtworkTest::wrongBannerFitsBothExercises() {
    // Pages 3 and 5 show the same banner; the page to review is the one before each, so it names none.
    QFile banner(QStringLiteral(":/bitmap/135.svg"));
    QVERIFY(banner.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(banner.readAll());
    QVERIFY(svg.contains(QStringLiteral("まえの ページ")));
    QVERIFY2(!svg.contains(QRegularExpression(QStringLiteral("[0-9０-９]\\s*ページ"))), qPrintable(svg));
}

void KeyboardLessonArtworkTest::plainKeysOnExercisePages_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("page 3") << 131;
    QTest::newRow("page 5") << 133;
}

void KeyboardLessonArtworkTest::plainKeysOnExercisePages() {
    QFETCH(int, id);
    const QImage image = load(id);
    for (const auto& cell : keyCells()) {
        for (QPoint p : insidePoints(cell))
            QVERIFY2(image.pixel(p) == qRgb(255, 255, 255), where(cell, p) + " not a white key");
        // The keyboard's plate shows between keys, so a key drawn off its cell shows up here.
        for (QPoint p : gapPoints(cell))
            QVERIFY2(image.pixel(p) != qRgb(255, 255, 255), where(cell, p) + " white outside its key");
    }
}

QTEST_MAIN(KeyboardLessonArtworkTest)
#include "tst_keyboard_lesson_artwork.moc"
