// common_bench: the cost of one drill frame (background, keyed full picture, two turned squares, 55 sprites,
// five texts, flip) and of loading a drill's ten pictures. Prints medians and 90th percentiles in ms of this
// thread's CPU time.
#include "Common.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

struct Figures {
    double median = 0;
    double p90 = 0;
};

Figures summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)]};
}

// CPU time of this thread: the machine is shared, and waiting for a core is not drawing time.
struct CpuTimer {
    timespec begin{};
    void start() { clock_gettime(CLOCK_THREAD_CPUTIME_ID, &begin); }
    void restart() { start(); }
    qint64 nsecsElapsed() const {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec - begin.tv_sec) * 1000000000 + (now.tv_nsec - begin.tv_nsec);
    }
};

const QString kGothic = QStringLiteral("ＭＳ ゴシック");

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CMN_InitApplication();

    QWidget window;
    window.resize(720, 540);
    QWidget frame(&window);
    frame.setGeometry(8, 8, 704, 444);
    window.show();

    // Loading: the block drill's ten pictures with their colour keys, as its set-up does.
    const int ids[] = {129, 130, 137, 138, 140, 141, 139, 135, 136, 147};
    std::vector<double> loads;
    double firstLoad = 0;
    for (int round = 0; round < 21; ++round) {
        CMN_DXReleaseDirectDraw7();
        CpuTimer timer;
        timer.start();
        if (!CMN_DXInitDirectDraw7(&frame))
            return 1;
        CMN_DXSetColorKey(nullptr, 0xFF0000, 0xFF0000);
        for (int id : ids) {
            CMN_Surface* surface = CMN_DXCreateSurfaceFromBitmap(nullptr, id);
            if (!surface) {
                std::fprintf(stderr, "bitmap %d missing\n", id);
                return 1;
            }
            CMN_DXSetColorKey(surface, 0xFF0000, 0xFF0000);
        }
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (round == 0)
            firstLoad = ms;
        else
            loads.push_back(ms);
    }

    // One frame as the drills draw it.
    CMN_DXReleaseDirectDraw7();
    CMN_Surface* back = CMN_DXInitDirectDraw7(&frame);
    CMN_D3InitDirect3D7(back);
    CMN_DXSetColorKey(nullptr, 0xFF0000, 0xFF0000);
    CMN_Surface* sky = CMN_DXCreateSurfaceFromBitmap(nullptr, 129);
    CMN_Surface* dike = CMN_DXCreateSurfaceFromBitmap(nullptr, 130);
    CMN_Surface* brick = CMN_DXCreateSurfaceFromBitmap(nullptr, 135);
    CMN_Surface* people = CMN_DXCreateSurfaceFromBitmap(nullptr, 147);
    tagD3DPlain wheel;
    tagD3DPlain needle;
    wheel.texture = CMN_D3CreateTextureFromBitmap(nullptr, 131);
    needle.texture = CMN_D3CreateTextureFromBitmap(nullptr, 132);
    if (!sky || !dike || !brick || !people || !wheel.texture || !needle.texture)
        return 1;
    CMN_D3TransRectToVertex(wheel, QRect(28, 27, 256, 256));
    CMN_D3TransRectToVertex(needle, QRect(452, 92, 256, 256));
    tagSprite* bricks = CMN_DXInitSprite(55);
    for (int d = 1, n = 0; d <= 10; ++d) {
        for (int k = 0; k < d; ++k, ++n)
            bricks[n] = {1, 255 - 28 * (d - 1) + 28 * k, 397 - 21 * k, 28, 21, brick, 0};
    }
    const QString keys[] = {QStringLiteral("a"), QStringLiteral("s"), QStringLiteral("d")};
    const QRect cell(0, 0, 111, 58);

    std::vector<double> frames;
    for (int i = 0; i < 520; ++i) {
        CpuTimer timer;
        timer.start();
        CMN_DXPutSurface(back, 0, 0, sky);
        CMN_DXPutSurface(back, 0, 0, dike);
        wheel.angle = (i * 17) % 360;
        needle.angle = (i % 240) - 120;
        CMN_D3PutD3DPlain(wheel);
        CMN_D3PutD3DPlain(needle);
        CMN_DXPutAllSprites();
        CMN_DXPutSurface(back, 31, 134, people, &cell);
        CMN_DXTextOut(back, 330, 240, QStringLiteral("LEVEL%1").arg(3), kGothic, 160, 0, 0, 1, 0);
        for (int k = 0; k < 3; ++k)
            CMN_DXTextOut(back, 290 + 56 * k, 330, keys[k], kGothic, 200, k == i % 3 ? 0x12CDFD : 0xFFFFFF, 0,
                          1, 1);
        CMN_DXTextOut(back, 274, 368, QStringLiteral("左手小指"), kGothic, 80, 0xFFFFFF, 0, 1, 0);
        CMN_DXFlip();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (i >= 20) // warm-up: glyph caches and first allocations
            frames.push_back(ms);
    }

    const Figures load = summarise(loads);
    const Figures frame500 = summarise(frames);
    std::printf("load ten drill pictures: first %.2f ms, then median %.2f ms, p90 %.2f ms (goal < 100 ms)\n",
                firstLoad, load.median, load.p90);
    std::printf("full frame over 500 frames: median %.3f ms, p90 %.3f ms (goal < 2 ms)\n", frame500.median,
                frame500.p90);
    CMN_DXReleaseDirectDraw7();
    return 0;
}
