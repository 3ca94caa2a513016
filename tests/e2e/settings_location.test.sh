# Where the settings live, end to end: a program folder that cannot be
# written sends OK's save to the per-user file under APPDATA, which the next
# dialog and the next saver then read, also where the profile is named in a
# script the code page lacks; where nothing can be written, the dialog says
# so and stays; a copy named in such a script keeps its settings beside it;
# and a saver or dialog started by its 8.3 short name finds the file that
# the dialog started by its long name wrote.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/dialog.sh"

windows_path() { wine_run winepath.exe -w "$1" 2>/dev/null | tr -d '\r'; }
# unix_path 'C:\...': where a path on the prefix's drive C: lies.
unix_path() {
    local rest=${1#[Cc]:\\}
    echo "$WINEPREFIX/drive_c/${rest//\\//}"
}

# shown WHAT MODE COUNT: the dialog shows that mode selected and that count.
shown() {
    check "$1: mode $2 selected" "$(control_line "$2" | cut -d' ' -f2)" 1
    check "$1: count box" "$(control_line 1022 | cut -d' ' -f7-)" "$3"
}

# choose MODE COUNT: selects the mode, types the count and presses Enter.
choose() {
    click_control "$1"
    click_control 1022
    xdotool key End BackSpace BackSpace BackSpace
    xdotool type "$2"
    xdotool key Return
}

# file_text FILE: the INI file on one line, or "absent".
file_text() { if [ -e "$1" ]; then tr -d '\r' <"$1" | tr '\n' ' '; else echo absent; fi; }

# colours_besides SHOT RRGGBB: how many colours the screenshot holds besides
# black and the wallpaper's colour. Standard mode shows the wallpaper through
# white shapes exactly, so none; colourful mode tints it.
colours_besides() {
    convert "$1" -fill black -opaque "#$2" -unique-colors -format '%w' info: 2>/dev/null |
        awk '{ print $1 - 1 }'
}

# tinted SHOT: takes SHOT; succeeds once it holds colours besides black and
# the wallpaper's.
tinted() {
    local others
    screenshot "$1"
    others=$(colours_besides "$1" $WALLPAPER)
    echo "${others:-0} colours besides black and the wallpaper's"
    [ "${others:-0}" -gt 0 ]
}

# run_saver_seen WHAT: runs the saver (SAVER) full screen over the one-colour
# wallpaper and sets MODE_SEEN to the mode its frames show: 1000 or 1001.
# The running scene is watched until its shapes show a tint, for as long as
# the deadline allows: a scene without one is standard mode's.
WALLPAPER=c8a064
run_saver_seen() {
    local shot=$WORK/$1.png
    park_pointer
    wait_desktop "$WORK/solid.bmp"
    screenshot "$WORK/$1-desktop.png"
    start_recording
    start_saver /s
    wait_recorded "the curtain of $1" "$shot" curtain_shown "$WORK/$1-desktop.png" || screenshot "$shot"
    stop_recording
    wait_saver_window >/dev/null
    wait_running "$shot"
    MODE_SEEN=1000
    wait_until "a tint in the shapes of $1" tinted "$shot" && MODE_SEEN=1001
    echo "     $1: $SEEN"
    xdotool key a
    wait_exit "$SAVER_PID"
    check "$1: a key ends the saver with 0" "$EXITED" 0
}

# The per-user folder as this prefix names it (Wine sets APPDATA from the
# user's profile, not from the Unix environment), asked of Wine's cmd.exe.
ask_appdata() {
    local answer
    answer=$(wine_run cmd.exe /c 'echo %APPDATA%' 2>"$WORK/cmd.err" | tr -d '\r') && [ -n "$answer" ] ||
        { head -c 300 "$WORK/cmd.err" >&2; return 1; }
    echo "$answer"
}
APPDATA_WIN=$(retry "asking cmd.exe for APPDATA" ask_appdata) ||
    { echo "FAIL cmd.exe never named the APPDATA folder"; exit 1; }
USER_DIR="$(unix_path "$APPDATA_WIN")/PLIMZOR"
# The savers of this test bear names of their own, so that a per-user file
# left behind by a run that was killed cannot change what the other tests'
# PLIMZOR.SCR reads.
RO_NAME=PLZRO
LONG_NAME="Plimzor Screen Saver"
RO="$WORK/Program folder"
LOCKED_BY=

remove_user_files() {
    rm -f "$USER_DIR/$RO_NAME.INI" "$USER_DIR/$LONG_NAME.INI"
    rmdir "$USER_DIR" 2>/dev/null || true
}
restore() {
    case $LOCKED_BY in
        mount) umount "$RO" 2>/dev/null || umount -l "$RO" 2>/dev/null || true ;;
        immutable) chattr -i "$RO/$RO_NAME.INI" "$RO" 2>/dev/null || true ;;
        permissions) chmod u+w "$RO/$RO_NAME.INI" "$RO" 2>/dev/null || true ;;
    esac
    remove_user_files
}
on_exit restore
remove_user_files
solid_wallpaper "#$WALLPAPER"

# --- a program folder that cannot be written ---
mkdir -p "$RO"
cp "$PLIMZOR_SCR" "$RO/$RO_NAME.SCR"
# An earlier choice beside the program, from before the folder was locked.
write_settings_file "$RO/$RO_NAME.INI" 1000 20
# Root writes regardless of permission bits. A read-only bind mount holds
# for it; where mounting is not allowed, immutable flags on the folder and on
# the file in it do.
lock_folder() {
    if [ "$(id -u)" != 0 ]; then
        chmod a-w "$RO/$RO_NAME.INI" "$RO" && LOCKED_BY=permissions
        return 0
    fi
    if mount --bind "$RO" "$RO" 2>/dev/null; then
        if mount -o remount,bind,ro "$RO" 2>/dev/null; then
            LOCKED_BY=mount
            return 0
        fi
        umount "$RO" 2>/dev/null || umount -l "$RO"
    fi
    chattr +i "$RO/$RO_NAME.INI" "$RO" 2>/dev/null && LOCKED_BY=immutable
    return 0
}
lock_folder
echo "     the program folder is locked by: ${LOCKED_BY:-nothing that this host allows}"
check "the program folder cannot be written" "$(touch "$RO/probe" 2>/dev/null && echo writable || echo locked)" locked

SAVER="$RO/$RO_NAME.SCR"
start_saver /c
wait_dialog "locked folder, first"
shown "the file beside the program is read" 1000 " 20"
choose 1001 42
wait_exit "$SAVER_PID"
check "OK ends with 1" "$EXITED" 1
check "the file beside the program is unchanged" "$(file_text "$RO/$RO_NAME.INI")" "[PLIMZOR] PLIM_MODE=1000 PLIM_KOSU=20 "
check "the per-user file holds both keys, mode first" "$(file_text "$USER_DIR/$RO_NAME.INI")" \
    "[PLIMZOR] PLIM_MODE=1001 PLIM_KOSU=42 "

start_saver /c
wait_dialog "locked folder, reopened"
shown "the next dialog reads the per-user file" 1001 " 42"
xdotool key Escape
wait_exit "$SAVER_PID"
check "Escape ends with 0" "$EXITED" 0

run_saver_seen locked-saver
check "the next saver runs in the saved mode" "$MODE_SEEN" 1001

# --- a profile named in a script the code page lacks ---
# Under a German locale (code page 1252, no Cyrillic letters) the profile of
# a Russian user, Иван: the ANSI calls read its APPDATA as
# C:\users\????\AppData\Roaming, which names no folder. What a Wine program
# sees as APPDATA comes from the prefix's volatile environment.
use_locale LANG=de_DE.UTF-8 en
PROFILE=Иван
PROFILE_APPDATA="C:\\users\\$PROFILE\\AppData\\Roaming"
PROFILE_DIR="$WINEPREFIX/drive_c/users/$PROFILE"
mkdir -p "$PROFILE_DIR/AppData/Roaming"
volatile_appdata() {
    wine_run reg query 'HKCU\Volatile Environment' /v APPDATA 2>/dev/null | tr -d '\r' |
        awk '$1 == "APPDATA" { sub(/^[ \t]*APPDATA[ \t]+REG_[A-Z_]+[ \t]+/, ""); print; exit }'
}
# set_appdata VALUE: the APPDATA the next Wine programs see (empty: none).
# wine reg writes to a file, not to a pipe that a Wine program it started
# may keep open.
set_appdata() {
    if [ -n "$1" ]; then
        wine_run reg add 'HKCU\Volatile Environment' /v APPDATA /d "$1" /f >"$WORK/reg.out" 2>&1
    else
        wine_run reg delete 'HKCU\Volatile Environment' /v APPDATA /f >"$WORK/reg.out" 2>&1 || true
    fi
}
ORIGINAL_APPDATA=$(volatile_appdata)
on_exit rm -rf "$PROFILE_DIR"
on_exit set_appdata "$ORIGINAL_APPDATA"
set_appdata "$PROFILE_APPDATA"

start_saver /c
wait_dialog "Russian profile, first"
shown "the file beside the program is read" 1000 " 20"
choose 1001 57
wait_exit "$SAVER_PID"
check "OK in the Russian profile ends with 1" "$EXITED" 1
check "the per-user file in the Russian profile holds both keys" \
    "$(file_text "$PROFILE_DIR/AppData/Roaming/PLIMZOR/$RO_NAME.INI")" "[PLIMZOR] PLIM_MODE=1001 PLIM_KOSU=57 "
check "the file beside the program is still unchanged" "$(file_text "$RO/$RO_NAME.INI")" \
    "[PLIMZOR] PLIM_MODE=1000 PLIM_KOSU=20 "
start_saver /c
wait_dialog "Russian profile, reopened"
shown "the next dialog reads the Russian profile's file" 1001 " 57"
xdotool key Escape
wait_exit "$SAVER_PID"

# --- nowhere to save: the dialog says so, and stays ---
GONE_APPDATA="C:\\users\\$PROFILE\\Gone\\Roaming"
set_appdata "$GONE_APPDATA"
start_saver /c
wait_dialog "nothing writable"
choose 1000 9
MESSAGE=$(dialog_probe "PLIMZOR Screen Saver" $((DEADLINE * 1000)) || true)
# The message's text, its first line on the control's own line.
awk '/^65535 / { sub(/^65535 -?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+ /, ""); shown = 1; print "     message: " $0; next }
     shown && !/^[0-9]+ / { print "              " $0 }' <<<"$MESSAGE"
said() { grep -qF -- "$1" <<<"$MESSAGE" && echo said || echo "not said"; }
check "a message says the settings were not saved" "$(said "The settings could not be saved.")" said
check "it names the file beside the program" "$(said "$(windows_path "$RO")\\$RO_NAME.INI")" said
check "it names the per-user file" "$(said "$GONE_APPDATA\\PLIMZOR\\$RO_NAME.INI")" said
check "it gives the system's reason, with its code" "$(grep -cE '\([0-9]+\)$' <<<"$MESSAGE")" 2
check "it says how to go on" "$(said "Press OK to go back to the settings")" said
xdotool key Return
wait_until "the settings dialog back in front" dialog_focus 0 || true
wait_exit "$SAVER_PID" 0
check "the dialog stays open after the message" "$EXITED" running
xdotool key Escape
wait_exit "$SAVER_PID"
check "then Cancel ends it with 0" "$EXITED" 0
check "nothing was written per user" "$(ls "$PROFILE_DIR" | tr '\n' ' ')" "AppData "
set_appdata "$ORIGINAL_APPDATA"
use_locale LANG=ja_JP.UTF-8 ja

# --- a copy named in a script the code page lacks ---
use_locale LANG=de_DE.UTF-8 en
NAMED_DIR="$WORK/Папка"
mkdir -p "$NAMED_DIR"
cp "$PLIMZOR_SCR" "$NAMED_DIR/ПЛИМ.SCR"
SAVER="$NAMED_DIR/ПЛИМ.SCR"
start_saver /c
wait_dialog "Russian file name"
choose 1001 64
wait_exit "$SAVER_PID"
check "OK by the Russian name ends with 1" "$EXITED" 1
check "saved beside the copy under its own name" "$(file_text "$NAMED_DIR/ПЛИМ.INI")" \
    "[PLIMZOR] PLIM_MODE=1001 PLIM_KOSU=64 "
start_saver /c
wait_dialog "Russian file name, reopened"
shown "the next dialog reads it" 1001 " 64"
xdotool key Escape
wait_exit "$SAVER_PID"
use_locale LANG=ja_JP.UTF-8 ja

# --- started by the short name ---
LONG_DIR="$WORK/Plimzor Screen Saver Folder"
mkdir -p "$LONG_DIR"
cp "$PLIMZOR_SCR" "$LONG_DIR/$LONG_NAME.scr"
long_path=$(windows_path "$LONG_DIR/$LONG_NAME.scr")
short_path=$(wine_run "$PLIMZOR_HOSTS/short_name.exe" "$long_path" 2>/dev/null | tr -d '\r')
echo "     long name:  $long_path"
echo "     short name: $short_path"
check "the saver has a short name of its own" "$([ -n "$short_path" ] && [ "${short_path##*\\}" != "$LONG_NAME.scr" ] && echo yes)" yes

SAVER=$long_path
start_saver /c
wait_dialog "long name"
shown "no file yet" 1000 " 10"
choose 1001 77
wait_exit "$SAVER_PID"
check "OK by the long name ends with 1" "$EXITED" 1
check "saved beside the program under the long name" "$(file_text "$LONG_DIR/$LONG_NAME.INI")" \
    "[PLIMZOR] PLIM_MODE=1001 PLIM_KOSU=77 "
check "a writable folder keeps the settings beside the program" "$(file_text "$USER_DIR/$LONG_NAME.INI")" absent

SAVER=$short_path
start_saver /c
wait_dialog "short name"
shown "the dialog by the short name reads it" 1001 " 77"
xdotool key Escape
wait_exit "$SAVER_PID"
run_saver_seen short-saver
check "the saver by the short name runs in the saved mode" "$MODE_SEEN" 1001
check "nothing beside the program under the short name" \
    "$(ls "$LONG_DIR" | grep -vxF -e "$LONG_NAME.scr" -e "$LONG_NAME.INI" | tr '\n' ' ')" ""

project_wallpaper
[ -n "${PLIMZOR_KEEP_SHOTS:-}" ] && cp "$WORK"/*.png "$PLIMZOR_KEEP_SHOTS"/
finish
