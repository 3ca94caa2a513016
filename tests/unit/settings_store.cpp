// The settings store: the INI paths derived from the module path and
// APPDATA, with names in any script on both families, which file is read and
// which written, and the validation of what the file holds. The test runner
// starts this program with a German locale: code page 1252, which spells
// neither Cyrillic nor Hangul.
#include <gtest/gtest.h>

#include "config/settings.h"
#include "platform/names.h"
#include "platform/platform.h"
#include "settings_fixture.h"

#include <cstring>
#include <string>

namespace {

// Names a profile or program folder may bear that code page 1252 cannot
// spell: Russian and Korean.
const std::wstring Russian = L"\u0418\u0432\u0430\u043d";   // Иван
const std::wstring Korean = L"\uae40\ubbfc\uc900";          // 김민준

struct PathCase {
    const char* name;
    std::wstring module;
    std::wstring expected; // empty: no settings path
};

// Plays the Windows 9x family, whose calls are the ANSI ones, for as long
// as it lives.
struct AnsiFamily {
    explicit AnsiFamily(bool ansi) { gPlatform.unicodeCalls = !ansi; }
    ~AnsiFamily() { ResetPlatform(); }
};

TEST(DeriveSettingsPath, ReplacesTheExtensionOfTheFileName)
{
    const std::wstring folder = L"C:\\";
    // A module path of exactly `length` characters ending in `tail`.
    auto pathOf = [&](size_t length, const std::wstring& tail) {
        return folder + std::wstring(length - folder.size() - tail.size(), L'a') + tail;
    };
    const PathCase cases[] = {
        {"installed name", L"C:\\SAVERS\\PLIMZOR.SCR", L"C:\\SAVERS\\PLIMZOR.INI"},
        {"lower case", L"c:\\savers\\plimzor.scr", L"c:\\savers\\plimzor.INI"},
        {"dotted folder", L"C:\\Saver.Old\\PLIMZOR.SCR", L"C:\\Saver.Old\\PLIMZOR.INI"},
        {"one-letter extension", L"C:\\S\\P.S", L"C:\\S\\P.INI"},
        {"two-letter extension", L"C:\\S\\P.SC", L"C:\\S\\P.INI"},
        {"four-letter extension", L"C:\\S\\P.SCRX", L"C:\\S\\P.INI"},
        {"several dots", L"C:\\S\\P.v2.SCR", L"C:\\S\\P.v2.INI"},
        {"trailing dot", L"C:\\S\\P.", L"C:\\S\\P.INI"},
        // Without an extension the whole name keeps, and ".INI" follows;
        // cutting at a folder's dot would land in the wrong folder.
        {"no dot at all", L"C:\\SAVERS\\PLIMZOR", L"C:\\SAVERS\\PLIMZOR.INI"},
        {"dot only in a folder", L"C:\\Saver.Old\\PLIMZOR", L"C:\\Saver.Old\\PLIMZOR.INI"},
        {"forward slashes", L"Z:/work/PLIMZOR.SCR", L"Z:/work/PLIMZOR.INI"},
        {"259 characters, three-letter extension", pathOf(259, L".SCR"), pathOf(259, L".INI")},
        {"257 characters, one-letter extension fits", pathOf(257, L".S"), pathOf(259, L".INI")},
        {"258 characters, one-letter extension outgrows", pathOf(258, L".S"), L""},
        {"257 characters, no extension outgrows", pathOf(257, L"X"), L""},
        // Letters the code page lacks, in folders and in the file's name.
        {"Russian profile folder", L"C:\\Users\\" + Russian + L"\\Desktop\\PLIMZOR.SCR",
         L"C:\\Users\\" + Russian + L"\\Desktop\\PLIMZOR.INI"},
        {"Korean file name", L"C:\\S\\" + Korean + L".scr", L"C:\\S\\" + Korean + L".INI"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t buffer[MAX_PATH];
        std::fill(buffer, buffer + MAX_PATH, L'x');
        const bool derived = DeriveSettingsPath(c.module.c_str(), buffer, MAX_PATH);
        EXPECT_EQ(derived, !c.expected.empty());
        EXPECT_EQ(std::wstring(buffer), c.expected);
    }
}

TEST(BuildSettingsPath, NamesBothFilesInAnyScriptOnTheNtFamilyAndInTheCodePageOn9x)
{
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring m = module;
    const std::wstring beside = m.substr(0, m.rfind(L'.') + 1) + L"INI";
    const struct {
        const char* name;
        bool ansi;
        std::wstring appDataName;
        bool userPathExact; // else spelled in the code page, '?' for what it lacks
    } cases[] = {
        {"NT family, ASCII profile", false, L"", true},
        {"NT family, Russian profile", false, Russian, true},
        {"NT family, Korean profile", false, Korean, true},
        {"9x family, ASCII profile", true, L"", true},
        {"9x family, Russian profile: as its ANSI calls spell it", true, Russian, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnsiFamily family(c.ansi);
        // No per-user file in a fresh APPDATA: the file beside the program.
        TemporaryAppData appData(c.appDataName);
        wchar_t path[MAX_PATH];
        BuildSettingsPath(path);
        EXPECT_EQ(std::wstring(path), beside);
        EXPECT_EQ(std::wstring(gProgramSettingsPath), beside);
        const std::wstring exact = appData.UserFile(BesideFileName());
        if (c.userPathExact) {
            EXPECT_EQ(std::wstring(gUserSettingsPath), exact);
        } else {
            const std::wstring spelled = exact.substr(0, exact.find(c.appDataName)) +
                                         std::wstring(c.appDataName.size(), L'?') +
                                         exact.substr(exact.find(c.appDataName) + c.appDataName.size());
            EXPECT_EQ(std::wstring(gUserSettingsPath), spelled);
        }
    }
}

TEST(DeriveUserSettingsPath, NamesTheFileInThePlimzorFolderOfAppData)
{
    const PathCase cases[] = {
        {"installed name", L"C:\\WINDOWS\\SYSTEM32\\PLIMZOR.SCR",
         L"C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\PLIMZOR.INI"},
        // The same file name as beside the program, whatever its case.
        {"long lower-case name", L"C:\\Savers\\Plimzor Screen Saver.scr",
         L"C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\Plimzor Screen Saver.INI"},
        {"dotted folder, no extension", L"C:\\Saver.Old\\PLIMZOR",
         L"C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\PLIMZOR.INI"},
        {"forward slashes", L"Z:/work/PLIMZOR.SCR", L"C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\PLIMZOR.INI"},
        {"Korean file name", L"C:\\S\\" + Korean + L".SCR",
         L"C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\" + Korean + L".INI"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t buffer[MAX_PATH];
        EXPECT_TRUE(DeriveUserSettingsPath(L"C:\\Users\\u\\AppData\\Roaming", c.module.c_str(), buffer, MAX_PATH));
        EXPECT_EQ(std::wstring(buffer), c.expected);
    }

    const struct {
        const char* name;
        std::wstring appData;
        std::wstring expected; // empty: no per-user path
    } folders[] = {
        {"a drive's root keeps one separator", L"C:\\", L"C:\\PLIMZOR\\PLIMZOR.INI"},
        {"a trailing separator is not doubled", L"D:\\Profile\\", L"D:\\Profile\\PLIMZOR\\PLIMZOR.INI"},
        {"a Russian profile", L"C:\\Users\\" + Russian + L"\\AppData\\Roaming",
         L"C:\\Users\\" + Russian + L"\\AppData\\Roaming\\PLIMZOR\\PLIMZOR.INI"},
        {"empty APPDATA names no file", L"", L""},
        // 240 + 1 + 7 + 1 + 11 = 260 characters: one too many for MAX_PATH.
        {"too long for MAX_PATH", L"C:\\" + std::wstring(237, L'a'), L""},
        {"just fits", L"C:\\" + std::wstring(236, L'a'), L"C:\\" + std::wstring(236, L'a') + L"\\PLIMZOR\\PLIMZOR.INI"},
    };
    for (const auto& c : folders) {
        SCOPED_TRACE(c.name);
        wchar_t buffer[MAX_PATH];
        std::fill(buffer, buffer + MAX_PATH, L'x');
        const bool derived = DeriveUserSettingsPath(c.appData.c_str(), L"C:\\SAVERS\\PLIMZOR.SCR", buffer, MAX_PATH);
        EXPECT_EQ(derived, !c.expected.empty());
        EXPECT_EQ(std::wstring(buffer), c.expected);
    }
}

TEST(SettingsFileChoice, ReadsThePerUserFileOnlyOnceItExistsAndSavesWhereItIsRead)
{
    using P = SettingsPlace;
    const struct {
        const char* name;
        bool programNamed;
        bool appDataSet;
        bool userFileExists;
        P read;
        int saves;
        P first;
        P second;
    } cases[] = {
        {"as before: beside, falling back per-user", true, true, false, P::BesideProgram, 2, P::BesideProgram, P::PerUser},
        // Once a save landed per-user it is read; writing beside then would
        // save a choice that nothing reads.
        {"per-user file exists", true, true, true, P::PerUser, 1, P::PerUser, P::None},
        {"no APPDATA: only beside", true, false, false, P::BesideProgram, 1, P::BesideProgram, P::None},
        {"no APPDATA hides a per-user file", true, false, true, P::BesideProgram, 1, P::BesideProgram, P::None},
        {"no name beside the program", false, true, false, P::None, 1, P::PerUser, P::None},
        {"no name beside, per-user file exists", false, true, true, P::PerUser, 1, P::PerUser, P::None},
        {"neither can be named", false, false, false, P::None, 0, P::None, P::None},
        {"neither named, stray per-user flag", false, false, true, P::None, 0, P::None, P::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SettingsFileToRead(c.programNamed, c.appDataSet, c.userFileExists), c.read);
        SettingsPlace order[2] = {P::None, P::None};
        ASSERT_EQ(SettingsFilesToSave(c.programNamed, c.appDataSet, c.userFileExists, order), c.saves);
        EXPECT_EQ(order[0], c.first);
        EXPECT_EQ(order[1], c.second);
    }
}

TEST(LongPathOf, TurnsAShortNameIntoTheLongOne)
{
    // On both families, and in a folder named in a script the code page
    // lacks where the Unicode calls make it reachable at all.
    const struct {
        const char* name;
        bool ansi;
        std::wstring folderName;
    } cases[] = {
        {"NT family", false, L"Plimzor Screen Saver Folder"},
        {"NT family, Korean folder", false, L"Plimzor Screen Saver " + Korean},
        {"9x family", true, L"Plimzor Screen Saver Folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const std::wstring folder = std::wstring(temp) + c.folderName;
        const std::wstring file = folder + L"\\Plimzor Screen Saver.scr";
        CreateDirectoryW(folder.c_str(), nullptr);
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        CloseHandle(handle);
        wchar_t shortPath[MAX_PATH] = {};
        ASSERT_NE(GetShortPathNameW(file.c_str(), shortPath, MAX_PATH), 0u);
        ASSERT_NE(std::wstring(shortPath), file) << "the system gave no distinct short name";

        AnsiFamily family(c.ansi);
        wchar_t longPath[MAX_PATH];
        LongPathOf(shortPath, longPath);
        EXPECT_EQ(std::wstring(longPath), file);

        // A path the system cannot look up stays as it is.
        const std::wstring missing = folder + L"\\NO~1\\PLIMZOR.SCR";
        LongPathOf(missing.c_str(), longPath);
        EXPECT_EQ(std::wstring(longPath), missing);

        DeleteFileW(file.c_str());
        RemoveDirectoryW(folder.c_str());
    }
}

std::string Layout(const char* mode, const char* count)
{
    return std::string("[PLIMZOR]\r\nPLIM_MODE=") + mode + "\r\nPLIM_KOSU=" + count + "\r\n";
}

void WriteLayout(const std::wstring& path, const wchar_t* mode, const wchar_t* count)
{
    ASSERT_TRUE(WritePrivateProfileStringW(L"PLIMZOR", L"PLIM_MODE", mode, path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"PLIMZOR", L"PLIM_KOSU", count, path.c_str()));
}

// Real files, the way the dialog's OK and the next process meet them: the
// file beside this test program, a per-user file under a private APPDATA
// (named in another script where the row says so), and a program folder
// that cannot be written (a settings path in a folder that does not exist:
// the write fails there as in a read-only folder; the read-only attribute
// would not do under Wine, whose root user writes such files).
TEST(SaveSettings, LandsWhereTheNextLoadLooks)
{
    using P = SettingsPlace;
    enum Expect { Beside, User, Nowhere };
    const struct {
        const char* name;
        bool userFile;
        bool programWritable;
        bool appDataSet;
        Expect reads;
        Expect saved;
        std::wstring appDataName = L"";
        bool ansi = false;
    } cases[] = {
        {"as before", false, true, true, Beside, Beside},
        {"as before, no APPDATA", false, true, false, Beside, Beside},
        {"read-only program folder: falls back per-user", false, false, true, Beside, User},
        {"read-only program folder, no APPDATA: lost", false, false, false, Beside, Nowhere},
        {"per-user file wins", true, true, true, User, User},
        {"per-user file unseen without APPDATA", true, true, false, Beside, Beside},
        {"per-user file, read-only program folder", true, false, true, User, User},
        {"per-user file unseen, read-only program folder", true, false, false, Beside, Nowhere},
        // A profile the code page cannot spell: lost to the ANSI calls.
        {"read-only program folder, Russian profile", false, false, true, Beside, User, Russian},
        {"per-user file in a Korean profile wins", true, true, true, User, User, Korean},
        {"9x family: as before", false, true, true, Beside, Beside, L"", true},
        {"9x family: read-only program folder falls back per-user", false, false, true, Beside, User, L"", true},
        {"9x family: per-user file wins", true, true, true, User, User, L"", true},
    };
    const std::string besideOld = Layout("1001", "33");
    const std::string userOld = Layout("1001", "77");
    const std::string saved = Layout("1000", "42");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnsiFamily family(c.ansi);
        TemporaryAppData appData(c.appDataName);
        const std::wstring userFile = appData.UserFile(BesideFileName());
        BuildSettingsPath(gSettingsPath);
        const std::wstring beside = gProgramSettingsPath;
        WriteLayout(beside, L"1001", L"33");
        if (c.userFile) {
            CreateDirectoryW(appData.UserFolder().c_str(), nullptr);
            WriteLayout(userFile, L"1001", L"77");
        }
        if (!c.appDataSet)
            TemporaryAppData::Unset();

        BuildSettingsPath(gSettingsPath);
        LoadSettings(gSettingsPath);
        EXPECT_EQ(std::wstring(gSettingsPath), c.reads == User ? userFile : beside);
        EXPECT_EQ(gSettings.count, c.reads == User ? 77 : 33);

        const std::wstring unwritable = appData.folder + L"\\no such folder\\PLIMZOR.INI";
        if (!c.programWritable)
            lstrcpyW(gProgramSettingsPath, unwritable.c_str());
        const SaveOutcome outcome = SaveSettings(Standard, 42);
        EXPECT_EQ(outcome.place, c.saved == Beside ? P::BesideProgram : c.saved == User ? P::PerUser : P::None);
        // What refused, and why: the file beside a read-only folder, where
        // it was tried (not once a per-user file exists).
        const bool besideRefused = !c.programWritable && !(c.userFile && c.appDataSet);
        EXPECT_EQ(outcome.refusals, besideRefused ? 1 : 0);
        if (besideRefused) {
            EXPECT_EQ(outcome.refused[0], P::BesideProgram);
            EXPECT_NE(outcome.errors[0], 0u);
        }
        // Both keys in the one file, mode first; the other file as it was.
        EXPECT_EQ(FileBytes(beside), c.saved == Beside ? saved : besideOld);
        EXPECT_EQ(FileBytes(userFile), c.saved == User ? saved : c.userFile ? userOld : "(absent)");

        // The next process: a fresh derivation and load.
        BuildSettingsPath(gSettingsPath);
        LoadSettings(gSettingsPath);
        EXPECT_EQ(gSettings.count, c.saved == Nowhere ? 33 : 42);
        EXPECT_EQ(gSettings.colorMode, c.saved == Nowhere ? Colorful : Standard);

        DeleteFileW(beside.c_str());
    }
}

TEST(SaveSettings, MakesThePerUserFolderButNotAppDataItself)
{
    TemporaryAppData appData;
    BuildSettingsPath(gSettingsPath);
    const std::wstring unwritable = appData.folder + L"\\no such folder\\PLIMZOR.INI";
    lstrcpyW(gProgramSettingsPath, unwritable.c_str());
    ASSERT_EQ(GetFileAttributesW(appData.UserFolder().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(SaveSettings(Colorful, 9).place, SettingsPlace::PerUser);
    EXPECT_NE(GetFileAttributesW(appData.UserFolder().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(FileBytes(appData.UserFile(BesideFileName())), Layout("1001", "9"));

    // An APPDATA that names no existing folder is the system's to make, not
    // ours: nothing is written and the save says why, for both files.
    const std::wstring gone = appData.folder + L"\\gone";
    SetEnvironmentVariableW(L"APPDATA", gone.c_str());
    BuildSettingsPath(gSettingsPath);
    lstrcpyW(gProgramSettingsPath, unwritable.c_str());
    const SaveOutcome outcome = SaveSettings(Colorful, 9);
    EXPECT_EQ(outcome.place, SettingsPlace::None);
    ASSERT_EQ(outcome.refusals, 2);
    EXPECT_EQ(outcome.refused[0], SettingsPlace::BesideProgram);
    EXPECT_EQ(outcome.refused[1], SettingsPlace::PerUser);
    EXPECT_EQ(outcome.errors[1], static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(gone.c_str()), INVALID_FILE_ATTRIBUTES);
}

class SettingsFile : public testing::Test {
protected:
    wchar_t path[MAX_PATH] = {};

    void SetUp() override
    {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"plz", 0, path);
        DeleteFileW(path);
    }
    void TearDown() override { DeleteFileW(path); }

    void Write(const wchar_t* key, const char* value)
    {
        ASSERT_TRUE(WritePrivateProfileStringW(L"PLIMZOR", key, std::wstring(value, value + std::strlen(value)).c_str(), path));
    }
};

TEST_F(SettingsFile, MissingFileLoadsTheDefaults)
{
    gSettings = {0, 0};
    gScrollPosition = 0;
    LoadSettings(path);
    EXPECT_EQ(gSettings.colorMode, Standard);
    EXPECT_EQ(gSettings.count, 10);
    EXPECT_EQ(gScrollPosition, 10);
    EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << "loading never creates the file";
}

TEST_F(SettingsFile, NoSettingsPathLoadsTheDefaults)
{
    Write(L"PLIM_MODE", "1001");
    LoadSettings(L"");
    EXPECT_EQ(gSettings.colorMode, Standard);
    EXPECT_EQ(gSettings.count, 10);
}

TEST_F(SettingsFile, StoredValuesAreValidatedOnLoad)
{
    const struct {
        const char* mode; // nullptr: key absent
        const char* count;
        int expectedMode;
        int expectedCount;
    } cases[] = {
        {"1001", "1", Colorful, 1},
        {"1000", "255", Standard, 255},
        {"0", "0", Standard, 10},
        {"2", "256", Standard, 10},
        {"999", "1000", Standard, 10},
        {"1002", "-5", Standard, 10},
        {"-1000", "4294967295", Standard, 10}, // reads as -1
        {"abc", "abc", Standard, 10},           // not a number: read as 0
        {nullptr, "200", Standard, 200},
        {"1001", nullptr, Colorful, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.mode ? c.mode : "(none)") << " / " << (c.count ? c.count : "(none)"));
        DeleteFileW(path);
        if (c.mode)
            Write(L"PLIM_MODE", c.mode);
        if (c.count)
            Write(L"PLIM_KOSU", c.count);
        LoadSettings(path);
        EXPECT_EQ(gSettings.colorMode, c.expectedMode);
        EXPECT_EQ(gSettings.count, c.expectedCount);
        EXPECT_EQ(gScrollPosition, gSettings.count);
    }
}

TEST_F(SettingsFile, LoadingLeavesTheFileAsItWas)
{
    Write(L"PLIM_KOSU", "9999");
    const std::string before = FileBytes(path);
    LoadSettings(path);
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(gSettings.count, 10);
}

} // namespace
