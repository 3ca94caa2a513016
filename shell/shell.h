// The saver shell: process entry, command line, the saver window and its
// loop, the default message handling that closes the saver, and the password
// gate of the Windows 9x family. ShellState is the shell's one process-wide
// record; the functions below are the seams the other subsystems call.
#pragma once

#include <windows.h>

#include "platform/platform.h"

// Movement of the cursor from the anchor, as |dx| + |dy|, that is still not
// enough to close the saver.
constexpr unsigned MouseMoveThreshold = 4;

// Private message by which the close gate asks the verifier through the
// saver window itself.
constexpr UINT VerifyMessage = WM_APP;

// Minimum time between two questions to the password verifier.
constexpr DWORD ReaskIntervalMs = 200;

// lastVerifyTick before the verifier has ever answered.
constexpr DWORD NeverVerified = 0xFFFFFFFF;

// Exit code when the saver window cannot be registered or created.
constexpr int NoWindowExitCode = 2;

typedef HIMC(WINAPI* AssociateContextFn)(HWND, HIMC);
typedef BOOL(WINAPI* VerifyPasswordFn)(HWND);

// --- the display's power (Windows Vista and later) ---
// The headers declare these only for targets newer than PLIMZOR's, so they
// are spelt here as the system defines them.
constexpr WPARAM PBT_POWERSETTINGCHANGE = 0x8013;
struct POWERBROADCAST_SETTING {
    GUID PowerSetting;
    DWORD DataLength;
    UCHAR Data[1];
};

struct ShellState {
    HINSTANCE instance;
    bool isWin9x;
    HWND saverWindow;
    bool isPreview;
    UINT autoPlayMessage;
    HMODULE imeModule;
    AssociateContextFn associateContext;
    HIMC detachedContext;
    POINT anchorCursor;
    bool anchorKnown;  // false while no pointer position could be read
    bool isClosing;
    bool isVerifying;
    HMODULE passwordModule;
    VerifyPasswordFn verifyPassword;
    DWORD lastVerifyTick;
    HANDLE displayNotification;  // none before Vista, in a preview, or when refused
    UnregisterPowerSettingFn unregisterPowerSetting;
    RECT screenArea;  // what the full-screen window was last placed over (SaverScreenArea)
};

extern ShellState gShell;

// Puts every field back to its value at process start (tests run several
// windows in one process; the saver itself never calls this).
void ResetShellState();

// --- start-up and command line ---
[[noreturn]] void SaverStartup();
// Skips the program name and the white space behind it.
const char* SkipProgramName(const char* commandLine);
int SaverMain(HINSTANCE instance, const char* text);
HWND ParseWindowNumber(const char* text);
int RunPreview(const char* text);
int ShowSettingsDialog(HWND parent);
int RunChangePassword(const char* text);

// What the dispatcher decided for a switch text, without running it.
enum class SaverMode { Settings, FullScreen, Preview, ChangePassword, Invalid };
struct SwitchChoice {
    SaverMode mode;
    const char* rest;     // text after the letter (and the spaces it skips)
    bool fromSwitch;      // settings by its letter, not by an empty text
    bool hasColonNumber;  // settings letter followed by ':'
};
SwitchChoice ParseSwitch(const char* text, bool isWin9x);

// Runs mode(arg) under the fault guard. A fault that escapes it is reported
// to the platform, the screen-saver-running flag is switched off and the
// fault's exception code (never 0) is returned, as Windows itself reports a
// process that died of it.
int RunGuarded(int (*mode)(void*), void* arg);

// --- the screen the saver covers ---
// What the system reports about its screens, as GetSystemMetrics answers.
struct ScreenMetrics {
    int virtualLeft;    // SM_XVIRTUALSCREEN
    int virtualTop;     // SM_YVIRTUALSCREEN
    int virtualWidth;   // SM_CXVIRTUALSCREEN: 0 on Windows 95 and NT 4.0
    int virtualHeight;  // SM_CYVIRTUALSCREEN: the same
    int primaryWidth;   // SM_CXSCREEN
    int primaryHeight;  // SM_CYSCREEN
};
ScreenMetrics ReadScreenMetrics();
// The rectangle, in screen coordinates, that the full-screen window covers
// and the scene covers: the virtual screen, or the primary screen at (0, 0)
// where the system knows no virtual screen.
RECT SaverScreenArea(const ScreenMetrics& metrics);
// The DPI awareness context handle that states an awareness (0 unaware, 1
// system-aware, 2 per-monitor aware), or 0 for any other value.
INT_PTR DpiContextForAwareness(int awareness);
// Makes the calling thread's DPI awareness explicit, as what it already is,
// so that the windows it creates take it (nothing where the system has no
// per-thread awareness).
void StateThreadDpiAwareness();

// --- saver window ---
int RunSaverWindow(HWND parent);
// The two steps of RunSaverWindow before its loop, for tests that drive the
// window's messages themselves.
bool RegisterSaverClass();
HWND CreateSaverWindow(HWND parent);
LRESULT CALLBACK SaverShellProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
extern const char SaverClassName[];

// --- default handling and closing ---
LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool MovedBeyondThreshold(POINT anchor, POINT now);

// What a mouse move means. The pointer cannot always be read (the saver's
// desktop is not the input desktop in a disconnected remote session or
// after a desktop switch), and a position that was not read is never
// movement: the saver closes only on a real move from a real anchor.
enum class PointerVerdict {
    Ignore,  // nothing read now: no movement, anchor kept
    Anchor,  // the first position read: it becomes the anchor
    Stay,    // within the threshold of the anchor
    Close,   // beyond it: close, and the anchor moves here
};
PointerVerdict JudgePointer(bool anchorKnown, POINT anchor, bool nowKnown, POINT now);
// Takes the anchor where the pointer is now, if it can be read.
void TakeCursorAnchor();
// The nearest point of area to point: where the system puts a pointer that
// a shrinking screen left outside.
POINT NearestPointWithin(POINT point, const RECT& area);
// After the screen changed to area: the anchor is where the pointer is now,
// or will be once the system has moved it within the new screen, so that
// the move the change made is not taken for the user's.
void TakeCursorAnchorWithin(const RECT& area);

// Which power broadcasts (WM_POWERBROADCAST's wParam) close the saver:
// suspend, resume and the rest, but not a change of power source or battery
// level, nor a power setting's news.
bool PowerBroadcastCloses(WPARAM event);

// --- the display's power (display_power.cpp) ---
// What a display power notification asks of the scene.
enum class DisplayVerdict {
    Ignore,  // another setting, a malformed notice, or none
    Rest,    // the display is off: nobody can see the picture
    Run,     // the display is on or dimmed
};
// Reads a PBT_POWERSETTINGCHANGE's notice (which may be none): only
// GUID_CONSOLE_DISPLAY_STATE or GUID_MONITOR_POWER_ON with a DWORD of data.
DisplayVerdict JudgeDisplayNotification(const POWERBROADCAST_SETTING* notice);
// Asks that the window be told of the display's power, by the setting of
// Windows 8 and later or, where that is refused, the one of Vista and 7.
void RegisterDisplayNotification(HWND window);
void UnregisterDisplayNotification();

// --- password protection (Windows 9x family) ---
void SetSaverRunning(bool on);
void LoadPasswordVerifier();
void UnloadPasswordVerifier();
bool ConfirmClose(HWND window);
void ChangePassword(HWND parent);
// True when a close request at `now` may ask the verifier, given the tick of
// the last answer (NeverVerified when there was none); wraps at 2^32.
bool MayAskVerifier(DWORD lastVerifyTick, DWORD now);
