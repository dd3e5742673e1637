// Drawing: colour key, puts with clipping, turned squares, text, sprites, flip and the failure roads.
#include "Common.h"
#include "CommonDetail.h"
#include "SvgPicture.h"
#include "TestDoubles.h"

#include <QtTest>

#include <QDir>
#include <QFontInfo>
#include <QGraphicsView>
#include <QPushButton>
#include <QWidget>

namespace {

const QString kGothic = QStringLiteral("ＭＳ ゴシック");

CMN_Surface blank(int width, int height, QColor fill) {
    CMN_Surface surface;
    surface.image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    surface.image.fill(fill);
    return surface;
}

QColor colourNamed(const QString& name) {
    static const QHash<QString, QColor> names = {{"black", Qt::black}, {"red", Qt::red},
                                                 {"green", Qt::green}, {"yellow", Qt::yellow},
                                                 {"white", Qt::white}, {"grey", Qt::gray}};
    return names.value(name);
}

int changedPixels(const QImage& a, const QImage& b, QRect* bounds = nullptr) {
    int changed = 0;
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++changed;
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    if (bounds)
        *bounds = box;
    return changed;
}

bool reddish(QRgb p) {
    return qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100;
}

void saveScreenshot(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QVERIFY(image.save(folder + QLatin1Char('/') + name));
}

} // namespace

class TestDraw : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        CMN_DXForceInitFailure(false);
        CMN_DXReleaseDirectDraw7();
    }

    void colourKeyClearsExactlyPureBlue() {
        CMN_Surface* plain = CMN_DXCreateSurfaceFromBitmap(nullptr, 900);
        QVERIFY(plain);
        QCOMPARE(plain->image.size(), QSize(4, 2));
        QCOMPARE(plain->image.pixel(0, 0), qRgb(0, 0, 255)); // no key yet
        QCOMPARE(CMN_DXSetColorKey(plain, 0xFF0000, 0xFF0000), 1);
        QCOMPARE(qAlpha(plain->image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(plain->image.pixel(1, 1)), 0);
        QCOMPARE(plain->image.pixel(2, 0), qRgb(0, 0, 254)); // 0xFE0000 stays
        QVERIFY(plain->colourKeyed);

        // A key set without a surface applies to every later load and to reloads.
        QCOMPARE(CMN_DXSetColorKey(nullptr, 0xFF0000, 0xFF0000), 1);
        CMN_Surface* later = CMN_DXCreateSurfaceFromBitmap(nullptr, 900);
        QVERIFY(later && later != plain);
        QCOMPARE(qAlpha(later->image.pixel(0, 0)), 0);
        QCOMPARE(later->image.pixel(3, 1), qRgb(0, 0, 254));
        QCOMPARE(CMN_DXCreateSurfaceFromBitmap(later, 900), later);
        QCOMPARE(qAlpha(later->image.pixel(0, 0)), 0);

        // Putting the keyed picture shows the ground through the blue and covers it elsewhere.
        CMN_Surface ground = blank(4, 2, Qt::gray);
        QCOMPARE(CMN_DXPutSurface(&ground, 0, 0, later), 1);
        QCOMPARE(ground.image.pixel(1, 0), QColor(Qt::gray).rgb());
        QCOMPARE(ground.image.pixel(2, 0), qRgb(0, 0, 254));
    }

    void putWithSourceRectangleAndClipping_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QRect>("source"); // null: whole picture
        QTest::addColumn<QString>("expect");
        QTest::addColumn<int>("changed");
        // The source is 4 x 4: red, green over yellow, white quadrants. The destination is 6 x 6 black.
        QTest::newRow("whole") << 1 << 1 << QRect()
                               << "1,1=red;3,1=green;1,3=yellow;4,4=white;0,0=black;5,5=black" << 16;
        QTest::newRow("source part") << 0 << 0 << QRect(2, 2, 2, 2) << "0,0=white;1,1=white;2,2=black" << 4;
        QTest::newRow("left edge") << -2 << 0 << QRect() << "0,0=green;1,3=white;2,0=black" << 8;
        QTest::newRow("top edge") << 0 << -2 << QRect() << "0,0=yellow;2,1=white;0,2=black" << 8;
        QTest::newRow("right edge") << 4 << 0 << QRect() << "4,0=red;5,3=yellow;3,0=black" << 8;
        QTest::newRow("bottom edge") << 0 << 5 << QRect() << "0,5=red;3,5=green;0,4=black" << 4;
        QTest::newRow("top and left edges")
            << -1 << -1 << QRect(0, 0, 4, 4) << "0,0=red;2,2=white;3,3=black" << 9;
        QTest::newRow("part and edge") << -1 << 4 << QRect(0, 1, 4, 3) << "0,4=red;1,4=green;0,5=yellow" << 6;
        QTest::newRow("negative far away") << -40 << -40 << QRect() << "0,0=black" << 0;
        QTest::newRow("far right") << 6 << 0 << QRect() << "5,0=black" << 0;
        QTest::newRow("rect beyond picture")
            << 0 << 0 << QRect(2, 2, 8, 8) << "0,0=white;1,1=white;2,2=black" << 4;
    }
    void putWithSourceRectangleAndClipping() {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QRect, source);
        QFETCH(QString, expect);
        QFETCH(int, changed);
        CMN_Surface* picture = CMN_DXCreateSurfaceFromBitmap(nullptr, 901);
        QVERIFY(picture);
        CMN_Surface dest = blank(6, 6, Qt::black);
        const QImage before = dest.image.copy();
        QCOMPARE(CMN_DXPutSurface(&dest, x, y, picture, source.isNull() ? nullptr : &source), 1);
        for (const QString& item : expect.split(QLatin1Char(';'))) {
            const QStringList parts = item.split(QLatin1Char('='));
            const QStringList xy = parts[0].split(QLatin1Char(','));
            const QPoint at(xy[0].toInt(), xy[1].toInt());
            QVERIFY2(dest.image.pixel(at) == colourNamed(parts[1]).rgb(), qPrintable(item));
        }
        QCOMPARE(changedPixels(before, dest.image), changed);
    }

    void putClipsAllFourEdgesAtOnce() {
        CMN_Surface* picture = CMN_DXCreateSurfaceFromBitmap(nullptr, 901);
        QVERIFY(picture);
        CMN_Surface dest = blank(2, 2, Qt::black);
        QCOMPARE(CMN_DXPutSurface(&dest, -1, -1, picture), 1);
        QCOMPARE(dest.image.pixel(0, 0), QColor(Qt::red).rgb());
        QCOMPARE(dest.image.pixel(1, 0), QColor(Qt::green).rgb());
        QCOMPARE(dest.image.pixel(0, 1), QColor(Qt::yellow).rgb());
        QCOMPARE(dest.image.pixel(1, 1), QColor(Qt::white).rgb());
    }

    void putRefusesMissingSurfaces() {
        CMN_Surface dest = blank(4, 4, Qt::black);
        CMN_Surface empty;
        QCOMPARE(CMN_DXPutSurface(&dest, 0, 0, nullptr), 0);
        QCOMPARE(CMN_DXPutSurface(nullptr, 0, 0, &dest), 0);
        QCOMPARE(CMN_DXPutSurface(&dest, 0, 0, &empty), 0);
        QVERIFY(!CMN_DXCreateSurfaceFromBitmap(nullptr, 12345));
        QVERIFY(!CMN_D3CreateTextureFromBitmap(nullptr, 12345));
        QCOMPARE(CMN_DXSetColorKey(&empty, 0xFF0000, 0xFF0000), 0);
        QCOMPARE(CMN_DXTextOut(nullptr, 0, 0, QStringLiteral("あ"), kGothic, 100, 0, 0, 1, 0), 0);
        // A surface drawn onto itself works on a copy.
        CMN_Surface* picture = CMN_DXCreateSurfaceFromBitmap(nullptr, 901);
        QCOMPARE(CMN_DXPutSurface(picture, 2, 0, picture), 1);
        QCOMPARE(picture->image.pixel(2, 0), QColor(Qt::red).rgb());
    }

    void turnedSquare_data() {
        QTest::addColumn<int>("angle");
        QTest::addColumn<QPoint>(
            "redAt"); // where the texture's top bar lands, inside the 16 x 16 square at 8, 8
        QTest::newRow("upright") << 0 << QPoint(16, 9);
        QTest::newRow("quarter turn clockwise") << 90 << QPoint(22, 16);
        QTest::newRow("half turn") << 180 << QPoint(16, 22);
        QTest::newRow("quarter turn back") << -90 << QPoint(9, 16);
        QTest::newRow("a full turn and a quarter") << 450 << QPoint(22, 16);
    }
    void turnedSquare() {
        QFETCH(int, angle);
        QFETCH(QPoint, redAt);
        CMN_Surface target = blank(32, 32, Qt::white);
        QCOMPARE(CMN_D3InitDirect3D7(&target), 1);
        tagD3DPlain plain;
        plain.texture = CMN_D3CreateTextureFromBitmap(nullptr, 902);
        QVERIFY(plain.texture);
        CMN_D3TransRectToVertex(plain, QRect(8, 8, 16, 16));
        QCOMPARE(plain.rect, QRect(8, 8, 16, 16));
        plain.angle = angle;
        QCOMPARE(CMN_D3PutD3DPlain(plain), 1);
        QVERIFY2(reddish(target.image.pixel(redAt)), qPrintable(QColor(target.image.pixel(redAt)).name()));
        int red = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QRgb p = target.image.pixel(x, y);
                red += reddish(p);
                // The keyed backdrop never shows, and nothing lands outside the square.
                QVERIFY(!(qBlue(p) > 200 && qRed(p) < 100 && qGreen(p) < 100));
                if (!QRect(8, 8, 16, 16).contains(x, y))
                    QCOMPARE(p, QColor(Qt::white).rgb());
            }
        }
        QVERIFY(red >= 10 && red <= 24); // the 4 x 4 bar, smoothed at its rim
        CMN_D3ReleaseDirect3D7();
        QCOMPARE(CMN_D3PutD3DPlain(tagD3DPlain{}), 0);
    }

    void textDrawsJapaneseInsideItsBox() {
        const QFont font = CMN_Font(kGothic, 16.0);
        QVERIFY2(QFontInfo(font).family().contains(QStringLiteral("IPA")),
                 qPrintable(QFontInfo(font).family()));
        const QString text = QStringLiteral("風車あア");
        const QFontMetrics metrics(font);
        const QRect box(20, 10, metrics.horizontalAdvance(text), metrics.height());

        CMN_Surface surface = blank(200, 60, Qt::white);
        const QImage before = surface.image.copy();
        QCOMPARE(CMN_DXTextOut(&surface, 20, 10, text, kGothic, 160, 0x0000FF, 0, 1, 0), 1);
        QRect inked;
        const int regular = changedPixels(before, surface.image, &inked);
        QVERIFY(regular > 100);
        QVERIFY2(box.contains(inked), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                     .arg(inked.x())
                                                     .arg(inked.y())
                                                     .arg(inked.width())
                                                     .arg(inked.height())));
        // Every character cell has ink: the glyphs exist in the font.
        const int cell = box.width() / 4;
        for (int i = 0; i < 4; ++i) {
            CMN_Surface empty = blank(200, 60, Qt::white);
            QVERIFY(changedPixels(
                        empty.image.copy(QRect(box.x() + i * cell, box.y(), cell, box.height())),
                        surface.image.copy(QRect(box.x() + i * cell, box.y(), cell, box.height()))) > 10);
        }
        // COLORREF 0x0000FF is red: the darkest stroke pixel is red, not blue.
        QRgb darkest = qRgb(255, 255, 255);
        for (int y = inked.top(); y <= inked.bottom(); ++y)
            for (int x = inked.left(); x <= inked.right(); ++x)
                if (qGray(surface.image.pixel(x, y)) < qGray(darkest))
                    darkest = surface.image.pixel(x, y);
        QVERIFY2(reddish(darkest), qPrintable(QColor(darkest).name()));

        // Bold strokes cover clearly more than the same text in regular, although the font has no bold face.
        CMN_Surface boldSurface = blank(200, 60, Qt::white);
        QCOMPARE(CMN_DXTextOut(&boldSurface, 20, 10, text, kGothic, 160, 0x0000FF, 0, 1, 1), 1);
        QVERIFY2(
            changedPixels(before, boldSurface.image) > regular * 1.1,
            qPrintable(
                QStringLiteral("%1 against %2").arg(changedPixels(before, boldSurface.image)).arg(regular)));

        // Opaque mode fills the whole box in the back colour and nothing outside it.
        CMN_Surface opaque = blank(200, 60, Qt::white);
        QCOMPARE(CMN_DXTextOut(&opaque, 20, 10, text, kGothic, 160, 0, 0xFF0000, 2, 0), 1);
        QRect filled;
        QCOMPARE(changedPixels(before, opaque.image, &filled), box.width() * box.height());
        QCOMPARE(filled, box);
        QCOMPARE(opaque.image.pixel(box.topLeft()), qRgb(0, 0, 255));
        saveScreenshot(surface.image, QStringLiteral("common_text.png"));
    }

    void spritesVisibleOnlyAndInListOrder() {
        QWidget frame;
        frame.resize(40, 20);
        CMN_Surface* back = CMN_DXInitDirectDraw7(&frame);
        QVERIFY(back);
        QCOMPARE(back->image.size(), QSize(40, 20));
        CMN_Surface* sheet = CMN_DXCreateSurfaceFromBitmap(nullptr, 903); // red cell over green cell
        QVERIFY(sheet);
        tagSprite* sprites = CMN_DXInitSprite(3);
        QVERIFY(sprites);
        QCOMPARE(sprites[2].visible, 0);
        sprites[0] = {1, 0, 0, 10, 10, sheet, 0};
        sprites[1] = {0, 10, 0, 10, 10, sheet, 0};
        sprites[2] = {1, 5, 0, 10, 10, sheet, 10};
        back->image.fill(Qt::black);
        CMN_DXPutAllSprites();
        QCOMPARE(back->image.pixel(2, 2), QColor(Qt::red).rgb());
        QCOMPARE(back->image.pixel(7, 2), QColor(Qt::green).rgb()); // the later sprite is on top
        QCOMPARE(back->image.pixel(14, 9), QColor(Qt::green).rgb());
        QCOMPARE(back->image.pixel(16, 2), QColor(Qt::black).rgb()); // the hidden one
        QCOMPARE(back->image.pixel(7, 12), QColor(Qt::black).rgb());

        CMN_DXReleaseSprite();
        CMN_DXReleaseSprite();
        back->image.fill(Qt::black);
        CMN_DXPutAllSprites(); // nothing left to draw
        QCOMPARE(back->image.pixel(2, 2), QColor(Qt::black).rgb());
        QVERIFY(!CMN_DXInitSprite(0));
        QVERIFY(!CMN_DXInitSprite(-5));
    }

    void flipShowsTheBackSurface() {
        QWidget frame;
        frame.resize(64, 32);
        CMN_Surface* back = CMN_DXInitDirectDraw7(&frame);
        QVERIFY(back);
        back->image.fill(Qt::yellow);
        CMN_DXFlip();
        QImage shown = frame.grab().toImage();
        QCOMPARE(shown.pixel(10, 10), QColor(Qt::yellow).rgb());
        QCOMPARE(shown.pixel(63, 31), QColor(Qt::yellow).rgb());
        // Drawing goes on behind the picture until the next flip, and the back keeps what was drawn.
        back->image.fill(Qt::red);
        shown = frame.grab().toImage();
        QCOMPARE(shown.pixel(10, 10), QColor(Qt::yellow).rgb());
        CMN_DXFlip();
        QCOMPARE(back->image.pixel(10, 10), QColor(Qt::red).rgb());
        QCOMPARE(frame.grab().toImage().pixel(10, 10), QColor(Qt::red).rgb());
    }

    // Pictures are drawn ahead at build time for ratios 1 and 2; what a program loads must be the very
    // picture it would draw from the SVG, at every ratio and at a size other than the picture's own.
    void picturesDrawnAheadAreTheSvgsOwn_data() {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("size");
        for (const char* stem : {"OKD", "139"}) {
            QTest::addRow("%s at 1", stem) << stem << 1.0 << QSize();
            QTest::addRow("%s at 2", stem) << stem << 2.0 << QSize();
            QTest::addRow("%s at 1.5", stem) << stem << 1.5 << QSize();
            QTest::addRow("%s at 2, other size", stem) << stem << 2.0 << QSize(50, 30);
        }
    }
    void picturesDrawnAheadAreTheSvgsOwn() {
        QFETCH(QString, stem);
        QFETCH(qreal, ratio);
        QFETCH(QSize, size);
        QVERIFY(QFile::exists(halvor::prerenderedName(QStringLiteral(":/bitmap/") + stem, 2)));
        QSvgRenderer svg;
        halvor::loadSvg(svg, QStringLiteral(":/bitmap/%1.svg").arg(stem));
        const QSize logical = size.isValid() ? size : svg.defaultSize();
        QImage expected = halvor::renderSvg(svg, cmn_detail::deviceSize(logical, ratio));
        expected.setDevicePixelRatio(ratio);
        const QImage loaded = cmn_detail::loadPicture(QStringLiteral("bitmap"), stem, size, ratio);
        QCOMPARE(loaded.convertToFormat(QImage::Format_ARGB32),
                 expected.convertToFormat(QImage::Format_ARGB32));
    }

    // Pictures read ahead on another core are the very ones a program would load, handed over once, and
    // only to a window of the density they were read for.
    void preloadedPicturesAreHandedOverOnce() {
        {
            const ScopedVariable scale("QT_SCALE_FACTOR", {}); // read for density 1
            CMN_PreloadPictures({"bitmap/OKD", "bitmap/139"});
        }
        const QImage ahead = cmn_detail::takePreloaded(QStringLiteral(":/bitmap/OKD"), 1);
        QVERIFY(!ahead.isNull());
        QVERIFY(cmn_detail::takePreloaded(QStringLiteral(":/bitmap/OKD"), 1).isNull());
        QCOMPARE(ahead, cmn_detail::loadPicture(QStringLiteral("bitmap"), QStringLiteral("OKD"), {}, 1));
        QVERIFY(cmn_detail::takePreloaded(QStringLiteral(":/bitmap/139"), 2).isNull());
        QVERIFY(cmn_detail::takePreloaded(QStringLiteral(":/bitmap/139"), 1).isNull());
    }

    // A back surface made ahead is black, of the size and density asked for, and handed over once; another
    // size or density gets none.
    void preloadedBackSurfaceIsBlackAndHandedOverOnce_data() {
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("handed");
        QTest::newRow("as made") << CMN_kDrillDrawSize << 1.0 << true;
        QTest::newRow("another size") << QSize(720, 540) << 1.0 << false;
        QTest::newRow("another density") << CMN_kDrillDrawSize << 2.0 << false;
    }
    void preloadedBackSurfaceIsBlackAndHandedOverOnce() {
        QFETCH(QSize, asked);
        QFETCH(qreal, ratio);
        QFETCH(bool, handed);
        {
            const ScopedVariable scale("QT_SCALE_FACTOR", {});
            CMN_PreloadPictures({}, CMN_kDrillDrawSize);
        }
        const QImage back = cmn_detail::takePreloadedBack(asked, ratio);
        QCOMPARE(!back.isNull(), handed);
        QVERIFY(cmn_detail::takePreloadedBack(asked, ratio).isNull());
        if (!handed)
            return;
        QCOMPARE(cmn_detail::logicalSize(back), asked);
        QCOMPARE(back.devicePixelRatio(), ratio);
        QCOMPARE(back.format(), QImage::Format_ARGB32_Premultiplied);
        QImage black(back.size(), QImage::Format_ARGB32_Premultiplied);
        black.fill(Qt::black);
        black.setDevicePixelRatio(ratio);
        QCOMPARE(back, black);
    }

    // A stored picture that is cut short or not a picture is refused, never read past its end.
    void packedPicturesRoundTripAndRefuseDamage_data() {
        QTest::addColumn<int>("cut");
        QTest::addColumn<int>("at");
        QTest::addColumn<char>("byte");
        QTest::addColumn<bool>("whole");
        QTest::newRow("as packed") << 0 << -1 << '\0' << true;
        QTest::newRow("last pixel missing") << 4 << -1 << '\0' << false;
        QTest::newRow("header only") << 3 * 5 * 4 << -1 << '\0' << false;
        QTest::newRow("not a picture") << 0 << 0 << 'P' << false;
        QTest::newRow("width says more") << 0 << 4 << '\4' << false;
        QTest::newRow("no height") << 0 << 8 << '\0' << false;
        QTest::newRow("huge height") << 0 << 11 << '\x7f' << false;
    }
    void packedPicturesRoundTripAndRefuseDamage() {
        QFETCH(int, cut);
        QFETCH(int, at);
        QFETCH(char, byte);
        QFETCH(bool, whole);
        QImage picture(3, 5, QImage::Format_ARGB32_Premultiplied);
        for (int i = 0; i < 15; ++i)
            picture.setPixel(i % 3, i / 3, qPremultiply(qRgba(i * 17, 255 - i, i, 40 + i * 10)));
        QByteArray data = halvor::packPicture(picture);
        data.chop(cut);
        if (at >= 0)
            data[at] = byte;
        const QImage unpacked = halvor::unpackPicture(data);
        QCOMPARE(!unpacked.isNull(), whole);
        if (whole)
            QCOMPARE(unpacked, picture);
    }

    void restoreCallbackOnScreenChange() {
        QWidget frame;
        frame.resize(32, 32);
        QVERIFY(CMN_DXInitDirectDraw7(&frame));
        int restored = 0;
        CMN_DXSetRestoreCallbackFunc([&restored] { ++restored; });
        QPointer<QWidget> view = frame.findChild<QWidget*>(QStringLiteral("halvorDrawView"));
        QVERIFY(view);
        QEvent change(QEvent::ScreenChangeInternal);
        QCoreApplication::sendEvent(view, &change);
        QCOMPARE(restored, 0); // never inside the event itself
        QTRY_COMPARE(restored, 1);
        CMN_DXReleaseDirectDraw7();
        QVERIFY(view.isNull()); // the view goes with the set-up
        QVERIFY(CMN_DXInitDirectDraw7(&frame));
        view = frame.findChild<QWidget*>(QStringLiteral("halvorDrawView"));
        QCoreApplication::sendEvent(view, &change); // the callback went with the release too
        QCoreApplication::processEvents();
        QCOMPARE(restored, 1);
    }

    void fullScreenScalesTheWindowSharplyAndMapsTheMouse() {
        CMN_EnableFullScreenKey();
        QWidget window;
        window.setFixedSize(720, 540);
        QPalette colours = window.palette();
        colours.setColor(QPalette::Window, QColor(0x20, 0x90, 0x90));
        window.setPalette(colours);
        auto* frame = new QWidget(&window);
        frame->setGeometry(8, 8, 704, 444);
        auto* button = new QPushButton(QStringLiteral("END"), &window);
        button->setGeometry(600, 480, 100, 40);
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
        // F11 is the window's key: nothing inside it ever receives it.
        int f11Seen = 0;
        struct KeyWatch : QObject {
            int* seen;
            explicit KeyWatch(int* s) : seen(s) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F11)
                    ++*seen;
                return false;
            }
        } watch(&f11Seen);
        window.installEventFilter(&watch);
        button->installEventFilter(&watch);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CMN_Surface* back = CMN_DXInitDirectDraw7(frame);
        QVERIFY(back);
        const qreal ratio = window.devicePixelRatioF();

        button->setFocus();
        QTest::keyClick(button, Qt::Key_F11);
        QVERIFY(CMN_IsFullScreen(&window));
        auto* view = qobject_cast<QGraphicsView*>([] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("halvorFullScreen"))
                    return w;
            return static_cast<QWidget*>(nullptr);
        }());
        QVERIFY(view);
        QTRY_VERIFY(view->isVisible());
        view->showNormal();
        view->resize(1000, 500); // wider than the window's shape: bars left and right
        QTRY_COMPARE(view->viewport()->size(), QSize(1000, 500));
        const qreal zoom = 500.0 / 540.0;
        QCOMPARE(CMN_PixelRatio(button), ratio * zoom);
        // The drawing is made again at the zoomed density.
        QTRY_VERIFY(qFuzzyCompare(back->image.devicePixelRatio(), ratio * zoom));
        const QImage shown = view->grab().toImage();
        saveScreenshot(shown, QStringLiteral("common_full_screen.png"));
        QCOMPARE(shown.pixelColor(int(10 * ratio), int(250 * ratio)), QColor(0x20, 0x90, 0x90));

        // A click where the button shows reaches it.
        const QPoint at = view->mapFromScene(QRectF(button->geometry()).center());
        QVERIFY(at.x() > 600 && at.y() > 440);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(clicks, 1);

        QTest::keyClick(view->viewport(), Qt::Key_F11);
        QTRY_VERIFY(!CMN_IsFullScreen(&window));
        QTRY_VERIFY(window.isVisible());
        QCOMPARE(CMN_PixelRatio(button), ratio);
        QTRY_VERIFY(qFuzzyCompare(back->image.devicePixelRatio(), ratio));
        QCOMPARE(f11Seen, 0);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 2);
    }

    void forcedAndRealFailures() {
        QWidget frame;
        frame.resize(32, 32);
        CMN_DXForceInitFailure(true);
        QVERIFY(!CMN_DXInitDirectDraw7(&frame));
        CMN_Surface target = blank(8, 8, Qt::white);
        QCOMPARE(CMN_D3InitDirect3D7(&target), 0);
        CMN_DXForceInitFailure(false);
        QVERIFY(CMN_DXInitDirectDraw7(&frame));
        QCOMPARE(CMN_D3InitDirect3D7(nullptr), 0);
        QVERIFY(!CMN_DXInitDirectDraw7(nullptr));
        QWidget empty;
        empty.resize(0, 0);
        QVERIFY(!CMN_DXInitDirectDraw7(&empty));
        // Releases are safe repeated and without a set-up; so are draws afterwards.
        CMN_DXReleaseDirectDraw7();
        CMN_DXReleaseDirectDraw7();
        CMN_D3ReleaseDirect3D7();
        CMN_DXPutAllSprites();
        CMN_DXFlip();
    }

    void sceneScreenshot() {
        QWidget window;
        window.resize(720, 460);
        QWidget frame(&window);
        frame.setGeometry(8, 8, 704, 444);
        CMN_Surface* back = CMN_DXInitDirectDraw7(&frame);
        QVERIFY(back);
        QCOMPARE(CMN_D3InitDirect3D7(back), 1);
        CMN_DXSetColorKey(nullptr, 0xFF0000, 0xFF0000);
        CMN_Surface* sky = CMN_DXCreateSurfaceFromBitmap(nullptr, 129);
        CMN_Surface* dike = CMN_DXCreateSurfaceFromBitmap(nullptr, 130);
        CMN_Surface* brick = CMN_DXCreateSurfaceFromBitmap(nullptr, 135);
        CMN_Surface* people = CMN_DXCreateSurfaceFromBitmap(nullptr, 147);
        QVERIFY(sky && dike && brick && people);
        tagD3DPlain wheel;
        tagD3DPlain needle;
        wheel.texture = CMN_D3CreateTextureFromBitmap(nullptr, 131);
        needle.texture = CMN_D3CreateTextureFromBitmap(nullptr, 132);
        QVERIFY(wheel.texture && needle.texture);
        CMN_D3TransRectToVertex(wheel, QRect(0, 0, 256, 256).translated(28, 27));
        CMN_D3TransRectToVertex(needle, QRect(0, 0, 256, 256).translated(452, 92));
        wheel.angle = 30;
        needle.angle = -45;
        tagSprite* bricks = CMN_DXInitSprite(55);
        for (int d = 1, n = 0; d <= 10; ++d) {
            for (int k = 0; k < d; ++k, ++n)
                bricks[n] = {n < 21, 255 - 28 * (d - 1) + 28 * k, 397 - 21 * k, 28, 21, brick, 0};
        }
        CMN_DXPutSurface(back, 0, 0, sky);
        CMN_DXPutSurface(back, 0, 0, dike);
        QCOMPARE(CMN_D3PutD3DPlain(wheel), 1);
        QCOMPARE(CMN_D3PutD3DPlain(needle), 1);
        CMN_DXPutAllSprites();
        const QRect cell(0, 58 * 2, 111, 58);
        CMN_DXPutSurface(back, 31, 134, people, &cell);
        CMN_DXTextOut(back, 332, 48, QStringLiteral("成　　 功"), kGothic, 300, 0, 0, 1, 1);
        CMN_DXTextOut(back, 330, 46, QStringLiteral("成　　 功"), kGothic, 300, 0xFF00FF, 0, 1, 1);
        CMN_DXTextOut(back, 330, 240, QStringLiteral("LEVEL3 ひらがな"), kGothic, 160, 0, 0, 1, 0);
        CMN_DXTextOut(back, 300, 330, QStringLiteral("左手小指"), kGothic, 120, 0xFFFFFF, 0x673A2B, 2, 0);
        CMN_DXFlip();
        const QImage shot = window.grab().toImage();
        saveScreenshot(shot, QStringLiteral("common_scene.png"));
        // The keyed backdrops are gone: no pure blue anywhere in the picture.
        int blue = 0;
        for (int y = 0; y < back->image.height(); ++y)
            for (int x = 0; x < back->image.width(); ++x)
                blue += back->image.pixel(x, y) == qRgb(0, 0, 255);
        QCOMPARE(blue, 0);
        QCOMPARE(shot.pixel(8 + 255 + 14, 8 + 397 + 10), back->image.pixel(255 + 14, 397 + 10));
    }
};

QTEST_MAIN(TestDraw)
#include "tst_draw.moc"
