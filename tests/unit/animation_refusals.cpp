// When the platform says no: surfaces too big to have, a timer refused, a
// preview with no room. The saver must still blank, animate what it can,
// hold no stray GDI object and close as always.
#include <algorithm>

#include "animation/animation.h"
#include "shell/shell.h"
#include "unit/animation_fixture.h"

namespace {

TEST(SceneSizesToTry, TheAskedSizeThenASmallerPrimaryScreen)
{
    const struct {
        const char* name;
        SceneSize asked, primary;
        int count;
        SceneSize first, second;
    } cases[] = {
        {"one monitor: nothing smaller to fall back to", {1024, 768}, {1024, 768}, 1, {1024, 768}, {}},
        {"three monitors: then the primary", {11520, 2160}, {3840, 2160}, 2, {11520, 2160}, {3840, 2160}},
        {"stacked monitors: smaller in height only", {1920, 2160}, {1920, 1080}, 2, {1920, 2160}, {1920, 1080}},
        {"no primary size known", {4000, 3000}, {0, 0}, 1, {4000, 3000}, {}},
        {"an empty size is no scene", {0, 768}, {1024, 768}, 0, {}, {}},
        {"a negative size is no scene", {-5, -5}, {1024, 768}, 0, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SceneSize sizes[2] = {};
        ASSERT_EQ(SceneSizesToTry(c.asked, c.primary, sizes), c.count);
        if (c.count > 0) {
            EXPECT_EQ(sizes[0].width, c.first.width);
            EXPECT_EQ(sizes[0].height, c.first.height);
        }
        if (c.count > 1) {
            EXPECT_EQ(sizes[1].width, c.second.width);
            EXPECT_EQ(sizes[1].height, c.second.height);
        }
    }
}

class Refusals : public SceneTest {
protected:
    void TearDown() override
    {
        SceneTest::TearDown();
    }

    // Builds straight from the screen, with no known snapshot: the
    // fixture's would be as big as the size asked for.
    void BuildAt(int colorMode, int width, int height)
    {
        HDC screen = GetDC(nullptr);
        BuildScene(screen, width, height, colorMode, 10);
        ReleaseDC(nullptr, screen);
        built_ = true;
    }

    // Ticks through the curtain and well into the running wave.
    static void RunTicks()
    {
        for (int tick = 0; tick < 600; ++tick)
            TickScene();
    }
};

TEST_F(Refusals, ASceneTooBigToAllocateFallsBackToThePrimaryScreen)
{
    const int primaryWidth = GetSystemMetrics(SM_CXSCREEN);
    const int primaryHeight = GetSystemMetrics(SM_CYSCREEN);
    for (int mode : {Standard, Colorful}) {
        SCOPED_TRACE(mode);
        // 60000 x 60000 at 32 bits is 14 GB a surface.
        BuildAt(mode, 60000, 60000);
        ASSERT_FALSE(SceneIsBlank());
        EXPECT_EQ(gScene.width, primaryWidth);
        EXPECT_EQ(gScene.height, primaryHeight);
        EXPECT_EQ(gScene.maxBallSize, primaryHeight / 3) << "shapes sized for the scene they move in";
        // A real bitmap of the fallback size, not the context's 1x1 default.
        BITMAP frame = {};
        ASSERT_TRUE(GetObjectA(GetCurrentObject(gScene.frame.dc, OBJ_BITMAP), sizeof frame, &frame));
        EXPECT_EQ(frame.bmWidth, primaryWidth);
        EXPECT_EQ(frame.bmHeight, primaryHeight);
        EXPECT_GT(frame.bmBitsPixel, 1);
        RunTicks();
        EXPECT_EQ(gScene.phase, RunningPhase);
        Release();
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

TEST_F(Refusals, WithoutAnySurfaceTheSceneIsBlankAndTicksDrawNothing)
{
    const struct {
        const char* name;
        SceneSize asked, primary;
    } cases[] = {
        {"both sizes too big", {60000, 60000}, {50000, 50000}},
        {"no size at all", {0, 0}, {1024, 768}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HDC screen = GetDC(nullptr);
        const SceneSize got = AcquireSceneSurfaces(screen, c.asked, c.primary, gScene.frame, gScene.snapshot);
        ReleaseDC(nullptr, screen);
        EXPECT_EQ(got.width, 0);
        EXPECT_EQ(got.height, 0);
        EXPECT_TRUE(SceneIsBlank());
        EXPECT_EQ(gScene.snapshot.dc, nullptr);
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_) << "the half-made surfaces were released";
    }
    for (int mode : {Standard, Colorful}) {
        SCOPED_TRACE(mode);
        BuildAt(mode, 0, 0);
        ASSERT_TRUE(SceneIsBlank());
        RunTicks();
        EXPECT_EQ(gScene.phase, 1) << "a blank scene does not advance";
        Release();
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

// The screen changes to a size the platform cannot make surfaces for: as at
// the start, the primary screen's size, else a blank scene that ticks
// nothing, holds nothing and stays blank; it still closes as always.
TEST_F(Refusals, AScreenChangeWithoutRoomFallsBackAsAtTheStart)
{
    const int primaryWidth = GetSystemMetrics(SM_CXSCREEN);
    const int primaryHeight = GetSystemMetrics(SM_CYSCREEN);
    for (int mode : {Standard, Colorful}) {
        SCOPED_TRACE(mode);
        Build(mode, 10, 640, 480);
        RunTicks();
        HDC screen = GetDC(nullptr);
        ResizeScene(screen, 60000, 60000, POINT{0, 0});
        ASSERT_FALSE(SceneIsBlank());
        EXPECT_EQ(gScene.width, primaryWidth);
        EXPECT_EQ(gScene.height, primaryHeight);
        EXPECT_EQ(gScene.maxBallSize, primaryHeight / 3);
        RunTicks();
        gPlatform.createDIBSection = NoDibSection;
        gPlatform.createCompatibleBitmap = NoBitmap;
        ResizeScene(screen, 800, 600, POINT{0, 0});
        EXPECT_TRUE(SceneIsBlank());
        const int phase = gScene.phase;
        RunTicks();
        EXPECT_EQ(gScene.phase, phase);
        ResetPlatform();
        ResizeScene(screen, 640, 480, POINT{0, 0});
        EXPECT_TRUE(SceneIsBlank()) << "a blank scene has no captured desktop to go on with";
        ReleaseDC(nullptr, screen);
        Release();
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

HDC WINAPI NoScreenContext(HWND)
{
    return nullptr;
}

// A handle that is no context at all: BitBlt from it fails.
HDC WINAPI UnreadableScreenContext(HWND)
{
    return reinterpret_cast<HDC>(static_cast<INT_PTR>(0x7FFF1234));
}

TEST_F(Refusals, AScreenThatCannotBeReadIsCapturedBlack)
{
    const struct {
        const char* name;
        HDC(WINAPI* screen)(HWND);
        bool dibSections;
    } cases[] = {
        {"no screen context, DIB sections", NoScreenContext, true},
        {"no screen context, compatible bitmaps", NoScreenContext, false},
        {"an unreadable screen, DIB sections", UnreadableScreenContext, true},
        {"an unreadable screen, compatible bitmaps", UnreadableScreenContext, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gPlatform.createDIBSection = c.dibSections ? CreateDIBSection : NoDibSection;
        BuildAt(Colorful, 320, 240);
        ASSERT_EQ(gScene.snapshot.bits != nullptr, c.dibSections);
        // Whatever the surface held before must not survive a failed capture.
        Pixels white = KnownSnapshot(320, 240);
        std::fill(white.values.begin(), white.values.end(), RGB(255, 255, 255));
        WriteSurface(gScene.snapshot, white);
        gPlatform.getDC = c.screen;
        TakeSnapshot(nullptr);
        gPlatform.getDC = GetDC;
        const Pixels captured = ReadSurface(gScene.snapshot, 320, 240);
        EXPECT_EQ(std::count(captured.values.begin(), captured.values.end(), 0u),
                  static_cast<std::ptrdiff_t>(captured.values.size()));
        // And the saver runs as usual.
        CopySnapshotToFrame();
        RunTicks();
        EXPECT_EQ(gScene.phase, RunningPhase);
        Release();
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
    }
}

int gTimerRefusals = 0;
int gTimerCalls = 0;
UINT_PTR WINAPI RefusingTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc)
{
    ++gTimerCalls;
    return gTimerRefusals-- > 0 ? 0 : SetTimer(window, id, ms, proc);
}

void DrainQueue()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST_F(Refusals, ARefusedTimerIsAskedForOnceMore)
{
    const struct {
        int refusals;
        int calls;
        bool running;
    } cases[] = {{0, 1, true}, {1, 2, true}, {2, 2, false}, {5, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusals);
        ResetShellState();
        gShell.isPreview = true;
        gTimerRefusals = c.refusals;
        gTimerCalls = 0;
        gPlatform.setTimer = RefusingTimer;
        HWND window = CreateAnimationWindow(nullptr, WS_VISIBLE, 200, 150);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(gTimerCalls, c.calls);
        EXPECT_EQ(gScene.timerId != 0, c.running);
        // Without its timer the saver still shows what it has and closes.
        UpdateWindow(window);
        EXPECT_FALSE(SceneIsBlank());
        EXPECT_TRUE(DestroyWindow(window));
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
        DrainQueue();
    }
    ResetShellState();
}

// The display goes off and comes back over a scene that has no timer or no
// surfaces: resting holds nothing, waking asks again for a refused timer
// and gives a blank scene none, and the whole window is painted afresh.
TEST_F(Refusals, RestingAndWakingWithoutATimerOrSurfaces)
{
    const struct {
        const char* name;
        int size;              // of the window and its host: 0 makes the scene blank
        int refusalsAtStart;
        int refusalsAtWake;
        int callsAtWake;
        bool runningAfter;
    } cases[] = {
        {"a running timer is stopped and started again", 150, 0, 0, 1, true},
        {"a refused timer is asked for again", 150, 2, 0, 1, true},
        {"refused again: the picture stays as it is", 150, 2, 2, 2, false},
        {"a blank scene gets no timer", 0, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetShellState();
        gShell.isPreview = true;
        gTimerRefusals = c.refusalsAtStart;
        gPlatform.setTimer = RefusingTimer;
        HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 10, 10, c.size, c.size, nullptr,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
        HWND window = CreateAnimationWindow(host, WS_VISIBLE, c.size, c.size);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(SceneIsBlank(), c.size == 0);
        UpdateWindow(window);

        RestScene(window);
        EXPECT_EQ(gScene.timerId, 0u);
        const int insetA = gScene.insetA;
        SendMessageA(window, WM_TIMER, AnimationTimerId, 0);
        EXPECT_EQ(gScene.insetA, insetA) << "a queued tick advanced a resting scene";

        gTimerRefusals = c.refusalsAtWake;
        gTimerCalls = 0;
        WakeScene(window);
        EXPECT_FALSE(gScene.resting);
        EXPECT_EQ(gTimerCalls, c.callsAtWake);
        EXPECT_EQ(gScene.timerId != 0, c.runningAfter);
        if (c.size > 0) {
            RECT update = {};
            EXPECT_TRUE(GetUpdateRect(window, &update, FALSE));
            EXPECT_EQ(update.right - update.left, c.size) << "the whole window";
            EXPECT_EQ(update.bottom - update.top, c.size);
        }
        UpdateWindow(window);
        gTimerCalls = 0;
        WakeScene(window);
        EXPECT_EQ(gTimerCalls, 0) << "waking a scene that is not resting";

        DestroyWindow(host);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
        DrainQueue();
    }
    ResetShellState();
}

TEST_F(Refusals, APreviewWithNoRoomDrawsNothingAndClosesWithItsHost)
{
    for (SIZE size : {SIZE{0, 0}, SIZE{200, 0}, SIZE{0, 150}}) {
        SCOPED_TRACE(testing::Message() << size.cx << "x" << size.cy);
        ResetShellState();
        gShell.isPreview = true;
        HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 10, 10, size.cx, size.cy, nullptr,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
        HWND preview = CreateAnimationWindow(host, WS_VISIBLE, size.cx, size.cy);
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(SceneIsBlank());
        EXPECT_EQ(gScene.timerId, 0u);
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart_);
        SendMessageA(preview, WM_TIMER, AnimationTimerId, 0);
        InvalidateRect(preview, nullptr, FALSE);
        UpdateWindow(preview);
        // The host goes, and its preview with it: the loop would end.
        DestroyWindow(host);
        EXPECT_FALSE(IsWindow(preview));
        MSG quit;
        EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        DrainQueue();
    }
    ResetShellState();
}

} // namespace
