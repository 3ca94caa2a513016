// The platform seam: every system call a test replaces to play a system
// that refuses (a bitmap, the screen's context, the timer, memory), cannot
// read the pointer, lacks the display's power settings, or whose clock
// stands still. The product makes these calls only through gPlatform,
// which holds the real ones.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// USER32's RegisterPowerSettingNotification and
// UnregisterPowerSettingNotification: Vista and later only, so looked up at
// run time and never imported.
using RegisterPowerSettingFn = HANDLE(WINAPI*)(HANDLE, const GUID*, DWORD);
using UnregisterPowerSettingFn = BOOL(WINAPI*)(HANDLE);
// The two calls where this Windows has them, else none of either.
struct PowerSettingCalls {
    RegisterPowerSettingFn registerNotification;
    UnregisterPowerSettingFn unregisterNotification;
};

struct Platform {
    // The surfaces' bitmaps (drawing.cpp).
    HBITMAP(WINAPI* createDIBSection)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
    HBITMAP(WINAPI* createCompatibleBitmap)(HDC, int, int);
    // The screen's context the snapshot is read from (scene.cpp).
    HDC(WINAPI* getDC)(HWND);
    // The animation's timer (scene.cpp).
    UINT_PTR(WINAPI* setTimer)(HWND, UINT_PTR, UINT, TIMERPROC);
    // The seconds every random step mixes in (random.cpp).
    uint32_t (*clock)();
    // The pointer, read by the default procedure (default_proc.cpp).
    BOOL(WINAPI* getCursorPos)(LPPOINT);
    // The display registration's calls (display_power.cpp).
    PowerSettingCalls (*loadPowerSettingCalls)();
    // The scene's heap records (scene.cpp), and the run cache and the span
    // writer's rows (ball_runs.cpp, spans.cpp).
    void* (*allocateRecord)(size_t);
    void* (*allocateRuns)(size_t);
};

extern Platform gPlatform;
// Puts every real call back.
void ResetPlatform();
