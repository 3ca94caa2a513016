// The display's power: on Windows Vista and later the full-screen saver asks
// to be told when the display is switched off, dimmed or on again, and reads
// the news. Drawing a picture nobody can see only costs energy, so with the
// display off the scene rests. Earlier Windows have no such news: there the
// lookups find nothing and the saver animates throughout, as it always did.
#include "shell/shell.h"

#include <cstring>

namespace {

// The settings' GUIDs are defined in the system's static uuid library
// (winnt.h declares them); their data is a DWORD: 0 off, 1 on, 2 dimmed.
constexpr DWORD DisplayOff = 0;

} // namespace

DisplayVerdict JudgeDisplayNotification(const POWERBROADCAST_SETTING* notice)
{
    if (!notice)
        return DisplayVerdict::Ignore;
    const bool display = IsEqualGUID(notice->PowerSetting, GUID_CONSOLE_DISPLAY_STATE) ||
                         IsEqualGUID(notice->PowerSetting, GUID_MONITOR_POWER_ON);
    if (!display || notice->DataLength != sizeof(DWORD))
        return DisplayVerdict::Ignore;
    DWORD state = 0;
    std::memcpy(&state, notice->Data, sizeof state);
    // Only a display reported off rests the scene: a state this program does
    // not know is no reason to freeze the picture.
    return state == DisplayOff ? DisplayVerdict::Rest : DisplayVerdict::Run;
}

void RegisterDisplayNotification(HWND window)
{
    if (gShell.displayNotification)
        return;
    const PowerSettingCalls calls = gPlatform.loadPowerSettingCalls();
    if (!calls.registerNotification)
        return;
    // Windows 8 and later tell the console's display state (dimmed
    // included); Vista and 7 refuse it and tell the monitor's power instead.
    HANDLE notification = calls.registerNotification(window, &GUID_CONSOLE_DISPLAY_STATE, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!notification)
        notification = calls.registerNotification(window, &GUID_MONITOR_POWER_ON, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!notification)
        return;
    gShell.displayNotification = notification;
    gShell.unregisterPowerSetting = calls.unregisterNotification;
}

void UnregisterDisplayNotification()
{
    if (gShell.displayNotification && gShell.unregisterPowerSetting)
        gShell.unregisterPowerSetting(gShell.displayNotification);
    gShell.displayNotification = nullptr;
    gShell.unregisterPowerSetting = nullptr;
}
