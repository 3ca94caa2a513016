// The settings dialog driven through its real template and procedure: the
// test starts it exactly as the configure switch does and acts inside its
// modal loop from a thread timer, then looks at the result and the file.
#include <gtest/gtest.h>

#include "config/dialog.h"
#include "config/settings.h"
#include "settings_fixture.h"
#include "shell/shell.h"

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::function<void(HWND)> gScript;
// The settings dialog the script runs in, once it is up.
HWND gSettingsDialog = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770" && window != gSettingsDialog) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// This thread's dialog window other than the settings dialog (the settings
// dialog itself before it is known), or none yet.
HWND NewDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK RunScript(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = NewDialog();
    if (!dialog)
        return; // not up yet: the timer fires again
    KillTimer(nullptr, timer);
    gSettingsDialog = dialog;
    gScript(dialog);
}

std::string ReadFile(const std::wstring& path)
{
    return FileBytes(path);
}

class SettingsDialog : public testing::Test {
protected:
    // Each test its own APPDATA: a per-user file left behind would change
    // what the next test reads.
    TemporaryAppData appData;
    std::wstring iniPath;
    std::string iniPathA;

    void SetUp() override
    {
        ResetShellState();
        gShell.instance = GetModuleHandleA(nullptr);
        wchar_t path[MAX_PATH];
        BuildSettingsPath(path);
        iniPath = path;
        iniPathA = std::string(iniPath.begin(), iniPath.end()); // the test program's folder is ASCII
        DeleteFileW(iniPath.c_str());
    }
    void TearDown() override { DeleteFileW(iniPath.c_str()); }

    void Store(const char* mode, const char* count)
    {
        WritePrivateProfileStringA("PLIMZOR", "PLIM_MODE", mode, iniPathA.c_str());
        WritePrivateProfileStringA("PLIMZOR", "PLIM_KOSU", count, iniPathA.c_str());
    }

    // Shows the dialog as the configure switch does and runs `script` inside
    // it; the script must end the dialog.
    int Run(std::function<void(HWND)> script)
    {
        gScript = std::move(script);
        gSettingsDialog = nullptr;
        SetTimer(nullptr, 0, 10, RunScript);
        return ShowSettingsDialog(nullptr);
    }

    std::string Stored(const char* key)
    {
        char value[64] = {};
        GetPrivateProfileStringA("PLIMZOR", key, "(absent)", value, sizeof value, iniPathA.c_str());
        return value;
    }
};

std::string BoxText(HWND dialog)
{
    char text[32] = {};
    GetDlgItemTextA(dialog, CountBoxId, text, sizeof text);
    return text;
}

int Thumb(HWND dialog)
{
    return GetScrollPos(GetDlgItem(dialog, CountScrollId), SB_CTL);
}

LRESULT Scroll(HWND dialog, WORD code, WORD thumb = 0)
{
    return ConfigureDialogProc(dialog, WM_HSCROLL, MAKEWPARAM(code, thumb),
                               reinterpret_cast<LPARAM>(GetDlgItem(dialog, CountScrollId)));
}

void Press(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

TEST_F(SettingsDialog, ShowsTheDefaultsWithoutAFileAndOkWritesThem)
{
    const int result = Run([](HWND dialog) {
        EXPECT_TRUE(IsDlgButtonChecked(dialog, Standard));
        EXPECT_FALSE(IsDlgButtonChecked(dialog, Colorful));
        EXPECT_EQ(BoxText(dialog), " 10");
        EXPECT_EQ(Thumb(dialog), 10);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    // The mode first, then the count, without the box's padding.
    EXPECT_EQ(ReadFile(iniPath), "[PLIMZOR]\r\nPLIM_MODE=1000\r\nPLIM_KOSU=10\r\n");
}

TEST_F(SettingsDialog, ShowsTheStoredSettings)
{
    Store("1001", "200");
    const int result = Run([](HWND dialog) {
        EXPECT_TRUE(IsDlgButtonChecked(dialog, Colorful));
        EXPECT_FALSE(IsDlgButtonChecked(dialog, Standard));
        EXPECT_EQ(BoxText(dialog), "200");
        EXPECT_EQ(Thumb(dialog), 200);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Stored("PLIM_MODE"), "1001");
    EXPECT_EQ(Stored("PLIM_KOSU"), "200");
}

TEST_F(SettingsDialog, ScrollRequestsMoveAndClampTheCount)
{
    const struct {
        const char* start;
        WORD code;
        WORD thumb;
        const char* text;
        int position;
    } cases[] = {
        {"1", SB_LINELEFT, 0, "  1", 1},
        {"1", SB_PAGELEFT, 0, "  1", 1},
        {"5", SB_PAGELEFT, 0, "  1", 1},
        {"250", SB_PAGERIGHT, 0, "255", 255},
        {"255", SB_LINERIGHT, 0, "255", 255},
        {"10", SB_LINERIGHT, 0, " 11", 11},
        {"10", SB_PAGERIGHT, 0, " 20", 20},
        {"42", SB_THUMBTRACK, 7, "  7", 7},
        {"42", SB_THUMBPOSITION, 99, " 42", 42}, // the release keeps the tracked place
        {"42", SB_LEFT, 0, " 42", 42},
        {"42", SB_RIGHT, 0, " 42", 42},
        {"42", SB_ENDSCROLL, 0, " 42", 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.start << " code " << c.code);
        Store("1000", c.start);
        Run([&](HWND dialog) {
            EXPECT_EQ(Scroll(dialog, c.code, c.thumb), FALSE);
            EXPECT_EQ(BoxText(dialog), c.text);
            EXPECT_EQ(Thumb(dialog), c.position);
            EXPECT_EQ(gSettings.count, c.position);
            Press(dialog, IDCANCEL);
        });
    }
}

TEST_F(SettingsDialog, ThumbTrackThenReleaseKeepsTheTrackedCount)
{
    const int result = Run([](HWND dialog) {
        Scroll(dialog, SB_THUMBTRACK, 128);
        EXPECT_EQ(BoxText(dialog), "128");
        Scroll(dialog, SB_THUMBPOSITION, 128);
        Scroll(dialog, SB_ENDSCROLL);
        EXPECT_EQ(BoxText(dialog), "128");
        EXPECT_EQ(Thumb(dialog), 128);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Stored("PLIM_KOSU"), "128");
}

TEST_F(SettingsDialog, OkWritesTheBoxAsTypedUnclamped)
{
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {
        {"300", "300"},
        {"", "0"},
        {"0", "0"},
        {"3000000000", "-1294967296"}, // 32 bits read back as signed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        DeleteFileW(iniPath.c_str());
        const int result = Run([&](HWND dialog) {
            SetDlgItemTextA(dialog, CountBoxId, c.typed);
            Press(dialog, IDOK);
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(Stored("PLIM_KOSU"), c.written);
        LoadSettings(iniPath.c_str());
        EXPECT_EQ(gSettings.count, 10) << "out of range loads as the default";
    }
}

TEST_F(SettingsDialog, ScrollingAfterTypingStartsFromTheScrollPosition)
{
    Run([](HWND dialog) {
        SetDlgItemTextA(dialog, CountBoxId, "50");
        Scroll(dialog, SB_LINERIGHT);
        EXPECT_EQ(BoxText(dialog), " 11");
        Press(dialog, IDOK);
    });
    EXPECT_EQ(Stored("PLIM_KOSU"), "11");
}

TEST_F(SettingsDialog, RadioChoiceIsSaved)
{
    Run([](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, Colorful), BM_CLICK, 0, 0);
        EXPECT_FALSE(IsDlgButtonChecked(dialog, Standard)) << "both buttons are one group";
        Press(dialog, IDOK);
    });
    EXPECT_EQ(Stored("PLIM_MODE"), "1001");
}

TEST_F(SettingsDialog, CancelLeavesTheFileByteForByte)
{
    // Written by hand, in a layout the dialog itself would not produce.
    {
        std::ofstream out(iniPathA, std::ios::binary);
        out << "; kept\r\n[PLIMZOR]\r\nPLIM_KOSU = 77\r\nPLIM_MODE=1001\r\n";
    }
    const std::string before = ReadFile(iniPath);
    const int result = Run([](HWND dialog) {
        Scroll(dialog, SB_PAGERIGHT);
        SendMessageA(GetDlgItem(dialog, Standard), BM_CLICK, 0, 0);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(iniPath), before);
}

TEST_F(SettingsDialog, CancelWithoutAFileCreatesNone)
{
    EXPECT_EQ(Run([](HWND dialog) { Press(dialog, IDCANCEL); }), 0);
    EXPECT_EQ(GetFileAttributesW(iniPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The message box the dialog shows, read and closed from a thread timer
// while it runs its own modal loop.
std::wstring gMessage;

void CALLBACK ReadAndCloseMessage(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = NewDialog();
    if (!box)
        return;
    KillTimer(nullptr, timer);
    wchar_t caption[128] = {};
    GetWindowTextW(box, caption, 127);
    wchar_t text[2048] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 2047); // a message box's text
    gMessage = std::wstring(caption) + L"|" + text;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(SettingsDialog, WithNowhereToSaveOkSaysWhyAndStaysOpen)
{
    const std::wstring unwritable = appData.folder + L"\\no such folder\\PLIMZOR.INI";
    // In Japanese, as the dialog (this program runs with a Japanese locale):
    // "設定を保存できませんでした。" and "OK を押すと設定に戻ります。".
    const std::wstring NotSaved = L"\u8a2d\u5b9a\u3092\u4fdd\u5b58\u3067\u304d\u307e\u305b\u3093\u3067\u3057\u305f\u3002";
    const std::wstring TryAgain = L"OK \u3092\u62bc\u3059\u3068\u8a2d\u5b9a\u306b\u623b\u308a\u307e\u3059";
    const struct {
        const char* name;
        bool named;
        std::vector<std::wstring> said; // each in the message, in this order
    } cases[] = {
        // As when the program's path is too long to name a settings file and
        // there is no APPDATA.
        {"no file can be named", false, {NotSaved, L"\u8a2d\u5b9a\u30d5\u30a1\u30a4\u30eb\u306e\u5834\u6240", TryAgain}},
        {"neither file takes them", true,
         {NotSaved, unwritable, L"(3)", appData.UserFile(BesideFileName()), L"(3)", TryAgain}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gMessage.clear();
        const int result = Run([&](HWND dialog) {
            if (c.named) {
                // Beside the program in a folder that does not exist, and an
                // APPDATA that is gone.
                lstrcpyW(gProgramSettingsPath, unwritable.c_str());
                RemoveDirectoryW(appData.folder.c_str());
            } else {
                gProgramSettingsPath[0] = L'\0';
                gUserSettingsPath[0] = L'\0';
            }
            SetDlgItemTextA(dialog, CountBoxId, "33");
            SetTimer(nullptr, 0, 10, ReadAndCloseMessage);
            // Shown now, so that an EndDialog would show: it hides the dialog.
            ShowWindow(dialog, SW_SHOW);
            Press(dialog, IDOK);
            EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays for another try";
            Press(dialog, IDCANCEL);
        });
        CreateDirectoryW(appData.folder.c_str(), nullptr);
        EXPECT_EQ(result, 0) << "closed by Cancel, never as after a save";
        // The caption, then each part in order.
        EXPECT_EQ(gMessage.substr(0, gMessage.find(L'|')), L"PLIMZOR\u30b9\u30af\u30ea\u30fc\u30f3\u30bb\u30a4\u30d0\u30fc");
        size_t at = 0;
        for (const std::wstring& part : c.said) {
            const size_t found = gMessage.find(part, at);
            EXPECT_NE(found, std::wstring::npos) << "missing or out of order: " << testing::PrintToString(part);
            at = found == std::wstring::npos ? at : found + part.size();
        }
        EXPECT_EQ(GetFileAttributesW(iniPath.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetFileAttributesW(appData.UserFolder().c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(SettingsDialog, OkInAProgramFolderThatCannotBeWrittenSavesPerUser)
{
    const std::wstring userFile = appData.UserFile(BesideFileName());
    const std::wstring unwritable = appData.folder + L"\\no such folder\\PLIMZOR.INI";
    // A settings path in a folder that does not exist fails the write as a
    // read-only folder does.
    const int result = Run([&](HWND dialog) {
        lstrcpyW(gProgramSettingsPath, unwritable.c_str());
        SendMessageA(GetDlgItem(dialog, Colorful), BM_CLICK, 0, 0);
        SetDlgItemTextA(dialog, CountBoxId, "42");
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadFile(userFile), "[PLIMZOR]\r\nPLIM_MODE=1001\r\nPLIM_KOSU=42\r\n");
    EXPECT_EQ(GetFileAttributesW(iniPath.c_str()), INVALID_FILE_ATTRIBUTES);

    // The dialog opened again finds the choice, and saves it where it found
    // it, even though beside the program could be written now.
    Run([](HWND dialog) {
        EXPECT_TRUE(IsDlgButtonChecked(dialog, Colorful));
        EXPECT_EQ(BoxText(dialog), " 42");
        Scroll(dialog, SB_LINERIGHT);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(ReadFile(userFile), "[PLIMZOR]\r\nPLIM_MODE=1001\r\nPLIM_KOSU=43\r\n");
    EXPECT_EQ(GetFileAttributesW(iniPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsDialog, APerUserFileWinsOverTheFileBesideTheProgram)
{
    Store("1000", "20");
    const std::string before = ReadFile(iniPath);
    const std::wstring userFile = appData.UserFile(BesideFileName());
    CreateDirectoryW(appData.UserFolder().c_str(), nullptr);
    WritePrivateProfileStringW(L"PLIMZOR", L"PLIM_MODE", L"1001", userFile.c_str());
    WritePrivateProfileStringW(L"PLIMZOR", L"PLIM_KOSU", L"200", userFile.c_str());
    Run([](HWND dialog) {
        EXPECT_TRUE(IsDlgButtonChecked(dialog, Colorful));
        EXPECT_EQ(BoxText(dialog), "200");
        Scroll(dialog, SB_PAGELEFT);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(ReadFile(userFile), "[PLIMZOR]\r\nPLIM_MODE=1001\r\nPLIM_KOSU=190\r\n");
    EXPECT_EQ(ReadFile(iniPath), before);
}

TEST_F(SettingsDialog, ProcedureResults)
{
    Run([](HWND dialog) {
        EXPECT_EQ(ConfigureDialogProc(dialog, WM_COMMAND, MAKEWPARAM(Standard, BN_CLICKED), 0), FALSE);
        EXPECT_EQ(ConfigureDialogProc(dialog, WM_COMMAND, MAKEWPARAM(CountBoxId, EN_CHANGE), 0), FALSE);
        EXPECT_EQ(ConfigureDialogProc(dialog, WM_MOUSEMOVE, 0, 0), FALSE);
        EXPECT_EQ(ConfigureDialogProc(dialog, WM_COMMAND, IDCANCEL, 0), TRUE);
    });
    EXPECT_TRUE(RegisterDialogClassesHook(GetModuleHandleA(nullptr)));
}

} // namespace
