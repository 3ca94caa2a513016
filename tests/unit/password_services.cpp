// Loading and unloading the password verifier on the Windows 9x family: the
// registry switch as the user's desktop settings hold it, the verifier
// module (the test stand-in PASSWORD.CPL, found through the current folder),
// and the system's screen-saver-running flag, which must be on exactly
// while a verifier is loaded. The registry value and the flag are restored
// after each test: the Wine prefix is shared with the other tests.
#include <gtest/gtest.h>

#include "shell/shell.h"

#include <string>
#include <vector>

namespace {

constexpr char DesktopKey[] = "Control Panel\\Desktop";
constexpr char SwitchValue[] = "ScreenSaveUsePassword";

bool SaverRunningFlag()
{
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running != FALSE;
}

void ForceSaverRunningFlag(bool on)
{
    UINT previous = 0;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, on ? 1 : 0, &previous, 0);
}

bool PasswordModuleLoaded()
{
    return GetModuleHandleA("PASSWORD.CPL") != nullptr;
}

std::string ExeFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/"));
}

// Where PASSWORD.CPL is looked for in a row.
enum class Verifier { StandIn, WithoutEntry, Missing };

struct Switch {
    bool present;
    DWORD type;
    std::vector<BYTE> data;
};

Switch Dword(DWORD value)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return {true, REG_DWORD, {bytes, bytes + sizeof value}};
}

Switch Binary(std::vector<BYTE> data)
{
    return {true, REG_BINARY, std::move(data)};
}

const Switch Absent = {false, REG_NONE, {}};

class VerifierLoading : public testing::Test {
protected:
    Switch saved;
    char savedFolder[MAX_PATH] = {};
    std::string scratch;

    void SetUp() override
    {
        ResetShellState();
        saved = ReadSwitch();
        GetCurrentDirectoryA(sizeof savedFolder, savedFolder);
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        scratch = std::string(temp) + "plimzor-password-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(scratch.c_str(), nullptr);
        ForceSaverRunningFlag(false);
        ASSERT_FALSE(PasswordModuleLoaded());
    }

    void TearDown() override
    {
        UnloadPasswordVerifier();
        ResetShellState();
        WriteSwitch(saved);
        SetCurrentDirectoryA(savedFolder);
        DeleteFileA((scratch + "\\PASSWORD.CPL").c_str());
        RemoveDirectoryA(scratch.c_str());
        ForceSaverRunningFlag(false);
    }

    static Switch ReadSwitch()
    {
        Switch value = Absent;
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_CURRENT_USER, DesktopKey, &key) != ERROR_SUCCESS)
            return value;
        DWORD size = 0;
        if (RegQueryValueExA(key, SwitchValue, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
            value.present = true;
            value.data.resize(size);
            RegQueryValueExA(key, SwitchValue, nullptr, &value.type, value.data.data(), &size);
        }
        RegCloseKey(key);
        return value;
    }

    static void WriteSwitch(const Switch& value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, DesktopKey, &key), ERROR_SUCCESS);
        if (value.present)
            RegSetValueExA(key, SwitchValue, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
        else
            RegDeleteValueA(key, SwitchValue);
        RegCloseKey(key);
    }

    // The stand-in sits in the build's fixtures folder; a module without the
    // verifier entry is the password-change stand-in under the verifier's
    // name; an empty folder has none at all.
    void ProvideVerifier(Verifier kind)
    {
        std::string folder = ExeFolder() + "\\fixtures";
        if (kind == Verifier::WithoutEntry) {
            ASSERT_TRUE(CopyFileA((folder + "\\MPR.DLL").c_str(), (scratch + "\\PASSWORD.CPL").c_str(), FALSE));
            folder = scratch;
        } else if (kind == Verifier::Missing) {
            folder = scratch;
        }
        ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    }
};

TEST_F(VerifierLoading, FollowsTheSwitchAndTheModule)
{
    const struct {
        const char* name;
        bool isWin9x;
        Switch value;
        Verifier verifier;
        bool loaded;
    } cases[] = {
        {"NT family, switched on", false, Dword(1), Verifier::StandIn, false},
        {"absent", true, Absent, Verifier::StandIn, false},
        {"zero", true, Dword(0), Verifier::StandIn, false},
        {"one", true, Dword(1), Verifier::StandIn, true},
        {"only the highest byte set", true, Dword(0x01000000), Verifier::StandIn, true},
        {"four bytes of binary", true, Binary({1, 0, 0, 0}), Verifier::StandIn, true},
        {"two bytes of binary", true, Binary({1, 0}), Verifier::StandIn, true},
        {"two zero bytes", true, Binary({0, 0}), Verifier::StandIn, false},
        {"eight bytes: too long to read", true, Binary({1, 0, 0, 0, 0, 0, 0, 0}), Verifier::StandIn, false},
        {"switched on, no PASSWORD.CPL", true, Dword(1), Verifier::Missing, false},
        {"switched on, PASSWORD.CPL without the entry", true, Dword(1), Verifier::WithoutEntry, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetShellState();
        gShell.isWin9x = c.isWin9x;
        WriteSwitch(c.value);
        ProvideVerifier(c.verifier);
        // Without protection the flag is never touched: start it on to see.
        ForceSaverRunningFlag(!c.loaded);

        LoadPasswordVerifier();
        EXPECT_EQ(gShell.verifyPassword != nullptr, c.loaded);
        EXPECT_EQ(gShell.passwordModule != nullptr, c.loaded);
        EXPECT_EQ(PasswordModuleLoaded(), c.loaded) << "a module without its entry is freed again";
        EXPECT_TRUE(SaverRunningFlag()) << (c.loaded ? "on while a verifier is loaded" : "left as it was");
        if (c.loaded) {
            EXPECT_EQ(reinterpret_cast<void*>(gShell.verifyPassword),
                      reinterpret_cast<void*>(GetProcAddress(gShell.passwordModule, "VerifyScreenSavePwd")));
        }

        UnloadPasswordVerifier();
        EXPECT_EQ(gShell.verifyPassword, nullptr);
        EXPECT_EQ(gShell.passwordModule, nullptr);
        EXPECT_FALSE(PasswordModuleLoaded());
        EXPECT_EQ(SaverRunningFlag(), !c.loaded) << (c.loaded ? "off with the verifier" : "left as it was");
        ForceSaverRunningFlag(false);
    }
}

TEST_F(VerifierLoading, LoadingAgainKeepsOneReference)
{
    gShell.isWin9x = true;
    WriteSwitch(Dword(1));
    ProvideVerifier(Verifier::StandIn);
    LoadPasswordVerifier();
    LoadPasswordVerifier();
    ASSERT_NE(gShell.verifyPassword, nullptr);
    EXPECT_TRUE(SaverRunningFlag());
    UnloadPasswordVerifier();
    EXPECT_FALSE(PasswordModuleLoaded()) << "the first load was undone before the second";
    EXPECT_FALSE(SaverRunningFlag());
}

TEST_F(VerifierLoading, UnloadWithoutAVerifierLeavesTheFlagAlone)
{
    // A saver without protection never touches the flag, not even at its end.
    gShell.isWin9x = true;
    ForceSaverRunningFlag(true);
    UnloadPasswordVerifier();
    EXPECT_TRUE(SaverRunningFlag());
}

TEST(SetSaverRunning, OnlyOnWindows9x)
{
    const struct {
        const char* name;
        bool isWin9x;
        bool before;
        bool on;
        bool after;
    } cases[] = {
        {"9x, on", true, false, true, true},
        {"9x, off", true, true, false, false},
        {"NT family, on: untouched", false, false, true, false},
        {"NT family, off: untouched", false, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetShellState();
        gShell.isWin9x = c.isWin9x;
        ForceSaverRunningFlag(c.before);
        SetSaverRunning(c.on);
        EXPECT_EQ(SaverRunningFlag(), c.after);
    }
    ForceSaverRunningFlag(false);
    ResetShellState();
}

} // namespace
