// The settings dialog (resource 2003, in Japanese and in English): colour
// mode radio buttons, the count box and its scroll bar; OK writes both
// settings.
#pragma once

#include <windows.h>

constexpr int SettingsDialogId = 2003;
constexpr int CountBoxId = 1022;
constexpr int CountScrollId = 1026;

// The texts the dialog shows beside its template, in its string table in
// Japanese and in English (resources/plimzor.rc).
constexpr UINT MessageCaptionText = 2010;  // the message box's caption
constexpr UINT NotSavedText = 2011;        // the settings could not be saved
constexpr UINT NoFileNamedText = 2012;     // no settings file could be named
constexpr UINT TryAgainText = 2013;        // OK goes back to the dialog

BOOL RegisterDialogClassesHook(HINSTANCE instance);
INT_PTR CALLBACK ConfigureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitCountControls(HWND dialog);
void ClampCountPosition(HWND dialog);
void ShowCountText(HWND dialog);

// Whether the English template must stand in for the Japanese one that the
// resource loader chose: an ANSI code page other than Japanese (932) or
// UTF-8 (65001) shows the Japanese texts as '?'.
bool NeedsEnglishTemplate(bool loaderChoseJapanese, UINT ansiCodePage);
// The English template when the loader's choice could not be read here,
// otherwise nullptr: the loader's choice stands.
const DLGTEMPLATE* EnglishTemplateInstead(HINSTANCE instance);
// The language of the template the dialog shows, Japanese or English.
LANGID SettingsDialogLanguage(HINSTANCE instance);
// A text of the dialog's string table in that language, into a buffer of
// `size` units; false, with an empty buffer, when there is none or it does
// not fit.
bool DialogText(HINSTANCE instance, LANGID language, UINT id, wchar_t* buffer, int size);
