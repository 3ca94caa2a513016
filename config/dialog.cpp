// The settings dialog's procedure: shows the loaded settings, keeps the count
// scroll bar and the count box in step, and on OK saves the colour mode and
// the count (as typed in the box) through the settings store; when no file
// takes them, it says so and stays open.
#include "config/dialog.h"

#include "config/settings.h"
#include "platform/names.h"

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

// The message of a save that failed, built up in UTF-16, cut to fit.
constexpr int MessageSize = 2048;
struct Message {
    wchar_t text[MessageSize];
    int length;
};

void Append(Message& message, const wchar_t* text)
{
    while (*text && message.length < MessageSize - 1)
        message.text[message.length++] = *text++;
    message.text[message.length] = L'\0';
}

// Tells the user, in the dialog's language, that the settings were not
// saved: each file tried, with the system's reason, or that none could be
// named; then that OK leads back to the dialog.
void SayNotSaved(HWND dialog, const SaveOutcome& outcome)
{
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    const LANGID language = SettingsDialogLanguage(instance);
    wchar_t line[512];
    Message message = {{}, 0};
    DialogText(instance, language, NotSavedText, line, 512);
    Append(message, line);
    if (outcome.refusals == 0) {
        Append(message, L"\n\n");
        DialogText(instance, language, NoFileNamedText, line, 512);
        Append(message, line);
    }
    for (int i = 0; i < outcome.refusals; ++i) {
        Append(message, L"\n\n");
        Append(message, SettingsFilePath(outcome.refused[i]));
        Append(message, L"\n");
        if (SystemErrorText(outcome.errors[i], language, line, 512)) {
            Append(message, line);
            Append(message, L" ");
        }
        wchar_t code[12];
        DecimalText(static_cast<int>(outcome.errors[i]), code);
        Append(message, L"(");
        Append(message, code);
        Append(message, L")");
    }
    Append(message, L"\n\n");
    DialogText(instance, language, TryAgainText, line, 512);
    Append(message, line);
    wchar_t caption[128];
    DialogText(instance, language, MessageCaptionText, caption, 128);
    ShowMessage(dialog, message.text, caption, MB_OK | MB_ICONEXCLAMATION);
}

// OK: both settings saved and the dialog closed with 1; or, when no file
// takes them, the user told so and the dialog kept open, to try again or to
// cancel. Closing as after a save would lose the choice unseen.
void SaveOrSay(HWND dialog)
{
    gSettings.colorMode = IsDlgButtonChecked(dialog, Standard) ? Standard : Colorful;
    // The box's number as typed, unclamped: the next load validates it.
    gSettings.count = static_cast<int>(GetDlgItemInt(dialog, CountBoxId, nullptr, FALSE));
    // Beside the program, or in the user's own folder where that cannot be
    // written.
    const SaveOutcome outcome = SaveSettings(gSettings.colorMode, gSettings.count);
    if (outcome.place != SettingsPlace::None) {
        EndDialog(dialog, 1);
        return;
    }
    SayNotSaved(dialog, outcome);
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
            SaveOrSay(dialog);
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
