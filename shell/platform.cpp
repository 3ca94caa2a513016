// The real platform calls, and the reset that puts them back.
#include "shell/platform.h"

#include <cstdlib>

#include "animation/random.h"
#include "shell/shell.h"

namespace {

Platform RealPlatform()
{
    return Platform{CreateDIBSection, CreateCompatibleBitmap, GetDC,        SetTimer,   WallClockSeconds,
                    GetCursorPos,     LoadPowerSettingCalls,  std::malloc,  std::malloc};
}

} // namespace

Platform gPlatform = RealPlatform();

void ResetPlatform()
{
    gPlatform = RealPlatform();
}
