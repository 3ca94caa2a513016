// The scene's lifecycle: what creation allocates, AnimationProc in a real
// window (capture, paint, tick, destruction), running out of memory, the
// screen changing size under a running scene, and the GDI objects and memory
// the scene holds staying constant over long runs and many changes.
#include "animation/animation.h"
#include "animation/damage.h"
#include "shell/shell.h"
#include "unit/animation_fixture.h"
#include "unit/animation_spread.h"

#include <algorithm>
#include <cstdio>

namespace {

class Lifecycle : public SceneTest {};

// Balls are an eighth to a third of the screen's height, in whole pixels.
TEST(SceneSize, BallSizesAreAnEighthToAThirdOfTheHeight)
{
    const struct {
        int height;
        int smallest, largest;
    } cases[] = {{600, 75, 200},   {601, 75, 200},   {768, 96, 256}, {800, 100, 266},
                 {1080, 135, 360}, {2160, 270, 720}, {7, 0, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height);
        SizeScene(1000, c.height);
        EXPECT_EQ(gScene.width, 1000);
        EXPECT_EQ(gScene.height, c.height);
        EXPECT_EQ(gScene.minBallSize, c.smallest);
        EXPECT_EQ(gScene.maxBallSize, c.largest);
    }
}

TEST_F(Lifecycle, CreationFillsExactlyCountSlots)
{
    for (int count : {1, 2, 255}) {
        SCOPED_TRACE(count);
        Build(Standard, count, 320, 240);
        for (int i = 0; i < MaxPairs; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(gScene.balls[i] != nullptr, i < count);
            EXPECT_EQ(gScene.squares[i] != nullptr, i < count);
        }
        ASSERT_NE(gScene.overlay, nullptr);
        EXPECT_EQ(gScene.overlay->horizontalOffset, 0);
        EXPECT_EQ(gScene.overlay->verticalOffset, 0);
        EXPECT_EQ(gScene.overlay->verticalStep, 1);
        EXPECT_EQ(gScene.phase, 1);
        EXPECT_EQ(gScene.insetA, 0);
        EXPECT_EQ(gScene.insetB, 2);
        EXPECT_EQ(gScene.insetC, 1);
        EXPECT_EQ(gScene.active, 1);
        EXPECT_EQ(gScene.minBallSize, 30);
        EXPECT_EQ(gScene.maxBallSize, 80);
        EXPECT_EQ(GetCurrentObject(gScene.frame.dc, OBJ_BRUSH), GetStockObject(NULL_BRUSH));
        Release();
        EXPECT_EQ(gScene.balls[0], nullptr);
        EXPECT_EQ(gScene.overlay, nullptr);
    }
}

TEST_F(Lifecycle, CreationInitialisesTheSquareBeforeTheBall)
{
    // Replaying the generator: square 0's five draws come first.
    Build(Standard, 1);
    const Square square = *gScene.squares[0];
    const Ball ball = *gScene.balls[0];
    Release();
    gRandomState = 0;
    UseScreen(800, 600);
    Square replaySquare = {};
    Ball replayBall = {};
    InitSquare(replaySquare);
    InitBall(replayBall);
    EXPECT_EQ(square.size, replaySquare.size);
    EXPECT_EQ(square.x, replaySquare.x);
    EXPECT_EQ(square.vx, replaySquare.vx);
    EXPECT_EQ(ball.size, replayBall.size);
    EXPECT_EQ(ball.speed, replayBall.speed);
}

TEST_F(Lifecycle, ColourfulShapesOwnABrushEachStandardOnesNone)
{
    struct Case {
        int mode;
        int objects;  // two surfaces of two objects, plus the brushes
    } cases[] = {{Standard, 4}, {Colorful, 4 + 2 * 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Build(c.mode, 7, 320, 240);
        EXPECT_EQ(LiveSceneGdiObjects() - liveAtStart_, c.objects);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(gScene.balls[i]->brush != nullptr, c.mode == Colorful);
            EXPECT_EQ(gScene.squares[i]->brush != nullptr, c.mode == Colorful);
        }
        Release();
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

void* NoMemory(size_t)
{
    return nullptr;
}

int gAllocationsLeft = 0;
void* SomeMemory(size_t size)
{
    return gAllocationsLeft-- > 0 ? HeapAllocate(size) : nullptr;
}

TEST(LifecycleDeathTest, RunningOutOfMemoryEndsTheProcessWithOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* name;
        int allocations;  // how many records can still be had
    } cases[] = {{"first ball", 0}, {"first square", 1}, {"a later ball", 6}, {"the overlay", 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                gAllocationsLeft = c.allocations;
                gPlatform.allocateRecord = c.allocations ? SomeMemory : NoMemory;
                BuildScene(nullptr, 320, 240, Standard, 5);
                std::exit(0);
            },
            ::testing::ExitedWithCode(OutOfMemoryExitCode), "");
    }
}

class SceneWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetShellState();
        gShell.isPreview = true;
        liveAtStart_ = LiveSceneGdiObjects();
    }

    void TearDown() override
    {
        if (window_ && IsWindow(window_))
            DestroyWindow(window_);
        // Destruction posts a quit message; keep it out of later tests.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        ResetShellState();
    }

    void Open(DWORD style)
    {
        window_ = CreateAnimationWindow(nullptr, style, 300, 200);
        ASSERT_NE(window_, nullptr);
    }

    HWND window_ = nullptr;
    int liveAtStart_ = 0;
};

TEST_F(SceneWindow, BuildsASceneOverEveryMonitorAndStartsTheTimer)
{
    Open(0);
    // However small the window: the whole virtual screen.
    EXPECT_EQ(gScene.width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(gScene.height, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_EQ(gScene.timerId, AnimationTimerId);
    EXPECT_EQ(gScene.paintDC, nullptr);
    EXPECT_EQ(LiveSceneGdiObjects() - liveAtStart_, gScene.colorMode == Colorful ? 4 + 2 * gScene.count : 4);
    DestroyWindow(window_);
    EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    EXPECT_EQ(gScene.paintDC, nullptr) << "no paint, so nothing to end";
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(SceneWindow, TheFirstPaintCopiesTheSnapshotAndKeepsTheContext)
{
    Open(WS_VISIBLE);
    UpdateWindow(window_);
    HDC kept = gScene.paintDC;
    ASSERT_NE(kept, nullptr);
    // What the window shows is the top-left corner of the snapshot.
    HDC windowDC = GetDC(window_);
    for (POINT p : {POINT{0, 0}, POINT{150, 100}, POINT{299, 199}}) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
        EXPECT_EQ(GetPixel(windowDC, p.x, p.y), GetPixel(gScene.snapshot.dc, p.x, p.y));
    }
    ReleaseDC(window_, windowDC);
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
    EXPECT_EQ(gScene.paintDC, kept);
}

TEST_F(SceneWindow, ATimerTickOfAnyIdAdvancesTheScene)
{
    Open(WS_VISIBLE);
    UpdateWindow(window_);
    for (WPARAM id : {WPARAM{AnimationTimerId}, WPARAM{7}}) {
        SCOPED_TRACE(id);
        const int a = gScene.insetA;
        SendMessageA(window_, WM_TIMER, id, 0);
        EXPECT_EQ(gScene.insetA, a + 4);
    }
    // The tick asks for a paint without drawing on the window itself.
    RECT update;
    EXPECT_TRUE(GetUpdateRect(window_, &update, FALSE));
}

TEST_F(SceneWindow, RepeatedWindowsHoldNoMoreObjects)
{
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Open(WS_VISIBLE);
        UpdateWindow(window_);
        for (int tick = 0; tick < 20; ++tick)
            SendMessageA(window_, WM_TIMER, AnimationTimerId, 0);
        DestroyWindow(window_);
        window_ = nullptr;
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

// The screen changes size under the scene: the snapshot is the one captured
// at the start, tiled from where it lay; the frame and W and H follow.
TEST_F(Lifecycle, AScreenChangeKeepsTheCapturedDesktopTiledWhereItLay)
{
    const struct {
        const char* name;
        SceneSize from, to;
        POINT at;                // the old scene's corner in the new one
        SceneSize through = {};  // a size the screen had on the way, its corner kept (none: one change)
    } cases[] = {
        {"shrinks", {800, 600}, {640, 480}, {0, 0}},
        {"grows right and down", {640, 480}, {1000, 700}, {0, 0}},
        {"a monitor joins on the left", {640, 480}, {1280, 480}, {640, 0}},
        {"a monitor above leaves", {640, 960}, {640, 480}, {0, -480}},
        {"another primary: same size, other origin", {640, 480}, {640, 480}, {-200, 30}},
        {"shrinks, then grows back", {800, 600}, {800, 600}, {0, 0}, {640, 480}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Build(Colorful, 10, c.from.width, c.from.height);
        FinishCurtain();
        for (int tick = 0; tick < 20; ++tick)
            TickScene();
        HDC screen = GetDC(nullptr);
        if (c.through.width > 0)
            ResizeScene(screen, c.through.width, c.through.height, POINT{0, 0});
        ResizeScene(screen, c.to.width, c.to.height, c.at);
        ReleaseDC(nullptr, screen);
        ASSERT_FALSE(SceneIsBlank());
        EXPECT_EQ(gScene.width, c.to.width);
        EXPECT_EQ(gScene.height, c.to.height);
        EXPECT_EQ(gScene.maxBallSize, c.to.height / 3);
        for (const Surface* s : {&gScene.frame, &gScene.snapshot}) {
            BITMAP bitmap = {};
            GetObjectA(s->bitmap, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, c.to.width);
            EXPECT_EQ(bitmap.bmHeight, c.to.height);
        }
        // Every pixel of the new snapshot is the captured pixel that lies
        // there when the old picture is laid at `at` and repeated.
        const Pixels now = ReadSurface(gScene.snapshot, c.to.width, c.to.height);
        int wrong = 0;
        for (int y = 0; y < c.to.height; ++y) {
            for (int x = 0; x < c.to.width; ++x) {
                const int sx = ((x - c.at.x) % c.from.width + c.from.width) % c.from.width;
                const int sy = ((y - c.at.y) % c.from.height + c.from.height) % c.from.height;
                wrong += now.at(x, y) != snapshot_.at(sx, sy);
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels of the new snapshot that are not the captured desktop's";
        // A running scene's frame is black until its next tick, which draws
        // all of it.
        const Pixels frame = Frame();
        EXPECT_EQ(std::count(frame.values.begin(), frame.values.end(), RGB(0, 0, 0)),
                  static_cast<long>(frame.values.size()));
        EXPECT_TRUE(TickScene().changed.wholeFrame);
        Release();
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

// A change during the curtain does not start it again: it goes on from
// the insets it had reached, their outlines drawn at the new size.
TEST_F(Lifecycle, TheCurtainGoesOnWhereItWasAtTheNewSize)
{
    const struct {
        const char* name;
        int ticks;  // curtain ticks before the change
        SceneSize to;
    } cases[] = {
        {"phase 1, grows", 10, {900, 700}},
        {"phase 2, shrinks", 45, {700, 500}},
        {"phase 3, grows", 70, {1000, 800}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Build(Standard, 10, 800, 600);
        for (int tick = 0; tick < c.ticks; ++tick)
            TickScene();
        const int phase = gScene.phase, a = gScene.insetA, b = gScene.insetB, k = gScene.insetC;
        ASSERT_NE(phase, RunningPhase);
        HDC screen = GetDC(nullptr);
        ResizeScene(screen, c.to.width, c.to.height, POINT{0, 0});
        ReleaseDC(nullptr, screen);
        EXPECT_EQ(gScene.phase, phase);
        EXPECT_EQ(gScene.insetA, a);
        EXPECT_EQ(gScene.insetB, b);
        EXPECT_EQ(gScene.insetC, k);
        // Along the middle row, an inset's outline is black on both sides of
        // the new screen exactly where a series has passed it; between them
        // the captured desktop still shows.
        const Pixels frame = Frame();
        const Pixels snapshot = ReadSurface(gScene.snapshot, c.to.width, c.to.height);
        const int middle = c.to.height / 2;
        for (int inset = 0; inset < std::min(a, middle - 1); ++inset) {
            const bool drawn = (inset % 4 == 0 && inset < a) || (inset % 4 == 2 && inset < b) ||
                               (inset % 2 == 1 && inset < k);
            for (int x : {inset, c.to.width - 1 - inset}) {
                SCOPED_TRACE(testing::Message() << "inset " << inset << " at x " << x);
                EXPECT_EQ(frame.at(x, middle), drawn ? RGB(0, 0, 0) : snapshot.at(x, middle));
            }
        }
        // What is left of it is less than a whole curtain at the new size.
        const int left = FinishCurtain();
        Release();
        Build(Standard, 10, c.to.width, c.to.height);
        const int whole = FinishCurtain();
        Release();
        EXPECT_LT(left, whole) << "the curtain ran again from its start";
    }
}

// After a change the shapes move over the whole new screen and only there.
TEST_F(Lifecycle, AfterAScreenChangeShapesMoveOverTheNewScreenOnly)
{
    const struct {
        const char* name;
        SceneSize from, to;
    } cases[] = {
        {"shrinks to less than half", {1280, 1024}, {600, 400}},
        {"grows to twice", {640, 480}, {1280, 960}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Build(Standard, 20, c.from.width, c.from.height);
        FinishCurtain();
        SpreadPairs(11);
        for (int tick = 0; tick < 10; ++tick)
            TickScene();
        HDC screen = GetDC(nullptr);
        ResizeScene(screen, c.to.width, c.to.height, POINT{0, 0});
        ReleaseDC(nullptr, screen);
        for (int i = 0; i < gScene.count; ++i) {
            EXPECT_GE(gScene.balls[i]->size, gScene.minBallSize);
            EXPECT_LE(gScene.balls[i]->size, gScene.maxBallSize);
        }
        const RECT frame = {0, 0, c.to.width, c.to.height};
        RECT reach = {};
        int outside = 0;
        for (int tick = 0; tick < 600; ++tick) {
            TickScene();
            // Squares rebound from the new edges; balls fall no further than
            // the new floor (the three sub-steps of a square and a ball that
            // enters or leaves may lie partly outside).
            const ShapeBoxes& drawn = gScene.tick.drawn;
            for (int i = 0; i < drawn.pairs; ++i) {
                RECT inside;
                for (const RECT& box : drawn.squares[i]) {
                    outside += !IntersectRect(&inside, &box, &frame);
                    UnionRect(&reach, &reach, &box);
                }
                outside += drawn.balls[i].top >= c.to.height || drawn.balls[i].left >= c.to.width;
                if (drawn.balls[i].right > 0 && drawn.balls[i].bottom > 0)
                    UnionRect(&reach, &reach, &drawn.balls[i]);
            }
        }
        std::printf("     %s: shapes reached %ld,%ld to %ld,%ld of %dx%d\n", c.name, reach.left, reach.top, reach.right,
                    reach.bottom, c.to.width, c.to.height);
        EXPECT_EQ(outside, 0) << "shapes drawn wholly beyond the new screen";
        EXPECT_GE(reach.right, c.to.width - 8) << "no shape reached the new right edge";
        EXPECT_GE(reach.bottom, c.to.height - 8) << "no shape reached the new bottom";
        Release();
    }
}

class Resources : public SceneTest {};

TEST_F(Resources, RepeatedCreationAndDestructionHoldNothing)
{
    const DWORD gdiAtStart = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Build(round % 2 ? Colorful : Standard, 255, 160, 120);
        FinishCurtain();
        for (int tick = 0; tick < 50; ++tick)
            TickScene();
        Release();
        ASSERT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
    // Where the platform counts GDI objects, it agrees.
    if (gdiAtStart) {
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiAtStart);
    }
}

TEST_F(Resources, ColourfulRunOfAHundredThousandTicksAtFullCount)
{
    // A small screen keeps this quick and makes the balls cross it in a few
    // ticks, so rebirths (each replacing a brush) and the wave are frequent.
    Build(Colorful, 255, 64, 48);
    FinishCurtain();
    TickScene();
    const int held = LiveSceneGdiObjects();
    // Two surfaces, the brushes, and the surface new ball sizes are drawn on
    // to read their runs, made by the first running tick.
    EXPECT_EQ(held - liveAtStart_, 4 + 2 * 255 + 2);
    const DWORD gdiHeld = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    int largest = 0;
    for (int tick = 0; tick < 100000; ++tick) {
        TickScene();
        largest = std::max(largest, gScene.active);
        if (tick % 1000 == 0) {
            ASSERT_EQ(LiveSceneGdiObjects(), held) << "tick " << tick;
        }
    }
    EXPECT_EQ(LiveSceneGdiObjects(), held);
    EXPECT_EQ(largest, 255) << "every pair took part";
    if (gdiHeld) {
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiHeld);
    }
    Release();
    EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
}

// Bytes in use in every heap of the process: what the scene's records, runs
// and damage take, whichever allocator hands them out.
size_t HeapBytesInUse()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    size_t busy = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry = {};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return busy;
}

TEST_F(Resources, FiftyScreenChangesHoldWhatTheFirstOnesHeld)
{
    for (int mode : {Standard, Colorful}) {
        SCOPED_TRACE(mode);
        Build(mode, 255, 320, 240);
        FinishCurtain();
        const DWORD gdiAtStart = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        // The screen goes small and back, fifty times, with running ticks
        // between; what is held is read right after each change.
        int objects[51] = {};
        size_t bytes[51] = {};
        DWORD gdi[51] = {};
        HDC screen = GetDC(nullptr);
        for (int change = 1; change <= 50; ++change) {
            const bool small = change % 2 == 1;
            ResizeScene(screen, small ? 200 : 320, small ? 150 : 240, POINT{0, 0});
            objects[change] = LiveSceneGdiObjects();
            bytes[change] = HeapBytesInUse();
            gdi[change] = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
            for (int tick = 0; tick < 40; ++tick)
                TickScene();
        }
        ReleaseDC(nullptr, screen);
        EXPECT_EQ(objects[49], objects[1]);
        EXPECT_EQ(objects[50], objects[2]);
        EXPECT_EQ(bytes[49], bytes[1]) << "heap bytes in use after 49 changes against after one, at the same size";
        EXPECT_EQ(bytes[50], bytes[2]) << "heap bytes in use after 50 changes against after two, at the same size";
        // Where the platform counts GDI objects, it agrees.
        if (gdiAtStart) {
            EXPECT_EQ(gdi[50], gdi[2]);
        }
        std::printf("     mode %d: scene GDI objects after 1 change %d, after 50 %d; heap bytes in use after 2 "
                    "changes %zu, after 50 %zu\n",
                    mode, objects[1], objects[50], bytes[2], bytes[50]);
        Release();
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

} // namespace
