// Benchmark of the running frame: builds the scene off-screen at the screen
// sizes given (default 1024x768, 1920x1080, 3840x2160 and 7680x2160), with
// 10 and 255 pairs in both colour modes, runs the running phase with every
// pair active, and prints the median milliseconds per tick and per paint
// copy of the product's path (within the damage, or the whole frame when
// that is cheaper) next to the straightforward whole-frame path, measured in
// the same run tick for tick alternately, their ratio, the share of the
// frame the damage covered, and how long the frame's ellipses take on their
// own (unclipped, straight after each other).
// Usage: plimzor_bench [--quick] [--pairs=N[,M]] [WIDTHxHEIGHT ...]
// (--quick: tiny sizes, only checks it runs; --pairs: other counts than 10
// and 255)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "animation/damage.h"
#include "animation/scene.h"
#include "config/settings.h"
namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

struct Result {
    double tick;       // the product's path
    double paint;      // its copy to the window: what the tick changed
    double fullTick;   // the whole-frame path
    double fullPaint;  // the whole frame copied
    double damage;     // median share of the frame the damage covered, %
    double wholeShare; // ticks on which the product chose the whole frame, %
    double ellipses;   // the balls of one frame drawn on their own
};

Result Measure(int width, int height, int count, int mode, int ticks)
{
    HDC screen = GetDC(nullptr);
    BuildScene(screen, width, height, mode, count);
    // The window the frame is painted to, off-screen: a surface of the same
    // kind the window's context would be.
    Surface window;
    CreateSurface(window, screen, width, height);
    ReleaseDC(nullptr, screen);
    // A desktop picture that is neither black nor white.
    HBRUSH gray = CreateSolidBrush(RGB(0x9A, 0xB4, 0xC8));
    HGDIOBJ previous = SelectObject(gScene.snapshot.dc, gray);
    PatBlt(gScene.snapshot.dc, 0, 0, width, height, PATCOPY);
    SelectObject(gScene.snapshot.dc, previous);
    DeleteObject(gray);
    CopySnapshotToFrame();

    while (gScene.phase != RunningPhase)
        TickScene();
    // The heaviest frame: every pair drawn.
    gScene.active = count;
    gScene.wave = Wave::Shrinking;
    for (int i = 0; i < 30; ++i)
        TickScene();

    // The two paths take turns on the same scene, so both see the same
    // shapes and the same load on the machine.
    std::vector<double> tickTimes, paintTimes, fullTickTimes, fullPaintTimes, shares;
    int wholeTicks = 0;
    const double frameArea = static_cast<double>(width) * height;
    for (int i = 0; i < 2 * ticks; ++i) {
        const bool full = i % 2 == 1;
        gScene.active = count;
        gStraightforwardFrames = full;
        LARGE_INTEGER t0 = Now();
        TickScene();
        LARGE_INTEGER t1 = Now();
        HRGN changed = CreateChangedRegion();
        CopyFrameToWindow(window.dc, changed);
        DeleteSceneRegion(changed);
        LARGE_INTEGER t2 = Now();
        gStraightforwardFrames = false;
        (full ? fullTickTimes : tickTimes).push_back(Milliseconds(t0, t1));
        (full ? fullPaintTimes : paintTimes).push_back(Milliseconds(t1, t2));
        if (!full) {
            shares.push_back(100.0 * static_cast<double>(gDamage.area) / frameArea);
            wholeTicks += gDamage.wholeFrame ? 1 : 0;
        }
    }
    // Where a frame's shape time goes: the ellipses the tick draws, with
    // the balls where the run left them.
    std::vector<double> ellipseTimes;
    SelectObject(gScene.frame.dc, GetStockObject(WHITE_BRUSH));
    for (int i = 0; i < ticks; ++i) {
        LARGE_INTEGER t0 = Now();
        for (int p = 0; p < gScene.active; ++p) {
            const Ball& b = *gScene.balls[p];
            Ellipse(gScene.frame.dc, b.x, b.y, b.x + b.size, b.y + b.size);
        }
        LARGE_INTEGER t1 = Now();
        ellipseTimes.push_back(Milliseconds(t0, t1));
    }
    SelectObject(gScene.frame.dc, gScene.currentBrush);
    DestroySurface(window);
    ReleaseScene(nullptr);
    return Result{Median(tickTimes),  Median(paintTimes), Median(fullTickTimes),
                  Median(fullPaintTimes), Median(shares), 100.0 * wholeTicks / ticks,
                  Median(ellipseTimes)};
}

struct Size {
    int width, height;
};

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    std::vector<Size> sizes;
    std::vector<int> counts = {10, 255};
    for (int i = 1; i < argc; ++i) {
        Size size = {};
        int a = 0, b = 0;
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (const int n = std::sscanf(argv[i], "--pairs=%d,%d", &a, &b); n >= 1) {
            counts.assign({a});
            if (n == 2)
                counts.push_back(b);
        } else if (std::sscanf(argv[i], "%dx%d", &size.width, &size.height) == 2 && size.width > 0 &&
                   size.height > 0) {
            sizes.push_back(size);
        } else {
            std::fprintf(stderr, "usage: plimzor_bench [--quick] [--pairs=N[,M]] [WIDTHxHEIGHT ...]\n");
            return 2;
        }
    }
    if (sizes.empty())
        sizes = quick ? std::vector<Size>{{64, 48}}
                      : std::vector<Size>{{1024, 768}, {1920, 1080}, {3840, 2160}, {7680, 2160}};
    const int modes[] = {Standard, Colorful};
    std::printf("%-11s %5s %-9s %8s %8s %8s %8s %8s %8s %6s %8s %7s %9s\n", "size", "pairs", "mode", "tick", "paint",
                "total", "fulltick", "fullpnt", "fulltot", "ratio", "damage%", "whole%", "ellipses");
    for (const Size& size : sizes) {
        const int ticks = quick ? 5 : size.width * size.height > 3000000 ? 150 : 300;
        for (int count : counts) {
            for (int mode : modes) {
                const Result r = Measure(size.width, size.height, count, mode, ticks);
                char label[32];
                std::snprintf(label, sizeof label, "%dx%d", size.width, size.height);
                const double total = r.tick + r.paint;
                const double full = r.fullTick + r.fullPaint;
                std::printf("%-11s %5d %-9s %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %6.2f %8.1f %7.0f %9.2f\n", label,
                            count, mode == Colorful ? "colourful" : "standard", r.tick, r.paint, total, r.fullTick,
                            r.fullPaint, full, full > 0 ? total / full : 0.0, r.damage, r.wholeShare, r.ellipses);
                std::fflush(stdout);
            }
        }
    }
    std::printf("ms, median of %s ticks per row and path (150 above 3 megapixels), every pair active;\n"
                "ratio = total / fulltot; damage%% = the damage's share of the frame; whole%% = ticks the\n"
                "product did over the whole frame; ellipses = the frame's balls drawn unclipped\n",
                quick ? "5" : "300");
    return LiveSceneGdiObjects() == 0 ? 0 : 1;
}
