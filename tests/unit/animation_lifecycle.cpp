// The scene's lifecycle: what creation allocates, AnimationProc in a real
// window (capture, paint, tick, destruction), running out of memory, and
// the GDI objects the scene holds staying constant over long runs.
#include "animation/animation.h"
#include "shell/shell.h"
#include "unit/animation_fixture.h"

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

} // namespace
