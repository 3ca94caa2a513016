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
//
// Paths are held in UTF-16 and reach the system through platform/names.h,
// so a profile or program folder named in any script keeps its settings;
// the file's content stays the two keys as decimal text, as every earlier
// version wrote and reads it.
#include "config/settings.h"

#include "platform/names.h"

#include <cstring>

Settings gSettings = {};
int gScrollPosition = 0;
wchar_t gProgramSettingsPath[MAX_PATH] = {};
wchar_t gUserSettingsPath[MAX_PATH] = {};
wchar_t gSettingsPath[MAX_PATH] = {};

namespace {

constexpr wchar_t Section[] = L"PLIMZOR";
constexpr wchar_t Extension[] = L"INI";
constexpr wchar_t UserFolder[] = L"PLIMZOR";
constexpr size_t ExtensionLength = sizeof Extension / sizeof Extension[0] - 1;
constexpr size_t UserFolderLength = sizeof UserFolder / sizeof UserFolder[0] - 1;

bool IsPathSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// The file name part of a path: the text after its last separator.
const wchar_t* FileNameOf(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (IsPathSeparator(*p))
            name = p + 1;
    }
    return name;
}

// The last '.' of a name, or none.
const wchar_t* LastDotOf(const wchar_t* name)
{
    const wchar_t* dot = nullptr;
    for (const wchar_t* p = name; *p; ++p) {
        if (*p == L'.')
            dot = p;
    }
    return dot;
}

// Copies a path into a buffer of MAX_PATH units, cut to fit.
void CopyPath(wchar_t* buffer, const wchar_t* path)
{
    size_t length = TextLength(path);
    if (length > MAX_PATH - 1)
        length = MAX_PATH - 1;
    std::memcpy(buffer, path, length * sizeof(wchar_t));
    buffer[length] = L'\0';
}

bool FileExists(const wchar_t* path)
{
    const DWORD attributes = FileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether a save has already made the per-user file: it then wins.
bool UserFileExists()
{
    return gUserSettingsPath[0] && FileExists(gUserSettingsPath);
}

// The per-user file's folder, made when a save first needs it. A folder
// that exists already fails the call harmlessly; any other failure shows in
// the write that follows.
void CreateUserFolder()
{
    wchar_t folder[MAX_PATH];
    CopyPath(folder, gUserSettingsPath);
    const size_t nameAt = static_cast<size_t>(FileNameOf(folder) - folder);
    if (nameAt == 0)
        return;
    folder[nameAt - 1] = L'\0';
    MakeFolder(folder);
}

// The system's reason for the call that just failed; never 0, which would
// read as a success.
DWORD FailureCode()
{
    const DWORD error = GetLastError();
    return error ? error : ERROR_WRITE_FAULT;
}

// Both keys into one file, the mode first, as the file has always been
// laid out. The system's error code, or 0 (ERROR_SUCCESS) once both are
// written.
DWORD WriteSettingsFile(const wchar_t* path, int colorMode, int count)
{
    wchar_t text[12];
    DecimalText(colorMode, text);
    if (!WriteProfileText(Section, L"PLIM_MODE", text, path))
        return FailureCode();
    DecimalText(count, text);
    if (!WriteProfileText(Section, L"PLIM_KOSU", text, path))
        return FailureCode();
    return ERROR_SUCCESS;
}

} // namespace

bool DeriveSettingsPath(const wchar_t* modulePath, wchar_t* buffer, size_t bufferSize)
{
    if (bufferSize == 0)
        return false;
    buffer[0] = L'\0';
    const size_t length = TextLength(modulePath);
    // The extension is the text after the last '.' of the file name; a dot
    // in a folder name is no extension.
    const wchar_t* dot = LastDotOf(FileNameOf(modulePath));
    // Without an extension ".INI" is appended to the whole name.
    const size_t keep = dot ? static_cast<size_t>(dot + 1 - modulePath) : length;
    const size_t added = (dot ? 0 : 1) + ExtensionLength;
    if (keep + added + 1 > bufferSize)
        return false;
    std::memcpy(buffer, modulePath, keep * sizeof(wchar_t));
    wchar_t* tail = buffer + keep;
    if (!dot)
        *tail++ = L'.';
    std::memcpy(tail, Extension, (ExtensionLength + 1) * sizeof(wchar_t));
    return true;
}

bool DeriveUserSettingsPath(const wchar_t* appData, const wchar_t* modulePath, wchar_t* buffer, size_t bufferSize)
{
    if (bufferSize == 0)
        return false;
    buffer[0] = L'\0';
    const size_t folderLength = TextLength(appData);
    wchar_t name[MAX_PATH];
    if (folderLength == 0 || !DeriveSettingsPath(FileNameOf(modulePath), name, MAX_PATH))
        return false;
    // APPDATA may end in a separator of its own (a drive's root, "C:\").
    const size_t separator = IsPathSeparator(appData[folderLength - 1]) ? 0 : 1;
    const size_t nameLength = TextLength(name);
    const size_t total = folderLength + separator + UserFolderLength + 1 + nameLength;
    if (total + 1 > bufferSize)
        return false;
    wchar_t* p = buffer;
    std::memcpy(p, appData, folderLength * sizeof(wchar_t));
    p += folderLength;
    if (separator)
        *p++ = L'\\';
    std::memcpy(p, UserFolder, UserFolderLength * sizeof(wchar_t));
    p += UserFolderLength;
    *p++ = L'\\';
    std::memcpy(p, name, (nameLength + 1) * sizeof(wchar_t));
    return true;
}

void LongPathOf(const wchar_t* path, wchar_t* buffer)
{
    // 0 is a failure (or a system without the call), MAX_PATH or more the
    // size the long form would need.
    const DWORD length = LongPathName(path, buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return;
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

const wchar_t* SettingsFilePath(SettingsPlace place)
{
    switch (place) {
    case SettingsPlace::BesideProgram:
        return gProgramSettingsPath;
    case SettingsPlace::PerUser:
        return gUserSettingsPath;
    default:
        return L"";
    }
}

void BuildSettingsPath(wchar_t* buffer)
{
    buffer[0] = L'\0';
    gProgramSettingsPath[0] = L'\0';
    gUserSettingsPath[0] = L'\0';
    wchar_t modulePath[MAX_PATH + 1] = {};
    // A result of MAX_PATH or more means the path was cut short (or the call
    // failed with 0): no file name may be derived from it then.
    const DWORD length = ModuleFileName(modulePath, MAX_PATH + 1);
    if (length == 0 || length >= MAX_PATH)
        return;
    // The system may start the saver by its 8.3 short name and the display
    // settings page the dialog by its long one; the long form names the
    // same file for both.
    wchar_t longPath[MAX_PATH];
    LongPathOf(modulePath, longPath);
    DeriveSettingsPath(longPath, gProgramSettingsPath, MAX_PATH);
    wchar_t appData[MAX_PATH];
    const DWORD appDataLength = EnvironmentVariable(L"APPDATA", appData, MAX_PATH);
    if (appDataLength > 0 && appDataLength < MAX_PATH)
        DeriveUserSettingsPath(appData, longPath, gUserSettingsPath, MAX_PATH);
    const SettingsPlace place =
        SettingsFileToRead(gProgramSettingsPath[0] != L'\0', gUserSettingsPath[0] != L'\0', UserFileExists());
    CopyPath(buffer, SettingsFilePath(place));
}

int ValidColorMode(int mode)
{
    return mode == Standard || mode == Colorful ? mode : Standard;
}

int ValidCount(int count)
{
    return count >= MinCount && count <= MaxCount ? count : DefaultCount;
}

void LoadSettings(const wchar_t* path)
{
    int mode = Standard;
    int count = DefaultCount;
    if (path[0]) {
        mode = static_cast<int>(ProfileInt(Section, L"PLIM_MODE", Standard, path));
        count = static_cast<int>(ProfileInt(Section, L"PLIM_KOSU", DefaultCount, path));
    }
    gSettings.colorMode = ValidColorMode(mode);
    gSettings.count = ValidCount(count);
    gScrollPosition = gSettings.count;
}

SaveOutcome SaveSettings(int colorMode, int count)
{
    SaveOutcome outcome = {SettingsPlace::None, 0, {SettingsPlace::None, SettingsPlace::None}, {0, 0}};
    SettingsPlace order[2];
    const int places =
        SettingsFilesToSave(gProgramSettingsPath[0] != L'\0', gUserSettingsPath[0] != L'\0', UserFileExists(), order);
    for (int i = 0; i < places; ++i) {
        if (order[i] == SettingsPlace::PerUser)
            CreateUserFolder();
        const DWORD error = WriteSettingsFile(SettingsFilePath(order[i]), colorMode, count);
        if (error == ERROR_SUCCESS) {
            outcome.place = order[i];
            return outcome;
        }
        outcome.refused[outcome.refusals] = order[i];
        outcome.errors[outcome.refusals] = error;
        ++outcome.refusals;
    }
    return outcome;
}
