// The built resources read back: the Japanese dialog template byte by byte
// and its texts from the live controls as UTF-16, the English template
// against the Japanese one and its texts against their controls, and the
// version block and application manifest of the real PLIMZOR.SCR. The live
// Japanese texts need the Japanese ANSI code page (the dialog is an ANSI
// one): the test runner starts this program with a Japanese locale, and the
// OutsideJapan and EnglishDialog cases once more with a German one.
#include <gtest/gtest.h>

#include "config/dialog.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

const WORD Japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// Reads the extended dialog template as laid out in the resource.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : p(data), start(data) {}
    WORD Word() { WORD v; std::memcpy(&v, p, 2); p += 2; return v; }
    DWORD Dword() { DWORD v; std::memcpy(&v, p, 4); p += 4; return v; }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return *p++; }
    // A name or ordinal: 0 (none), 0xFFFF + ordinal, or a string.
    std::wstring NameOrOrdinal()
    {
        WORD first = Word();
        if (first == 0)
            return L"";
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring text(1, static_cast<wchar_t>(first));
        for (WORD c = Word(); c; c = Word())
            text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword() { p = start + ((p - start + 3) & ~3); }

private:
    const BYTE* p;
    const BYTE* start;
};

// A template may name a system control class by text or by its ordinal.
std::wstring SystemClassName(const std::wstring& name)
{
    if (name == L"#128")
        return L"BUTTON";
    if (name == L"#129")
        return L"EDIT";
    if (name == L"#130")
        return L"STATIC";
    if (name == L"#132")
        return L"SCROLLBAR";
    std::wstring upper = name;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    return upper;
}

struct ExpectedControl {
    DWORD id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

const DWORD Child = WS_CHILD | WS_VISIBLE;
const ExpectedControl Controls[] = {
    {IDOK, L"BUTTON", L"OK", Child | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 20, 46, 40, 14},
    {IDCANCEL, L"BUTTON", L"Cancel", Child | BS_PUSHBUTTON | WS_TABSTOP, 0, 63, 46, 40, 14},
    {1000, L"BUTTON", L"標準", Child | BS_AUTORADIOBUTTON, 0, 7, 16, 48, 10},
    {1022, L"EDIT", L"", Child | ES_CENTER | ES_NUMBER, WS_EX_STATICEDGE, 70, 19, 36, 12},
    {0xFFFFFFFF, L"BUTTON", L"PLIMカラー", Child | BS_GROUPBOX, 0, 3, 2, 57, 42},
    {1001, L"BUTTON", L"カラフル？", Child | BS_AUTORADIOBUTTON, 0, 7, 27, 48, 10},
    {0xFFFFFFFF, L"BUTTON", L"PLIM個数", Child | BS_GROUPBOX, 0, 63, 2, 49, 42},
    {1026, L"SCROLLBAR", L"", Child | SBS_HORZ, 0, 70, 31, 36, 8},
    {0xFFFFFFFF, L"STATIC", L"1～255", Child | SS_CENTER | WS_GROUP, 0, 68, 10, 38, 9},
};

TEST(DialogTemplate, IsTheJapaneseExtendedTemplateAsDesigned)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(SettingsDialogId),
                                  Japanese);
    ASSERT_NE(found, nullptr);
    TemplateReader t(static_cast<const BYTE*>(LockResource(LoadResource(module, found))));
    EXPECT_EQ(t.Word(), 1);      // dlgVer
    EXPECT_EQ(t.Word(), 0xFFFF); // signature of DIALOGEX
    EXPECT_EQ(t.Dword(), 0u);    // help id
    EXPECT_EQ(t.Dword(), 0u);    // extended style
    EXPECT_EQ(t.Dword(), DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(t.Word(), 9);      // controls
    EXPECT_EQ(t.Short(), 182);
    EXPECT_EQ(t.Short(), 149);
    EXPECT_EQ(t.Short(), 115);
    EXPECT_EQ(t.Short(), 65);
    EXPECT_EQ(t.NameOrOrdinal(), L"");  // no menu
    EXPECT_EQ(t.NameOrOrdinal(), L"");  // default dialog class
    EXPECT_EQ(t.NameOrOrdinal(), L"PLIMZORスクリーンセイバー Ver1.15");
    EXPECT_EQ(t.Word(), 10);     // point size
    EXPECT_EQ(t.Word(), 0);      // weight
    EXPECT_EQ(t.Byte(), 0);      // italic
    EXPECT_EQ(t.Byte(), 1);      // DEFAULT_CHARSET
    EXPECT_EQ(t.NameOrOrdinal(), L"System");
    for (const ExpectedControl& c : Controls) {
        SCOPED_TRACE(testing::Message() << "control " << static_cast<int>(c.id));
        t.AlignDword();
        EXPECT_EQ(t.Dword(), 0u); // help id
        EXPECT_EQ(t.Dword(), c.exStyle);
        EXPECT_EQ(t.Dword(), c.style);
        EXPECT_EQ(t.Short(), c.x);
        EXPECT_EQ(t.Short(), c.y);
        EXPECT_EQ(t.Short(), c.cx);
        EXPECT_EQ(t.Short(), c.cy);
        EXPECT_EQ(t.Dword(), c.id);
        EXPECT_EQ(SystemClassName(t.NameOrOrdinal()), c.className);
        EXPECT_EQ(t.NameOrOrdinal(), c.text);
        EXPECT_EQ(t.Word(), 0); // no creation data
    }
}

HWND gLiveDialog;

INT_PTR CALLBACK ReadTextsThenEnd(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    gLiveDialog = dialog;
    wchar_t text[128] = {};
    GetWindowTextW(dialog, text, 127);
    EXPECT_STREQ(text, L"PLIMZORスクリーンセイバー Ver1.15");
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const ExpectedControl& c : Controls) {
        SCOPED_TRACE(testing::Message() << "control " << static_cast<int>(c.id));
        EXPECT_NE(control, nullptr);
        if (!control)
            break;
        EXPECT_EQ(static_cast<DWORD>(GetDlgCtrlID(control)), c.id == 0xFFFFFFFF ? 0xFFFFFFFF : c.id);
        GetWindowTextW(control, text, 127);
        EXPECT_STREQ(text, c.text);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EndDialog(dialog, 5);
    return TRUE;
}

TEST(DialogTemplate, JapaneseTextsSurviveIntoTheLiveControls)
{
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(SettingsDialogId), nullptr,
                              ReadTextsThenEnd, 0),
              5);
    EXPECT_NE(gLiveDialog, nullptr);
}

// --- the English template beside the Japanese one ---

const WORD EnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LPCSTR DialogType = MAKEINTRESOURCEA(5); // RT_DIALOG

// One template read field by field, in the order the resource holds them.
struct TemplateControl {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::wstring className, text;
    WORD creationData;
};

struct DialogTemplateFields {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    std::wstring menu, windowClass, caption;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::wstring font;
    std::vector<TemplateControl> controls;
};

const BYTE* TemplateData(WORD language)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, DialogType, MAKEINTRESOURCEA(SettingsDialogId), language);
    return found ? static_cast<const BYTE*>(LockResource(LoadResource(module, found))) : nullptr;
}

DialogTemplateFields ReadTemplate(const BYTE* data)
{
    TemplateReader t(data);
    DialogTemplateFields d;
    d.version = t.Word();
    d.signature = t.Word();
    d.helpId = t.Dword();
    d.exStyle = t.Dword();
    d.style = t.Dword();
    const WORD count = t.Word();
    d.x = t.Short();
    d.y = t.Short();
    d.cx = t.Short();
    d.cy = t.Short();
    d.menu = t.NameOrOrdinal();
    d.windowClass = t.NameOrOrdinal();
    d.caption = t.NameOrOrdinal();
    d.pointSize = t.Word();
    d.weight = t.Word();
    d.italic = t.Byte();
    d.charset = t.Byte();
    d.font = t.NameOrOrdinal();
    for (WORD i = 0; i < count; ++i) {
        t.AlignDword();
        TemplateControl c;
        c.helpId = t.Dword();
        c.exStyle = t.Dword();
        c.style = t.Dword();
        c.x = t.Short();
        c.y = t.Short();
        c.cx = t.Short();
        c.cy = t.Short();
        c.id = t.Dword();
        c.className = SystemClassName(t.NameOrOrdinal());
        c.text = t.NameOrOrdinal();
        c.creationData = t.Word();
        d.controls.push_back(c);
    }
    return d;
}

BOOL CALLBACK ListLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

// The English texts in template order, caption first.
const wchar_t* const EnglishCaption = L"PLIMZOR Screen Saver Ver1.15";
const wchar_t* const EnglishTexts[] = {L"OK",       L"Cancel",     L"Standard", L"", L"PLIM colors",
                                       L"Colorful", L"PLIM count", L"",         L"1-255"};

TEST(DialogTemplate, EnglishOneDiffersFromTheJapaneseOnlyInItsTexts)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesA(GetModuleHandleA(nullptr), DialogType, MAKEINTRESOURCEA(SettingsDialogId), ListLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, (std::vector<WORD>{EnglishUs, Japanese})) << "dialog 2003 in English (US) and Japanese";

    const BYTE* japaneseData = TemplateData(Japanese);
    const BYTE* englishData = TemplateData(EnglishUs);
    ASSERT_NE(japaneseData, nullptr);
    ASSERT_NE(englishData, nullptr);
    const DialogTemplateFields ja = ReadTemplate(japaneseData);
    const DialogTemplateFields en = ReadTemplate(englishData);

    EXPECT_EQ(en.version, ja.version);
    EXPECT_EQ(en.signature, ja.signature);
    EXPECT_EQ(en.helpId, ja.helpId);
    EXPECT_EQ(en.exStyle, ja.exStyle);
    EXPECT_EQ(en.style, ja.style);
    EXPECT_EQ(en.x, ja.x);
    EXPECT_EQ(en.y, ja.y);
    EXPECT_EQ(en.cx, ja.cx);
    EXPECT_EQ(en.cy, ja.cy);
    EXPECT_EQ(en.menu, ja.menu);
    EXPECT_EQ(en.windowClass, ja.windowClass);
    EXPECT_EQ(en.pointSize, ja.pointSize);
    EXPECT_EQ(en.weight, ja.weight);
    EXPECT_EQ(en.italic, ja.italic);
    EXPECT_EQ(en.charset, ja.charset);
    EXPECT_EQ(en.font, ja.font);
    EXPECT_EQ(en.caption, EnglishCaption);

    // The dialog procedure finds its controls by id, in both.
    ASSERT_EQ(en.controls.size(), ja.controls.size());
    ASSERT_EQ(en.controls.size(), std::size(EnglishTexts));
    for (size_t i = 0; i < en.controls.size(); ++i) {
        const TemplateControl& e = en.controls[i];
        const TemplateControl& j = ja.controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i << ", id " << static_cast<int>(j.id));
        EXPECT_EQ(e.id, j.id);
        EXPECT_EQ(e.className, j.className);
        EXPECT_EQ(e.style, j.style);
        EXPECT_EQ(e.exStyle, j.exStyle);
        EXPECT_EQ(e.helpId, j.helpId);
        EXPECT_EQ(e.x, j.x);
        EXPECT_EQ(e.y, j.y);
        EXPECT_EQ(e.cx, j.cx);
        EXPECT_EQ(e.cy, j.cy);
        EXPECT_EQ(e.creationData, j.creationData);
        EXPECT_EQ(e.text, EnglishTexts[i]);
    }

    // Plain ASCII, which every ANSI code page holds.
    std::wstring all = en.caption;
    for (const TemplateControl& c : en.controls)
        all += c.text;
    for (wchar_t c : all)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "character U+" << std::hex << static_cast<int>(c);
}

TEST(DialogLanguage, JapaneseWhereTheCodePageSpellsItAndEveryTextInBoth)
{
    const struct {
        bool loaderChoseJapanese;
        UINT codePage;
        bool english;
    } cases[] = {
        {true, 932, false},   // a Japanese system
        {true, 65001, false}, // UTF-8 as the code page spells Japanese too
        {true, 1252, true},   // a Japanese UI on a Western code page: '?' otherwise
        {true, 949, true},    // ... or on a Korean one
        {false, 932, false},  // the loader's English choice stands
        {false, 1252, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Japanese " << c.loaderChoseJapanese << ", code page " << c.codePage);
        EXPECT_EQ(NeedsEnglishTemplate(c.loaderChoseJapanese, c.codePage), c.english);
    }

    // The texts the dialog shows beside its template, in both languages;
    // the English ones in plain ASCII, which every code page holds.
    HMODULE module = GetModuleHandleA(nullptr);
    for (UINT id : {MessageCaptionText, NotSavedText, NoFileNamedText, TryAgainText}) {
        SCOPED_TRACE(id);
        wchar_t japanese[512];
        wchar_t english[512];
        EXPECT_TRUE(DialogText(module, Japanese, id, japanese, 512));
        EXPECT_TRUE(DialogText(module, EnglishUs, id, english, 512));
        EXPECT_STRNE(japanese, english);
        for (const wchar_t* c = english; *c; ++c)
            EXPECT_TRUE(*c >= 0x20 && *c < 0x7F) << "character U+" << std::hex << static_cast<int>(*c);
    }
}

INT_PTR CALLBACK KeepsNothing(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// Room a control leaves for its text, in pixels: a push button its face
// inside the frame and the focus rectangle, a radio button the space right
// of its circle, a group box its top edge between the corners, a centred
// static all of it.
long TextRoom(HWND control)
{
    RECT r = {};
    GetClientRect(control, &r);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    char className[16] = {};
    GetClassNameA(control, className, sizeof className);
    if (std::string(className) == "Static")
        return r.right;
    switch (style & BS_TYPEMASK) {
    case BS_GROUPBOX:
        return r.right - 2 * 8;
    case BS_AUTORADIOBUTTON:
        return r.right - (GetSystemMetrics(SM_CXMENUCHECK) + 4);
    default:
        return r.right - 2 * 4;
    }
}

// Every English text at the dialog's own font within its control, measured
// in the live dialog on this system (the font "System" stands for a
// different face on each). The widths are printed for the record.
TEST(EnglishDialog, EveryTextFitsItsControl)
{
    HMODULE module = GetModuleHandleA(nullptr);
    const BYTE* data = TemplateData(EnglishUs);
    ASSERT_NE(data, nullptr);
    HWND dialog = CreateDialogIndirectParamA(module, reinterpret_cast<const DLGTEMPLATE*>(data), nullptr,
                                             KeepsNothing, 0);
    ASSERT_NE(dialog, nullptr);
    int texts = 0;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        char text[64] = {};
        GetWindowTextA(control, text, sizeof text);
        if (!*text)
            continue;
        ++texts;
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
        SIZE extent = {};
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        RECT r = {};
        GetClientRect(control, &r);
        const long room = TextRoom(control);
        std::printf("  %-12s %3ld px wide of %3ld px room (control %3ld x %2ld px), %2ld px high\n", text, extent.cx,
                    room, r.right, r.bottom, extent.cy);
        EXPECT_LE(extent.cx, room) << "'" << text << "' is cut off";
        if ((GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX) {
            EXPECT_LE(extent.cy, r.bottom) << "'" << text << "' is cut off at the bottom";
        }
    }
    EXPECT_EQ(texts, 7);
    DestroyWindow(dialog);
}

// --- on a system that is not Japanese (the test runner starts these with a
// German locale) ---

INT_PTR CALLBACK ReadEnglishTextsThenEnd(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    char text[128] = {};
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, "PLIMZOR Screen Saver Ver1.15");
    size_t i = 0;
    for (HWND control = GetWindow(dialog, GW_CHILD); control && i < std::size(EnglishTexts);
         control = GetWindow(control, GW_HWNDNEXT), ++i) {
        wchar_t wide[128] = {};
        GetWindowTextW(control, wide, 127);
        EXPECT_STREQ(wide, EnglishTexts[i]) << "control " << i;
    }
    EXPECT_EQ(i, std::size(EnglishTexts));
    EndDialog(dialog, 6);
    return TRUE;
}

TEST(OutsideJapan, TheSystemChoosesTheEnglishDialogAndStillFindsTheIcon)
{
    ASSERT_NE(GetACP(), 932u) << "run with a locale that is not Japanese";
    ASSERT_NE(PRIMARYLANGID(LANGIDFROMLCID(GetThreadLocale())), LANG_JAPANESE);
    HMODULE module = GetModuleHandleA(nullptr);

    // The system's own choice, as the configure switch makes it; nothing
    // needs to stand in for it here.
    EXPECT_EQ(EnglishTemplateInstead(module), nullptr);
    EXPECT_EQ(DialogBoxParamA(module, MAKEINTRESOURCEA(SettingsDialogId), nullptr, ReadEnglishTextsThenEnd, 0), 6);

    // The icon has only a Japanese entry: the loader's last resort, any
    // language, still finds it for the window class.
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */), nullptr);
    EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(100)), nullptr);
}

// The path of the built PLIMZOR.SCR, handed over by the test runner as a
// Unix path, which Wine reaches through drive Z:.
std::string ProductPath()
{
    const char* unixPath = std::getenv("PLIMZOR_SCR");
    if (!unixPath)
        return "";
    std::string path = unixPath;
    return path[0] == '/' ? "Z:" + path : path;
}

// One node of a version block: wLength, wValueLength, wType, key, value,
// children, each part DWORD-aligned.
struct VersionNode {
    std::wstring key;
    const BYTE* value;
    WORD valueLength;
    std::vector<VersionNode> children;
};

VersionNode ParseVersionNode(const BYTE* base, const BYTE* node)
{
    auto align = [base](const BYTE* p) { return base + ((p - base + 3) & ~3); };
    WORD length, valueLength;
    std::memcpy(&length, node, 2);
    std::memcpy(&valueLength, node + 2, 2);
    VersionNode result;
    const BYTE* p = node + 6;
    for (WORD c; std::memcpy(&c, p, 2), p += 2, c;)
        result.key += static_cast<wchar_t>(c);
    p = align(p);
    result.value = p;
    result.valueLength = valueLength;
    WORD type;
    std::memcpy(&type, node + 4, 2);
    p = align(p + (type == 1 ? valueLength * 2 : valueLength));
    const BYTE* end = node + length;
    while (p < end) {
        result.children.push_back(ParseVersionNode(base, p));
        WORD childLength;
        std::memcpy(&childLength, p, 2);
        p = align(p + childLength);
    }
    return result;
}

TEST(VersionBlock, ReadsBackFromTheBuiltProgram)
{
    const std::string path = ProductPath();
    if (path.empty())
        GTEST_SKIP() << "PLIMZOR_SCR is not set (run through ctest)";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << path;
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x0001000Fu);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x0001000Fu);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 0x04B0);

    // The string table, walked in stored order.
    const VersionNode root = ParseVersionNode(block.data(), block.data());
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    const VersionNode* table = nullptr;
    for (const VersionNode& child : root.children) {
        if (child.key == L"StringFileInfo" && !child.children.empty())
            table = &child.children[0];
    }
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->key, L"041104b0");
    const struct {
        const wchar_t* key;
        const wchar_t* value; // nullptr: any non-empty text
    } expected[] = {
        {L"Comments", nullptr},
        {L"FileDescription", L"PLIMZOR"},
        {L"FileVersion", L"1.15"},
        {L"InternalName", L"PLIMZOR"},
        {L"ProductName", L"PLIMZORスクリーンセイバー"},
        {L"OriginalFilename", L"PLIMZOR.SCR"},
        {L"ProductVersion", L"1.15"},
    };
    ASSERT_EQ(table->children.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const VersionNode& entry = table->children[i];
        EXPECT_EQ(entry.key, expected[i].key);
        const std::wstring value(reinterpret_cast<const wchar_t*>(entry.value));
        if (expected[i].value)
            EXPECT_EQ(value, expected[i].value);
        else
            EXPECT_FALSE(value.empty());
    }
}

// One element of an XML text, with the namespace its name resolves to.
struct XmlElement {
    std::string path;       // local names from the root, joined by '/'
    std::string nameSpace;  // the URI its prefix (or the default) is bound to
    std::string text;       // character data directly inside it, trimmed
};

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Enough of XML for a manifest: elements, attributes in quotes, namespace
// declarations with their scope, comments and the declaration skipped.
std::vector<XmlElement> ReadXmlElements(const std::string& xml)
{
    struct Open {
        size_t element;
        std::string path;
        std::map<std::string, std::string> bindings;  // prefix ("" default) -> URI
    };
    std::vector<XmlElement> elements;
    std::vector<Open> open;
    size_t p = 0;
    while ((p = xml.find('<', p)) != std::string::npos) {
        if (xml.compare(p, 4, "<!--") == 0) {
            p = xml.find("-->", p);
            continue;
        }
        const size_t end = xml.find('>', p);
        if (end == std::string::npos)
            break;
        std::string tag = xml.substr(p + 1, end - p - 1);
        p = end + 1;
        if (tag.empty() || tag[0] == '?' || tag[0] == '!')
            continue;
        if (tag[0] == '/') {
            if (!open.empty())
                open.pop_back();
        } else {
            const bool empty = tag.back() == '/';
            if (empty)
                tag.pop_back();
            Open element;
            element.bindings = open.empty() ? std::map<std::string, std::string>{} : open.back().bindings;
            const size_t nameEnd = tag.find_first_of(" \t\r\n");
            const std::string name = tag.substr(0, nameEnd);
            // Attributes: name="value" or name='value'.
            for (size_t a = nameEnd; a != std::string::npos && a < tag.size();) {
                const size_t key = tag.find_first_not_of(" \t\r\n", a);
                const size_t equals = key == std::string::npos ? key : tag.find('=', key);
                if (equals == std::string::npos)
                    break;
                const size_t quote = tag.find_first_of("\"'", equals);
                const size_t close = tag.find(tag[quote], quote + 1);
                const std::string attribute = Trimmed(tag.substr(key, equals - key));
                const std::string value = tag.substr(quote + 1, close - quote - 1);
                if (attribute == "xmlns")
                    element.bindings[""] = value;
                else if (attribute.compare(0, 6, "xmlns:") == 0)
                    element.bindings[attribute.substr(6)] = value;
                a = close + 1;
            }
            const size_t colon = name.find(':');
            const std::string prefix = colon == std::string::npos ? "" : name.substr(0, colon);
            const std::string local = colon == std::string::npos ? name : name.substr(colon + 1);
            element.path = open.empty() ? local : open.back().path + "/" + local;
            element.element = elements.size();
            elements.push_back({element.path, element.bindings[prefix], ""});
            if (!empty)
                open.push_back(element);
        }
        const size_t next = xml.find('<', p);
        if (!open.empty())
            elements[open.back().element].text += xml.substr(p, next - p);
    }
    for (XmlElement& element : elements)
        element.text = Trimmed(element.text);
    return elements;
}

BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK ListManifest(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR found)
{
    auto* names = reinterpret_cast<std::vector<std::string>*>(found);
    int languages = 0;
    EnumResourceLanguagesA(module, type, name, CountLanguage, reinterpret_cast<LONG_PTR>(&languages));
    const std::string label = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<UINT_PTR>(name)) : name;
    for (int i = 0; i < languages; ++i)
        names->push_back(label);
    return TRUE;
}

TEST(Manifest, DeclaresSystemDpiAwarenessAndNothingThatChangesBehaviour)
{
    const std::string path = ProductPath();
    if (path.empty())
        GTEST_SKIP() << "PLIMZOR_SCR is not set (run through ctest)";
    HMODULE product = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(product, nullptr) << path;
    const LPCSTR manifestType = MAKEINTRESOURCEA(24);  // RT_MANIFEST

    // Exactly ours: the toolchain links no manifest of its own beside it.
    std::vector<std::string> manifests;
    EnumResourceNamesA(product, manifestType, ListManifest, reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(manifests, std::vector<std::string>{"#1"}) << "one manifest, id 1, in one language";

    HRSRC found = FindResourceA(product, MAKEINTRESOURCEA(1), manifestType);
    ASSERT_NE(found, nullptr);
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(product, found))),
                          SizeofResource(product, found));
    FreeLibrary(product);

    const std::vector<XmlElement> elements = ReadXmlElements(xml);
    // Declaring an execution level switches off file virtualisation, and a
    // 32-bit saver in a system folder could no longer write its settings.
    for (const XmlElement& element : elements) {
        EXPECT_EQ(element.path.find("trustInfo"), std::string::npos) << element.path;
        EXPECT_EQ(element.path.find("requestedExecutionLevel"), std::string::npos) << element.path;
    }

    // Only the DPI declaration, each element in the namespace the system
    // reads it in (a dpiAware in another namespace is ignored): no supported
    // OS list, no control library version, no per-monitor awareness, which
    // would each change how the saver behaves.
    const char* const assembly = "urn:schemas-microsoft-com:asm.v1";
    const char* const application = "urn:schemas-microsoft-com:asm.v3";
    const char* const settings = "http://schemas.microsoft.com/SMI/2005/WindowsSettings";
    const struct {
        const char* path;
        const char* nameSpace;
        const char* text;
    } expected[] = {
        {"assembly", assembly, ""},
        {"assembly/application", application, ""},
        {"assembly/application/windowsSettings", application, ""},
        {"assembly/application/windowsSettings/dpiAware", settings, "true"},
    };
    ASSERT_EQ(elements.size(), std::size(expected)) << xml;
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(elements[i].path, expected[i].path);
        EXPECT_EQ(elements[i].nameSpace, expected[i].nameSpace);
        EXPECT_EQ(elements[i].text, expected[i].text);
    }
}

} // namespace
