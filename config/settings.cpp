// The settings store: names the INI file beside the executable and the
// per-user one under APPDATA, loads the colour mode and the count of pairs
// from the one in use, validating them as they are read, and saves them for
// the dialog's OK. Loading never writes.
//
// Beside the program stays the first choice, as on every system before: a
// copy of PLIMZOR.SCR carries its settings with it. The per-user file exists
// for the program folders a user cannot write (System32 of a 64-bit Windows,
// which does not virtualise it, a read-only or network folder): once a save
// has landed there it wins over the file beside the program, so the saver
// reads what the dialog saved.
#include "config/settings.h"

#include "platform/platform.h"

#include <cstring>

Settings gSettings = {};
int gScrollPosition = 0;
char gProgramSettingsPath[MAX_PATH] = {};
char gUserSettingsPath[MAX_PATH] = {};
char gSettingsPath[MAX_PATH] = {};

namespace {

constexpr char Section[] = "PLIMZOR";
constexpr char Extension[] = "INI";
constexpr char UserFolder[] = "PLIMZOR";

typedef DWORD(WINAPI* LongPathNameFn)(LPCSTR, LPSTR, DWORD);

bool IsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The file name part of a path: the text after its last separator.
const char* FileNameOf(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (IsPathSeparator(*p))
            name = p + 1;
    }
    return name;
}

// The last '.' of a name, or none.
const char* LastDotOf(const char* name)
{
    const char* dot = nullptr;
    for (const char* p = name; *p; ++p) {
        if (*p == '.')
            dot = p;
    }
    return dot;
}

// Copies a path into a buffer of MAX_PATH bytes, cut to fit. (Not
// lstrcpynA: the product's own string calls are linked in already.)
void CopyPath(char* buffer, const char* path)
{
    size_t length = std::strlen(path);
    if (length > MAX_PATH - 1)
        length = MAX_PATH - 1;
    std::memcpy(buffer, path, length);
    buffer[length] = '\0';
}

bool FileExists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether a save has already made the per-user file: it then wins.
bool UserFileExists()
{
    return gUserSettingsPath[0] && FileExists(gUserSettingsPath);
}

const char* PathOf(SettingsPlace place)
{
    switch (place) {
    case SettingsPlace::BesideProgram:
        return gProgramSettingsPath;
    case SettingsPlace::PerUser:
        return gUserSettingsPath;
    default:
        return "";
    }
}

// The per-user file's folder, made when a save first needs it. A folder
// that exists already fails the call harmlessly; any other failure shows in
// the write that follows.
void CreateUserFolder()
{
    char folder[MAX_PATH];
    CopyPath(folder, gUserSettingsPath);
    const size_t nameAt = static_cast<size_t>(FileNameOf(folder) - folder);
    if (nameAt == 0)
        return;
    folder[nameAt - 1] = '\0';
    CreateDirectoryA(folder, nullptr);
}

// Both keys into one file, the mode first, as the file has always been
// laid out. False as soon as one of them is not written.
bool WriteSettingsFile(const char* path, int colorMode, int count)
{
    char text[16];
    wsprintfA(text, "%d", colorMode);
    if (!WritePrivateProfileStringA(Section, "PLIM_MODE", text, path))
        return false;
    wsprintfA(text, "%d", count);
    return WritePrivateProfileStringA(Section, "PLIM_KOSU", text, path) != 0;
}

} // namespace

bool DeriveSettingsPath(const char* modulePath, char* buffer, size_t bufferSize)
{
    if (bufferSize == 0)
        return false;
    buffer[0] = '\0';
    const size_t length = std::strlen(modulePath);
    // The extension is the text after the last '.' of the file name; a dot
    // in a folder name is no extension.
    const char* dot = LastDotOf(FileNameOf(modulePath));
    // Without an extension ".INI" is appended to the whole name.
    const size_t keep = dot ? static_cast<size_t>(dot + 1 - modulePath) : length;
    const size_t added = (dot ? 0 : 1) + sizeof Extension - 1;
    if (keep + added + 1 > bufferSize)
        return false;
    std::memcpy(buffer, modulePath, keep);
    char* tail = buffer + keep;
    if (!dot)
        *tail++ = '.';
    std::memcpy(tail, Extension, sizeof Extension);
    return true;
}

bool DeriveUserSettingsPath(const char* appData, const char* modulePath, char* buffer, size_t bufferSize)
{
    if (bufferSize == 0)
        return false;
    buffer[0] = '\0';
    const size_t folderLength = std::strlen(appData);
    char name[MAX_PATH];
    if (folderLength == 0 || !DeriveSettingsPath(FileNameOf(modulePath), name, sizeof name))
        return false;
    // APPDATA may end in a separator of its own (a drive's root, "C:\").
    const size_t separator = IsPathSeparator(appData[folderLength - 1]) ? 0 : 1;
    const size_t nameLength = std::strlen(name);
    const size_t total = folderLength + separator + sizeof UserFolder - 1 + 1 + nameLength;
    if (total + 1 > bufferSize)
        return false;
    char* p = buffer;
    std::memcpy(p, appData, folderLength);
    p += folderLength;
    if (separator)
        *p++ = '\\';
    std::memcpy(p, UserFolder, sizeof UserFolder - 1);
    p += sizeof UserFolder - 1;
    *p++ = '\\';
    std::memcpy(p, name, nameLength + 1);
    return true;
}

void LongPathOf(const char* path, char* buffer)
{
    // Windows 95 and NT 4.0 have no GetLongPathNameA, so it is looked up
    // rather than imported. KERNEL32 is always loaded, and is not freed.
    const auto longPathName = LookUp<LongPathNameFn>(GetModuleHandleA("KERNEL32.DLL"), "GetLongPathNameA");
    if (longPathName) {
        // 0 is a failure, MAX_PATH or more the size the long form would need.
        const DWORD length = longPathName(path, buffer, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            return;
    }
    CopyPath(buffer, path);
}

SettingsPlace SettingsFileToRead(bool programNamed, bool userNamed, bool userFileExists)
{
    if (userNamed && userFileExists)
        return SettingsPlace::PerUser;
    return programNamed ? SettingsPlace::BesideProgram : SettingsPlace::None;
}

int SettingsFilesToSave(bool programNamed, bool userNamed, bool userFileExists, SettingsPlace order[2])
{
    int count = 0;
    // Once the per-user file exists it is the one read: writing anywhere
    // else would save a choice that nothing sees.
    if (userNamed && userFileExists) {
        order[count++] = SettingsPlace::PerUser;
        return count;
    }
    if (programNamed)
        order[count++] = SettingsPlace::BesideProgram;
    if (userNamed)
        order[count++] = SettingsPlace::PerUser;
    return count;
}

void BuildSettingsPath(char* buffer)
{
    buffer[0] = '\0';
    gProgramSettingsPath[0] = '\0';
    gUserSettingsPath[0] = '\0';
    char modulePath[MAX_PATH + 1] = {};
    // A result of MAX_PATH or more means the path was cut short (or the call
    // failed with 0): no file name may be derived from it then.
    const DWORD length = GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
    if (length == 0 || length >= MAX_PATH)
        return;
    // The system may start the saver by its 8.3 short name and the display
    // settings page the dialog by its long one; the long form names the
    // same file for both.
    char longPath[MAX_PATH];
    LongPathOf(modulePath, longPath);
    DeriveSettingsPath(longPath, gProgramSettingsPath, sizeof gProgramSettingsPath);
    char appData[MAX_PATH];
    const DWORD appDataLength = GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
    if (appDataLength > 0 && appDataLength < sizeof appData)
        DeriveUserSettingsPath(appData, longPath, gUserSettingsPath, sizeof gUserSettingsPath);
    const SettingsPlace place =
        SettingsFileToRead(gProgramSettingsPath[0] != '\0', gUserSettingsPath[0] != '\0', UserFileExists());
    CopyPath(buffer, PathOf(place));
}

int ValidColorMode(int mode)
{
    return mode == Standard || mode == Colorful ? mode : Standard;
}

int ValidCount(int count)
{
    return count >= MinCount && count <= MaxCount ? count : DefaultCount;
}

void LoadSettings(const char* path)
{
    int mode = Standard;
    int count = DefaultCount;
    if (path[0]) {
        mode = static_cast<int>(GetPrivateProfileIntA(Section, "PLIM_MODE", Standard, path));
        count = static_cast<int>(GetPrivateProfileIntA(Section, "PLIM_KOSU", DefaultCount, path));
    }
    gSettings.colorMode = ValidColorMode(mode);
    gSettings.count = ValidCount(count);
    gScrollPosition = gSettings.count;
}

SettingsPlace SaveSettings(int colorMode, int count)
{
    SettingsPlace order[2];
    const int places =
        SettingsFilesToSave(gProgramSettingsPath[0] != '\0', gUserSettingsPath[0] != '\0', UserFileExists(), order);
    for (int i = 0; i < places; ++i) {
        if (order[i] == SettingsPlace::PerUser)
            CreateUserFolder();
        if (WriteSettingsFile(PathOf(order[i]), colorMode, count))
            return order[i];
    }
    return SettingsPlace::None;
}
