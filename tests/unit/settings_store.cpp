// The settings store: the INI path derived from the module path, and the
// validation of what the file holds.
#include <gtest/gtest.h>

#include "config/settings.h"

#include <cstring>
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
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    char path[MAX_PATH];
    BuildSettingsPath(path);
    const std::string m = module;
    EXPECT_EQ(std::string(path), m.substr(0, m.rfind('.') + 1) + "INI");
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
