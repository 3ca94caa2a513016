// The settings store: the two user settings, the dialog's scroll position and
// the two places the INI file may live: beside the executable, and in the
// user's own application data folder for a program folder that cannot be
// written.
#pragma once

#include <windows.h>

enum ColorMode : int { Standard = 1000, Colorful = 1001 };

constexpr int DefaultCount = 10;
constexpr int MinCount = 1;
constexpr int MaxCount = 255;

struct Settings {
    int colorMode;
    int count;
};

// Where a settings file lives.
enum class SettingsPlace { None, BesideProgram, PerUser };

extern Settings gSettings;
extern int gScrollPosition;
// The paths are UTF-16 on every system, so that a folder named in any
// script names its file (platform/names.h).
// The file beside the program, the first choice. Empty when it cannot be
// named (see BuildSettingsPath).
extern wchar_t gProgramSettingsPath[MAX_PATH];
// %APPDATA%\PLIMZOR\ with the file name of the file beside the program.
// Empty without APPDATA (Windows 9x often has none).
extern wchar_t gUserSettingsPath[MAX_PATH];
// The file the settings are read from: the per-user file when it exists,
// otherwise the one beside the program. Empty when neither can be named.
extern wchar_t gSettingsPath[MAX_PATH];

// Names both settings files from the long form of the executable's own path
// (gProgramSettingsPath, gUserSettingsPath) and puts the one to read into
// buffer, or leaves it empty when there is none.
void BuildSettingsPath(wchar_t* buffer);
// Derives the settings path from a given module path (the pure part of
// BuildSettingsPath). Returns false, leaving buffer empty, when none fits.
bool DeriveSettingsPath(const wchar_t* modulePath, wchar_t* buffer, size_t bufferSize);
// Derives the per-user settings path from the APPDATA folder and the module
// path. Returns false, leaving buffer empty, when appData is empty or the
// path does not fit.
bool DeriveUserSettingsPath(const wchar_t* appData, const wchar_t* modulePath, wchar_t* buffer, size_t bufferSize);
// The long form of path (GetLongPathName, where the system has it), or the
// path unchanged when there is none. buffer holds MAX_PATH units.
void LongPathOf(const wchar_t* path, wchar_t* buffer);

// The file to read, given which files can be named and whether the
// per-user one exists.
SettingsPlace SettingsFileToRead(bool programNamed, bool userNamed, bool userFileExists);
// The files OK tries, in order, until one takes both settings; returns how
// many (0 to 2) it put into order.
int SettingsFilesToSave(bool programNamed, bool userNamed, bool userFileExists, SettingsPlace order[2]);
// The path BuildSettingsPath named for a place ("" for none).
const wchar_t* SettingsFilePath(SettingsPlace place);

// Loads and validates the settings; an empty path loads the defaults.
void LoadSettings(const wchar_t* path);

// What a save came to: the place both settings landed (None when no file
// took them), and each file tried that refused them, in order, with the
// system's error code.
struct SaveOutcome {
    SettingsPlace place;
    int refusals;
    SettingsPlace refused[2];
    DWORD errors[2];
};
// Writes the colour mode, then the count, to the first file that takes them
// (SettingsFilesToSave over the paths BuildSettingsPath named), creating the
// per-user folder when it comes to that file.
SaveOutcome SaveSettings(int colorMode, int count);
int ValidColorMode(int mode);
int ValidCount(int count);
