// Shared by the settings store and dialog tests: a private APPDATA for one
// test, so that a per-user file it makes can neither reach the Wine profile
// the other tests share nor change what a later test reads. Its folder may
// be named in a script the ANSI code page lacks, as a user's profile may.
#pragma once

#include <windows.h>

#include <string>

// A fresh folder under the temporary folder (its name ending in `name`), set
// as this process's APPDATA while the object lives; afterwards the previous
// value is back and the folder is gone with everything the program put into
// its PLIMZOR folder.
class TemporaryAppData {
public:
    explicit TemporaryAppData(const std::wstring& name = L"")
    {
        saved = Variable();
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        folder = std::wstring(temp) + L"plz-appdata-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++serial) + name;
        CreateDirectoryW(folder.c_str(), nullptr);
        Set();
    }
    ~TemporaryAppData()
    {
        Restore();
        const std::wstring user = UserFolder();
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((user + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((user + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(user.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    TemporaryAppData(const TemporaryAppData&) = delete;
    TemporaryAppData& operator=(const TemporaryAppData&) = delete;

    void Set() const { SetEnvironmentVariableW(L"APPDATA", folder.c_str()); }
    // As on a Windows 9x system, where there is often no APPDATA.
    static void Unset() { SetEnvironmentVariableW(L"APPDATA", nullptr); }

    // The per-user file of a program whose file beside it is `besideName`.
    std::wstring UserFile(const std::wstring& besideName) const { return UserFolder() + L"\\" + besideName; }
    std::wstring UserFolder() const { return folder + L"\\PLIMZOR"; }

    std::wstring folder;

private:
    struct Value {
        bool present;
        std::wstring text;
    };
    static Value Variable()
    {
        wchar_t text[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(L"APPDATA", text, MAX_PATH);
        return {length > 0 && length < MAX_PATH, text};
    }
    void Restore() const { SetEnvironmentVariableW(L"APPDATA", saved.present ? saved.text.c_str() : nullptr); }

    Value saved;
};

// The name of the settings file beside this test program (the program's
// own name with INI for its extension), without its folder.
inline std::wstring BesideFileName()
{
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring name = module;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.') + 1) + L"INI";
}

// A file's bytes, or "(absent)".
inline std::string FileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "(absent)";
    std::string bytes;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}
