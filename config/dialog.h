// The settings dialog (resource 2003): colour mode radio buttons, the count
// box and its scroll bar; OK writes both settings.
#pragma once

#include <windows.h>

constexpr int SettingsDialogId = 2003;
constexpr int CountBoxId = 1022;
constexpr int CountScrollId = 1026;

BOOL RegisterDialogClassesHook(HINSTANCE instance);
INT_PTR CALLBACK ConfigureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitCountControls(HWND dialog);
void ClampCountPosition(HWND dialog);
void ShowCountText(HWND dialog);
