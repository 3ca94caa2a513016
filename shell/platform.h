// The platform seam: the system calls tests replace to play a system that
// refuses a bitmap, the screen's context, the timer or memory, cannot read
// the pointer, lacks the display's power settings, whose screens change
// while the saver runs, or whose clock stands still. The product makes
// these calls only through gPlatform.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>

// A function of a system module looked up at run time, or none: one that
// older Windows lack (so that importing it would keep the saver from
// starting there), or one of a module used only when it is already loaded.
template <typename Fn>
Fn LookUp(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

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
PowerSettingCalls LoadPowerSettingCalls();  // display_power.cpp
// Seconds since the Unix epoch (random.cpp).
uint32_t WallClockSeconds();

struct Platform {
    // The surfaces' bitmaps (drawing.cpp).
    HBITMAP(WINAPI* createDIBSection)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
    HBITMAP(WINAPI* createCompatibleBitmap)(HDC, int, int);
    HDC(WINAPI* getDC)(HWND);                                     // the screen, for the snapshot (scene.cpp)
    int(WINAPI* getSystemMetrics)(int);  // the screens' sizes (screen_area.cpp, scene.cpp)
    UINT_PTR(WINAPI* setTimer)(HWND, UINT_PTR, UINT, TIMERPROC);  // the animation's timer (scene.cpp)
    uint32_t (*clock)();                                          // mixed into every random step (random.cpp)
    BOOL(WINAPI* getCursorPos)(LPPOINT);                          // the default procedure's (default_proc.cpp)
    PowerSettingCalls (*loadPowerSettingCalls)();                 // the display registration (display_power.cpp)
    void* (*allocateRecord)(size_t);                              // the scene's records (scene.cpp)
    void* (*allocateRuns)(size_t);  // the run cache and the span writer's rows (ball_runs.cpp, spans.cpp)
};

inline Platform RealPlatform()
{
    return Platform{CreateDIBSection, CreateCompatibleBitmap, GetDC,       GetSystemMetrics, SetTimer,
                    WallClockSeconds, GetCursorPos,           LoadPowerSettingCalls, std::malloc, std::malloc};
}

inline Platform gPlatform = RealPlatform();

// Puts every real call back.
inline void ResetPlatform()
{
    gPlatform = RealPlatform();
}
