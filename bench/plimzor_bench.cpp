// Benchmark of the running frame: builds the scene off-screen at several
// screen sizes, counts and colour modes, runs the running phase with every
// pair active, and prints the median milliseconds per tick and per paint
// copy next to the full-frame work no frame can avoid (black fill, AND
// tiles, copy to the window) measured in the same run, and how long the
// frame's ellipses and squares take on their own.
// Usage: plimzor_bench [--quick]   (--quick: tiny sizes, only checks it runs)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

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
    double tick;
    double paint;
    double baseline;
    double ellipses;  // the balls of one frame drawn on their own
    double squares;   // the squares' three boxes each
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

    std::vector<double> tickTimes, paintTimes, baseTimes;
    for (int i = 0; i < ticks; ++i) {
        gScene.active = count;
        LARGE_INTEGER t0 = Now();
        TickScene();
        LARGE_INTEGER t1 = Now();
        BitBlt(window.dc, 0, 0, width, height, gScene.frame.dc, 0, 0, SRCCOPY);
        LARGE_INTEGER t2 = Now();
        tickTimes.push_back(Milliseconds(t0, t1));
        paintTimes.push_back(Milliseconds(t1, t2));
    }
    // What every frame costs whatever it shows: the clear, four AND tiles
    // (the most the overlay lays) and the copy to the window.
    const int dx = width / 3;
    const int dy = height / 3;
    for (int i = 0; i < ticks; ++i) {
        LARGE_INTEGER t0 = Now();
        PatBlt(gScene.frame.dc, 0, 0, width, height, BLACKNESS);
        for (int ty = -dy; ty < height; ty += height) {
            for (int tx = -dx; tx < width; tx += width)
                BitBlt(gScene.frame.dc, tx, ty, width, height, gScene.snapshot.dc, 0, 0, SRCAND);
        }
        BitBlt(window.dc, 0, 0, width, height, gScene.frame.dc, 0, 0, SRCCOPY);
        LARGE_INTEGER t1 = Now();
        baseTimes.push_back(Milliseconds(t0, t1));
    }
    // Where a frame's shape time goes: the same calls the tick makes, with
    // the shapes where the run left them.
    std::vector<double> ellipseTimes, squareTimes;
    SelectObject(gScene.frame.dc, GetStockObject(WHITE_BRUSH));
    for (int i = 0; i < ticks; ++i) {
        LARGE_INTEGER t0 = Now();
        for (int p = 0; p < gScene.active; ++p) {
            const Ball& b = *gScene.balls[p];
            Ellipse(gScene.frame.dc, b.x, b.y, b.x + b.size, b.y + b.size);
        }
        LARGE_INTEGER t1 = Now();
        for (int p = 0; p < gScene.active; ++p) {
            const Square& q = *gScene.squares[p];
            for (int k = 0; k < 3; ++k)
                Rectangle(gScene.frame.dc, q.x + k, q.y + k, q.x + k + q.size, q.y + k + q.size);
        }
        LARGE_INTEGER t2 = Now();
        ellipseTimes.push_back(Milliseconds(t0, t1));
        squareTimes.push_back(Milliseconds(t1, t2));
    }
    SelectObject(gScene.frame.dc, gScene.currentBrush);
    DestroySurface(window);
    ReleaseScene(nullptr);
    return Result{Median(tickTimes), Median(paintTimes), Median(baseTimes), Median(ellipseTimes),
                  Median(squareTimes)};
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    struct Size {
        int width, height;
    };
    const std::vector<Size> sizes =
        quick ? std::vector<Size>{{64, 48}} : std::vector<Size>{{1024, 768}, {1920, 1080}, {3840, 2160}};
    const int counts[] = {10, 255};
    const int modes[] = {Standard, Colorful};
    std::printf("%-10s %5s %-9s %9s %9s %11s %12s %6s %11s %10s\n", "size", "count", "mode", "tick ms",
                "paint ms", "tick+paint", "baseline ms", "ratio", "ellipses ms", "squares ms");
    for (const Size& size : sizes) {
        const int ticks = quick ? 5 : size.width > 2000 ? 150 : 300;
        for (int count : counts) {
            for (int mode : modes) {
                const Result r = Measure(size.width, size.height, count, mode, ticks);
                char label[32];
                std::snprintf(label, sizeof label, "%dx%d", size.width, size.height);
                std::printf("%-10s %5d %-9s %9.2f %9.2f %11.2f %12.2f %6.2f %11.2f %10.2f\n", label, count,
                            mode == Colorful ? "colourful" : "standard", r.tick, r.paint, r.tick + r.paint,
                            r.baseline, r.baseline > 0 ? (r.tick + r.paint) / r.baseline : 0.0, r.ellipses,
                            r.squares);
                std::fflush(stdout);
            }
        }
    }
    std::printf("median of %s ticks per row, every pair active; ratio = (tick + paint) / baseline\n",
                quick ? "5" : "300 (150 at 3840x2160)");
    return LiveSceneGdiObjects() == 0 ? 0 : 1;
}
