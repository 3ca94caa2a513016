// Names and texts in any script. A user's profile or program folder may be
// named in letters that the system's ANSI code page cannot spell (a Russian
// name on an English Windows, a Korean one on a Japanese Windows); the ANSI
// calls turn those letters into '?', and a path so spelled names no file.
// So the program holds every path and message as UTF-16 and reaches the
// system through these calls: on the NT family its Unicode calls, on the
// Windows 9x family (whose Unicode calls are stubs that fail) its ANSI calls
// with the text converted through the code page, which is all that family's
// file names can hold anyway.
#pragma once

#include <windows.h>

// The NT family: names and texts go through the system's Unicode calls
// (gPlatform.unicodeCalls, read once at start; tests play the 9x family).
bool UnicodeCalls();

// Text converted between UTF-16 and the ANSI code page, into a buffer of
// `size` units, terminator included. False, with an empty buffer, when it
// does not fit or (to ANSI) holds a letter the code page cannot spell:
// a name spelled with '?' in its place would name another file, or none.
bool ToWide(const char* text, wchar_t* buffer, int size);
bool ToAnsi(const wchar_t* text, char* buffer, int size);
// The length of a UTF-16 text in units (the 9x family has no lstrlenW of
// its own).
size_t TextLength(const wchar_t* text);
// A number as decimal text, as wsprintf's "%d" writes it (the 9x family has
// no wsprintfW).
void DecimalText(int value, wchar_t text[12]);

// The calls of the settings store and the settings dialog, each as its
// system call of the same name (the ANSI one's result where that family
// takes it). The buffers hold `size` UTF-16 units.
DWORD ModuleFileName(wchar_t* buffer, DWORD size);
DWORD EnvironmentVariable(const wchar_t* name, wchar_t* buffer, DWORD size);
// GetLongPathName, which Windows 95 and NT 4.0 lack: looked up. 0 without it.
DWORD LongPathName(const wchar_t* path, wchar_t* buffer, DWORD size);
DWORD FileAttributes(const wchar_t* path);
BOOL MakeFolder(const wchar_t* path);
UINT ProfileInt(const wchar_t* section, const wchar_t* key, int fallback, const wchar_t* path);
BOOL WriteProfileText(const wchar_t* section, const wchar_t* key, const wchar_t* text, const wchar_t* path);
// The system's text for an error code, in the language asked for where the
// system has it, else in its own; 0 when it has none.
DWORD SystemErrorText(DWORD error, LANGID language, wchar_t* buffer, DWORD size);
int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
