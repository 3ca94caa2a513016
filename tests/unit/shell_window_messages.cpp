// The saver window's message handling on a real window of the real class, in
// full screen and in preview: what each message returns and which ones
// queue a close. Closes are never done where input is seen, so the queue is
// where they show.
#include <gtest/gtest.h>

#include "shell/shell.h"

#include <imm.h>

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
        gReadCursor = GetCursorPos;
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

TEST_F(SaverWindow, EndsAtTheSizeItAskedForWhenCreationScalesIt)
{
    const RECT area = SaverScreenArea(ReadScreenMetrics());
    for (bool preview : {false, true}) {
        SCOPED_TRACE(preview ? "preview" : "full screen");
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, ShrinkSaverWindowsAtCreation, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
        Open(preview);
        UnhookWindowsHookEx(hook);
        RECT client = {};
        GetClientRect(window, &client);
        const SIZE want = preview ? SIZE{320, 240} : SIZE{area.right - area.left, area.bottom - area.top};
        EXPECT_EQ(client.right, want.cx);
        EXPECT_EQ(client.bottom, want.cy);
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
    gReadCursor = PointerUnreadable;
    Open(false);
    EXPECT_FALSE(gShell.anchorKnown);
    for (int i = 0; i < 3; ++i)
        Send(WM_MOUSEMOVE, 0, 0);
    EXPECT_FALSE(ClosePosted()) << "an unread position closed the saver";
    EXPECT_FALSE(gShell.anchorKnown);

    gReadCursor = GetCursorPos;
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

} // namespace
