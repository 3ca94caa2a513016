// Which of the settings dialog's two templates is shown: the one the
// system's resource loader picks, except where it picks the Japanese one on
// a system whose ANSI code page cannot show Japanese.
//
// The loader picks by the thread locale (NT 4.0), the UI language (2000 and
// later) or the regional settings (the 9x family). The dialog is an ANSI
// one, so its texts reach the controls in the ANSI code page, which follows
// none of these but the system locale. A Japanese user locale or UI language
// on a system with another code page would get the Japanese texts as '?'.
#include "config/dialog.h"

namespace {

const UINT JapaneseCodePage = 932;
const LPCSTR DialogType = MAKEINTRESOURCEA(5); // RT_DIALOG

} // namespace

bool NeedsEnglishTemplate(bool loaderChoseJapanese, UINT ansiCodePage)
{
    return loaderChoseJapanese && ansiCodePage != JapaneseCodePage;
}

const DLGTEMPLATE* EnglishTemplateInstead(HINSTANCE instance)
{
    const LPCSTR name = MAKEINTRESOURCEA(SettingsDialogId);
    // The very lookup DialogBoxParamA makes, then the Japanese one by name:
    // the same resource entry when the loader chose Japanese.
    HRSRC chosen = FindResourceA(instance, name, DialogType);
    HRSRC japanese = FindResourceExA(instance, DialogType, name, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    if (!chosen || !NeedsEnglishTemplate(chosen == japanese, GetACP()))
        return nullptr;
    HRSRC english = FindResourceExA(instance, DialogType, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL loaded = english ? LoadResource(instance, english) : nullptr;
    return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}
