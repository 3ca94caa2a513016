// Which language the settings dialog speaks, and its texts in it: the
// template the system's resource loader picks, except where it picks the
// Japanese one on a system whose ANSI code page cannot show Japanese; and
// the texts the dialog shows beside its template (the message of a save
// that failed), from the string table of the same language.
//
// The loader picks by the thread locale (NT 4.0), the UI language (2000 and
// later) or the regional settings (the 9x family). The dialog is an ANSI
// one, so its texts reach the controls in the ANSI code page, which follows
// none of these but the system locale. A Japanese user locale or UI language
// on a system with another code page would get the Japanese texts as '?';
// the Japanese code page (932) shows them, and so does UTF-8 (65001, which
// Windows 10 and later offer as the code page of every language), which
// spells every letter.
#include "config/dialog.h"

namespace {

const UINT JapaneseCodePage = 932;
const LPCSTR DialogType = MAKEINTRESOURCEA(5); // RT_DIALOG
const LPCSTR StringType = MAKEINTRESOURCEA(6); // RT_STRING
const LANGID Japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
const LANGID English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The very lookup DialogBoxParamA makes, then the Japanese one by name:
// the same resource entry when the loader chose Japanese.
bool LoaderChoseJapanese(HINSTANCE instance)
{
    const LPCSTR name = MAKEINTRESOURCEA(SettingsDialogId);
    HRSRC chosen = FindResourceA(instance, name, DialogType);
    return chosen && chosen == FindResourceExA(instance, DialogType, name, Japanese);
}

} // namespace

bool NeedsEnglishTemplate(bool loaderChoseJapanese, UINT ansiCodePage)
{
    return loaderChoseJapanese && ansiCodePage != JapaneseCodePage && ansiCodePage != CP_UTF8;
}

const DLGTEMPLATE* EnglishTemplateInstead(HINSTANCE instance)
{
    if (!NeedsEnglishTemplate(LoaderChoseJapanese(instance), GetACP()))
        return nullptr;
    HRSRC english =
        FindResourceExA(instance, DialogType, MAKEINTRESOURCEA(SettingsDialogId), English);
    HGLOBAL loaded = english ? LoadResource(instance, english) : nullptr;
    return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

LANGID SettingsDialogLanguage(HINSTANCE instance)
{
    return LoaderChoseJapanese(instance) && !NeedsEnglishTemplate(true, GetACP()) ? Japanese : English;
}

bool DialogText(HINSTANCE instance, LANGID language, UINT id, wchar_t* buffer, int size)
{
    if (size <= 0)
        return false;
    buffer[0] = L'\0';
    // LoadString would take the thread's language, not the dialog's: the
    // table's block of sixteen counted UTF-16 texts is read here instead.
    HRSRC block = FindResourceExA(instance, StringType, MAKEINTRESOURCEA(id / 16 + 1), language);
    HGLOBAL loaded = block ? LoadResource(instance, block) : nullptr;
    const WCHAR* text = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (!text)
        return false;
    for (UINT skip = id % 16; skip > 0; --skip)
        text += 1 + *text;
    const int length = *text++;
    if (length == 0 || length >= size)
        return false;
    for (int i = 0; i < length; ++i)
        buffer[i] = text[i];
    buffer[length] = L'\0';
    return true;
}
