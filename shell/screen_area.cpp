// The part of the screen the saver covers. Where the system knows a virtual
// screen (every monitor's bounding rectangle, starting at negative
// coordinates when a monitor lies left of or above the primary), the
// full-screen window covers it and the scene is drawn over all of it. Windows
// 95 and NT 4.0 know only the primary screen: GetSystemMetrics answers 0 for
// the virtual screen there, and the primary screen stays the scene. Also the
// DPI awareness the saver's windows are made with, so that the screen reads
// the same inside the window procedure as outside it.
#include "shell/shell.h"

ScreenMetrics ReadScreenMetrics()
{
    ScreenMetrics metrics = {};
    metrics.virtualLeft = gPlatform.getSystemMetrics(SM_XVIRTUALSCREEN);
    metrics.virtualTop = gPlatform.getSystemMetrics(SM_YVIRTUALSCREEN);
    metrics.virtualWidth = gPlatform.getSystemMetrics(SM_CXVIRTUALSCREEN);
    metrics.virtualHeight = gPlatform.getSystemMetrics(SM_CYVIRTUALSCREEN);
    metrics.primaryWidth = gPlatform.getSystemMetrics(SM_CXSCREEN);
    metrics.primaryHeight = gPlatform.getSystemMetrics(SM_CYSCREEN);
    return metrics;
}

RECT SaverScreenArea(const ScreenMetrics& metrics)
{
    // An empty virtual screen is one the system does not know; its origin
    // then means nothing either.
    if (metrics.virtualWidth <= 0 || metrics.virtualHeight <= 0)
        return RECT{0, 0, metrics.primaryWidth, metrics.primaryHeight};
    return RECT{metrics.virtualLeft, metrics.virtualTop, metrics.virtualLeft + metrics.virtualWidth,
                metrics.virtualTop + metrics.virtualHeight};
}

INT_PTR DpiContextForAwareness(int awareness)
{
    // DPI_AWARENESS_CONTEXT_UNAWARE, _SYSTEM_AWARE and _PER_MONITOR_AWARE are
    // the handles -1, -2 and -3; anything else is no awareness to state.
    return awareness >= 0 && awareness <= 2 ? -1 - awareness : 0;
}

void StateThreadDpiAwareness()
{
    // Windows 10 1607 and later; before them the manifest alone decides,
    // and windows take the process's awareness.
    using GetThreadContextFn = HANDLE(WINAPI*)();
    using SetThreadContextFn = HANDLE(WINAPI*)(HANDLE);
    using AwarenessOfFn = int(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleA("USER32.DLL");
    if (!user32)
        return;
    const auto threadContext = LookUp<GetThreadContextFn>(user32, "GetThreadDpiAwarenessContext");
    const auto setThreadContext = LookUp<SetThreadContextFn>(user32, "SetThreadDpiAwarenessContext");
    const auto awarenessOf = LookUp<AwarenessOfFn>(user32, "GetAwarenessFromDpiAwarenessContext");
    if (!threadContext || !setThreadContext || !awarenessOf)
        return;
    // The thread's awareness said outright, as what it already is (the
    // manifest's, or what the user's compatibility settings made of it).
    // Wine's 32-bit loader otherwise makes the windows of a system-aware
    // thread unaware: inside their procedure the screen then reads two
    // thirds of its size at 144 DPI, and the scene built there, its
    // invalidations and its paints all covered two thirds of the screen.
    if (const INT_PTR context = DpiContextForAwareness(awarenessOf(threadContext())))
        setThreadContext(reinterpret_cast<HANDLE>(context));
}
