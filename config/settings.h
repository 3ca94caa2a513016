// The settings store: the two user settings, the dialog's scroll position and
// the path of the INI file beside the executable.
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

extern Settings gSettings;
extern int gScrollPosition;
// Empty when no settings path can be derived (see BuildSettingsPath).
extern char gSettingsPath[MAX_PATH];

// Derives the settings path from the executable's own path. Leaves the buffer
// empty when the path cannot be derived without truncation.
void BuildSettingsPath(char* buffer);
// Derives the settings path from a given module path (the pure part of
// BuildSettingsPath). Returns false, leaving buffer empty, when none fits.
bool DeriveSettingsPath(const char* modulePath, char* buffer, size_t bufferSize);
// Loads and validates the settings; an empty path loads the defaults.
void LoadSettings(const char* path);
int ValidColorMode(int mode);
int ValidCount(int count);
