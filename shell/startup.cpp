// Start-up and command line: finds the switch behind the program name, tells
// the Windows 9x family from the others, dispatches on the switch letter and
// ends the process with the mode's result. Owns ShellState.
#include "shell/shell.h"

#include "config/dialog.h"

namespace {

ShellState InitialShellState()
{
    ShellState state = {};
    state.lastVerifyTick = NeverVerified;
    return state;
}

bool IsSwitchSeparator(char c)
{
    return c == ' ' || c == '-' || c == '/';
}

// The parent a switch named, when it names a window; else the window the
// user is working in (which may be none).
HWND WindowOrForeground(HWND named)
{
    return named && IsWindow(named) ? named : GetForegroundWindow();
}

const char* SkipSpaces(const char* p)
{
    while (*p == ' ')
        ++p;
    return p;
}

int DispatchSwitch(void* arg)
{
    const SwitchChoice choice = ParseSwitch(static_cast<const char*>(arg), gShell.isWin9x);
    switch (choice.mode) {
    case SaverMode::FullScreen:
        return RunSaverWindow(nullptr);
    case SaverMode::Preview:
        return RunPreview(choice.rest);
    case SaverMode::ChangePassword:
        return RunChangePassword(choice.rest);
    case SaverMode::Settings: {
        if (!choice.fromSwitch)
            return ShowSettingsDialog(nullptr);
        return ShowSettingsDialog(WindowOrForeground(choice.hasColonNumber ? ParseWindowNumber(choice.rest) : nullptr));
    }
    case SaverMode::Invalid:
        break;
    }
    return -1;
}

} // namespace

ShellState gShell = InitialShellState();

void ResetShellState()
{
    gShell = InitialShellState();
}

const char* SkipProgramName(const char* p)
{
    if (*p == '"') {
        do
            p = CharNextA(p);
        while (*p && *p != '"');
        if (*p == '"')
            ++p;
    } else if (static_cast<unsigned char>(*p) > 0x20) {
        do
            p = CharNextA(p);
        while (static_cast<unsigned char>(*p) > 0x20);
    }
    // Every control character counts as white space here, tabs included.
    while (*p && static_cast<unsigned char>(*p) <= 0x20)
        p = CharNextA(p);
    return p;
}

void SaverStartup()
{
    const char* text = SkipProgramName(GetCommandLineA());
    const int code = SaverMain(GetModuleHandleA(nullptr), text);
    // Straight out, without the runtime's exit processing.
    ExitProcess(static_cast<UINT>(code));
}

SwitchChoice ParseSwitch(const char* p, bool isWin9x)
{
    while (IsSwitchSeparator(*p))
        ++p;
    SwitchChoice choice = {SaverMode::Invalid, p, false, false};
    switch (*p) {
    case '\0':
        choice.mode = SaverMode::Settings;
        break;
    case 'S':
    case 's':
        choice.mode = SaverMode::FullScreen;
        break;
    case 'P':
    case 'p':
    case 'L':
    case 'l':
        choice.mode = SaverMode::Preview;
        choice.rest = SkipSpaces(p + 1);
        break;
    case 'C':
    case 'c':
        choice.mode = SaverMode::Settings;
        choice.fromSwitch = true;
        choice.rest = p + 1;
        if (*choice.rest == ':') {
            choice.hasColonNumber = true;
            ++choice.rest;
        }
        break;
    case 'A':
    case 'a':
        // Only the Windows 9x family has a saver password to change.
        if (isWin9x) {
            choice.mode = SaverMode::ChangePassword;
            choice.rest = SkipSpaces(p + 1);
        }
        break;
    default:
        break;
    }
    return choice;
}

int SaverMain(HINSTANCE instance, const char* text)
{
    gShell.instance = instance;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    gShell.isWin9x = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    return RunGuarded(DispatchSwitch, const_cast<char*>(text));
}

HWND ParseWindowNumber(const char* text)
{
    // Unsigned 32-bit arithmetic on purpose: numbers wrap modulo 2^32 as the
    // host's window numbers do.
    UINT32 value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + static_cast<UINT32>(*p - '0');
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
}

int RunPreview(const char* text)
{
    HWND host = ParseWindowNumber(text);
    if (host && IsWindow(host))
        return RunSaverWindow(host);
    return -1;
}

int ShowSettingsDialog(HWND parent)
{
    if (!RegisterDialogClassesHook(gShell.instance))
        return 0;
    // The system's resource loader picks Japanese or English, except where
    // its Japanese choice would be unreadable.
    if (const DLGTEMPLATE* english = EnglishTemplateInstead(gShell.instance))
        return static_cast<int>(
            DialogBoxIndirectParamA(gShell.instance, english, parent, ConfigureDialogProc, 0));
    return static_cast<int>(DialogBoxParamA(gShell.instance, MAKEINTRESOURCEA(SettingsDialogId), parent,
                                            ConfigureDialogProc, 0));
}

int RunChangePassword(const char* text)
{
    ChangePassword(WindowOrForeground(ParseWindowNumber(text)));
    return 0;
}
