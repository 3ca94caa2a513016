// Password protection of the Windows 9x family: the registry switch, the
// system's verifier in PASSWORD.CPL, the screen-saver-running flag while a
// verifier is loaded, the close gate with its re-ask interval, and the
// password change through MPR.DLL. On the NT family nothing here runs.
#include "shell/shell.h"

namespace {

bool PasswordSwitchedOn()
{
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    DWORD size = sizeof value;
    // A value longer than four bytes fails the read and counts as off.
    const bool read = RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return read && value != 0;
}

// Throws away one pending tick of the window, if any, so the verifier does
// not start under a backlog of frames.
void DropPendingTick(HWND window)
{
    MSG message;
    PeekMessageA(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
}

} // namespace

void SetSaverRunning(bool on)
{
    if (!gShell.isWin9x)
        return;
    UINT previous = 0;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, on ? 1 : 0, &previous, 0);
}

void LoadPasswordVerifier()
{
    if (!gShell.isWin9x)
        return;
    if (gShell.passwordModule)
        UnloadPasswordVerifier();
    if (!PasswordSwitchedOn())
        return;
    gShell.passwordModule = LoadLibraryA("PASSWORD.CPL");
    if (!gShell.passwordModule)
        return;
    gShell.verifyPassword = LookUp<VerifyPasswordFn>(gShell.passwordModule, "VerifyScreenSavePwd");
    if (gShell.verifyPassword)
        SetSaverRunning(true);
    else
        UnloadPasswordVerifier();
}

void UnloadPasswordVerifier()
{
    if (!gShell.isWin9x || !gShell.passwordModule)
        return;
    FreeLibrary(gShell.passwordModule);
    gShell.passwordModule = nullptr;
    if (gShell.verifyPassword) {
        gShell.verifyPassword = nullptr;
        SetSaverRunning(false);
    }
}

bool MayAskVerifier(DWORD lastVerifyTick, DWORD now)
{
    // DWORD subtraction wraps, so an answer just before the tick count wraps
    // and a request just after it are still close together.
    return lastVerifyTick == NeverVerified || now - lastVerifyTick >= ReaskIntervalMs;
}

bool ConfirmClose(HWND window)
{
    if (gShell.isVerifying)
        return false;
    if (!gShell.verifyPassword) {
        gShell.isClosing = true;
        return true;
    }
    if (!MayAskVerifier(gShell.lastVerifyTick, GetTickCount()))
        return false;
    gShell.isVerifying = true;
    DropPendingTick(window);
    DropPendingTick(window);
    const LRESULT answer = SendMessageA(window, VerifyMessage, 0, 0);
    gShell.isClosing = answer != 0;
    gShell.isVerifying = false;
    if (!answer)
        SetCursor(nullptr);
    gShell.lastVerifyTick = GetTickCount();
    return gShell.isClosing;
}

void ChangePassword(HWND parent)
{
    typedef DWORD(WINAPI * ChangePasswordFn)(LPCSTR, HWND, DWORD, DWORD);
    HMODULE mpr = LoadLibraryA("MPR.DLL");
    if (!mpr)
        return;
    if (auto change = LookUp<ChangePasswordFn>(mpr, "PwdChangePasswordA"))
        change("SCRSAVE", parent, 0, 0);
    FreeLibrary(mpr);
}
