// The display's power-setting registration calls, where this Windows has
// them: USER32 of Vista and later. Looked up, never imported, so that the
// saver still starts on the systems before.
#include "platform/platform.h"

PowerSettingCalls LoadPowerSettingCalls()
{
    HMODULE user = GetModuleHandleA("USER32.DLL");
    PowerSettingCalls calls = {};
    if (!user)
        return calls;
    calls.registerNotification = LookUp<RegisterPowerSettingFn>(user, "RegisterPowerSettingNotification");
    calls.unregisterNotification = LookUp<UnregisterPowerSettingFn>(user, "UnregisterPowerSettingNotification");
    // One without the other is of no use: a registration must be undone.
    if (!calls.registerNotification || !calls.unregisterNotification)
        calls = {};
    return calls;
}
