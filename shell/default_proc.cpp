// Default handling of the saver window: decides when user input, loss of
// activation, or a suspend or resume closes the saver, gates WM_CLOSE
// through the password check on the Windows 9x family, answers the
// verifier's private message and the shell's AutoPlay question, and leaves
// the rest to DefWindowProcA. A close is never done where the input is seen: a WM_CLOSE
// is posted and decided when it comes back through the loop.
#include "shell/shell.h"

#include <algorithm>

namespace {

void PostClose(HWND window)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
}

LRESULT DefaultHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (gShell.autoPlayMessage && message == gShell.autoPlayMessage) {
        PostClose(window);
        // 1 cancels the AutoPlay of the inserted disc while a password
        // guards the screen.
        return gShell.verifyPassword ? 1 : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// True when the message is answered with 1 and skips default handling.
bool DecideInput(HWND window, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam)
            SetCursor(nullptr);
        break;
    case WM_ACTIVATEAPP:
        if (!wParam)
            PostClose(window);
        break;
    case WM_SETCURSOR:
        SetCursor(nullptr);
        return true;
    case WM_POWER:
        if (wParam == PWR_CRITICALRESUME)
            PostClose(window);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        PostClose(window);
        break;
    case WM_POWERBROADCAST:
        if (PowerBroadcastCloses(wParam))
            PostClose(window);
        break;
    case WM_MOUSEMOVE: {
        // The message's own coordinates are client-relative and may be
        // stale; the cursor's screen position is what counts.
        POINT now = {};
        const bool read = gPlatform.getCursorPos(&now) != FALSE;
        switch (JudgePointer(gShell.anchorKnown, gShell.anchorCursor, read, now)) {
        case PointerVerdict::Close:
            PostClose(window);
            [[fallthrough]];
        case PointerVerdict::Anchor:
            gShell.anchorCursor = now;
            gShell.anchorKnown = true;
            break;
        case PointerVerdict::Ignore:
        case PointerVerdict::Stay:
            break;
        }
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace

void TakeCursorAnchor()
{
    POINT now = {};
    gShell.anchorKnown = gPlatform.getCursorPos(&now) != FALSE;
    if (gShell.anchorKnown)
        gShell.anchorCursor = now;
}

POINT NearestPointWithin(POINT point, const RECT& area)
{
    // An empty area has no point within: nothing to move towards.
    if (area.right <= area.left || area.bottom <= area.top)
        return point;
    point.x = std::clamp<LONG>(point.x, area.left, area.right - 1);
    point.y = std::clamp<LONG>(point.y, area.top, area.bottom - 1);
    return point;
}

void TakeCursorAnchorWithin(const RECT& area)
{
    POINT now = {};
    if (gPlatform.getCursorPos(&now)) {
        gShell.anchorCursor = NearestPointWithin(now, area);
        gShell.anchorKnown = true;
    } else if (gShell.anchorKnown) {
        gShell.anchorCursor = NearestPointWithin(gShell.anchorCursor, area);
    }
}

PointerVerdict JudgePointer(bool anchorKnown, POINT anchor, bool nowKnown, POINT now)
{
    if (!nowKnown)
        return PointerVerdict::Ignore;
    if (!anchorKnown)
        return PointerVerdict::Anchor;
    return MovedBeyondThreshold(anchor, now) ? PointerVerdict::Close : PointerVerdict::Stay;
}

bool PowerBroadcastCloses(WPARAM event)
{
    switch (event) {
    // A laptop is plugged in or unplugged, or its battery has dropped by
    // another step: nobody came back, and on battery this comes again and
    // again.
    case PBT_APMPOWERSTATUSCHANGE:
    // The display's power (the saver window answers it before it gets
    // here): Windows sends one the moment the saver registers.
    case PBT_POWERSETTINGCHANGE:
        return false;
    default:
        return true;
    }
}

bool MovedBeyondThreshold(POINT anchor, POINT now)
{
    // Distances in unsigned 32-bit arithmetic, so that a jump across the
    // whole coordinate range cannot overflow into a small number.
    const UINT32 dx = now.x >= anchor.x ? UINT32(now.x) - UINT32(anchor.x) : UINT32(anchor.x) - UINT32(now.x);
    const UINT32 dy = now.y >= anchor.y ? UINT32(now.y) - UINT32(anchor.y) : UINT32(anchor.y) - UINT32(now.y);
    return dx + dy > MouseMoveThreshold;
}

LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (gShell.isPreview || gShell.isClosing)
        return DefaultHandling(window, message, wParam, lParam);

    if (message == WM_CLOSE) {
        if (gShell.isWin9x && !ConfirmClose(window)) {
            TakeCursorAnchor();
            return 0;
        }
        return DefaultHandling(window, message, wParam, lParam);
    }
    if (message == VerifyMessage) {
        if (!gShell.isWin9x)
            return DefaultHandling(window, message, wParam, lParam);
        return gShell.verifyPassword ? gShell.verifyPassword(window) : 1;
    }
    if (gShell.isVerifying)
        return DefaultHandling(window, message, wParam, lParam);
    if (DecideInput(window, message, wParam))
        return 1;
    return DefaultHandling(window, message, wParam, lParam);
}
