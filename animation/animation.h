// The animation's entry point for the saver window: the shell hands every
// message it does not consume to AnimationProc, which always ends by passing
// the message on to DefaultSaverProc.
#pragma once

#include <windows.h>

LRESULT AnimationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
