// The part of the screen the saver covers. Where the system knows a virtual
// screen (every monitor's bounding rectangle, starting at negative
// coordinates when a monitor lies left of or above the primary), the
// full-screen window covers it and the scene is drawn over all of it. Windows
// 95 and NT 4.0 know only the primary screen: GetSystemMetrics answers 0 for
// the virtual screen there, and the primary screen stays the scene.
#include "shell/shell.h"

ScreenMetrics ReadScreenMetrics()
{
    ScreenMetrics metrics = {};
    metrics.virtualLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    metrics.virtualTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    metrics.virtualWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    metrics.virtualHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    metrics.primaryWidth = GetSystemMetrics(SM_CXSCREEN);
    metrics.primaryHeight = GetSystemMetrics(SM_CYSCREEN);
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
