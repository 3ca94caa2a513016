// The saver window's message handling on a real window of the real class, in
// full screen and in preview: what each message returns and which ones
// queue a close, and the scene resting while the display is off. Closes are
// never done where input is seen, so the queue is where they show.
#include <gtest/gtest.h>

#include <cstdint>

#include "shell/shell.h"
#include "unit/animation_fixture.h"

#include <imm.h>

#include <climits>
#include <cstring>

namespace {

class SaverWindow : public testing::Test {
protected:
    HWND host = nullptr;
    HWND window = nullptr;

    void Open(bool preview)
    {
        ResetShellState();
        gShell.instance = GetModuleHandleA(nullptr);
        RegisterSaverClass(); // fails harmlessly once the class exists
        if (preview) {
            host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 10, 10, 320, 240, nullptr, nullptr,
                                   gShell.instance, nullptr);
            ASSERT_NE(host, nullptr);
        }
        window = CreateSaverWindow(host);
        ASSERT_NE(window, nullptr);
        Drain();
    }

    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        if (host)
            DestroyWindow(host);
        window = host = nullptr;
        Drain();
        ResetShellState();
        ResetPlatform();
    }

    // Empties the thread's queue (quit messages included); paints are always
    // dispatched, since an unpainted window keeps producing them.
    static void Drain(bool dispatchAll = false)
    {
        MSG message;
        for (int i = 0; i < 1000 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (message.message == WM_PAINT || (dispatchAll && message.message != WM_CLOSE))
                DispatchMessageA(&message);
        }
    }

    bool ClosePosted()
    {
        MSG message;
        bool posted = false;
        while (PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE))
            posted = true;
        return posted;
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageA(window, message, wParam, lParam);
    }
};

struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
} gHelpSeen;

LRESULT CALLBACK RecordHelp(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HELP || message == WM_CONTEXTMENU) {
        gHelpSeen = {message, wParam, lParam};
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL WINAPI AcceptPassword(HWND)
{
    return TRUE;
}

BOOL WINAPI RejectPassword(HWND)
{
    return FALSE;
}

struct InputCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    bool closesFullScreen;
};

const InputCase InputCases[] = {
    {"key", WM_KEYDOWN, 'A', true},
    {"system key", WM_SYSKEYDOWN, 'A', true},
    {"left button", WM_LBUTTONDOWN, MK_LBUTTON, true},
    {"right button", WM_RBUTTONDOWN, MK_RBUTTON, true},
    {"middle button", WM_MBUTTONDOWN, MK_MBUTTON, true},
    {"another application activated", WM_ACTIVATEAPP, FALSE, true},
    {"this application activated", WM_ACTIVATEAPP, TRUE, false},
    {"critical resume", WM_POWER, PWR_CRITICALRESUME, true},
    {"suspend request", WM_POWER, PWR_SUSPENDREQUEST, false},
    {"suspend resume", WM_POWER, PWR_SUSPENDRESUME, false},
    {"power broadcast 0", WM_POWERBROADCAST, 0, true},
    {"power broadcast resume", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, true},
    {"suspend", WM_POWERBROADCAST, PBT_APMSUSPEND, true},
    {"resume after a suspend", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, true},
    {"resume after a critical suspend", WM_POWERBROADCAST, PBT_APMRESUMECRITICAL, true},
    {"power source or battery level changed", WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, false},
    {"power setting changed, no notice", WM_POWERBROADCAST, 0x8013 /* PBT_POWERSETTINGCHANGE */, false},
    {"shown", WM_SHOWWINDOW, TRUE, false},
    {"hidden", WM_SHOWWINDOW, FALSE, false},
    {"mouse move without moving", WM_MOUSEMOVE, 0, false},
    {"timer", WM_TIMER, 1000, false},
};

TEST_F(SaverWindow, FullScreenInputQueuesAClose)
{
    Open(false);
    for (const InputCase& c : InputCases) {
        SCOPED_TRACE(c.name);
        Send(c.message, c.wParam);
        EXPECT_EQ(ClosePosted(), c.closesFullScreen);
    }
    EXPECT_TRUE(IsWindow(window)) << "input closes only through the queue";
}

TEST_F(SaverWindow, PreviewIgnoresInput)
{
    Open(true);
    for (const InputCase& c : InputCases) {
        SCOPED_TRACE(c.name);
        Send(c.message, c.wParam);
        EXPECT_FALSE(ClosePosted());
    }
}

TEST_F(SaverWindow, NothingClosesOnInputOnceClosingIsGranted)
{
    Open(false);
    gShell.isClosing = true;
    for (const InputCase& c : InputCases) {
        SCOPED_TRACE(c.name);
        Send(c.message, c.wParam);
        EXPECT_FALSE(ClosePosted());
    }
    EXPECT_EQ(Send(WM_TIMER, 1000), 0);
}

TEST_F(SaverWindow, NoInputDecisionsWhileTheVerifierIsAsked)
{
    Open(false);
    gShell.isVerifying = true;
    Send(WM_KEYDOWN, 'A');
    Send(WM_LBUTTONDOWN);
    EXPECT_FALSE(ClosePosted());
}

TEST_F(SaverWindow, ReturnValuesInBothModes)
{
    const LPARAM overClient = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    for (bool preview : {false, true}) {
        SCOPED_TRACE(preview ? "preview" : "full screen");
        Open(preview);
        const char* title = preview ? "Preview" : "Screen Saver";
        EXPECT_EQ(Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("changed")), 0);
        char text[64] = {};
        GetWindowTextA(window, text, sizeof text);
        EXPECT_STREQ(text, title);
        // Full screen answers itself; the preview leaves it to the system,
        // which sets no cursor for a class without one.
        EXPECT_EQ(Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(window), overClient), preview ? 0 : 1);
        EXPECT_FALSE(ClosePosted());
        TearDown();
    }
}

TEST_F(SaverWindow, FullScreenSwallowsSystemCommandsThatWouldLeaveIt)
{
    Open(false);
    for (WPARAM command : {SC_SCREENSAVE, SC_NEXTWINDOW, SC_PREVWINDOW}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Send(WM_SYSCOMMAND, command), 0);
        EXPECT_TRUE(IsWindow(window));
    }
    // The whole value is compared: SC_CLOSE is passed on, and on the NT
    // family the default close destroys the window.
    Send(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(SaverWindow, PreviewHandsHelpToItsHost)
{
    Open(true);
    SetWindowLongPtrA(host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordHelp));
    HELPINFO help = {};
    help.cbSize = sizeof help;
    help.iCtrlId = 7;
    const struct {
        UINT message;
        LPARAM lParam;
    } cases[] = {
        {WM_HELP, reinterpret_cast<LPARAM>(&help)},
        {WM_CONTEXTMENU, MAKELPARAM(30, 40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        gHelpSeen = {};
        EXPECT_EQ(Send(c.message, reinterpret_cast<WPARAM>(window), c.lParam), 1);
        Drain(true);
        EXPECT_EQ(gHelpSeen.message, c.message);
        EXPECT_EQ(gHelpSeen.wParam, reinterpret_cast<WPARAM>(host)) << "the host's own handle";
        EXPECT_EQ(gHelpSeen.lParam, c.lParam);
    }
}

TEST_F(SaverWindow, PreviewIsAChildFillingItsHost)
{
    Open(true);
    EXPECT_EQ(GetParent(window), host);
    RECT client = {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_TRUE(gShell.isPreview);
}

TEST_F(SaverWindow, CloseOnTheNtFamilyDestroysAtOnce)
{
    Open(false);
    Send(WM_CLOSE);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(gShell.isClosing) << "the gate belongs to the Windows 9x family";
}

TEST_F(SaverWindow, InputContextIsDetachedWhileRunning)
{
    Open(false);
    if (!GetModuleHandleA("IMM32.DLL"))
        GTEST_SKIP() << "IMM32 is not loaded in this process";
    HIMC context = ImmGetContext(window);
    EXPECT_EQ(context, nullptr);
    if (context)
        ImmReleaseContext(window, context);
}

TEST_F(SaverWindow, AutoPlayQueryClosesAndAnswersByVerifier)
{
    const struct {
        const char* name;
        bool preview;
        bool closing;
        VerifyPasswordFn verifier;
        LRESULT answer;
    } cases[] = {
        {"full screen, no verifier", false, false, nullptr, 0},
        {"full screen, verifier", false, false, AcceptPassword, 1},
        {"preview", true, false, nullptr, 0},
        {"closing granted", false, true, AcceptPassword, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open(c.preview);
        gShell.isWin9x = true;
        gShell.autoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
        gShell.verifyPassword = c.verifier;
        gShell.isClosing = c.closing;
        EXPECT_EQ(Send(gShell.autoPlayMessage), c.answer);
        EXPECT_TRUE(ClosePosted());
        gShell.verifyPassword = nullptr;
        TearDown();
    }
}

TEST_F(SaverWindow, NullMessageIsNoAutoPlayQueryOnTheNtFamily)
{
    Open(false);
    EXPECT_EQ(gShell.autoPlayMessage, 0u);
    EXPECT_EQ(Send(WM_NULL), 0);
    EXPECT_FALSE(ClosePosted());
}

TEST_F(SaverWindow, VerifyMessageAsksTheLoadedVerifier)
{
    const struct {
        const char* name;
        bool isWin9x;
        VerifyPasswordFn verifier;
        LRESULT answer;
    } cases[] = {
        {"Windows 9x, none loaded: accept", true, nullptr, 1},
        {"Windows 9x, accepting", true, AcceptPassword, 1},
        {"Windows 9x, rejecting", true, RejectPassword, 0},
        {"NT family: default handling", false, AcceptPassword, 0},
    };
    Open(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gShell.isWin9x = c.isWin9x;
        gShell.verifyPassword = c.verifier;
        EXPECT_EQ(Send(VerifyMessage), c.answer);
    }
    gShell.verifyPassword = nullptr;
}

// Under X the pointer is warped asynchronously, and the news of an earlier
// warp can still arrive after a later one: wait until the system reports
// the new position steadily.
bool MoveCursor(int x, int y)
{
    if (!SetCursorPos(x, y))
        return false;
    int steady = 0;
    for (int i = 0; i < 400 && steady < 8; ++i) {
        Sleep(5);
        POINT now = {};
        GetCursorPos(&now);
        if (now.x == x && now.y == y) {
            ++steady;
        } else {
            steady = 0;
            SetCursorPos(x, y);
        }
    }
    return steady >= 8;
}

// The cursor is moved for real, step by step, and each step is announced
// with a WM_MOUSEMOVE whose own coordinates do not matter.
TEST_F(SaverWindow, MouseMovementBeyondFourPixelsCloses)
{
    const POINT anchor = {400, 300};
    const struct {
        const char* name;
        POINT steps[2]; // offsets from the anchor, {0,0} ends the list
        int closingStep; // 1-based, 0 for never
    } cases[] = {
        {"(3,1) stays", {{3, 1}, {0, 0}}, 0},
        {"(3,2) closes", {{3, 2}, {0, 0}}, 1},
        {"(-5,0) closes", {{-5, 0}, {0, 0}}, 1},
        {"(0,-4) stays", {{0, -4}, {0, 0}}, 0},
        {"2 then 3 more closes at the second", {{2, 0}, {5, 0}}, 2},
    };
    Open(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(MoveCursor(anchor.x, anchor.y));
        gShell.anchorCursor = anchor;
        for (int step = 0; step < 2 && (c.steps[step].x || c.steps[step].y); ++step) {
            SCOPED_TRACE(step + 1);
            ASSERT_TRUE(MoveCursor(anchor.x + c.steps[step].x, anchor.y + c.steps[step].y));
            Send(WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
            EXPECT_EQ(ClosePosted(), c.closingStep == step + 1);
        }
    }
    // A close re-anchors at the position that caused it.
    POINT now = {};
    GetCursorPos(&now);
    EXPECT_EQ(gShell.anchorCursor.x, now.x);
    EXPECT_EQ(gShell.anchorCursor.y, now.y);
}

// Wine's 32-bit loader creates a DPI-aware program's windows at the size an
// unaware one would get (two thirds of it at 144 DPI). A hook does the same
// here, whatever the loader: while a saver window is being created it is
// shrunk to two thirds. It must still end at the size it asked for.
LRESULT CALLBACK ShrinkSaverWindowsAtCreation(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent.message == WM_CREATE) {
        char name[64] = {};
        GetClassNameA(sent.hwnd, name, sizeof name);
        const CREATESTRUCTA& create = *reinterpret_cast<const CREATESTRUCTA*>(sent.lParam);
        if (lstrcmpA(name, SaverClassName) == 0)
            SetWindowPos(sent.hwnd, nullptr, create.x, create.y, create.cx * 2 / 3, create.cy * 2 / 3,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The awareness (0 unaware, 1 system, 2 per monitor) of a window, or of the
// calling thread when there is none; -1 where the system knows none.
int DpiAwarenessOf(HWND window)
{
    HMODULE user32 = GetModuleHandleA("USER32.DLL");
    using ContextFn = HANDLE(WINAPI*)();
    using WindowContextFn = HANDLE(WINAPI*)(HWND);
    using AwarenessFn = int(WINAPI*)(HANDLE);
    auto thread = reinterpret_cast<ContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    auto ofWindow = reinterpret_cast<WindowContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
    auto awareness = reinterpret_cast<AwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    if (!thread || !ofWindow || !awareness)
        return -1;
    return awareness(window ? ofWindow(window) : thread());
}

TEST_F(SaverWindow, EndsAtTheSizeItAskedForWhenCreationScalesIt)
{
    const RECT area = SaverScreenArea(ReadScreenMetrics());
    const SIZE screen = {area.right - area.left, area.bottom - area.top};
    for (bool preview : {false, true}) {
        SCOPED_TRACE(preview ? "preview" : "full screen");
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, ShrinkSaverWindowsAtCreation, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
        Open(preview);
        UnhookWindowsHookEx(hook);
        RECT client = {};
        GetClientRect(window, &client);
        const SIZE want = preview ? SIZE{320, 240} : screen;
        EXPECT_EQ(client.right, want.cx);
        EXPECT_EQ(client.bottom, want.cy);
        // The scene is the whole screen the window ends at, whatever size
        // creation gave the window: a preview shows its top-left corner.
        EXPECT_EQ(gScene.width, screen.cx);
        EXPECT_EQ(gScene.height, screen.cy);
        EXPECT_EQ(gScene.maxBallSize, screen.cy / 3);
        // The window sees the screen as its thread does: made unaware, its
        // procedure would read the screen scaled down.
        EXPECT_EQ(DpiAwarenessOf(window), DpiAwarenessOf(nullptr));
        TearDown();
    }
}

// Counts the pixels of the screen under area that are not black.
long long LitPixelsOnScreen(const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    BITMAPINFO info = TopDown32(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    long long lit = 0;
    for (int i = 0; i < width * height; ++i)
        lit += (static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF) != 0;
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return lit;
}

// Without any surface the scene is a plain black blanker, and it must blank
// every pixel of its window, at whatever size the window was created (the
// 32-bit loader's two thirds, simulated as above).
TEST_F(SaverWindow, ABlankSceneBlanksTheWholeWindowWhateverSizeItWasCreatedAt)
{
    const RECT area = SaverScreenArea(ReadScreenMetrics());
    for (bool scaled : {false, true}) {
        SCOPED_TRACE(scaled ? "created at two thirds" : "created at its size");
        gPlatform.createDIBSection = NoDibSection;
        gPlatform.createCompatibleBitmap = NoBitmap;
        HHOOK hook = scaled ? SetWindowsHookExA(WH_CALLWNDPROC, ShrinkSaverWindowsAtCreation, nullptr,
                                                GetCurrentThreadId())
                            : nullptr;
        Open(false);
        if (hook)
            UnhookWindowsHookEx(hook);
        ResetPlatform();
        ASSERT_TRUE(SceneIsBlank());
        // Paints as they come, until the screen shows the window black or
        // a deadline passes.
        long long lit = -1;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 5000;) {
            UpdateWindow(window);
            Drain();
            lit = LitPixelsOnScreen(area);
            if (lit == 0)
                break;
            Sleep(20);
        }
        EXPECT_EQ(lit, 0) << "pixels of the screen under the saver that are not black";
        TearDown();
    }
}

TEST(JudgePointer, APositionNotReadIsNeverMovement)
{
    const POINT anchor = {100, 100};
    const struct {
        const char* name;
        bool anchorKnown;
        bool nowKnown;
        POINT now;
        PointerVerdict verdict;
    } cases[] = {
        {"anchor unknown, read fails", false, false, {0, 0}, PointerVerdict::Ignore},
        {"anchor unknown, read succeeds far away", false, true, {900, 900}, PointerVerdict::Anchor},
        {"anchor known, read fails (now would look like 0,0)", true, false, {0, 0}, PointerVerdict::Ignore},
        {"anchor known, within the threshold", true, true, {103, 101}, PointerVerdict::Stay},
        {"anchor known, beyond the threshold", true, true, {103, 102}, PointerVerdict::Close},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(JudgePointer(c.anchorKnown, anchor, c.nowKnown, c.now), c.verdict);
    }
}

// The pointer's position could not be read while the window was created
// (another input desktop): moves stay harmless until a position can be
// read, that one becomes the anchor, and only a real move from it closes.
BOOL WINAPI PointerUnreadable(LPPOINT)
{
    return FALSE;
}

TEST_F(SaverWindow, AnUnreadablePointerNeverCloses)
{
    gPlatform.getCursorPos = PointerUnreadable;
    Open(false);
    EXPECT_FALSE(gShell.anchorKnown);
    for (int i = 0; i < 3; ++i)
        Send(WM_MOUSEMOVE, 0, 0);
    EXPECT_FALSE(ClosePosted()) << "an unread position closed the saver";
    EXPECT_FALSE(gShell.anchorKnown);

    gPlatform.getCursorPos = GetCursorPos;
    ASSERT_TRUE(MoveCursor(500, 400));
    Send(WM_MOUSEMOVE, 0, 0);
    EXPECT_FALSE(ClosePosted()) << "the first position read is the anchor, not a move";
    EXPECT_TRUE(gShell.anchorKnown);
    EXPECT_EQ(gShell.anchorCursor.x, 500);
    EXPECT_EQ(gShell.anchorCursor.y, 400);
    ASSERT_TRUE(MoveCursor(510, 400));
    Send(WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(ClosePosted());
}

// --- the screen changing under the saver ---

// A system whose screens the test sets, and whose pointer lies where the
// test puts it.
ScreenMetrics gScreen = {};
POINT gPointer = {};

int WINAPI TestScreenMetrics(int index)
{
    switch (index) {
    case SM_XVIRTUALSCREEN:
        return gScreen.virtualLeft;
    case SM_YVIRTUALSCREEN:
        return gScreen.virtualTop;
    case SM_CXVIRTUALSCREEN:
        return gScreen.virtualWidth;
    case SM_CYVIRTUALSCREEN:
        return gScreen.virtualHeight;
    case SM_CXSCREEN:
        return gScreen.primaryWidth;
    case SM_CYSCREEN:
        return gScreen.primaryHeight;
    default:
        return GetSystemMetrics(index);
    }
}

BOOL WINAPI TestPointer(LPPOINT point)
{
    *point = gPointer;
    return TRUE;
}

bool WindowCovers(HWND window, const RECT& area)
{
    RECT place = {};
    GetWindowRect(window, &place);
    return EqualRect(&place, &area) != FALSE;
}

TEST(NearestPointWithin, WhereTheSystemLeavesAPointerTheScreenLost)
{
    const RECT area = {-800, 0, 1024, 768};
    const struct {
        POINT point, nearest;
    } cases[] = {
        {{100, 100}, {100, 100}},    // within: stays
        {{1200, 1000}, {1023, 767}}, // below and right: the corner
        {{1500, 300}, {1023, 300}},  // right: the edge, same height
        {{-900, -5}, {-800, 0}},     // left of a negative origin
        {{1023, 767}, {1023, 767}},  // the last pixel is within
    };
    for (const auto& c : cases) {
        const POINT p = NearestPointWithin(c.point, area);
        EXPECT_EQ(p.x, c.nearest.x) << c.point.x << "," << c.point.y;
        EXPECT_EQ(p.y, c.nearest.y) << c.point.x << "," << c.point.y;
    }
    // An empty area moves nothing.
    const POINT p = NearestPointWithin(POINT{5, 6}, RECT{0, 0, 0, 0});
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 6);
}

// A monitor plugged in or out, another mode, another primary: the window
// covers the new screen at once and the scene goes on at its size; neither
// the notice nor the pointer the system moved off a vanished screen closes
// the saver, and a real move afterwards still does. The system may move the
// pointer before the notice reaches the window, so both orders are played
// where the screen's rectangle changes.
TEST_F(SaverWindow, TheFullScreenWindowFollowsTheScreenAndOnlyTheUserCloses)
{
    const ScreenMetrics start = {0, 0, 1280, 1024, 1280, 1024};
    const struct {
        const char* name;
        ScreenMetrics now;
        bool pointerFirst;  // a move reaches the window before the notice
        POINT pushed = {};  // the system's move of the pointer within the new screen
    } cases[] = {
        {"shrinks", {0, 0, 1024, 768, 1024, 768}, false},
        {"shrinks, the pointer's move first", {0, 0, 1024, 768, 1024, 768}, true},
        {"a monitor joins on the left", {-800, 0, 2080, 1024, 1280, 1024}, false},
        {"a monitor joins below, the pointer's move first", {0, 0, 1280, 2048, 1280, 1024}, true},
        {"another primary: the origin moves", {-1280, 0, 1280, 1024, 1280, 1024}, false},
        // The lower right of four monitors leaves; the rectangle stays.
        {"same rectangle, the pointer moved off a monitor that left", start, false, {-611, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gPlatform.getSystemMetrics = TestScreenMetrics;
        gPlatform.getCursorPos = TestPointer;
        gScreen = start;
        // The pointer rests near the bottom-right corner, where a smaller
        // screen does not reach.
        gPointer = POINT{1250, 1000};
        Open(false);
        ASSERT_TRUE(WindowCovers(window, RECT{0, 0, 1280, 1024}));
        ASSERT_FALSE(SceneIsBlank());
        gScreen = c.now;
        const RECT area = SaverScreenArea(c.now);
        // Where the system puts the pointer a smaller screen left outside.
        gPointer = NearestPointWithin(gPointer, area);
        gPointer.x += c.pushed.x;
        gPointer.y += c.pushed.y;
        if (c.pointerFirst)
            Send(WM_MOUSEMOVE);
        Send(WM_DISPLAYCHANGE, 32, MAKELPARAM(c.now.primaryWidth, c.now.primaryHeight));
        EXPECT_TRUE(WindowCovers(window, area)) << "the window does not cover the new screen";
        EXPECT_EQ(gScene.width, area.right - area.left);
        EXPECT_EQ(gScene.height, area.bottom - area.top);
        Send(WM_MOUSEMOVE);
        EXPECT_FALSE(ClosePosted()) << "the change, or the pointer it moved, closed the saver";
        EXPECT_TRUE(IsWindow(window));
        gPointer.x -= 10;
        Send(WM_MOUSEMOVE);
        EXPECT_TRUE(ClosePosted()) << "a real move after the change did not close the saver";
        TearDown();
    }
}

TEST_F(SaverWindow, APreviewFollowsItsHostNotTheScreen)
{
    gPlatform.getSystemMetrics = TestScreenMetrics;
    gScreen = ScreenMetrics{0, 0, 1280, 1024, 1280, 1024};
    Open(true);
    RECT before = {};
    GetWindowRect(window, &before);
    const int width = gScene.width;
    gScreen = ScreenMetrics{0, 0, 1024, 768, 1024, 768};
    Send(WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    Send(WM_MOUSEMOVE);
    EXPECT_TRUE(WindowCovers(window, before));
    EXPECT_EQ(gScene.width, width);
}

TEST(MovedBeyondThreshold, SumsBothAxes)
{
    const struct {
        POINT anchor, now;
        bool moved;
    } cases[] = {
        {{0, 0}, {4, 0}, false},
        {{0, 0}, {5, 0}, true},
        {{0, 0}, {2, -2}, false},
        {{0, 0}, {-3, -2}, true},
        {{-100, -100}, {-97, -99}, false},
        {{LONG_MIN / 2, 0}, {LONG_MAX / 2, 0}, true}, // no overflow back to small
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.now.x << "," << c.now.y);
        EXPECT_EQ(MovedBeyondThreshold(c.anchor, c.now), c.moved);
        EXPECT_EQ(MovedBeyondThreshold(c.now, c.anchor), c.moved) << "symmetric";
    }
}


// --- the display's power ---

// The settings' GUIDs as the power-setting documentation gives them.
constexpr GUID ConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr GUID MonitorPowerOn = {0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};
// Windows 8's display of the session: a display setting, but not one the
// saver asks for.
constexpr GUID SessionDisplayStatus = {0x2b84c20e, 0xad23, 0x4ddf, {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
constexpr WPARAM PowerSettingChange = 0x8013;
constexpr DWORD Off = 0, On = 1, Dimmed = 2;

// A PBT_POWERSETTINGCHANGE's notice as Windows lays it out: the setting's
// GUID, at 16 the length of its data, at 20 the data.
struct Notice {
    alignas(8) BYTE bytes[32];
    LPARAM lParam() const { return reinterpret_cast<LPARAM>(bytes); }
    const POWERBROADCAST_SETTING* setting() const { return reinterpret_cast<const POWERBROADCAST_SETTING*>(bytes); }
};

Notice MakeNotice(const GUID& setting, DWORD value, DWORD length = sizeof(DWORD))
{
    Notice notice = {};
    std::memcpy(notice.bytes, &setting, sizeof setting);
    std::memcpy(notice.bytes + 16, &length, sizeof length);
    std::memcpy(notice.bytes + 20, &value, sizeof value);
    return notice;
}

TEST(JudgeDisplayNotification, OnlyTheDisplaysOwnSettingsWithADword)
{
    const struct {
        const char* name;
        Notice notice;
        DisplayVerdict verdict;
    } cases[] = {
        {"console display off", MakeNotice(ConsoleDisplayState, Off), DisplayVerdict::Rest},
        {"console display on", MakeNotice(ConsoleDisplayState, On), DisplayVerdict::Run},
        {"console display dimmed", MakeNotice(ConsoleDisplayState, Dimmed), DisplayVerdict::Run},
        {"a state not known yet is no reason to freeze", MakeNotice(ConsoleDisplayState, 7), DisplayVerdict::Run},
        {"monitor power off (Vista and 7)", MakeNotice(MonitorPowerOn, Off), DisplayVerdict::Rest},
        {"monitor power on", MakeNotice(MonitorPowerOn, On), DisplayVerdict::Run},
        {"the session's display, not ours", MakeNotice(SessionDisplayStatus, Off), DisplayVerdict::Ignore},
        {"a byte of data", MakeNotice(ConsoleDisplayState, Off, 1), DisplayVerdict::Ignore},
        {"no data", MakeNotice(ConsoleDisplayState, Off, 0), DisplayVerdict::Ignore},
        {"eight bytes of data", MakeNotice(ConsoleDisplayState, Off, 8), DisplayVerdict::Ignore},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(JudgeDisplayNotification(c.notice.setting()), c.verdict);
    }
    EXPECT_EQ(JudgeDisplayNotification(nullptr), DisplayVerdict::Ignore);
}

// What the registration calls were asked, with a refusal where a row wants
// one.
struct {
    bool refuseConsole;
    bool refuseMonitor;
    int registrations;
    GUID asked[4];
    HANDLE recipient;
    DWORD flags;
    int unregistrations;
    HANDLE unregistered;
} gPower;

const HANDLE FakeNotification = reinterpret_cast<HANDLE>(0x5a5a);

HANDLE WINAPI FakeRegister(HANDLE recipient, const GUID* setting, DWORD flags)
{
    if (gPower.registrations < 4)
        gPower.asked[gPower.registrations] = *setting;
    ++gPower.registrations;
    gPower.recipient = recipient;
    gPower.flags = flags;
    if ((IsEqualGUID(*setting, ConsoleDisplayState) && gPower.refuseConsole) ||
        (IsEqualGUID(*setting, MonitorPowerOn) && gPower.refuseMonitor))
        return nullptr;
    return FakeNotification;
}

BOOL WINAPI FakeUnregister(HANDLE notification)
{
    ++gPower.unregistrations;
    gPower.unregistered = notification;
    return TRUE;
}

PowerSettingCalls FakePowerCalls()
{
    return PowerSettingCalls{FakeRegister, FakeUnregister};
}

PowerSettingCalls NoPowerCalls()
{
    return PowerSettingCalls{};
}

TEST_F(SaverWindow, AsksForTheDisplaysPowerInFullScreenOnlyAndUndoesItWhenItGoes)
{
    const struct {
        const char* name;
        PowerSettingCalls (*calls)();
        bool preview;
        bool refuseConsole, refuseMonitor;
        int registrations;  // the console's state first, then the monitor's power
        bool registered;
    } cases[] = {
        {"Windows 8 and later", FakePowerCalls, false, false, false, 1, true},
        {"Vista and 7 refuse the console's state", FakePowerCalls, false, true, false, 2, true},
        {"both refused", FakePowerCalls, false, true, true, 2, false},
        {"XP and earlier have no such calls", NoPowerCalls, false, false, false, 0, false},
        {"a preview is never registered", FakePowerCalls, true, false, false, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gPower = {};
        gPower.refuseConsole = c.refuseConsole;
        gPower.refuseMonitor = c.refuseMonitor;
        gPlatform.loadPowerSettingCalls = c.calls;
        Open(c.preview);
        EXPECT_EQ(gPower.registrations, c.registrations);
        if (c.registrations >= 1) {
            EXPECT_TRUE(IsEqualGUID(gPower.asked[0], ConsoleDisplayState));
            EXPECT_EQ(gPower.recipient, window);
            EXPECT_EQ(gPower.flags, 0u) << "DEVICE_NOTIFY_WINDOW_HANDLE";
        }
        if (c.registrations >= 2) {
            EXPECT_TRUE(IsEqualGUID(gPower.asked[1], MonitorPowerOn));
        }
        EXPECT_EQ(gShell.displayNotification, c.registered ? FakeNotification : nullptr);
        DestroyWindow(window);
        EXPECT_EQ(gPower.unregistrations, c.registered ? 1 : 0);
        if (c.registered) {
            EXPECT_EQ(gPower.unregistered, FakeNotification);
        }
        EXPECT_EQ(gShell.displayNotification, nullptr);
        TearDown();
    }
}

LRESULT SendNotice(HWND window, const Notice& notice)
{
    return SendMessageA(window, WM_POWERBROADCAST, PowerSettingChange, notice.lParam());
}

// Which notice says what is the table above; here, what the window does
// with each verdict, running and resting.
TEST_F(SaverWindow, OnlyTheDisplaysStateRestsAndWakesTheFullScreenScene)
{
    const struct {
        const char* name;
        bool preview;
        bool resting;  // before the notice
        Notice notice;
        bool restsAfter;
    } cases[] = {
        {"rest while running", false, false, MakeNotice(ConsoleDisplayState, Off), true},
        {"rest while resting", false, true, MakeNotice(MonitorPowerOn, Off), true},
        {"run while resting", false, true, MakeNotice(ConsoleDisplayState, Dimmed), false},
        {"run while running (the answer to the registration)", false, false, MakeNotice(MonitorPowerOn, On), false},
        {"ignore while running", false, false, MakeNotice(SessionDisplayStatus, Off), false},
        {"ignore while resting", false, true, MakeNotice(ConsoleDisplayState, On, 8), true},
        {"a preview ignores the display", true, false, MakeNotice(ConsoleDisplayState, Off), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open(c.preview);
        if (c.resting) {
            SendNotice(window, MakeNotice(ConsoleDisplayState, Off));
            ASSERT_TRUE(gScene.resting);
        }
        EXPECT_EQ(SendNotice(window, c.notice), TRUE);
        EXPECT_EQ(gScene.resting, c.restsAfter);
        EXPECT_EQ(gScene.timerId != 0, !c.restsAfter) << "resting is having no timer";
        EXPECT_FALSE(ClosePosted()) << "the display's power never closes the saver";
        EXPECT_TRUE(IsWindow(window));
        TearDown();
    }
    // Where nothing was registered (XP and earlier, the Windows 9x family)
    // no notice is read: any program can post one that points nowhere.
    gPlatform.loadPowerSettingCalls = NoPowerCalls;
    Open(false);
    EXPECT_EQ(SendMessageA(window, WM_POWERBROADCAST, PowerSettingChange, 0x10), TRUE);
    EXPECT_FALSE(gScene.resting);
    EXPECT_FALSE(ClosePosted());
}

// Every number the scene moves by: where it is and where it goes next.
std::vector<int> SceneNumbers()
{
    std::vector<int> n = {gScene.active, static_cast<int>(gScene.wave), gScene.phase, gScene.insetA, gScene.insetB,
                          gScene.insetC};
    for (int i = 0; i < gScene.count; ++i) {
        const Ball& b = *gScene.balls[i];
        const Square& q = *gScene.squares[i];
        n.insert(n.end(), {b.x, b.speed, b.y, b.vy, b.returning, b.size, q.x, q.vx, q.y, q.vy, q.size});
    }
    const Overlay& o = *gScene.overlay;
    n.insert(n.end(), {o.horizontalOffset, o.verticalOffset, o.tileX, o.tileY, o.verticalStep});
    return n;
}

class RestingSaver : public SaverWindow {
protected:
    // The same scene every time: the generator from its start, the clock
    // frozen, and a known snapshot in place of the captured screen. (What
    // the screen shows right after an earlier saver window went is not
    // known: Wine's desktop paints the uncovered wallpaper in a process of
    // its own, in its own time, and a capture made before that takes the
    // earlier window's black frame.)
    void OpenSeeded()
    {
        gPlatform.clock = FrozenClock;
        gRandomState = 0;
        Open(false);
        WriteSurface(gScene.snapshot, KnownSnapshot(gScene.width, gScene.height));
        CopySnapshotToFrame();
    }

    void Tick(int ticks)
    {
        for (int i = 0; i < ticks; ++i)
            Send(WM_TIMER, AnimationTimerId);
    }

    // Dispatches what the queue brings (closes aside, so that a stray loss
    // of activation cannot end the test) until the window has had `until`
    // ticks or `ms` milliseconds are over; returns its ticks.
    int Pump(DWORD ms, int until = INT_MAX)
    {
        const DWORD start = GetTickCount();
        int ticks = 0;
        for (;;) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_CLOSE || message.message == WM_QUIT)
                    continue;
                if (message.message == WM_TIMER && message.hwnd == window)
                    ++ticks;
                DispatchMessageA(&message);
                if (ticks >= until)
                    return ticks;
            }
            const DWORD spent = GetTickCount() - start;
            if (spent >= ms)
                return ticks;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
        }
    }

    Pixels Frame() const { return ReadSurface(gScene.frame, gScene.width, gScene.height); }
};

// Far enough into the scene for the curtain to be over and shapes to move
// at the test's screen size.
constexpr int TicksBeforeTheRest = 200;
constexpr DWORD RestMs = 300;
constexpr DWORD TimerDeadlineMs = 20000;

TEST_F(RestingSaver, DisplayOffStopsTheTicksAndOnGoesOnWithTheSameScene)
{
    OpenSeeded();
    ASSERT_FALSE(SceneIsBlank());
    Tick(TicksBeforeTheRest);
    int ticks = TicksBeforeTheRest;
    // The system's own timer runs before the rest...
    const int before = Pump(TimerDeadlineMs, 2);
    ASSERT_EQ(before, 2) << "the timer never ticked in " << TimerDeadlineMs << " ms";
    ticks += before;

    SendNotice(window, MakeNotice(ConsoleDisplayState, Off));
    const std::vector<int> atRest = SceneNumbers();
    const Pixels frameAtRest = Frame();
    // ...and not while resting: no tick, nothing drawn.
    EXPECT_EQ(Pump(RestMs), 0) << "WM_TIMER while the display was off";
    EXPECT_EQ(SceneNumbers(), atRest);
    EXPECT_TRUE(Frame().values == frameAtRest.values) << "the frame changed while the display was off";

    SendNotice(window, MakeNotice(ConsoleDisplayState, Dimmed));
    // The first paint copies the whole frame: it was not copied while resting.
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    RECT client = {}, box = {};
    GetClientRect(window, &client);
    EXPECT_EQ(GetUpdateRgn(window, update, FALSE), SIMPLEREGION);
    GetRgnBox(update, &box);
    DeleteObject(update);
    EXPECT_TRUE(EqualRect(&box, &client)) << box.left << "," << box.top << " " << box.right << "," << box.bottom;
    const int after = Pump(TimerDeadlineMs, 1);
    ASSERT_EQ(after, 1) << "the timer did not come back in " << TimerDeadlineMs << " ms";
    ticks += after;
    const std::vector<int> rested = SceneNumbers();
    const Pixels restedFrame = Frame();
    EXPECT_NE(rested, atRest) << "the scene did not move after waking";
    TearDown();

    // The same scene, the same number of ticks, never rested.
    OpenSeeded();
    Tick(ticks);
    EXPECT_EQ(SceneNumbers(), rested);
    EXPECT_TRUE(Frame().values == restedFrame.values) << "the frame differs from a scene that never rested";
}

// The screen changes while the display is off: the change is taken up
// without a tick or a paint, and the scene wakes at the new size.
TEST_F(RestingSaver, AScreenChangeWhileRestingIsTakenUpWithoutDrawing)
{
    gPlatform.getSystemMetrics = TestScreenMetrics;
    gScreen = ScreenMetrics{0, 0, 1280, 1024, 1280, 1024};
    OpenSeeded();
    Tick(TicksBeforeTheRest);
    SendNotice(window, MakeNotice(ConsoleDisplayState, Off));
    ASSERT_TRUE(gScene.resting);
    gScreen = ScreenMetrics{0, 0, 1024, 768, 1024, 768};
    Send(WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    EXPECT_TRUE(WindowCovers(window, RECT{0, 0, 1024, 768}));
    EXPECT_EQ(gScene.width, 1024);
    EXPECT_EQ(gScene.height, 768);
    EXPECT_EQ(Pump(RestMs), 0) << "WM_TIMER while the display was off";
    EXPECT_TRUE(gScene.resting);

    SendNotice(window, MakeNotice(ConsoleDisplayState, On));
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    RECT box = {};
    EXPECT_EQ(GetUpdateRgn(window, update, FALSE), SIMPLEREGION);
    GetRgnBox(update, &box);
    DeleteObject(update);
    const RECT whole = {0, 0, 1024, 768};
    EXPECT_TRUE(EqualRect(&box, &whole)) << box.left << "," << box.top << " " << box.right << "," << box.bottom;
    EXPECT_EQ(Pump(TimerDeadlineMs, 1), 1) << "the timer did not come back";
}

TEST_F(RestingSaver, AKeyStillClosesTheRestingSaver)
{
    Open(false);
    SendNotice(window, MakeNotice(ConsoleDisplayState, Off));
    ASSERT_TRUE(gScene.resting);
    Send(WM_KEYDOWN, 'A');
    MSG close;
    ASSERT_TRUE(PeekMessageA(&close, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) << "no close queued";
    DispatchMessageA(&close);
    EXPECT_FALSE(IsWindow(window));
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u) << "the saver's exit code";
}

TEST_F(RestingSaver, TheWindows9xPasswordGateHoldsWhileResting)
{
    Open(false);
    SendNotice(window, MakeNotice(ConsoleDisplayState, Off));
    gShell.isWin9x = true;
    gShell.verifyPassword = RejectPassword;
    Send(WM_CLOSE);
    EXPECT_TRUE(IsWindow(window)) << "a refused password closed the saver";
    EXPECT_TRUE(gScene.resting);
    EXPECT_EQ(gScene.timerId, 0u) << "the refusal woke the scene";
    gShell.verifyPassword = AcceptPassword;
    gShell.lastVerifyTick = NeverVerified;
    Send(WM_CLOSE);
    EXPECT_FALSE(IsWindow(window));
    gShell.verifyPassword = nullptr;
}

} // namespace
