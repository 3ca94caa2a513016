// Names and texts in any script: each call goes to the system's Unicode call
// on the NT family, and on the Windows 9x family to its ANSI call, with the
// text converted through the code page on the way in and out.
#include "platform/names.h"

#include "platform/platform.h"

namespace {

typedef DWORD(WINAPI* LongPathNameWFn)(LPCWSTR, LPWSTR, DWORD);
typedef DWORD(WINAPI* LongPathNameAFn)(LPCSTR, LPSTR, DWORD);

// A path in the code page, for an ANSI call: MAX_PATH bytes is all those
// calls take.
struct AnsiPath {
    char text[MAX_PATH];
    bool spelled;
};

AnsiPath AnsiOf(const wchar_t* path)
{
    AnsiPath ansi;
    ansi.spelled = ToAnsi(path, ansi.text, MAX_PATH);
    // The call that cannot be made fails as the system fails a bad name.
    if (!ansi.spelled)
        SetLastError(ERROR_INVALID_NAME);
    return ansi;
}

// An ANSI call's text result (of `length` bytes, as it counted them) given
// back as UTF-16: the length in units, or 0 when it does not fit. A result
// that did not fit the ANSI call's buffer is handed on as it is.
DWORD WidenResult(DWORD length, DWORD ansiSize, const char* ansi, wchar_t* buffer, DWORD size)
{
    if (length == 0 || length >= ansiSize)
        return length;
    return ToWide(ansi, buffer, static_cast<int>(size)) ? static_cast<DWORD>(TextLength(buffer)) : 0;
}

HMODULE Kernel()
{
    // Always loaded, never freed.
    return GetModuleHandleA("KERNEL32.DLL");
}

// Trailing line breaks and spaces off a text the system wrote.
void TrimEnd(wchar_t* text)
{
    size_t length = TextLength(text);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
        text[--length] = L'\0';
}

} // namespace

bool SystemTakesUnicode()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool UnicodeCalls()
{
    return gPlatform.unicodeCalls;
}

bool ToWide(const char* text, wchar_t* buffer, int size)
{
    if (size <= 0)
        return false;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, size) > 0)
        return true;
    buffer[0] = L'\0';
    return false;
}

bool ToAnsi(const wchar_t* text, char* buffer, int size)
{
    if (size <= 0)
        return false;
    // The system refuses the flag asked of UTF-8, which spells every letter.
    BOOL lost = FALSE;
    BOOL* lostFlag = GetACP() == CP_UTF8 ? nullptr : &lost;
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, size, nullptr, lostFlag) > 0 && !lost)
        return true;
    buffer[0] = '\0';
    return false;
}

DWORD ModuleFileName(wchar_t* buffer, DWORD size)
{
    if (UnicodeCalls())
        return GetModuleFileNameW(nullptr, buffer, size);
    char ansi[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, ansi, sizeof ansi);
    return WidenResult(length, sizeof ansi - 1, ansi, buffer, size);
}

DWORD EnvironmentVariable(const wchar_t* name, wchar_t* buffer, DWORD size)
{
    if (UnicodeCalls())
        return GetEnvironmentVariableW(name, buffer, size);
    const AnsiPath ansiName = AnsiOf(name);
    char ansi[MAX_PATH];
    if (!ansiName.spelled)
        return 0;
    const DWORD length = GetEnvironmentVariableA(ansiName.text, ansi, sizeof ansi);
    return WidenResult(length, sizeof ansi, ansi, buffer, size);
}

DWORD LongPathName(const wchar_t* path, wchar_t* buffer, DWORD size)
{
    // Windows 95 and NT 4.0 have neither call, so both are looked up rather
    // than imported.
    if (UnicodeCalls()) {
        const auto longPathName = LookUp<LongPathNameWFn>(Kernel(), "GetLongPathNameW");
        return longPathName ? longPathName(path, buffer, size) : 0;
    }
    const auto longPathName = LookUp<LongPathNameAFn>(Kernel(), "GetLongPathNameA");
    const AnsiPath ansiPath = AnsiOf(path);
    if (!longPathName || !ansiPath.spelled)
        return 0;
    char ansi[MAX_PATH];
    const DWORD length = longPathName(ansiPath.text, ansi, sizeof ansi);
    return WidenResult(length, sizeof ansi, ansi, buffer, size);
}

DWORD FileAttributes(const wchar_t* path)
{
    if (UnicodeCalls())
        return GetFileAttributesW(path);
    const AnsiPath ansi = AnsiOf(path);
    return ansi.spelled ? GetFileAttributesA(ansi.text) : INVALID_FILE_ATTRIBUTES;
}

BOOL MakeFolder(const wchar_t* path)
{
    if (UnicodeCalls())
        return CreateDirectoryW(path, nullptr);
    const AnsiPath ansi = AnsiOf(path);
    return ansi.spelled && CreateDirectoryA(ansi.text, nullptr);
}

UINT ProfileInt(const wchar_t* section, const wchar_t* key, int fallback, const wchar_t* path)
{
    if (UnicodeCalls())
        return GetPrivateProfileIntW(section, key, fallback, path);
    const AnsiPath ansiSection = AnsiOf(section);
    const AnsiPath ansiKey = AnsiOf(key);
    const AnsiPath ansiPath = AnsiOf(path);
    if (!ansiSection.spelled || !ansiKey.spelled || !ansiPath.spelled)
        return static_cast<UINT>(fallback);
    return GetPrivateProfileIntA(ansiSection.text, ansiKey.text, fallback, ansiPath.text);
}

BOOL WriteProfileText(const wchar_t* section, const wchar_t* key, const wchar_t* text, const wchar_t* path)
{
    if (UnicodeCalls())
        return WritePrivateProfileStringW(section, key, text, path);
    const AnsiPath ansiSection = AnsiOf(section);
    const AnsiPath ansiKey = AnsiOf(key);
    const AnsiPath ansiText = AnsiOf(text);
    const AnsiPath ansiPath = AnsiOf(path);
    if (!ansiSection.spelled || !ansiKey.spelled || !ansiText.spelled || !ansiPath.spelled)
        return FALSE;
    return WritePrivateProfileStringA(ansiSection.text, ansiKey.text, ansiText.text, ansiPath.text);
}

DWORD SystemErrorText(DWORD error, LANGID language, wchar_t* buffer, DWORD size)
{
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = 0;
    // A system without the language's texts refuses it: then its own.
    if (UnicodeCalls()) {
        length = FormatMessageW(flags, nullptr, error, language, buffer, size, nullptr);
        if (length == 0 && language != 0)
            length = FormatMessageW(flags, nullptr, error, 0, buffer, size, nullptr);
    } else {
        char ansi[512];
        length = FormatMessageA(flags, nullptr, error, language, ansi, sizeof ansi, nullptr);
        if (length == 0 && language != 0)
            length = FormatMessageA(flags, nullptr, error, 0, ansi, sizeof ansi, nullptr);
        length = WidenResult(length, sizeof ansi, ansi, buffer, size);
    }
    if (length == 0 || length >= size) {
        if (size > 0)
            buffer[0] = L'\0';
        return 0;
    }
    TrimEnd(buffer);
    return static_cast<DWORD>(TextLength(buffer));
}

int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    if (UnicodeCalls())
        return MessageBoxW(owner, text, caption, type);
    // Shown, not used as a name: a letter the code page lacks may be '?'.
    char ansiText[2048];
    char ansiCaption[256];
    if (!WideCharToMultiByte(CP_ACP, 0, text, -1, ansiText, sizeof ansiText, nullptr, nullptr))
        ansiText[0] = '\0';
    if (!WideCharToMultiByte(CP_ACP, 0, caption, -1, ansiCaption, sizeof ansiCaption, nullptr, nullptr))
        ansiCaption[0] = '\0';
    return MessageBoxA(owner, ansiText, ansiCaption, type);
}

void DecimalText(int value, wchar_t text[12])
{
    wchar_t digits[11];
    int count = 0;
    // Unsigned, so that the most negative number has its digits too.
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    int at = 0;
    if (value < 0)
        text[at++] = L'-';
    while (count)
        text[at++] = digits[--count];
    text[at] = L'\0';
}

size_t TextLength(const wchar_t* text)
{
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}
