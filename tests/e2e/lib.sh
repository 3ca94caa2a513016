# Helpers for the end-to-end tests: each test gets its own folder with a fresh
# copy of PLIMZOR.SCR (so its INI file starts absent), runs it under Wine in
# the shared virtual desktop, and checks exit codes, windows and pixels.
set -euo pipefail
# A command of the test itself that fails stops the test before its summary,
# and with its output sent away it would stop without a word: say which one.
# (Only the test's own shell: failures inside command substitutions are the
# answers that checks compare.)
set -E
trap 'stopped_with=$?; [ "$BASH_SUBSHELL" = 0 ] && echo "STOPPED at ${BASH_SOURCE[0]##*/}:$LINENO: $BASH_COMMAND (exit $stopped_with)" >&2' ERR

: "${PLIMZOR_SCR:?run through ctest}" "${PLIMZOR_HOSTS:?run through ctest}"
# wine_run and the rest of the harness: Wine is started the way use_wine set
# it up for the build under test, and for no other build.
source "$PLIMZOR_SOURCE/scripts/lib.sh"
if [ "${PLIMZOR_ARCH:-}" != "${PLIMZOR_BUILD_ARCH:?run through ctest}" ]; then
    echo "this is the $PLIMZOR_BUILD_ARCH build, but Wine was set up for '${PLIMZOR_ARCH:-nothing}': run it through scripts/test" >&2
    exit 125
fi
WORK=$(mktemp -d /tmp/plimzor-e2e.XXXXXX)
cp "$PLIMZOR_SCR" "$WORK/PLIMZOR.SCR"
SAVER="$WORK/PLIMZOR.SCR"
FAILED=0
PASSED=0
BACKGROUND_PIDS=()

cleanup() {
    local pid
    for pid in "${BACKGROUND_PIDS[@]}"; do
        kill "$pid" >/dev/null 2>&1 || true
    done
    # Only this test's own savers: other trees may be testing beside us.
    pkill -f "${WORK##*/}" >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# Wine's console turns line ends into CR LF; the tests want plain lines.
probe() { wine_run "$PLIMZOR_HOSTS/probe.exe" "$@" | tr -d '\r'; }

# check DESCRIPTION ACTUAL EXPECTED
check() {
    if [ "$2" = "$3" ]; then
        PASSED=$((PASSED + 1))
        echo "ok   $1"
    else
        FAILED=$((FAILED + 1))
        echo "FAIL $1: got '$2', expected '$3'"
    fi
}

# run_saver ARGS...: runs PLIMZOR.SCR to its end and prints its exit code.
run_saver() {
    local rc=0
    wine_run "$SAVER" "$@" >/dev/null 2>&1 || rc=$?
    echo "$rc"
}

# start_saver ARGS...: starts PLIMZOR.SCR in the background; sets SAVER_PID.
start_saver() {
    wine_run "$SAVER" "$@" >/dev/null 2>&1 &
    SAVER_PID=$!
    BACKGROUND_PIDS+=("$SAVER_PID")
}

# wait_exit PID SECONDS: sets EXITED to the exit code of PID, or to
# "running" when it is still running after SECONDS. (Not a command
# substitution: only this shell can wait for its own children.)
wait_exit() {
    local pid=$1 tenths=$(($2 * 10)) i
    EXITED=running
    for ((i = 0; i < tenths; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            EXITED=0
            wait "$pid" || EXITED=$?
            return 0
        fi
        sleep 0.1
    done
}

# wait_saver_window: waits for the full-screen window and prints probe's
# line, taken once the window has had time to be shown and activated (it is
# found already while it is being created).
wait_saver_window() {
    probe find WindowsScreenSaverClass "Screen Saver" "${1:-10000}" >/dev/null || true
    sleep 1
    probe find WindowsScreenSaverClass "Screen Saver" 0 || true
}

# Places the pointer at a known spot before a saver starts (it anchors there).
park_pointer() {
    xdotool mousemove "${1:-512}" "${2:-384}"
    sleep 0.3
}

# start_host [W H]: a window of another program (tests/host/preview_host),
# standing in for the display settings page; sets HOST to its number (the
# form the switches take) and HOST_PID.
start_host() {
    local out
    out=$(mktemp "$WORK/host.XXXXXX")
    wine_run "$PLIMZOR_HOSTS/preview_host.exe" "${1:-200}" "${2:-150}" >"$out" 2>/dev/null &
    HOST_PID=$!
    BACKGROUND_PIDS+=("$HOST_PID")
    for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.1; done
    HOST=$(tr -d '\r\n' <"$out")
}

# wait_preview HOST: waits for the preview child of HOST and prints probe's
# line for it (nothing when none appears).
wait_preview() {
    local line
    for _ in $(seq 100); do
        line=$(probe child "$1" WindowsScreenSaverClass || true)
        [ -n "$line" ] && break
        sleep 0.1
    done
    echo "$line"
}

# use_own_display WIDTH HEIGHT PREFIX: for a test that needs a screen the
# shared virtual desktop cannot give (several monitors, a very large
# screen): a plain Xvfb of its own, which outlives its clients, as DISPLAY,
# and a Wine prefix of its own without a virtual desktop, made once, as
# WINEPREFIX. Both are ended when the test ends.
OWN_XVFB_PID=
use_own_display() {
    export WINEPREFIX=$3
    trap 'wine_server -k >/dev/null 2>&1 || true; [ -n "$OWN_XVFB_PID" ] && kill "$OWN_XVFB_PID" >/dev/null 2>&1; cleanup' EXIT
    start_own_xvfb "$1x$2" -noreset || { echo "no X display of $1x$2 could be started"; return 1; }
    OWN_XVFB_PID=$XVFB_STARTED_PID
    if [ ! -f "$WINEPREFIX/.plimzor-ready" ]; then
        mkdir -p "$WINEPREFIX"
        wine_run wineboot.exe -i >/dev/null 2>&1
        wine_run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wine_server -w
        touch "$WINEPREFIX/.plimzor-ready"
    fi
}

# end_saver HWND: a key, as a user would; closed by message when the key did
# not reach it (without a window manager nothing gives it the keyboard).
# Sets EXITED.
end_saver() {
    xdotool key a
    wait_exit "$SAVER_PID" 5
    if [ "$EXITED" = running ]; then
        echo "     the key did not reach the saver; closing it"
        probe close "$1" >/dev/null || true
        wait_exit "$SAVER_PID" 10
    fi
}

# screenshot FILE: what Xvfb shows, the whole virtual desktop included.
screenshot() { import -window root "$1"; }

# pixels COMMAND SHOT ...: the screenshot checks of tests/e2e/pixels.py.
pixels() { python3 "$PLIMZOR_SOURCE/tests/e2e/pixels.py" "$@"; }

# retry WHAT COMMAND...: runs COMMAND until it succeeds, at most three
# times, and returns its last status. A start of a Wine program can fail
# once for reasons of Wine's own; each failed try is told on stderr, so a
# caller may read the command's output.
retry() {
    local what=$1 try rc
    shift
    for try in 1 2 3; do
        rc=0
        "$@" || rc=$?
        [ "$rc" = 0 ] && return 0
        echo "     $what, try $try: exit $rc" >&2
        sleep 1
    done
    return "$rc"
}

finish() {
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" = 0 ]
}

# --- wallpapers and settings for the animation tests ---

set_wallpaper_quietly() { wine_run "$PLIMZOR_HOSTS/set_wallpaper.exe" "$1" >/dev/null 2>&1; }

# use_wallpaper BMP: puts BMP on the running virtual desktop at once (the
# desktop is not restarted; tests/host/set_wallpaper.exe tells it).
use_wallpaper() {
    local name
    name=$(basename "$1")
    cp "$1" "$WINEPREFIX/drive_c/$name"
    # The pixel checks that follow are only as good as the wallpaper behind
    # the saver: one that never gets set fails the test instead of stopping
    # it unexplained.
    local rc=0
    retry "set_wallpaper $name" set_wallpaper_quietly "C:\\$name" || rc=$?
    check "the wallpaper $name is set" "$rc" 0
    sleep 1
}

# solid_wallpaper '#RRGGBB': a one-colour wallpaper, for exact pixel checks.
solid_wallpaper() {
    python3 "$PLIMZOR_SOURCE/scripts/make-wallpaper.py" "$WORK/solid.bmp" 1024x768 "$1"
    use_wallpaper "$WORK/solid.bmp"
}

# project_wallpaper: back to the picture the test environment starts with.
project_wallpaper() {
    local bmp="$PLIMZOR_BUILD/wallpaper.bmp"
    [ -f "$bmp" ] || python3 "$PLIMZOR_SOURCE/scripts/make-wallpaper.py" "$bmp" 1024x768
    use_wallpaper "$bmp"
}

# write_settings MODE COUNT: the INI file beside this test's PLIMZOR.SCR.
write_settings() {
    printf '[PLIMZOR]\r\nPLIM_MODE=%s\r\nPLIM_KOSU=%s\r\n' "$1" "$2" >"$WORK/PLIMZOR.INI"
}
