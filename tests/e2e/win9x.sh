# Helpers for end-to-end tests of the Windows 9x paths, sourced after
# lib.sh: Wine reports the Windows 9x family to PLIMZOR.SCR alone, the
# user's password switch is set as the desktop settings hold it, the
# password stand-ins from tests/fixtures are put beside the saver, and their
# logs are read. The prefix is shared by every test of a build tree, so
# whatever is changed here is put back by restore_win9x at the end.

FIXTURES="$PLIMZOR_HOSTS/fixtures"
DESKTOP_KEY='HKCU\Control Panel\Desktop'
SWITCH_VALUE=ScreenSaveUsePassword
APP_DEFAULTS_KEY='HKCU\Software\Wine\AppDefaults\PLIMZOR.SCR'
# The environment every run gets, and one that loads our own MPR.DLL from
# the saver's folder in place of Wine's builtin.
DLL_OVERRIDES_PLAIN="mscoree,mshtml="
DLL_OVERRIDES_OWN_MPR="mscoree,mshtml=;mpr=n,b"
DLL_OVERRIDES_NO_MPR="mscoree,mshtml=;mpr="

# The switch as it was before the test: "absent" or "TYPE DATA".
SAVED_SWITCH=

on_exit restore_win9x

# wine_run reg prints CR LF and a header; only the value's line is wanted.
read_switch() {
    wine_run reg query "$DESKTOP_KEY" /v "$SWITCH_VALUE" 2>/dev/null | tr -d '\r' |
        awk -v name="$SWITCH_VALUE" '$1 == name { print $2, $3 }' || true
}

# Remembers the switch; to be called once, before anything is changed. The
# program's own Windows version setting exists only while a test needs it.
remember_win9x_settings() {
    SAVED_SWITCH=$(read_switch)
    [ -n "$SAVED_SWITCH" ] || SAVED_SWITCH=absent
}

# set_switch absent | TYPE DATA  (for example: REG_DWORD 1)
set_switch() {
    if [ "$1" = absent ]; then
        wine_run reg delete "$DESKTOP_KEY" /v "$SWITCH_VALUE" /f >/dev/null 2>&1 || true
    else
        wine_run reg add "$DESKTOP_KEY" /v "$SWITCH_VALUE" /t "$1" /d "$2" /f >/dev/null 2>&1
    fi
}

report_windows_9x() { wine_run reg add "$APP_DEFAULTS_KEY" /v Version /d win98 /f >/dev/null 2>&1; }
report_windows_nt() { wine_run reg delete "$APP_DEFAULTS_KEY" /v Version /f >/dev/null 2>&1 || true; }

restore_win9x() {
    report_windows_nt
    # shellcheck disable=SC2086
    [ -z "$SAVED_SWITCH" ] || set_switch $SAVED_SWITCH
}

# A Windows path for a file of the test's folder: Wine maps Z: to /.
windows_path() { echo "Z:$1"; }

# has_line FILE PATTERN: FILE has a line matching the extended regular
# expression PATTERN; prints its last line.
has_line() {
    tail -n 1 "$1" 2>/dev/null || true
    grep -Eq "$2" "$1" 2>/dev/null
}

# wait_for_line FILE PATTERN: true once FILE has a line matching PATTERN,
# false when none has come by the deadline.
wait_for_line() { wait_until "a line '$2' in ${1##*/}" has_line "$1" "$2"; }

# field LINE KEY: the value of KEY=VALUE in a log line.
field() { tr ' ' '\n' <<<"$1" | sed -n "s/^$2=//p"; }

# lines FILE PATTERN: how many lines of FILE match PATTERN (0 when absent).
lines() {
    if [ -f "$1" ]; then grep -Ec "$2" "$1" || true; else echo 0; fi
}

# at_least ACTUAL MINIMUM: prints "yes" when ACTUAL is a number >= MINIMUM.
at_least() { [[ "$1" =~ ^[0-9]+$ ]] && [ "$1" -ge "$2" ] && echo yes || echo "no ($1)"; }

saver_running_flag() { probe saverrunning; }
