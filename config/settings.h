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
// The file beside the program, the first choice. Empty when it cannot be
// named (see BuildSettingsPath).
extern char gProgramSettingsPath[MAX_PATH];
// %APPDATA%\PLIMZOR\ with the file name of the file beside the program.
// Empty without APPDATA (Windows 9x often has none).
extern char gUserSettingsPath[MAX_PATH];
// The file the settings are read from: the per-user file when it exists,
// otherwise the one beside the program. Empty when neither can be named.
extern char gSettingsPath[MAX_PATH];

// Names both settings files from the long form of the executable's own path
// (gProgramSettingsPath, gUserSettingsPath) and puts the one to read into
// buffer, or leaves it empty when there is none.
void BuildSettingsPath(char* buffer);
// Derives the settings path from a given module path (the pure part of
// BuildSettingsPath). Returns false, leaving buffer empty, when none fits.
bool DeriveSettingsPath(const char* modulePath, char* buffer, size_t bufferSize);
// Derives the per-user settings path from the APPDATA folder and the module
// path. Returns false, leaving buffer empty, when appData is empty or the
// path does not fit.
bool DeriveUserSettingsPath(const char* appData, const char* modulePath, char* buffer, size_t bufferSize);
// The long form of path (GetLongPathNameA, where the system has it), or the
// path unchanged when there is none. buffer holds MAX_PATH bytes.
void LongPathOf(const char* path, char* buffer);

// The file to read, given which files can be named and whether the
// per-user one exists.
SettingsPlace SettingsFileToRead(bool programNamed, bool userNamed, bool userFileExists);
// The files OK tries, in order, until one takes both settings; returns how
// many (0 to 2) it put into order.
int SettingsFilesToSave(bool programNamed, bool userNamed, bool userFileExists, SettingsPlace order[2]);

// Loads and validates the settings; an empty path loads the defaults.
void LoadSettings(const char* path);
// Writes the colour mode, then the count, to the first file that takes them
// (SettingsFilesToSave over the paths BuildSettingsPath named), creating the
// per-user folder when it comes to that file. Returns the place written, or
// SettingsPlace::None when no file took them.
SettingsPlace SaveSettings(int colorMode, int count);
int ValidColorMode(int mode);
int ValidCount(int count);
