// The command line as the screen-saver host writes it: program name
// skipping, switch letters, window numbers and the results of the modes that
// open nothing.
#include <gtest/gtest.h>

#include "shell/shell.h"

#include <string>

namespace {

struct SkipCase {
    const char* commandLine;
    const char* expected; // what SaverMain gets
};

TEST(SkipProgramName, FindsTheSwitchTextBehindTheName)
{
    const SkipCase cases[] = {
        {"PLIMZOR.SCR /s", "/s"},
        {"\"C:\\Program Files\\Savers\\PLIMZOR.SCR\" -S", "-S"},   // quoted name with spaces, skipped whole
        {"\"C:\\Savers\\PLIMZOR.SCR\"/p 12", "/p 12"},             // nothing between quote and switch
        {"\"C:\\never closed /s", ""},                             // an open quote eats everything
        {"PLIMZOR.SCR\t/s", "/s"},                                 // a tab counts as white space here
        {"PLIMZOR.SCR \t \x01/c:5", "/c:5"},                       // so does any control character
        {"PLIMZOR.SCR", ""},
        {" /s", "/s"},                                             // no name to skip
        {"", ""},
        // Where the name ends, as the saver has always read it from
        // GetCommandLineA, its own entry as before: a quoted name at its
        // closing quote, spaces inside it and all; an unquoted one at the
        // first white space, quotes inside it and all; then every white
        // space is skipped, and nothing else.
        {"\"C:\\My Savers\\PLIMZOR.SCR\"   /p 123", "/p 123"},
        {"\"\" /s", "/s"},                                       // an empty quoted name
        {"\"PLIMZOR.SCR\"\t\t/c", "/c"},
        {"\"PLIM ZOR\"x /s", "x /s"},                            // the name ends at the quote
        {"PLIM\"ZOR .SCR\" /s", ".SCR\" /s"},                   // an unquoted name ends at a space
        {"\tPLIMZOR.SCR /s", "PLIMZOR.SCR /s"},                   // leading white space: an empty name
        {"PLIMZOR.SCR /s  ", "/s  "},                              // white space behind the switch stays
        {"PLIMZOR.SCR /p \"12\"", "/p \"12\""},                // quotes behind the name stay
    };
    for (const SkipCase& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_STREQ(SkipProgramName(c.commandLine), c.expected);
    }
}

struct SwitchCase {
    const char* text;
    bool isWin9x;
    SaverMode mode;
    unsigned window; // ParseWindowNumber of the text the mode reads, if any
    bool fromSwitch;
    bool hasColonNumber;
};

TEST(ParseSwitch, DispatchesOnTheFirstLetter)
{
    const SwitchCase cases[] = {
        {"/s", false, SaverMode::FullScreen, 0, false, false},
        {"-S", false, SaverMode::FullScreen, 0, false, false},
        {"s", false, SaverMode::FullScreen, 0, false, false},
        {"-/-s", false, SaverMode::FullScreen, 0, false, false},
        {"/s /c", false, SaverMode::FullScreen, 0, false, false}, // only the first letter counts
        {"/p 123", false, SaverMode::Preview, 123, false, false},
        {"/p123", false, SaverMode::Preview, 123, false, false},
        {"/p    123", false, SaverMode::Preview, 123, false, false},
        {"/P:123", false, SaverMode::Preview, 0, false, false},   // the colon is not skipped for the preview
        {"/p\t123", false, SaverMode::Preview, 0, false, false},  // only spaces are skipped there
        {"/p", false, SaverMode::Preview, 0, false, false},
        {"/l 123", false, SaverMode::Preview, 123, false, false},
        {"/c:123", false, SaverMode::Settings, 123, true, true},
        {"/C 123", false, SaverMode::Settings, 0, true, false},   // no colon: the number is ignored
        {"/c", false, SaverMode::Settings, 0, true, false},
        {"", false, SaverMode::Settings, 0, false, false},
        {"/", false, SaverMode::Settings, 0, false, false},
        {"- -", false, SaverMode::Settings, 0, false, false},
        {"/a 123", true, SaverMode::ChangePassword, 123, false, false},
        {"/A123", true, SaverMode::ChangePassword, 123, false, false},
        {"/a 123", false, SaverMode::Invalid, 0, false, false},   // no saver password outside Windows 9x
        {"/x", false, SaverMode::Invalid, 0, false, false},
        {"/1", false, SaverMode::Invalid, 0, false, false},
        {"\t/s", false, SaverMode::Invalid, 0, false, false},     // a tab is no separator here
        {"/\xE3\x81\x82", false, SaverMode::Invalid, 0, false, false},
    };
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\" win9x=" + (c.isWin9x ? "1" : "0"));
        const SwitchChoice choice = ParseSwitch(c.text, c.isWin9x);
        EXPECT_EQ(choice.mode, c.mode);
        EXPECT_EQ(choice.fromSwitch, c.fromSwitch);
        EXPECT_EQ(choice.hasColonNumber, c.hasColonNumber);
        if (c.mode == SaverMode::Preview || c.mode == SaverMode::ChangePassword || c.hasColonNumber) {
            EXPECT_EQ(reinterpret_cast<UINT_PTR>(ParseWindowNumber(choice.rest)), c.window);
        }
    }
}

TEST(ParseWindowNumber, ReadsUnsignedDecimalDigitsOnly)
{
    const struct {
        const char* text;
        unsigned long long expected;
    } cases[] = {
        {"123", 123},
        {"4294967306", 10},       // 2^32 + 10 wraps to 10
        {"4294967295", 0xFFFFFFFFu},
        {"0", 0},
        {"", 0},
        {"+5", 0},                // no sign
        {"-5", 0},
        {" 5", 0},                // no leading space
        {"0x10", 0},              // no hexadecimal: the 'x' ends the number
        {"12:34", 12},
        {"7 8", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(reinterpret_cast<UINT_PTR>(ParseWindowNumber(c.text)), static_cast<UINT_PTR>(c.expected));
    }
}

// Modes that end before any window opens: the exit code alone tells.
TEST(SaverMain, ResultsOfSwitchesThatOpenNothing)
{
    ResetShellState();
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"/x", -1},
        {"/1", -1},
        {"/p", -1},
        {"/p:123", -1},
        {"/p 4000000000", -1}, // a number that names no window
        {"/a 123", -1},        // the NT family has no saver password
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SaverMain(GetModuleHandleA(nullptr), c.text), c.expected);
        EXPECT_FALSE(gShell.isWin9x) << "Wine reports the NT family unless told otherwise";
    }
}

} // namespace
