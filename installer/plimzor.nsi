; PLIMZOR's installer. Puts the one saver file where this Windows' screen-saver
; page looks for it: the 64-bit PLIMZOR.SCR into the real System32 of 64-bit
; Windows (not the folder the system redirects a 32-bit program to), the
; 32-bit one into System32 of 32-bit NT-family Windows or into the Windows
; folder of the Windows 9x family. Then it makes PLIMZOR the installing
; user's screen saver as the system's own Install command does, and registers
; an uninstaller in the list of installed programs.
;
; makensis -DVERSION=... -DVERSION_QUAD=... -DSCR32=... -DSCR64=... -DLICENSE=...
;          -DICON=... -DOUTFILE=... [-DTARGET=...] [-DSIGN=... -DSIGNED_UNINSTALLER=...]
; scripts/make-release passes the version as resources/plimzor.rc states it
; (VERSION 1.15, VERSION_QUAD 1.15.0.0) and the licence with CRLF line ends.
; TARGET is x86-ansi for the installer that ships (a 32-bit ANSI program runs
; on every Windows, the 9x family included); amd64-unicode builds the same
; installer as a 64-bit program, for hosts that run 64-bit code only.

!ifndef TARGET
    !define TARGET x86-ansi
!endif
!ifndef VERSION | VERSION_QUAD
    !error "VERSION and VERSION_QUAD come from the version block (scripts/version)"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\PLIMZOR"
!define DESKTOP_KEY "Control Panel\Desktop"
!define UNINSTALLER "uninstall.exe"
; A signed release: SIGN (scripts/sign-file) signs the uninstaller once
; makensis has made it, before it packs it, or attaches the signature a
; signed release published; the installer then writes that very file, and
; a copy goes to SIGNED_UNINSTALLER. Without SIGN the uninstaller is packed
; as NSIS always packs it (its icon put in at install time), and the
; installer is byte for byte the unsigned release's.
!ifdef SIGN
    !uninstfinalize '"${SIGN}" "%1" ${UNINSTALLER} "${SIGNED_UNINSTALLER}"' = 0
!endif
; LogicLib leaves labels of branches that a build decides at compile time
; (RunningX64 in the 64-bit installer) unused; every other warning is an
; error (makensis -WX).
!pragma warning disable 6012

Target ${TARGET}
SetCompressor /SOLID lzma
Name "PLIMZOR ${VERSION}"
; English and Japanese: NSIS shows the language of the user's UI language,
; and the first one loaded, English, for any other. The window captions are
; the language files' own ("PLIMZOR 1.15 Setup" and its Japanese).
; The ANSI installer holds the Japanese texts in Japanese.nlf's code page,
; 932, which a Japanese Windows of either family shows.
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Japanese.nlf"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
Icon "${ICON}"
UninstallIcon "${ICON}"
ShowInstDetails show
ShowUninstDetails show

; The version block stays the English one it always was (without /LANG
; it would go to the language loaded last).
VIProductVersion ${VERSION_QUAD}
VIFileVersion ${VERSION_QUAD}
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductName "PLIMZOR"
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileDescription "PLIMZOR ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} CompanyName "PLIMZOR"
VIAddVersionKey /LANG=${LANG_ENGLISH} LegalCopyright "PLIMZOR"
VIAddVersionKey /LANG=${LANG_ENGLISH} OriginalFilename "PLIMZOR-${VERSION}-Setup.exe"

!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var SaverDir      ; the folder the saver goes into (or came from)
Var SaverShort    ; the saver's full path in its short form

; Where this Windows keeps screen savers. A 32-bit installer on 64-bit
; Windows sees the 32-bit folder and registry view unless told otherwise;
; the 64-bit saver and its uninstall entry belong to the native ones.
!macro ChooseSaverDir
    ${If} ${RunningX64}
        ${DisableX64FSRedirection}
        SetRegView 64
        StrCpy $SaverDir $SYSDIR
    ${ElseIf} ${IsNT}
        StrCpy $SaverDir $SYSDIR
    ${Else}
        StrCpy $SaverDir $WINDIR
    ${EndIf}
!macroend

; SPI_SETSCREENSAVEACTIVE with SPIF_UPDATEINIFILE | SPIF_SENDCHANGE, so the
; running system follows the change at once, as after the display settings.
!macro SetScreenSaveActive on
    System::Call 'user32::SystemParametersInfo(i 17, i ${on}, p 0, i 3)'
!macroend

Function .onInit
    !insertmacro ChooseSaverDir
    StrCpy $INSTDIR $SaverDir
FunctionEnd

Section "PLIMZOR"
    SetOutPath $SaverDir
    ; Over an installed copy this replaces it: an upgrade in place.
    ${If} ${RunningX64}
        File "/oname=PLIMZOR.SCR" "${SCR64}"
    ${Else}
        File "/oname=PLIMZOR.SCR" "${SCR32}"
    ${EndIf}
    GetFullPathName /SHORT $SaverShort "$SaverDir\PLIMZOR.SCR"
    ${If} $SaverShort == ""
        StrCpy $SaverShort "$SaverDir\PLIMZOR.SCR"
    ${EndIf}

    ; The installing user's screen saver, in the form the system's Install
    ; command writes: the short path.
    ${If} ${IsNT}
        WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $SaverShort
        WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
    ${Else}
        WriteINIStr "$WINDIR\SYSTEM.INI" "boot" "SCRNSAVE.EXE" $SaverShort
    ${EndIf}
    !insertmacro SetScreenSaveActive 1

    ; The uninstaller lives in a folder of its own, not among the system's
    ; files, with the licence beside it.
    ${If} ${RunningX64}
        StrCpy $0 "$PROGRAMFILES64\PLIMZOR"
    ${Else}
        StrCpy $0 "$PROGRAMFILES\PLIMZOR"
    ${EndIf}
    CreateDirectory $0
    WriteUninstaller "$0\${UNINSTALLER}"
    SetOutPath $0
    File "/oname=LICENSE.txt" "${LICENSE}"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "PLIMZOR Screen Saver"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "PLIMZOR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SaverDir\PLIMZOR.SCR,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" $SaverDir
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$0\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$0\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; In KB: the saver and the uninstaller.
    FileOpen $1 "$SaverDir\PLIMZOR.SCR" r
    FileSeek $1 0 END $2
    FileClose $1
    FileOpen $1 "$0\${UNINSTALLER}" r
    FileSeek $1 0 END $3
    FileClose $1
    IntOp $2 $2 + $3
    IntOp $2 $2 + 1023
    IntOp $2 $2 / 1024
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Function un.onInit
    !insertmacro ChooseSaverDir
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
        StrCpy $SaverDir $0
    ${EndIf}
FunctionEnd

; Switches the screen saver off only when PLIMZOR is the current one: the
; user may have chosen another since. NSIS compares strings without regard
; to case, as Windows compares paths.
Function un.SwitchOffIfCurrent
    GetFullPathName /SHORT $SaverShort "$SaverDir\PLIMZOR.SCR"
    ${If} ${IsNT}
        ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
        ReadINIStr $0 "$WINDIR\SYSTEM.INI" "boot" "SCRNSAVE.EXE"
    ${EndIf}
    ${If} $0 == ""
        Return
    ${EndIf}
    ${If} $0 == "$SaverDir\PLIMZOR.SCR"
    ${OrIf} $0 == $SaverShort
        ${If} ${IsNT}
            DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
            WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "0"
        ${Else}
            DeleteINIStr "$WINDIR\SYSTEM.INI" "boot" "SCRNSAVE.EXE"
        ${EndIf}
        !insertmacro SetScreenSaveActive 0
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.SwitchOffIfCurrent
    ; Only the saver itself: the user's settings file (PLIMZOR.INI beside it
    ; or in the user's own folder) stays, for a later install to find.
    Delete "$SaverDir\PLIMZOR.SCR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir $INSTDIR
SectionEnd
