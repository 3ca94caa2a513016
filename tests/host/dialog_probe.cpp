// Reports the settings dialog of another process for the end-to-end tests:
// waits for a dialog with the given caption (UTF-8) and prints one line for
// the dialog, then one per control:
//   dialog HWND LEFT TOP WIDTH HEIGHT OWNER FOREGROUND FOCUS
//   ID CHECKED LEFT TOP WIDTH HEIGHT TEXT      (screen coordinates)
// FOREGROUND is 1 when the dialog is the foreground window (the one keys go
// to), FOCUS the id of its control that has the keyboard focus (0: none).
// Usage: dialog_probe CAPTION [TIMEOUT_MS]. Exit code 1 when none appears.
// The caption is taken from the wide command line, which Wine decodes with
// the Unix locale's character set: run it under a UTF-8 locale.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 2;
    const wchar_t* caption = argv[1];
    const DWORD timeout = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : 10000;
    const DWORD start = GetTickCount();
    HWND dialog = nullptr;
    // The dialog is found by its caption as soon as it is created, before its
    // controls exist and before WM_INITDIALOG has filled them; the system
    // shows it only after that, so a visible dialog is a finished one.
    while (!(dialog = FindWindowW(L"#32770", caption)) || !IsWindowVisible(dialog)) {
        if (GetTickCount() - start >= timeout)
            return 1;
        Sleep(50);
    }
    RECT r = {};
    GetWindowRect(dialog, &r);
    // Another thread's focus is asked of the system, not of GetFocus.
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    int focus = 0;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread) && thread.hwndFocus &&
        GetParent(thread.hwndFocus) == dialog)
        focus = GetDlgCtrlID(thread.hwndFocus);
    std::printf("dialog %lu %ld %ld %ld %ld %lu %d %d\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(dialog)),
                r.left, r.top, r.right - r.left, r.bottom - r.top,
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(dialog, GW_OWNER))),
                GetForegroundWindow() == dialog ? 1 : 0, focus);
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        // WM_GETTEXT, not GetWindowTextW: across processes the latter only
        // sees the text a control was created with.
        wchar_t text[256] = {};
        SendMessageW(control, WM_GETTEXT, 255, reinterpret_cast<LPARAM>(text));
        char utf8[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
        GetWindowRect(control, &r);
        const LRESULT checked = SendMessageW(control, BM_GETCHECK, 0, 0);
        std::printf("%d %d %ld %ld %ld %ld %s\n", GetDlgCtrlID(control), checked == BST_CHECKED ? 1 : 0, r.left,
                    r.top, r.right - r.left, r.bottom - r.top, utf8);
    }
    return 0;
}
