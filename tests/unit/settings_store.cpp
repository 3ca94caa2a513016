// The settings store: the INI paths derived from the module path and
// APPDATA, which file is read and which written, and the validation of what
// the file holds.
#include <gtest/gtest.h>

#include "config/settings.h"
#include "settings_fixture.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct PathCase {
    const char* name;
    std::string module;
    std::string expected; // empty: no settings path
};

TEST(DeriveSettingsPath, ReplacesTheExtensionOfTheFileName)
{
    const std::string folder = "C:\\";
    // A module path of exactly `length` characters ending in `tail`.
    auto pathOf = [&](size_t length, const std::string& tail) {
        return folder + std::string(length - folder.size() - tail.size(), 'a') + tail;
    };
    const PathCase cases[] = {
        {"installed name", "C:\\SAVERS\\PLIMZOR.SCR", "C:\\SAVERS\\PLIMZOR.INI"},
        {"lower case", "c:\\savers\\plimzor.scr", "c:\\savers\\plimzor.INI"},
        {"dotted folder", "C:\\Saver.Old\\PLIMZOR.SCR", "C:\\Saver.Old\\PLIMZOR.INI"},
        {"one-letter extension", "C:\\S\\P.S", "C:\\S\\P.INI"},
        {"two-letter extension", "C:\\S\\P.SC", "C:\\S\\P.INI"},
        {"four-letter extension", "C:\\S\\P.SCRX", "C:\\S\\P.INI"},
        {"several dots", "C:\\S\\P.v2.SCR", "C:\\S\\P.v2.INI"},
        {"trailing dot", "C:\\S\\P.", "C:\\S\\P.INI"},
        // Without an extension the whole name keeps, and ".INI" follows;
        // cutting at a folder's dot would land in the wrong folder.
        {"no dot at all", "C:\\SAVERS\\PLIMZOR", "C:\\SAVERS\\PLIMZOR.INI"},
        {"dot only in a folder", "C:\\Saver.Old\\PLIMZOR", "C:\\Saver.Old\\PLIMZOR.INI"},
        {"forward slashes", "Z:/work/PLIMZOR.SCR", "Z:/work/PLIMZOR.INI"},
        {"259 characters, three-letter extension", pathOf(259, ".SCR"), pathOf(259, ".INI")},
        {"257 characters, one-letter extension fits", pathOf(257, ".S"), pathOf(259, ".INI")},
        {"258 characters, one-letter extension outgrows", pathOf(258, ".S"), ""},
        {"257 characters, no extension outgrows", pathOf(257, "X"), ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[MAX_PATH];
        std::memset(buffer, 'x', sizeof buffer);
        const bool derived = DeriveSettingsPath(c.module.c_str(), buffer, sizeof buffer);
        EXPECT_EQ(derived, !c.expected.empty());
        EXPECT_EQ(std::string(buffer), c.expected);
    }
}

TEST(BuildSettingsPath, NamesTheFileBesideTheRunningProgram)
{
    // No per-user file in a fresh APPDATA: the file beside the program.
    TemporaryAppData appData;
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    char path[MAX_PATH];
    BuildSettingsPath(path);
    const std::string m = module;
    EXPECT_EQ(std::string(path), m.substr(0, m.rfind('.') + 1) + "INI");
    EXPECT_EQ(std::string(gProgramSettingsPath), std::string(path));
    EXPECT_EQ(std::string(gUserSettingsPath), appData.UserFile(BesideFileName()));
}

TEST(DeriveUserSettingsPath, NamesTheFileInThePlimzorFolderOfAppData)
{
    const PathCase cases[] = {
        {"installed name", "C:\\WINDOWS\\SYSTEM32\\PLIMZOR.SCR",
         "C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\PLIMZOR.INI"},
        // The same file name as beside the program, whatever its case.
        {"long lower-case name", "C:\\Savers\\Plimzor Screen Saver.scr",
         "C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\Plimzor Screen Saver.INI"},
        {"dotted folder, no extension", "C:\\Saver.Old\\PLIMZOR",
         "C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\PLIMZOR.INI"},
        {"forward slashes", "Z:/work/PLIMZOR.SCR", "C:\\Users\\u\\AppData\\Roaming\\PLIMZOR\\PLIMZOR.INI"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[MAX_PATH];
        EXPECT_TRUE(DeriveUserSettingsPath("C:\\Users\\u\\AppData\\Roaming", c.module.c_str(), buffer, sizeof buffer));
        EXPECT_EQ(std::string(buffer), c.expected);
    }

    const struct {
        const char* name;
        std::string appData;
        std::string expected; // empty: no per-user path
    } folders[] = {
        {"a drive's root keeps one separator", "C:\\", "C:\\PLIMZOR\\PLIMZOR.INI"},
        {"a trailing separator is not doubled", "D:\\Profile\\", "D:\\Profile\\PLIMZOR\\PLIMZOR.INI"},
        {"empty APPDATA names no file", "", ""},
        // 240 + 1 + 7 + 1 + 11 = 260 characters: one too many for MAX_PATH.
        {"too long for MAX_PATH", "C:\\" + std::string(237, 'a'), ""},
        {"just fits", "C:\\" + std::string(236, 'a'), "C:\\" + std::string(236, 'a') + "\\PLIMZOR\\PLIMZOR.INI"},
    };
    for (const auto& c : folders) {
        SCOPED_TRACE(c.name);
        char buffer[MAX_PATH];
        std::memset(buffer, 'x', sizeof buffer);
        const bool derived = DeriveUserSettingsPath(c.appData.c_str(), "C:\\SAVERS\\PLIMZOR.SCR", buffer, sizeof buffer);
        EXPECT_EQ(derived, !c.expected.empty());
        EXPECT_EQ(std::string(buffer), c.expected);
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
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "Plimzor Screen Saver Folder";
    const std::string file = folder + "\\Plimzor Screen Saver.scr";
    CreateDirectoryA(folder.c_str(), nullptr);
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);
    char shortPath[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath), 0u);
    ASSERT_NE(std::string(shortPath), file) << "the system gave no distinct short name";

    char longPath[MAX_PATH];
    LongPathOf(shortPath, longPath);
    EXPECT_STREQ(longPath, file.c_str());
    // Both names of the program name one settings file.
    char fromShort[MAX_PATH];
    char fromLong[MAX_PATH];
    DeriveSettingsPath(longPath, fromShort, sizeof fromShort);
    DeriveSettingsPath(file.c_str(), fromLong, sizeof fromLong);
    EXPECT_STREQ(fromShort, fromLong);

    // A path the system cannot look up stays as it is.
    const std::string missing = folder + "\\NO~1\\PLIMZOR.SCR";
    LongPathOf(missing.c_str(), longPath);
    EXPECT_EQ(std::string(longPath), missing);

    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "(absent)";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Layout(const char* mode, const char* count)
{
    return std::string("[PLIMZOR]\r\nPLIM_MODE=") + mode + "\r\nPLIM_KOSU=" + count + "\r\n";
}

void WriteLayout(const std::string& path, const char* mode, const char* count)
{
    ASSERT_TRUE(WritePrivateProfileStringA("PLIMZOR", "PLIM_MODE", mode, path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("PLIMZOR", "PLIM_KOSU", count, path.c_str()));
}

// Real files, the way the dialog's OK and the next process meet them: the
// file beside this test program, a per-user file under a private APPDATA,
// and a program folder that cannot be written (a settings path in a folder
// that does not exist: WritePrivateProfileStringA fails there as in a
// read-only folder; the read-only attribute would not do under Wine, whose
// root user writes such files).
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
    } cases[] = {
        {"as before", false, true, true, Beside, Beside},
        {"as before, no APPDATA", false, true, false, Beside, Beside},
        {"read-only program folder: falls back per-user", false, false, true, Beside, User},
        {"read-only program folder, no APPDATA: lost", false, false, false, Beside, Nowhere},
        {"per-user file wins", true, true, true, User, User},
        {"per-user file unseen without APPDATA", true, true, false, Beside, Beside},
        {"per-user file, read-only program folder", true, false, true, User, User},
        {"per-user file unseen, read-only program folder", true, false, false, Beside, Nowhere},
    };
    const std::string besideOld = Layout("1001", "33");
    const std::string userOld = Layout("1001", "77");
    const std::string saved = Layout("1000", "42");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryAppData appData;
        const std::string userFile = appData.UserFile(BesideFileName());
        BuildSettingsPath(gSettingsPath);
        const std::string beside = gProgramSettingsPath;
        WriteLayout(beside, "1001", "33");
        if (c.userFile) {
            CreateDirectoryA(appData.UserFolder().c_str(), nullptr);
            WriteLayout(userFile, "1001", "77");
        }
        if (!c.appDataSet)
            TemporaryAppData::Unset();

        BuildSettingsPath(gSettingsPath);
        LoadSettings(gSettingsPath);
        EXPECT_EQ(std::string(gSettingsPath), c.reads == User ? userFile : beside);
        EXPECT_EQ(gSettings.count, c.reads == User ? 77 : 33);

        if (!c.programWritable)
            lstrcpyA(gProgramSettingsPath, (appData.folder + "\\no such folder\\PLIMZOR.INI").c_str());
        const P place = SaveSettings(Standard, 42);
        EXPECT_EQ(place, c.saved == Beside ? P::BesideProgram : c.saved == User ? P::PerUser : P::None);
        // Both keys in the one file, mode first; the other file as it was.
        EXPECT_EQ(FileText(beside), c.saved == Beside ? saved : besideOld);
        EXPECT_EQ(FileText(userFile), c.saved == User ? saved : c.userFile ? userOld : "(absent)");

        // The next process: a fresh derivation and load.
        BuildSettingsPath(gSettingsPath);
        LoadSettings(gSettingsPath);
        EXPECT_EQ(gSettings.count, c.saved == Nowhere ? 33 : 42);
        EXPECT_EQ(gSettings.colorMode, c.saved == Nowhere ? Colorful : Standard);

        DeleteFileA(beside.c_str());
    }
}

TEST(SaveSettings, MakesThePerUserFolderButNotAppDataItself)
{
    TemporaryAppData appData;
    BuildSettingsPath(gSettingsPath);
    lstrcpyA(gProgramSettingsPath, (appData.folder + "\\no such folder\\PLIMZOR.INI").c_str());
    ASSERT_EQ(GetFileAttributesA(appData.UserFolder().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(SaveSettings(Colorful, 9), SettingsPlace::PerUser);
    EXPECT_NE(GetFileAttributesA(appData.UserFolder().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(FileText(appData.UserFile(BesideFileName())), Layout("1001", "9"));

    // An APPDATA that names no existing folder is the system's to make, not
    // ours: nothing is written and the save reports it.
    const std::string gone = appData.folder + "\\gone";
    SetEnvironmentVariableA("APPDATA", gone.c_str());
    BuildSettingsPath(gSettingsPath);
    lstrcpyA(gProgramSettingsPath, (appData.folder + "\\no such folder\\PLIMZOR.INI").c_str());
    EXPECT_EQ(SaveSettings(Colorful, 9), SettingsPlace::None);
    EXPECT_EQ(GetFileAttributesA(gone.c_str()), INVALID_FILE_ATTRIBUTES);
}

class SettingsFile : public testing::Test {
protected:
    char path[MAX_PATH] = {};

    void SetUp() override
    {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        GetTempFileNameA(folder, "plz", 0, path);
        DeleteFileA(path);
    }
    void TearDown() override { DeleteFileA(path); }

    void Write(const char* key, const char* value)
    {
        ASSERT_TRUE(WritePrivateProfileStringA("PLIMZOR", key, value, path));
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
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << "loading never creates the file";
}

TEST_F(SettingsFile, NoSettingsPathLoadsTheDefaults)
{
    Write("PLIM_MODE", "1001");
    LoadSettings("");
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
        DeleteFileA(path);
        if (c.mode)
            Write("PLIM_MODE", c.mode);
        if (c.count)
            Write("PLIM_KOSU", c.count);
        LoadSettings(path);
        EXPECT_EQ(gSettings.colorMode, c.expectedMode);
        EXPECT_EQ(gSettings.count, c.expectedCount);
        EXPECT_EQ(gScrollPosition, gSettings.count);
    }
}

TEST_F(SettingsFile, LoadingLeavesTheFileAsItWas)
{
    Write("PLIM_KOSU", "9999");
    char before[64] = {};
    GetPrivateProfileStringA("PLIMZOR", "PLIM_KOSU", "", before, sizeof before, path);
    LoadSettings(path);
    char after[64] = {};
    GetPrivateProfileStringA("PLIMZOR", "PLIM_KOSU", "", after, sizeof after, path);
    EXPECT_STREQ(after, before);
    EXPECT_EQ(gSettings.count, 10);
}

} // namespace
