// The platform seam: the system calls tests replace to play a system that
// refuses a bitmap, the screen's context, the timer or memory, cannot read
// the pointer, lacks the display's power settings, whose screens change
// while the saver runs, whose clock stands still, or that is of the
// Windows 9x family. The product makes these calls only through gPlatform,
// its memory included: every block comes from the process heap and goes
// back there.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

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
PowerSettingCalls LoadPowerSettingCalls();  // power_calls.cpp
// Seconds since the Unix epoch (clock.cpp).
uint32_t WallClockSeconds();
// Seconds from 1970-01-01 00:00:00 UTC to a UTC date and time of 1970 to
// 2106, as the C runtime's time() counts them (no leap seconds).
uint32_t UnixSeconds(const SYSTEMTIME& utc);
// The process heap (memory.cpp): a block of bytes, uninitialised, or none;
// the block grown or shrunk, its contents kept (none: a new block; on
// failure the old block stays as it was); and a block given back (none is
// nothing to give).
void* HeapAllocate(size_t bytes);
void* HeapResize(void* block, size_t bytes);
void HeapRelease(void* block);

// What decides whether the SSE2 loops may run (processor.cpp).
struct Sse2Facts {
    bool cpuid;          // the processor has CPUID (the ID flag of EFLAGS changes)
    bool processorSse2;  // and CPUID reports SSE2
    bool ntFamily;       // VER_PLATFORM_WIN32_NT
    DWORD majorVersion;  // 4 for Windows 95, 98, ME and NT 4.0, 5 for 2000
    bool systemSse2;     // IsProcessorFeaturePresent says the SSE registers are saved (PF_XMMI64_INSTRUCTIONS_AVAILABLE,
                         // or Windows 2000's PF_XMMI_INSTRUCTIONS_AVAILABLE), where KERNEL32 has it
};
Sse2Facts ReadSse2Facts();
// Yes only for an SSE2 processor under the NT family from Windows 2000 on,
// whose kernel says it saves the registers: the Windows 9x family and NT
// 4.0 take the baseline whatever the processor.
bool Sse2Usable(const Sse2Facts& facts);
// Whether the system takes names and texts through its Unicode calls: the
// NT family (names.cpp).
bool SystemTakesUnicode();

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
    void* (*resize)(void*, size_t);  // the damage's cells and rectangles (damage.cpp)
    void* (*allocateRegion)(size_t);  // a clip region's rectangles, for one call (drawing.cpp)
    void (*release)(void*);           // every block of the above
    bool sse2;  // the span writer's SSE2 loops may run: read once at start (spans.cpp)
    bool unicodeCalls;  // names and texts go through the Unicode calls: read once at start (names.cpp)
};

inline Platform RealPlatform()
{
    return Platform{CreateDIBSection, CreateCompatibleBitmap, GetDC,        GetSystemMetrics, SetTimer,
                    WallClockSeconds, GetCursorPos,           LoadPowerSettingCalls, HeapAllocate, HeapAllocate,
                    HeapResize,       HeapAllocate,           HeapRelease,           Sse2Usable(ReadSse2Facts()),
                    SystemTakesUnicode()};
}

inline Platform gPlatform = RealPlatform();

// Puts every real call back.
inline void ResetPlatform()
{
    gPlatform = RealPlatform();
}
