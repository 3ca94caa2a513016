// Placeholder until the animation lands: every message goes on to the
// default handling.
#include "animation/animation.h"

#include "shell/shell.h"

LRESULT AnimationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefaultSaverProc(window, message, wParam, lParam);
}
