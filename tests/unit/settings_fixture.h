// Shared by the settings store and dialog tests: a private APPDATA for one
// test, so that a per-user settings file it makes can neither reach the Wine
// profile the other tests share nor change what a later test reads.
#pragma once

#include <windows.h>

#include <string>

// A fresh folder under the temporary folder, set as this process's APPDATA
// while the object lives; afterwards the previous value is back and the
// folder is gone with everything the program put into its PLIMZOR folder.
class TemporaryAppData {
public:
    TemporaryAppData()
    {
        saved = Variable();
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        static int serial = 0;
        char name[64];
        wsprintfA(name, "plz-appdata-%lu-%d", GetCurrentProcessId(), ++serial);
        folder = std::string(temp) + name;
        CreateDirectoryA(folder.c_str(), nullptr);
        Set();
    }
    ~TemporaryAppData()
    {
        Restore();
        const std::string user = folder + "\\PLIMZOR";
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((user + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA((user + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(user.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    TemporaryAppData(const TemporaryAppData&) = delete;
    TemporaryAppData& operator=(const TemporaryAppData&) = delete;

    void Set() const { SetEnvironmentVariableA("APPDATA", folder.c_str()); }
    // As on a Windows 9x system, where there is often no APPDATA.
    static void Unset() { SetEnvironmentVariableA("APPDATA", nullptr); }

    // The per-user file of a program whose file beside it is `besideName`.
    std::string UserFile(const std::string& besideName) const { return folder + "\\PLIMZOR\\" + besideName; }
    std::string UserFolder() const { return folder + "\\PLIMZOR"; }

    std::string folder;

private:
    struct Value {
        bool present;
        std::string text;
    };
    static Value Variable()
    {
        char text[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableA("APPDATA", text, sizeof text);
        return {length > 0 && length < sizeof text, text};
    }
    void Restore() const { SetEnvironmentVariableA("APPDATA", saved.present ? saved.text.c_str() : nullptr); }

    Value saved;
};

// The name of the settings file beside this test program (the program's
// own name with INI for its extension), without its folder.
inline std::string BesideFileName()
{
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::string name = module;
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.') + 1) + "INI";
}
