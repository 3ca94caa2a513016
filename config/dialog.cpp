// The settings dialog's procedure: shows the loaded settings, keeps the count
// scroll bar and the count box in step, and on OK saves the colour mode and
// the count (as typed in the box) through the settings store.
#include "config/dialog.h"

#include "config/settings.h"

namespace {

// New scroll position for a WM_HSCROLL request.
int ScrollTarget(int position, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case SB_LINELEFT:
        return position - 1;
    case SB_LINERIGHT:
        return position + 1;
    case SB_PAGELEFT:
        return position - 10;
    case SB_PAGERIGHT:
        return position + 10;
    case SB_THUMBTRACK:
        return HIWORD(wParam);
    default:
        return position;
    }
}

void SaveAndClose(HWND dialog)
{
    gSettings.colorMode = IsDlgButtonChecked(dialog, Standard) ? Standard : Colorful;
    // The box's number as typed, unclamped: the next load validates it.
    gSettings.count = static_cast<int>(GetDlgItemInt(dialog, CountBoxId, nullptr, FALSE));
    // Beside the program, or in the user's own folder where that cannot be
    // written. When no file can be named or written at all there is no one
    // to tell: the dialog closes as after any OK.
    SaveSettings(gSettings.colorMode, gSettings.count);
    EndDialog(dialog, 1);
}

} // namespace

BOOL RegisterDialogClassesHook(HINSTANCE)
{
    // The dialog uses the system's control classes only.
    return TRUE;
}

void ShowCountText(HWND dialog)
{
    char text[16];
    wsprintfA(text, "%3d", gScrollPosition);
    SetWindowTextA(GetDlgItem(dialog, CountBoxId), text);
}

void ClampCountPosition(HWND dialog)
{
    if (gScrollPosition < MinCount)
        gScrollPosition = MinCount;
    if (gScrollPosition > MaxCount)
        gScrollPosition = MaxCount;
    SetScrollPos(GetDlgItem(dialog, CountScrollId), SB_CTL, gScrollPosition, TRUE);
    ShowCountText(dialog);
}

void InitCountControls(HWND dialog)
{
    SetScrollRange(GetDlgItem(dialog, CountScrollId), SB_CTL, MinCount, MaxCount, TRUE);
    ClampCountPosition(dialog);
}

INT_PTR CALLBACK ConfigureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        BuildSettingsPath(gSettingsPath);
        LoadSettings(gSettingsPath);
        CheckRadioButton(dialog, Standard, Colorful, gSettings.colorMode);
        InitCountControls(dialog);
        return TRUE;

    case WM_HSCROLL:
        // The count scroll bar is the dialog's only scroll bar.
        gScrollPosition = ScrollTarget(gScrollPosition, wParam);
        ClampCountPosition(dialog);
        gSettings.count = gScrollPosition;
        return FALSE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            SaveAndClose(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
        }

    default:
        return FALSE;
    }
}
