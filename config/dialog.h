// The settings dialog (resource 2003, in Japanese and in English): colour
// mode radio buttons, the count box and its scroll bar; OK writes both
// settings.
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

// Whether the English template must stand in for the Japanese one that the
// resource loader chose: an ANSI code page other than Japanese (932) shows
// the Japanese texts as '?'.
bool NeedsEnglishTemplate(bool loaderChoseJapanese, UINT ansiCodePage);
// The English template when the loader's choice could not be read here,
// otherwise nullptr: the loader's choice stands.
const DLGTEMPLATE* EnglishTemplateInstead(HINSTANCE instance);
