// The settings store: derives the INI path beside the executable and loads
// the colour mode and the count of pairs, validating them as they are read.
// Loading never writes; only the dialog's OK does.
#include "config/settings.h"

#include <cstring>

Settings gSettings = {};
int gScrollPosition = 0;
char gSettingsPath[MAX_PATH] = {};

namespace {

constexpr char Section[] = "PLIMZOR";
constexpr char Extension[] = "INI";

} // namespace

bool DeriveSettingsPath(const char* modulePath, char* buffer, size_t bufferSize)
{
    if (bufferSize == 0)
        return false;
    buffer[0] = '\0';
    const size_t length = std::strlen(modulePath);
    // The extension is the text after the last '.' of the file name; a dot
    // in a folder name is no extension.
    const char* name = modulePath;
    for (const char* p = modulePath; *p; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    const char* dot = std::strrchr(name, '.');
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

void BuildSettingsPath(char* buffer)
{
    char modulePath[MAX_PATH + 1] = {};
    // A result of MAX_PATH or more means the path was cut short (or the call
    // failed with 0): no file name may be derived from it then.
    const DWORD length = GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
    if (length == 0 || length >= MAX_PATH || !DeriveSettingsPath(modulePath, buffer, MAX_PATH))
        buffer[0] = '\0';
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
