// Benchmark of the running frame: builds the scene off-screen at the screen
// sizes given (default 1024x768, 1920x1080, 3840x2160 and 7680x2160), with
// 10 and 255 pairs in both colour modes and two scenes (clustered: every
// pair made active at once, so the balls leave the corner together; spread:
// pair i first moved on by i * SpreadTicks ticks of its own, as the wave
// leaves them over the screen), and prints the median milliseconds per tick
// and per paint copy of the product's path next to the whole-frame
// reference (TickSceneWholeFrame), measured in the same run tick for tick
// alternately, their ratio, the floor (a plain loop that reads the snapshot
// and writes the frame once over the damage rectangles: the least any
// renderer must do), the product's tick against it, the share of the frame the
// damage covered, the share of ticks drawn from runs, and the bytes of the
// ball run cache.
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
#include "animation/spans.h"
#include "config/settings.h"
#include "platform/platform.h"
#include "tests/unit/animation_spread.h"

namespace {

constexpr int SpreadTicks = 11;

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
    double tick;        // the product's path
    double paint;       // its copy to the window: what the tick changed
    double fullTick;    // the whole-frame GDI path
    double fullPaint;   // the whole frame copied
    double floor;       // every damaged pixel read and written once
    double damage;      // median share of the frame the damage covered, %
    double spanShare;   // ticks the product drew from runs, %
    size_t cacheBytes;  // the ball run cache at the end
};

// The least a renderer does: each damaged pixel of the frame written once
// from the snapshot.
void WriteDamageOnce(const DamageRects& damage)
{
    const int width = gScene.width;
    const RECT frame = {0, 0, gScene.width, gScene.height};
    const RECT* rects = damage.wholeFrame ? &frame : damage.rects;
    const int count = damage.wholeFrame ? 1 : damage.count;
    for (int i = 0; i < count; ++i) {
        const RECT& r = rects[i];
        for (LONG y = r.top; y < r.bottom; ++y) {
            const size_t row = static_cast<size_t>(y) * width;
            std::memcpy(gScene.frame.bits + row + r.left, gScene.snapshot.bits + row + r.left,
                        sizeof(uint32_t) * static_cast<size_t>(r.right - r.left));
        }
    }
}

Result Measure(int width, int height, int count, int mode, bool spread, int ticks)
{
    HDC screen = GetDC(nullptr);
    BuildScene(screen, width, height, mode, count);
    // The window the frame is painted to, off-screen: a surface of the same
    // kind the window's context would be.
    Surface window;
    CreateSurface(window, screen, width, height);
    ReleaseDC(nullptr, screen);
    // A snapshot that is neither black nor white.
    HBRUSH gray = CreateSolidBrush(RGB(0x9A, 0xB4, 0xC8));
    HGDIOBJ previous = SelectObject(gScene.snapshot.dc, gray);
    PatBlt(gScene.snapshot.dc, 0, 0, width, height, PATCOPY);
    SelectObject(gScene.snapshot.dc, previous);
    DeleteObject(gray);
    CopySnapshotToFrame();

    while (gScene.phase != RunningPhase)
        TickScene();
    // The heaviest frame: every pair drawn.
    SpreadPairs(spread ? SpreadTicks : 0);
    for (int i = 0; i < 30; ++i)
        TickScene();

    // The two paths take turns on the same scene, so both see the same
    // shapes and the same load on the machine.
    std::vector<double> tickTimes, paintTimes, fullTickTimes, fullPaintTimes, floorTimes, shares;
    int spanTicks = 0;
    const double frameArea = static_cast<double>(width) * height;
    // The last product tick's: the whole-frame reference changes no damage
    // of the scene's, so its rectangles stand until the next product tick.
    DamageRects lastDamage = {true, nullptr, 0, 0};
    for (int i = 0; i < 2 * ticks; ++i) {
        const bool full = i % 2 == 1;
        // The floor over a damage like the one to come (the last product
        // tick's), from the same state of the caches as the product's tick
        // that follows: just after the whole-frame tick and its copy.
        if (!full && i > 0 && gScene.frame.bits) {
            LARGE_INTEGER f0 = Now();
            WriteDamageOnce(lastDamage);
            floorTimes.push_back(Milliseconds(f0, Now()));
        }
        gScene.active = count;
        LARGE_INTEGER t0 = Now();
        const TickResult result = full ? TickSceneWholeFrame() : TickScene();
        LARGE_INTEGER t1 = Now();
        HRGN changed = CreateChangedRegion(result.changed);
        CopyFrameToWindow(window.dc, changed);
        DeleteSceneRegion(changed);
        LARGE_INTEGER t2 = Now();
        (full ? fullTickTimes : tickTimes).push_back(Milliseconds(t0, t1));
        (full ? fullPaintTimes : paintTimes).push_back(Milliseconds(t1, t2));
        if (!full) {
            shares.push_back(100.0 * static_cast<double>(result.changed.area) / frameArea);
            spanTicks += result.path == FramePath::Spans ? 1 : 0;
            lastDamage = result.changed;
        }
    }
    const size_t cacheBytes = gScene.tick.ballRuns.bytes;
    DestroySurface(window);
    ReleaseScene(nullptr);
    return Result{Median(tickTimes),   Median(paintTimes), Median(fullTickTimes), Median(fullPaintTimes),
                  Median(floorTimes),  Median(shares),     100.0 * spanTicks / ticks, cacheBytes};
}

// The run cache's bytes at a screen height if every ball size were met: a
// round and a squashed box of each size from H / 8 to H / 3.
size_t CacheBound(int height)
{
    size_t rows = 0;
    for (int size = height / 8; size <= height / 3; ++size)
        rows += static_cast<size_t>(size) + size / 2;
    return rows * sizeof(RowRuns);
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
    std::printf("%-11s %5s %-9s %-9s %7s %7s %7s %8s %7s %6s %7s %7s %8s %6s %8s\n", "size", "pairs", "mode", "scene",
                "tick", "paint", "total", "gditotal", "ratio", "floor", "x floor", "damage%", "spans%", "cache", "");
    int tallest = 0;
    for (const Size& size : sizes) {
        tallest = std::max(tallest, size.height);
        const int ticks = quick ? 5 : size.width * size.height > 3000000 ? 150 : 300;
        for (int count : counts) {
            for (bool spread : {false, true}) {
                for (int mode : modes) {
                    const Result r = Measure(size.width, size.height, count, mode, spread, ticks);
                    char label[32];
                    std::snprintf(label, sizeof label, "%dx%d", size.width, size.height);
                    const double total = r.tick + r.paint;
                    const double full = r.fullTick + r.fullPaint;
                    std::printf("%-11s %5d %-9s %-9s %7.2f %7.2f %7.2f %8.2f %7.2f %6.2f %7.2f %7.1f %8.0f %5zuK\n",
                                label, count, mode == Colorful ? "colourful" : "standard",
                                spread ? "spread" : "clustered", r.tick, r.paint, total, full,
                                full > 0 ? total / full : 0.0, r.floor, r.floor > 0 ? r.tick / r.floor : 0.0,
                                r.damage, r.spanShare, r.cacheBytes / 1024);
                    std::fflush(stdout);
                }
            }
        }
    }
    std::printf("ms, median of %s ticks per row and path (150 above 3 megapixels), every pair active;\n"
                "clustered = all pairs made active at once; spread = pair i first moved on by %d*i ticks;\n"
                "gditotal = the whole-frame GDI path's tick + paint; ratio = total / gditotal;\n"
                "floor = each damaged pixel read from the snapshot and written once; x floor = tick / floor;\n"
                "damage%% = the damage's share of the frame; spans%% = ticks drawn from runs;\n"
                "cache = the ball run cache at the end of the row (every ball size at %d lines: %zuK);\n"
                "the span writer ran %s, as the saver chooses on this processor and system\n",
                quick ? "5" : "300", SpreadTicks, tallest, CacheBound(tallest) / 1024,
                gPlatform.sse2 ? "its SSE2 code" : "the 486's code");
    return LiveSceneGdiObjects() == 0 ? 0 : 1;
}
