# The installer end to end, in a fresh 64-bit prefix of its own (a Windows
# that has never seen PLIMZOR): a silent install puts the 64-bit saver into
# the real System32 and makes it the user's screen saver, the installed saver
# runs, a second install upgrades in place, and a silent uninstall takes
# everything away but the user's settings, switching the saver off only when
# PLIMZOR is still the current one; and run with its window, it speaks
# Japanese under a Japanese locale and English under others. The licence
# lies beside the uninstaller and goes with it.
# Run by the x86_64 build's CTest (a 64-bit prefix needs the 64-bit loader).
source "$(dirname "$0")/lib.sh"
# Whether this host runs the shipped 32-bit installer, or its 64-bit stand-in.
need emulation

: "${PLIMZOR_DIST:?run through scripts/test}" "${PLIMZOR_STAND_IN:?run through scripts/test}"
VERSION=$("$PLIMZOR_SOURCE/scripts/version")
SETUP=$PLIMZOR_DIST/PLIMZOR-$VERSION-Setup.exe
no32=$(why_no_32bit)
if [ -n "$no32" ]; then
    echo "$no32: the same installer built as a 64-bit program stands in for ${SETUP##*/}"
    SETUP=$PLIMZOR_STAND_IN
fi
check "the installer was built" "$([ -f "$SETUP" ] && echo yes)" yes

export WINEPREFIX=$WORK/prefix
on_exit wine_server -k
wine_run wineboot.exe -i >/dev/null 2>&1
wine_run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

SYSTEM32=$WINEPREFIX/drive_c/windows/system32
SYSWOW64=$WINEPREFIX/drive_c/windows/syswow64
INSTALLED='C:\windows\system32\PLIMZOR.SCR'
DESKTOP_KEY='HKCU\Control Panel\Desktop'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\PLIMZOR'

# reg_value KEY NAME [VIEW]: the value's data, or "absent".
reg_value() {
    local out
    out=$(wine_run reg query "$1" /v "$2" /reg:"${3:-64}" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print; found = 1 } END { if (!found) print "absent" }')
    echo "${out:-absent}"
}
key_exists() { wine_run reg query "$1" /reg:64 >/dev/null 2>&1 && echo yes || echo no; }

# run_setup ARGS...: the installer's exit code.
run_setup() {
    local rc=0
    wine_run "$SETUP" "$@" >/dev/null 2>&1 || rc=$?
    echo "$rc"
}

# uninstall: runs the registered uninstall command with /S and waits until
# it has done its work: NSIS's uninstaller copies itself into the temporary
# folder (~nsu*.tmp\Un.exe), starts that copy and returns at once, and the
# copy does the work. Says what it saw when the entry stays.
# uninstall_string: the registered uninstall command, once it can be read.
uninstall_string() {
    local value
    value=$(reg_value "$UNINSTALL_KEY" UninstallString)
    echo "$value"
    [ "$value" != absent ]
}

uninstall() {
    local uninstaller rc i
    # One reading of the entry that fails for a moment must not turn into an
    # uninstall that never ran.
    wait_until "the uninstall command in the registry" uninstall_string || true
    uninstaller=${SEEN//\"/}
    # A start after which no copy ever ran is Wine failing to start it, not
    # the uninstaller failing: it is started once more, and the output says so.
    for i in 1 2; do
        rc=0
        wine_run "$uninstaller" /S >/dev/null 2>&1 || rc=$?
        wait_uninstalled
        [ "$(key_exists "$UNINSTALL_KEY")" = no ] && return 0
        echo "     the uninstaller '$uninstaller' /S, start $i, exited with $rc; its copy was seen running: $SEEN_COPY; the entry is still there"
        [ "$SEEN_COPY" = yes ] && return 0
    done
    return 0
}

# wait_uninstalled: waits until the uninstall entry is gone and NSIS's copy
# has ended, each for at most twice the deadline; sets SEEN_COPY to whether
# the copy was seen running.
wait_uninstalled() {
    local deadline=$((SECONDS + 2 * DEADLINE))
    SEEN_COPY=no
    while [ $SECONDS -lt $deadline ]; do
        pgrep -f '~nsu[^ ]*\.tmp' >/dev/null && SEEN_COPY=yes
        [ "$(key_exists "$UNINSTALL_KEY")" = no ] && break
        sleep 0.5
    done
    deadline=$((SECONDS + 2 * DEADLINE))
    while pgrep -f '~nsu[^ ]*\.tmp' >/dev/null && [ $SECONDS -lt $deadline ]; do
        SEEN_COPY=yes
        sleep 0.2
    done
}

# The user's settings, written before anything is installed.
write_settings_file "$SYSTEM32/PLIMZOR.INI" 1001 7
cp "$SYSTEM32/PLIMZOR.INI" "$WORK/settings.before"

# --- install ---
check "silent install exits with 0" "$(run_setup /S)" 0
check "the 64-bit saver is in the real System32" "$(cmp -s "$SYSTEM32/PLIMZOR.SCR" "$PLIMZOR_DIST/x64/PLIMZOR.SCR" && echo yes)" yes
check "nothing went to SysWOW64" "$([ -e "$SYSWOW64/PLIMZOR.SCR" ] && echo yes || echo no)" no
check "it is the user's screen saver (short path)" "$(reg_value "$DESKTOP_KEY" SCRNSAVE.EXE)" "$INSTALLED"
check "the screen saver is switched on" "$(reg_value "$DESKTOP_KEY" ScreenSaveActive)" 1
check "listed as installed" "$(reg_value "$UNINSTALL_KEY" DisplayName)" "PLIMZOR Screen Saver"
check "with its version" "$(reg_value "$UNINSTALL_KEY" DisplayVersion)" "$VERSION"
check "with its publisher" "$(reg_value "$UNINSTALL_KEY" Publisher)" PLIMZOR
check "with the saver's icon" "$(reg_value "$UNINSTALL_KEY" DisplayIcon)" "$INSTALLED,0"
size=$(reg_value "$UNINSTALL_KEY" EstimatedSize)
check "with its size in KB" "$([ "$size" != absent ] && [ $((size)) -ge $(($(stat -c %s "$SYSTEM32/PLIMZOR.SCR") / 1024)) ] && echo yes)" yes
uninstaller=$(reg_value "$UNINSTALL_KEY" UninstallString)
uninstaller_unix=$WINEPREFIX/drive_c/${uninstaller//\"/}
uninstaller_unix=${uninstaller_unix//C:\\/}
uninstaller_unix=${uninstaller_unix//\\//}
check "the uninstaller is where the entry says" "$([ -f "$uninstaller_unix" ] && echo yes)" yes
license_unix=${uninstaller_unix%/*}/LICENSE.txt
check "the licence is beside it, as CRLF text" "$(cmp -s "$license_unix" <(sed 's/$/\r/' "$PLIMZOR_SOURCE/LICENSE") && echo yes)" yes
check "the settings file is untouched" "$(cmp -s "$SYSTEM32/PLIMZOR.INI" "$WORK/settings.before" && echo yes)" yes

# --- the installed saver runs ---
park_pointer
wine_run "$SYSTEM32/PLIMZOR.SCR" /s >/dev/null 2>&1 &
SAVER_PID=$!
BACKGROUND_PIDS+=("$SAVER_PID")
read -r hwnd _ <<<"$(wait_saver_window)"
check "the installed saver's window is up" "$([ -n "${hwnd:-}" ] && echo yes)" yes
# This prefix has no virtual desktop of its own: its window is a window of
# the X screen beside the shared desktop's, and the key must reach it.
x_window_focus "Screen Saver"
xdotool key a
wait_exit "$SAVER_PID"
check "it closes on a key with 0" "$EXITED" 0

# --- a second install over the first: an upgrade in place ---
# An older saver stands where the first install put its own.
printf 'an older PLIMZOR.SCR' >"$SYSTEM32/PLIMZOR.SCR"
check "installing again exits with 0" "$(run_setup /S)" 0
check "the older saver is replaced" "$(cmp -s "$SYSTEM32/PLIMZOR.SCR" "$PLIMZOR_DIST/x64/PLIMZOR.SCR" && echo yes)" yes
check "still listed once" "$(wine_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /reg:64 2>/dev/null | tr -d '\r' | grep -c -i '\\PLIMZOR$')" 1

# --- uninstall while PLIMZOR is the current saver ---
uninstall
check "uninstall removes the saver" "$([ -e "$SYSTEM32/PLIMZOR.SCR" ] && echo yes || echo no)" no
check "and the uninstall entry" "$(key_exists "$UNINSTALL_KEY")" no
check "and the uninstaller" "$([ -e "$uninstaller_unix" ] && echo yes || echo no)" no
check "and the licence beside it" "$([ -e "$license_unix" ] && echo yes || echo no)" no
check "no SCRNSAVE.EXE points at it" "$(reg_value "$DESKTOP_KEY" SCRNSAVE.EXE)" absent
check "the screen saver is switched off" "$(reg_value "$DESKTOP_KEY" ScreenSaveActive)" 0
check "the settings file is kept" "$(cmp -s "$SYSTEM32/PLIMZOR.INI" "$WORK/settings.before" && echo yes)" yes

# --- uninstall after the user chose another saver ---
check "install once more" "$(run_setup /S)" 0
OTHER='C:\windows\system32\OTHER.SCR'
wine_run reg add "$DESKTOP_KEY" /v SCRNSAVE.EXE /d "$OTHER" /f >/dev/null 2>&1
uninstall
check "the saver is removed" "$([ -e "$SYSTEM32/PLIMZOR.SCR" ] && echo yes || echo no)" no
check "the other saver stays chosen" "$(reg_value "$DESKTOP_KEY" SCRNSAVE.EXE)" "$OTHER"
check "and switched on" "$(reg_value "$DESKTOP_KEY" ScreenSaveActive)" 1

# --- it speaks the user's language: Japanese in Japan, English elsewhere ---
# Started with its window, it installs at once (its only page is the
# progress page) and waits to be closed; the caption before the page's own
# part (": Installing", ": Completed") tells the language. The script's
# languages in the shipped 32-bit file are checked by tests/pe/check-installer.py.
# installer_caption: the caption of the installer's window, once there is one.
installer_caption() {
    local captions
    captions=$(xdotool search --name "^PLIMZOR ${VERSION//./\\.} " getwindowname 2>/dev/null) || return 1
    [ -n "$captions" ] && head -n 1 <<<"$captions"
}
# Unix locale | caption
for row in "ja_JP.UTF-8|PLIMZOR $VERSION セットアップ" "de_DE.UTF-8|PLIMZOR $VERSION Setup" "C.UTF-8|PLIMZOR $VERSION Setup"; do
    IFS='|' read -r locale caption <<<"$row"
    (
        unset LC_ALL LC_CTYPE LC_MESSAGES
        export LANG=$locale
        exec "${WINELOADER:?}" "$SETUP" >/dev/null 2>&1
    ) &
    pid=$!
    BACKGROUND_PIDS+=("$pid")
    wait_until "the installer's window under $locale" installer_caption || true
    check "the installer's caption under $locale" "${SEEN%%:*}" "$caption"
    kill "$pid" 2>/dev/null || true
    wait_exit "$pid"
done

finish
