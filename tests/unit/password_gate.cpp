// The close gate of the Windows 9x family: when a close request may ask the
// verifier, what the gate does around the question (the dropped ticks, the
// flags, the cursor, the time of the answer) and the re-entrant path, with a
// fake verifier on a real window whose procedure is the shell's default
// handling, as the saver window's chain ends in it.
#include <gtest/gtest.h>

#include "shell/shell.h"

#include <vector>

namespace {

// --- the timing rule, without waiting ---

TEST(MayAskVerifier, ReasksOnlyAfterTheInterval)
{
    const DWORD beforeWrap = 0xFFFFFFFFu - 99; // 100 ms before the count wraps to 0
    const struct {
        const char* name;
        DWORD lastVerifyTick;
        DWORD now;
        bool asks;
    } cases[] = {
        {"never answered", NeverVerified, 0, true},
        {"never answered, any time", NeverVerified, 123456, true},
        {"same tick as the answer", 5000, 5000, false},
        {"150 ms after the answer", 5000, 5150, false},
        {"199 ms after", 5000, 5199, false},
        {"200 ms after", 5000, 5200, true},
        {"250 ms after", 5000, 5250, true},
        {"answer at tick 0, 150 ms later", 0, 150, false},
        {"answer 100 ms before the wrap, request 50 ms after it", beforeWrap, 50, false},
        {"answer 100 ms before the wrap, request 150 ms after it", beforeWrap, 150, true},
        {"answer 100 ms before the wrap, request 99 ms before it", beforeWrap, beforeWrap + 1, false},
        {"request 49.7 days later, just short of a full wrap", 5000, 4999, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MayAskVerifier(c.lastVerifyTick, c.now), c.asks);
    }
}

// --- the gate on a real window ---

// What the fake verifier does and what it saw.
struct FakeVerifier {
    BOOL answer;
    void (*during)(HWND window); // extra work inside the call, may be none
    int calls;
    int deepestCall;
    int depth;
    HWND window;
    bool sawVerifying;
    bool sawClosing;
    DWORD answeredAt;
} gFake;

BOOL WINAPI FakeVerify(HWND window)
{
    ++gFake.calls;
    ++gFake.depth;
    if (gFake.depth > gFake.deepestCall)
        gFake.deepestCall = gFake.depth;
    gFake.window = window;
    gFake.sawVerifying = gShell.isVerifying;
    gFake.sawClosing = gShell.isClosing;
    if (gFake.during)
        gFake.during(window);
    // A real verifier shows a dialog with its own cursor and leaves it.
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    --gFake.depth;
    gFake.answeredAt = GetTickCount();
    return gFake.answer;
}

constexpr char GateClassName[] = "PlimzorGateTest";
constexpr UINT OtherPostedMessage = WM_APP + 7;

int gVerifyMessagesSeen;

LRESULT CALLBACK GateWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == VerifyMessage)
        ++gVerifyMessagesSeen;
    return DefaultSaverProc(window, message, wParam, lParam);
}

class CloseGate : public testing::Test {
protected:
    HWND window = nullptr;
    HWND other = nullptr;

    void SetUp() override
    {
        ResetShellState();
        gFake = {};
        gVerifyMessagesSeen = 0;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = GateWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = GateClassName;
        RegisterClassA(&windowClass); // fails harmlessly once the class exists
        window = CreateWindowExA(0, GateClassName, "gate", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        other = CreateWindowExA(0, GateClassName, "other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
        ASSERT_NE(other, nullptr);
        gShell.isWin9x = true;
        gShell.saverWindow = window;
        gShell.verifyPassword = FakeVerify;
        Drain();
    }

    void TearDown() override
    {
        ResetShellState();
        for (HWND w : {window, other})
            if (IsWindow(w))
                DestroyWindow(w);
        Drain();
        SetCursor(nullptr);
    }

    static void Drain()
    {
        MSG message;
        for (int i = 0; i < 1000 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (message.message == WM_PAINT)
                DispatchMessageA(&message);
        }
    }

    // Removes every pending message of `target` in [first, last] and returns
    // their wParams in queue order.
    static std::vector<WPARAM> Take(HWND target, UINT first, UINT last)
    {
        std::vector<WPARAM> taken;
        MSG message;
        while (PeekMessageA(&message, target, first, last, PM_REMOVE))
            taken.push_back(message.wParam);
        return taken;
    }

    void PostTicks(HWND target, int count)
    {
        for (int i = 1; i <= count; ++i)
            PostMessageA(target, WM_TIMER, static_cast<WPARAM>(i), 0);
    }
};

TEST_F(CloseGate, WithoutAVerifierClosesAtOnce)
{
    gShell.verifyPassword = nullptr;
    PostTicks(window, 3);
    EXPECT_TRUE(ConfirmClose(window));
    EXPECT_TRUE(gShell.isClosing);
    EXPECT_FALSE(gShell.isVerifying);
    EXPECT_EQ(gVerifyMessagesSeen, 0) << "nobody to ask";
    EXPECT_EQ(gShell.lastVerifyTick, NeverVerified);
    EXPECT_EQ(Take(window, WM_TIMER, WM_TIMER).size(), 3u) << "no ticks dropped without a question";
}

TEST_F(CloseGate, AsksThroughTheWindowAndTakesTheAnswer)
{
    const struct {
        const char* name;
        BOOL answer;
        bool closes;
    } cases[] = {
        {"accepted", TRUE, true},
        {"rejected", FALSE, false},
        {"accepted with another nonzero value", 7, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gShell.isClosing = false;
        gShell.lastVerifyTick = NeverVerified;
        gFake = {};
        gFake.answer = c.answer;
        gVerifyMessagesSeen = 0;
        const DWORD before = GetTickCount();
        EXPECT_EQ(ConfirmClose(window), c.closes);
        const DWORD after = GetTickCount();
        EXPECT_EQ(gVerifyMessagesSeen, 1) << "asked through the window's own procedure";
        EXPECT_EQ(gFake.calls, 1);
        EXPECT_EQ(gFake.window, window);
        EXPECT_TRUE(gFake.sawVerifying) << "isVerifying is set while the verifier runs";
        EXPECT_FALSE(gFake.sawClosing);
        EXPECT_FALSE(gShell.isVerifying) << "and cleared once it has answered";
        EXPECT_EQ(gShell.isClosing, c.closes);
        // The tick of the answer is read after it came back.
        EXPECT_LE(gShell.lastVerifyTick - gFake.answeredAt, after - gFake.answeredAt);
        EXPECT_LE(gShell.lastVerifyTick - before, after - before);
    }
}

TEST_F(CloseGate, HidesTheVerifiersCursorAgainAfterARefusal)
{
    gFake.answer = FALSE;
    SetCursor(nullptr);
    EXPECT_FALSE(ConfirmClose(window));
    EXPECT_EQ(GetCursor(), nullptr) << "the saver runs on without the dialog's arrow";
}

TEST_F(CloseGate, DropsUpToTwoPendingTicksOfItsWindowBeforeAsking)
{
    const struct {
        int posted;
        std::vector<WPARAM> left;
    } cases[] = {
        {0, {}},
        {1, {}},
        {2, {}},
        {3, {3}},
        {5, {3, 4, 5}},
    };
    gFake.answer = FALSE;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.posted << " ticks pending");
        gShell.lastVerifyTick = NeverVerified;
        PostTicks(window, c.posted);
        PostTicks(other, 2);
        PostMessageA(window, OtherPostedMessage, 0, 0);
        EXPECT_FALSE(ConfirmClose(window));
        EXPECT_EQ(Take(window, WM_TIMER, WM_TIMER), c.left) << "the oldest ones go";
        EXPECT_EQ(Take(other, WM_TIMER, WM_TIMER).size(), 2u) << "another window's ticks stay";
        EXPECT_EQ(Take(window, OtherPostedMessage, OtherPostedMessage).size(), 1u) << "other messages stay";
    }
}

TEST_F(CloseGate, WhileAskingEveryCloseIsRefusedUntouched)
{
    gShell.isVerifying = true;
    gShell.lastVerifyTick = NeverVerified;
    PostTicks(window, 2);
    EXPECT_FALSE(ConfirmClose(window));
    EXPECT_EQ(gFake.calls, 0);
    EXPECT_TRUE(gShell.isVerifying);
    EXPECT_FALSE(gShell.isClosing);
    EXPECT_EQ(gShell.lastVerifyTick, NeverVerified);
    EXPECT_EQ(Take(window, WM_TIMER, WM_TIMER).size(), 2u);
}

// A request shortly after an answer. The rule itself is checked above
// without a clock; here the gate must apply it to the real tick count, so
// a run where the machine stalled past the interval between setting the
// answer's tick and the gate's own reading is simply repeated.
TEST_F(CloseGate, RefusesWithoutAskingSoonAfterAnAnswer)
{
    gFake.answer = TRUE;
    bool checked = false;
    for (int attempt = 0; attempt < 20 && !checked; ++attempt) {
        gFake.calls = 0;
        gShell.isClosing = false;
        PostTicks(window, 2);
        const DWORD start = GetTickCount();
        const DWORD answer = start - 150;
        gShell.lastVerifyTick = answer;
        const bool result = ConfirmClose(window);
        const std::size_t ticksLeft = Take(window, WM_TIMER, WM_TIMER).size();
        if (GetTickCount() - start >= ReaskIntervalMs - 150)
            continue;
        checked = true;
        EXPECT_FALSE(result);
        EXPECT_EQ(gFake.calls, 0) << "no new question";
        EXPECT_FALSE(gShell.isClosing);
        EXPECT_EQ(gShell.lastVerifyTick, answer) << "nothing changes";
        EXPECT_EQ(ticksLeft, 2u);
    }
    EXPECT_TRUE(checked) << "the machine never answered within 50 ms";
}

TEST_F(CloseGate, AsksAgainOnceTheIntervalIsOver)
{
    gFake.answer = FALSE;
    gShell.lastVerifyTick = GetTickCount() - 250;
    EXPECT_FALSE(ConfirmClose(window));
    EXPECT_EQ(gFake.calls, 1);
    gFake.answer = TRUE;
    gShell.lastVerifyTick = GetTickCount() - 250;
    EXPECT_TRUE(ConfirmClose(window));
    EXPECT_EQ(gFake.calls, 2);
}

// --- WM_CLOSE through the default handling, and the re-entrant path ---

LRESULT gNestedCloseResult;
bool gNestedWindowAlive;

// A verifier that runs the saver window's messages while it asks: a close
// request and a key press arrive in the middle of the question.
void CloseAndTypeWhileAsking(HWND window)
{
    gNestedCloseResult = SendMessageA(window, WM_CLOSE, 0, 0);
    SendMessageA(window, WM_KEYDOWN, 'A', 1);
    gNestedWindowAlive = IsWindow(window) != FALSE;
}

TEST_F(CloseGate, CloseRequestsInsideTheQuestionAreRefused)
{
    for (BOOL answer : {FALSE, TRUE}) {
        SCOPED_TRACE(answer ? "then accepted" : "then rejected");
        gShell.lastVerifyTick = NeverVerified;
        gFake = {};
        gFake.answer = answer;
        gFake.during = CloseAndTypeWhileAsking;
        gNestedCloseResult = -1;
        gNestedWindowAlive = false;
        EXPECT_EQ(ConfirmClose(window), answer != FALSE);
        EXPECT_EQ(gNestedCloseResult, 0) << "the inner close is refused";
        EXPECT_TRUE(gNestedWindowAlive);
        EXPECT_EQ(gFake.deepestCall, 1) << "the verifier is never asked inside itself";
        EXPECT_EQ(gFake.calls, 1);
        EXPECT_TRUE(Take(window, WM_CLOSE, WM_CLOSE).empty()) << "the key decided nothing";
    }
}

TEST_F(CloseGate, RefusedCloseKeepsTheWindowAndReanchors)
{
    gFake.answer = FALSE;
    gShell.anchorCursor = {-1000, -1000};
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window));
    POINT now = {};
    GetCursorPos(&now);
    EXPECT_EQ(gShell.anchorCursor.x, now.x);
    EXPECT_EQ(gShell.anchorCursor.y, now.y);
    EXPECT_FALSE(gShell.isClosing);
}

TEST_F(CloseGate, AcceptedCloseDestroysTheWindow)
{
    gFake.answer = TRUE;
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(gShell.isClosing);
    EXPECT_EQ(gFake.calls, 1);
}

TEST_F(CloseGate, NtFamilyClosesWithoutTheGate)
{
    gShell.isWin9x = false;
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(gFake.calls, 0);
    EXPECT_FALSE(gShell.isClosing);
}

} // namespace
