# Helpers for the end-to-end tests: each test gets its own folder with a fresh
# copy of PLIMZOR.SCR (so its INI file starts absent), runs it under Wine in
# the shared virtual desktop, and checks exit codes, windows and pixels.
set -euo pipefail

: "${PLIMZOR_SCR:?run through ctest}" "${PLIMZOR_HOSTS:?run through ctest}"
# wine_run and the rest of the harness: Wine is started the way use_wine set
# it up for the build under test, and for no other build.
PLIMZOR_ROOT=$PLIMZOR_SOURCE
source "$PLIMZOR_ROOT/scripts/lib/common.sh"
need wine display
# A command of the test itself that fails stops the test before its summary,
# and with its output sent away it would stop without a word: the harness's
# stop line says where and why.
report_stops "${0##*/}"
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

# --- what is undone when the test ends ---

# One list, run by the one EXIT trap however the test ends, the latest
# entry first: what was set up last rests on what came before it.
CLEANUPS=()
# on_exit COMMAND ARGS...: runs COMMAND when the test ends.
on_exit() { CLEANUPS+=("$(printf '%q ' "$@")"); }
run_cleanups() {
    local i
    for ((i = ${#CLEANUPS[@]} - 1; i >= 0; i--)); do
        eval "${CLEANUPS[i]}" >/dev/null 2>&1 || true
    done
}
trap run_cleanups EXIT
on_exit forget_stop_note

end_own_programs() {
    local pid
    for pid in "${BACKGROUND_PIDS[@]}"; do
        # A program started in the background through a shell function
        # (wine_run) is the child of the subshell that runs the function:
        # killing the subshell alone would leave its windows on the desktop
        # that the next test looks at.
        pkill -P "$pid" >/dev/null 2>&1 || true
        kill "$pid" >/dev/null 2>&1 || true
    done
    # Only this test's own savers: other trees may be testing beside us.
    pkill -f "${WORK##*/}" >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
on_exit end_own_programs

# --- waiting ---

# Every wait is for a state, up to a deadline. The deadline is generous: a
# loaded host, or a 32-bit saver under an emulator (which starts in seconds
# and computes several times slower), must not turn into a failure.
# PLIMZOR_E2E_DEADLINE_SCALE (a number, 1 when unset) stretches every one.
DEADLINE_SCALE=${PLIMZOR_E2E_DEADLINE_SCALE:-1}
if ! [[ $DEADLINE_SCALE =~ ^[0-9]*\.?[0-9]+$ ]]; then
    echo "PLIMZOR_E2E_DEADLINE_SCALE must be a positive number, not '$DEADLINE_SCALE'" >&2
    exit 2
fi
DEADLINE=$(scaled 30)

# wait_until WHAT CONDITION ARGS...: runs CONDITION about ten times a second
# until it succeeds, at most DEADLINE seconds. CONDITION prints what it saw;
# SEEN holds its last output. When the deadline passes it says what was last
# seen and returns 1. (CONDITION runs in a subshell: what it must hand on it
# writes to files, a screenshot say.)
wait_until() {
    local what=$1
    shift
    wait_for "$what" "$DEADLINE" "$@"
}

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

# wait_desktop PICTURE: waits until the whole screen is PICTURE (a
# screenshot, or a BMP of the screen's size) again, before a saver starts
# that captures it. When a saver window goes, Wine's desktop paints what it
# uncovered in a process of its own and in its own time, its background
# colour before the wallpaper: a saver started before then captures that.
wait_desktop() {
    local rc=0
    wait_until "the desktop on the screen again" screen_shows "$1" || rc=$?
    check "the desktop is on the screen again before the saver starts" "$rc" 0
}

# start_saver ARGS...: starts PLIMZOR.SCR in the background; sets SAVER_PID.
start_saver() {
    wine_run "$SAVER" "$@" >/dev/null 2>&1 &
    SAVER_PID=$!
    BACKGROUND_PIDS+=("$SAVER_PID")
}

# wait_exit PID [SECONDS]: sets EXITED to the exit code of PID once it has
# ended, or to "running" when it still runs after SECONDS (the deadline when
# not given; 0 looks once). (Not a command substitution: only this shell can
# wait for its own children.)
wait_exit() {
    local pid=$1 end=$((SECONDS + ${2:-$DEADLINE}))
    while :; do
        if ! kill -0 "$pid" 2>/dev/null; then
            EXITED=0
            wait "$pid" || EXITED=$?
            return 0
        fi
        [ "$SECONDS" -ge "$end" ] && break
        sleep 0.1
    done
    EXITED=running
}

# saver_in_front: probe's line for the full-screen window; succeeds once the
# saver has made it the foreground window, which it does after creating it
# (its scene built and the desktop captured) and placing it.
saver_in_front() {
    local line
    line=$(probe find WindowsScreenSaverClass "Screen Saver" 0) || return 1
    echo "$line"
    [ "$(cut -d' ' -f8 <<<"$line")" = 1 ]
}

# wait_saver_window: waits until the full-screen window is up and in front
# and prints probe's line for it: "HWND LEFT TOP WIDTH HEIGHT STYLE EXSTYLE
# FOREGROUND" (on the deadline, the last line seen, or nothing).
wait_saver_window() {
    wait_until "the saver window in front" saver_in_front || true
    echo "$SEEN"
}

# answering HWND: 1 when the window's thread handles a message sent to it
# now, so it is past its creation and in a message loop, and has taken
# every message sent to it before; 0 when it does not within the deadline.
answering() { probe answers "${1:-0}" "$((DEADLINE * 1000))" || true; }

# park_pointer [X Y]: places the pointer at a spot of the X screen before a
# saver starts (it anchors there) and waits until Wine has it there too.
park_pointer() {
    local x=${1:-512} y=${2:-384} left top
    xdotool mousemove "$x" "$y"
    # Wine counts from the primary monitor's corner, X from the screen's.
    read -r left top _ <<<"$(probe metrics)"
    wait_until "the pointer at ($x, $y)" pointer_at "$PLIMZOR_HOSTS" $((x + left)) $((y + top)) || true
}

# input_since TICK: some input reached Wine after the tick count TICK
# (probe lastinput; both count in milliseconds of the system's tick count).
input_since() {
    local last
    last=$(probe lastinput) || return 1
    echo "last input at $last"
    [ "$last" -gt "$1" ]
}

# screen_changed SHOT BOX: takes a new screenshot into SHOT, keeping the one
# before as SHOT.before; succeeds when BOX of them differs.
screen_changed() {
    local seen
    mv "$1" "$1.before"
    screenshot "$1"
    seen=$(pixels same-box "$1" "$1.before" "$2")
    echo "$seen from one screenshot to the next in $2"
    [ "$seen" = different ]
}

# wait_frames [BOX]: waits until the picture (BOX of the screen) has changed
# twice from now. A program's painting reaches the screen in batches, and
# the second change shows painting done after the first one, so after now.
# The system hands a program all input, sent and posted messages before it
# lets it paint, so by then the saver has taken everything that reached its
# queue before now (and had that closed it, its window would be gone). On
# the deadline it says what it saw and returns; the check that follows fails.
wait_frames() {
    local shot=$WORK/frames.png box=${1:-} n
    screenshot "$shot"
    [ -n "$box" ] || box=$(identify -format '%wx%h+0+0' "$shot")
    for n in first second; do
        wait_until "the $n change of the saver's picture in $box" screen_changed "$shot" "$box" || return 0
    done
}

# handled_since TICK [BOX]: waits until input made after the tick count TICK
# (probe lastinput, read before the input) has reached Wine, and then until
# the saver has drawn past it (wait_frames BOX).
handled_since() {
    wait_until "the input to reach Wine" input_since "$1" || return 0
    wait_frames "${2:-}"
}

# host_started FILE: the handle a test program printed into FILE once its
# window was up.
host_started() { [ -s "$1" ] && tr -d '\r\n' <"$1"; }

# start_host [W H [aware]]: a window of another program
# (tests/host/preview_host), standing in for the display settings page,
# unaware of DPI unless "aware" is given; sets HOST to its number (the form
# the switches take) and HOST_PID.
start_host() {
    local out
    out=$(mktemp "$WORK/host.XXXXXX")
    wine_run "$PLIMZOR_HOSTS/preview_host.exe" "${1:-200}" "${2:-150}" ${3:+"$3"} >"$out" 2>/dev/null &
    HOST_PID=$!
    BACKGROUND_PIDS+=("$HOST_PID")
    wait_until "the preview host's window" host_started "$out" || true
    HOST=$SEEN
}

# wait_preview HOST: waits for the preview child of HOST and prints probe's
# line for it (nothing when none appears).
wait_preview() {
    wait_until "the preview in window $1" probe child "$1" WindowsScreenSaverClass || true
    echo "$SEEN"
}

# use_own_display WIDTH HEIGHT PREFIX: for a test that needs a screen the
# shared virtual desktop cannot give (several monitors, a very large
# screen): a plain Xvfb of its own, which outlives its clients, as DISPLAY,
# and a Wine prefix of its own without a virtual desktop, made once, as
# WINEPREFIX. Both are ended when the test ends.
use_own_display() {
    export WINEPREFIX=$3
    start_own_xvfb "$1x$2" -noreset || { echo "no X display of $1x$2 could be started"; return 1; }
    on_exit kill "$XVFB_STARTED_PID"
    on_exit wine_server -k
    create_prefix
}

# use_own_desktop WIDTH HEIGHT DIR: for a test that changes the display
# mode, which would disturb every test after it on the shared desktop: a
# plain Xvfb of its own as DISPLAY, and a Wine prefix of its own
# (DIR/wineprefix, made once) as WINEPREFIX, whose virtual desktop of WIDTH
# x HEIGHT is up and shows the project's wallpaper at that size. All of it
# is ended when the test ends.
use_own_desktop() {
    export PLIMZOR_SCREEN=$1x$2 WINEPREFIX=$3/wineprefix
    start_own_xvfb "$PLIMZOR_SCREEN" -noreset || { echo "no X display of $PLIMZOR_SCREEN could be started"; return 1; }
    on_exit kill "$XVFB_STARTED_PID"
    on_exit stop_wine
    prepare_prefix
    start_desktop "$PLIMZOR_HOSTS" || { echo "no Wine desktop of $PLIMZOR_SCREEN came up"; return 1; }
}

# x_window_focus TITLE: gives the keyboard to the X window of that title. A
# Wine window outside a virtual desktop is an X window of its own, and
# without a window manager nothing gives it the keyboard.
x_window_focus() { xdotool search --name "^$1\$" windowfocus --sync >/dev/null 2>&1 || true; }

# end_saver HWND: a key, as a user would; closed by message when the key did
# not reach it. Sets EXITED.
end_saver() {
    x_window_focus "Screen Saver"
    xdotool key a
    wait_exit "$SAVER_PID"
    if [ "$EXITED" = running ]; then
        echo "     the key did not reach the saver; closing it"
        probe close "$1" >/dev/null || true
        wait_exit "$SAVER_PID"
    fi
}

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

# --- moments: the screen recorded, and looked at afterwards ---
#
# Some states last only moments: the curtain's first outline alone on the
# screen's edges (a second and a half), the curtain before it reaches the
# middle (three seconds). A look at the screen, a screenshot and the checks
# on it, takes a second or more on a loaded host, and a wait that looked
# again and again could miss the moment altogether. So a recorder takes a
# screenshot about every quarter of a second, from before the saver starts,
# and the checks go through them in the order they were taken: a slow check
# falls behind, but misses no frame, and the deadline counts in the time the
# frames were taken, not the time spent looking at them.

# start_recording: screenshots into a folder of its own (RECORDING), one
# after another, until stop_recording.
start_recording() {
    RECORDING=$(mktemp -d "$WORK/recording.XXXXXX")
    RECORDED_NEXT=0
    (
        n=0
        while [ ! -e "$RECORDING/stop" ]; do
            frame=$RECORDING/$(printf '%06d' "$n")
            screenshot "$frame.part.png" 2>/dev/null && mv "$frame.part.png" "$frame.png"
            n=$((n + 1))
            sleep 0.2
        done
    ) &
    RECORDER_PID=$!
    BACKGROUND_PIDS+=("$RECORDER_PID")
}

# stop_recording: the recorder ends after the screenshot it is taking, and
# the frames go.
stop_recording() {
    touch "$RECORDING/stop"
    wait "$RECORDER_PID" 2>/dev/null || true
    rm -rf "$RECORDING"
}

# wait_recorded WHAT SHOT LOOK ARGS...: goes through the frames recorded
# since it last looked, in order, each looked at once and then let go, until
# LOOK FRAME ARGS... succeeds on one, which it keeps as SHOT; gives up at the
# first frame taken later than the deadline from now, saying what LOOK said
# of the last frame (in SEEN too).
wait_recorded() {
    local what=$1 shot=$2 end=$((EPOCHSECONDS + DEADLINE)) frame rc
    shift 2
    SEEN="no frame recorded"
    while :; do
        frame=$RECORDING/$(printf '%06d' "$RECORDED_NEXT").png
        if [ ! -f "$frame" ]; then
            if [ "$EPOCHSECONDS" -gt "$end" ]; then
                echo "     waited $DEADLINE s for $what; last seen: $SEEN" >&2
                return 1
            fi
            sleep 0.05
            continue
        fi
        if [ "$(stat -c %Y "$frame")" -gt "$end" ]; then
            echo "     waited $DEADLINE s for $what; last seen: $SEEN" >&2
            return 1
        fi
        RECORDED_NEXT=$((RECORDED_NEXT + 1))
        rc=0
        SEEN=$("$1" "$frame" "${@:2}" 2>/dev/null) || rc=$?
        if [ "$rc" = 0 ]; then
            mv "$frame" "$shot"
            return 0
        fi
        rm -f "$frame"
    done
}

# --- the saver's scene on the screen ---

# running_scene SHOT [BOX]: takes SHOT, keeping the one before as
# SHOT.before; succeeds once pixels that were black there are lit now.
running_scene() {
    local shot=$1 box=${2:-} appeared
    mv "$shot" "$shot.before"
    screenshot "$shot"
    appeared=$(pixels appeared "$shot" "$shot.before" ${box:+"$box"})
    echo "$appeared pixels lit that were black a moment before${box:+ in $box}"
    [ "$appeared" -ge "${RUNNING_LIT_AT_LEAST:-50}" ]
}

# wait_running SHOT [BOX]: after the curtain has been seen (SHOT holds a
# screenshot of it), takes screenshots into SHOT until one shows the
# running scene: shapes moving over black.
wait_running() {
    wait_until "the running scene${2:+ in $2}" running_scene "$@" || true
    echo "     $SEEN"
}

# --- wallpapers and settings for the animation tests ---

set_wallpaper_quietly() { wine_run "$PLIMZOR_HOSTS/set_wallpaper.exe" "$1" >/dev/null 2>&1; }

# use_wallpaper BMP: puts BMP on the running virtual desktop at once (the
# desktop is not restarted; tests/host/set_wallpaper.exe tells it) and
# waits until the screen shows it.
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
    rc=0
    wait_until "the desktop to show $name" screen_shows "$1" || rc=$?
    check "the desktop shows $name" "$rc" 0
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
write_settings() { write_settings_file "$WORK/PLIMZOR.INI" "$1" "$2"; }
