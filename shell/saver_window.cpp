// The saver window: registers the class, opens the full-screen or preview
// window, runs the message loop, and decides the few messages the shell owns
// (input-method detach and restore, cursor hiding, the title, system commands
// that would leave the saver, help in preview, the display's power, a screen
// that changes under the full-screen window, and everything once closing
// has been granted). The rest goes on to AnimationProc.
#include "shell/shell.h"

#include "animation/animation.h"
#include "config/settings.h"

const char SaverClassName[] = "WindowsScreenSaverClass";

namespace {

constexpr int IconId = 100;
constexpr DWORD FullScreenStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD PreviewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
constexpr char FullScreenTitle[] = "Screen Saver";
constexpr char PreviewTitle[] = "Preview";
constexpr UINT HostHelpTimeoutMs = 1000;

bool IsSystemCommandToSwallow(WPARAM command)
{
    // The whole value is compared: the low four bits are not masked.
    return command == SC_NEXTWINDOW || command == SC_PREVWINDOW || command == SC_SCREENSAVE;
}

void HideCursor()
{
    SetCursor(nullptr);
}

// --- the display's power ---

// A display power notice. It is read only where the saver asked for one:
// Windows sends it to no other window, and any program can post the
// message with a pointer that points nowhere (on the Windows 9x family, to
// end a password-protected saver by making it fault). Only the full-screen
// saver asks.
void TakeDisplayPowerNotice(HWND window, LPARAM lParam)
{
    if (!gShell.displayNotification)
        return;
    switch (JudgeDisplayNotification(reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam))) {
    case DisplayVerdict::Rest:
        RestScene(window);
        break;
    case DisplayVerdict::Run:
        WakeScene(window);
        break;
    case DisplayVerdict::Ignore:
        break;
    }
}

// --- the input method ---

// The window has no input context while the saver runs. The input-method
// module is used only when it is loaded already, never loaded here.
void DetachInputContext(HWND window)
{
    gShell.imeModule = GetModuleHandleA("IMM32.DLL");
    if (!gShell.imeModule)
        return;
    gShell.associateContext = LookUp<AssociateContextFn>(gShell.imeModule, "ImmAssociateContext");
    if (gShell.associateContext)
        gShell.detachedContext = gShell.associateContext(window, nullptr);
}

// A window that had no input context at creation gets nothing back.
void RestoreInputContext(HWND window)
{
    if (gShell.imeModule && gShell.associateContext && gShell.detachedContext)
        gShell.associateContext(window, gShell.detachedContext);
}

// --- the window's life ---

// Creation: no input context, the pointer anchored where it is, and in
// full screen the pointer hidden and, once the scene exists (Windows
// answers a registration at once with the display's state), the display's
// power asked for. A preview is not the display's own picture and is never
// registered.
LRESULT CreateShellParts(HWND window, WPARAM wParam, LPARAM lParam)
{
    DetachInputContext(window);
    TakeCursorAnchor();
    if (gShell.isPreview)
        return AnimationProc(window, WM_CREATE, wParam, lParam);
    HideCursor();
    const LRESULT created = AnimationProc(window, WM_CREATE, wParam, lParam);
    RegisterDisplayNotification(window);
    return created;
}

// Destruction: what creation took is given back, and the loop is told to
// end (the scene posts its own quit too; the loop ends at the first).
void ReleaseShellParts(HWND window)
{
    UnregisterDisplayNotification();
    RestoreInputContext(window);
    PostQuitMessage(0);
}

// --- closing, help ---

// Once closing has been granted (the Windows 9x password gate), ticks are
// dropped and paint and input go to the system's default handling.
bool HeldOnceClosing(UINT message)
{
    switch (message) {
    case WM_TIMER:
    case WM_PAINT:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        return true;
    default:
        return false;
    }
}

// A preview's host answers help for it.
void HandHelpToHost(HWND window, UINT message, LPARAM lParam)
{
    HWND host = GetParent(window);
    if (!host || !IsWindow(host))
        return;
    const WPARAM hostNumber = reinterpret_cast<WPARAM>(host);
    if (message == WM_CONTEXTMENU) {
        PostMessageA(host, message, hostNumber, lParam);
        return;
    }
    // WM_HELP carries a pointer to its HELPINFO, which the system refuses
    // to post; a send copies it into the host's process, and the time limit
    // keeps a hung host from freezing the preview.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(host, message, hostNumber, lParam, SMTO_ABORTIFHUNG, HostHelpTimeoutMs, &ignored);
}

// --- the screen ---

// The screen the full-screen window covers may have changed (a monitor
// plugged in, unplugged or woken, another mode, another primary monitor):
// the window covers the new one at once, the scene goes on at its size, and
// the pointer's anchor is taken where the change left the pointer. Called
// for the notice of a change (noticed) and before each pointer move is
// judged: the system may move the pointer off a vanishing screen before the
// notice reaches the window. A notice takes the anchor afresh even when the
// screen's rectangle stays: a monitor inside it (one of a 2x2 grid, the
// lower right of an L) may have gone, and the pointer with it.
void FollowScreenChange(HWND window, bool noticed)
{
    const RECT area = SaverScreenArea(ReadScreenMetrics());
    const bool moved = !EqualRect(&area, &gShell.screenArea);
    if (!moved && !noticed)
        return;
    // Before the window moves: a pointer the change moved, or the window's
    // new place under it, is no reason to close.
    TakeCursorAnchorWithin(area);
    if (!moved)
        return;
    const RECT was = gShell.screenArea;
    gShell.screenArea = area;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    SetWindowPos(window, nullptr, area.left, area.top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    FollowScreen(window, width, height, POINT{was.left - area.left, was.top - area.top});
}

} // namespace

bool RegisterSaverClass()
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = SaverShellProc;
    windowClass.hInstance = gShell.instance;
    windowClass.hIcon = LoadIconA(gShell.instance, MAKEINTRESOURCEA(IconId));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = SaverClassName;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateSaverWindow(HWND parent)
{
    // The window is made with the thread's own DPI awareness, so that its
    // procedure sees the screen's real pixels as the rest of the program
    // does, and the screen is read with it.
    StateThreadDpiAwareness();
    // The scene is what the full-screen window covers, every monitor, even
    // in a preview (which shows its top-left corner), with the settings as
    // they are now.
    const RECT area = SaverScreenArea(ReadScreenMetrics());
    BuildSettingsPath(gSettingsPath);
    LoadSettings(gSettingsPath);
    SceneRequest scene = {area.right - area.left, area.bottom - area.top, gSettings.colorMode, gSettings.count,
                          parent != nullptr};
    DWORD style = FullScreenStyle;
    DWORD exStyle = WS_EX_TOPMOST;
    const char* title = FullScreenTitle;
    RECT place = area;
    if (parent) {
        GetClientRect(parent, &place);
        style = PreviewStyle;
        exStyle = 0;
        title = PreviewTitle;
        gShell.isPreview = true;
    } else {
        // Over every monitor: the scene is drawn from the window's top-left
        // corner and spans the same rectangle.
        gShell.screenArea = area;
    }
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    gShell.saverWindow = CreateWindowExA(exStyle, SaverClassName, title, style, place.left, place.top, width,
                                         height, parent, nullptr, gShell.instance, &scene);
    // Set twice: where the system still scales a DPI-aware program's
    // creation size as if it were unaware (Wine's 32-bit loader does, two
    // thirds at 144 DPI, where the thread's awareness cannot be stated), the
    // window gets its size back; elsewhere this second placement changes
    // nothing.
    if (gShell.saverWindow)
        SetWindowPos(gShell.saverWindow, nullptr, place.left, place.top, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    return gShell.saverWindow;
}

int RunSaverWindow(HWND parent)
{
    if (!parent) {
        HWND running = FindWindowA(SaverClassName, FullScreenTitle);
        if (running && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        LoadPasswordVerifier();
    }
    gShell.autoPlayMessage = gShell.isWin9x ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;

    // No window, no loop: the process must not report success.
    int result = NoWindowExitCode;
    if (RegisterSaverClass() && CreateSaverWindow(parent) && IsWindow(gShell.saverWindow)) {
        if (!gShell.isPreview)
            SetForegroundWindow(gShell.saverWindow);
        MSG message = {};
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        result = static_cast<int>(message.wParam);
    }
    UnloadPasswordVerifier();
    return result;
}

LRESULT CALLBACK SaverShellProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (gShell.isClosing && HeldOnceClosing(message))
        return message == WM_TIMER ? 0 : DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return CreateShellParts(window, wParam, lParam);
    case WM_DESTROY:
        ReleaseShellParts(window);
        break;
    case WM_POWERBROADCAST:
        // Before the closing rules: the display's power is not the user
        // coming back.
        if (wParam == PBT_POWERSETTINGCHANGE) {
            TakeDisplayPowerNotice(window, lParam);
            return TRUE;
        }
        break;
    case WM_SETTEXT:
        // The title never changes.
        return 0;
    case WM_PAINT:
        if (!gShell.isPreview)
            HideCursor();
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (gShell.isPreview) {
            HandHelpToHost(window, message, lParam);
            return 1;
        }
        break;
    case WM_DISPLAYCHANGE:
    case WM_MOUSEMOVE:
        // Only the full-screen window covers the screen; a preview follows
        // its host.
        if (!gShell.isPreview && !gShell.isClosing)
            FollowScreenChange(window, message == WM_DISPLAYCHANGE);
        break;
    case WM_SYSCOMMAND:
        if (!gShell.isPreview && IsSystemCommandToSwallow(wParam))
            return 0;
        break;
    case WM_TIMER:
        // The rest of the time slice, once a frame.
        Sleep(0);
        break;
    default:
        break;
    }
    return AnimationProc(window, message, wParam, lParam);
}
