# The screen changes under the running saver, as it does on Windows when a
# monitor is plugged in or out, a monitor that sleeps leaves the layout and
# comes back, or a projector is attached: a program changes the display
# mode, down and then up again. The full-screen window must cover the new
# screen at once; the scene must go on over all of it and only there, the
# desktop showing through its shapes as captured at the start; neither the
# change nor the pointer it moved may close the saver, and a key still must.
#
# Changing the mode would disturb every test after this one on the shared
# desktop, so the test brings its own X display and Wine prefix, whose
# virtual desktop (1280x1024) the modes change within. Wine puts a mode back
# when the program that set it ends: tests/host/display_mode makes each
# change on its cue and stays alive until it is let go.
source "$(dirname "$0")/lib.sh"

BIG_W=1280 BIG_H=1024 SMALL_W=1024 SMALL_H=768
use_own_desktop "$BIG_W" "$BIG_H" "$PLIMZOR_BUILD/display-change"
# The desktop's own picture, as large as its own mode.
WALLPAPER="$PLIMZOR_BUILD/display-change/wallpaper.bmp"
DESKTOP_KEY='HKCU\Control Panel\Desktop'
# The manifest's DPI awareness honoured, as in the high-DPI test.
wine_run reg add "$DESKTOP_KEY" /v DpiScalingVer /t REG_DWORD /d 0x1000 /f >/dev/null 2>&1

# The bands the screen gains when it grows back: right of and below the
# small screen.
RIGHT_BAND="$((BIG_W - SMALL_W))x${BIG_H}+${SMALL_W}+0"
BOTTOM_BAND="${BIG_W}x$((BIG_H - SMALL_H))+0+${SMALL_H}"
SMALL_SCREEN="${SMALL_W}x${SMALL_H}+0+0"

REPORT_DLL="$PLIMZOR_HOSTS/fixtures/dpi_report.dll"
REPORT_DLL="Z:${REPORT_DLL//\//\\}"

# window_covers W H: the saver window lies at the screen's corner and its
# client area is W x H in the screen's own pixels. (Its size is asked from
# inside its own thread: probe, a program unaware of DPI, is told sizes
# scaled to its view at 144 DPI.)
window_covers() {
    local line inside
    line=$(probe find WindowsScreenSaverClass "Screen Saver" 0) || return 1
    inside=$(probe awareness "$(cut -d' ' -f1 <<<"$line")" "$REPORT_DLL") || return 1
    echo "corner $(cut -d' ' -f2,3 <<<"$line"), client area $(cut -d' ' -f3,4 <<<"$inside")"
    [ "$(cut -d' ' -f2,3 <<<"$line") $(cut -d' ' -f3,4 <<<"$inside")" = "0 0 $1 $2" ]
}

# mode_set N: display_mode has made its change N (and says how it went).
mode_set() {
    local line
    line=$(tr -d '\r' <"$MODE_OUT" | awk -v n="$1" '$1 == n') || return 1
    echo "${line:-no change $1 yet}"
    [ -n "$line" ]
}

# change_mode N W H: cues display_mode's change N, to W x H, and waits
# until it is made and the saver window covers the new screen.
change_mode() {
    local rc=0
    touch "$CUE.$1"
    wait_until "the display mode's change $1" mode_set "$1" || rc=$?
    check "at $DPI DPI the display mode became $2x$3" "$rc $(cut -d' ' -f4 <<<"$SEEN")" "0 0"
    rc=0
    wait_until "the saver window over $2x$3" window_covers "$2" "$3" || rc=$?
    echo "     the window: $SEEN"
    check "at $DPI DPI the saver window covers the new screen, $2x$3, at once" "$rc" 0
}

# still_up: the saver's process runs and its window answers.
still_up() {
    local alive=no
    kill -0 "$SAVER_PID" 2>/dev/null && alive=yes
    echo "$alive $(answering "$1")"
}

# gains_shapes SHOT BOX: waits until shapes light pixels in BOX.
gains_shapes() {
    local rc=0
    DEADLINE=$(scaled 60)
    wait_until "shapes in $2" running_scene "$1" "$2" || rc=$?
    DEADLINE=$(scaled 30)
    echo "     $SEEN"
    return "$rc"
}

write_settings 1000 10
for DPI in 96 144; do
    wine_run reg add "$DESKTOP_KEY" /v LogPixels /t REG_DWORD /d "$DPI" /f >/dev/null 2>&1
    CUE="$WORK/cue-$DPI"
    MODE_OUT="$WORK/display_mode-$DPI.out"
    wine_run "$PLIMZOR_HOSTS/display_mode.exe" "Z:${CUE//\//\\}" ${SMALL_W}x${SMALL_H} ${BIG_W}x${BIG_H} \
        ${SMALL_W}x${SMALL_H} >"$MODE_OUT" 2>/dev/null &
    MODE_PID=$!
    BACKGROUND_PIDS+=("$MODE_PID")
    # The saver starts on the small screen.
    touch "$CUE.1"
    rc=0
    wait_until "the display mode's first change" mode_set 1 || rc=$?
    check "at $DPI DPI the display mode is ${SMALL_W}x${SMALL_H} before the saver starts" \
        "$rc $(cut -d' ' -f4 <<<"$SEEN")" "0 0"
    park_pointer $((SMALL_W - 40)) $((SMALL_H - 30))
    screenshot "$WORK/desktop-small.png"

    start_saver /s
    read -r hwnd _ <<<"$(wait_saver_window)"
    rc=0
    wait_until "the saver window over ${SMALL_W}x${SMALL_H}" window_covers "$SMALL_W" "$SMALL_H" || rc=$?
    check "at $DPI DPI the saver window covers the screen: $SEEN" "$rc" 0
    # Into the running scene before the screen changes.
    shot="$WORK/running-$DPI.png"
    cp "$WORK/desktop-small.png" "$shot"
    DEADLINE=$(scaled 60)
    wait_running "$shot" "$SMALL_SCREEN"
    DEADLINE=$(scaled 30)

    # Up: a monitor that woke, a projector plugged in.
    change_mode 2 "$BIG_W" "$BIG_H"
    check "at $DPI DPI the saver still runs after the screen grew" "$(still_up "${hwnd:-0}")" "yes 1"
    wait_frames
    screenshot "$shot"
    # Where the desktop would show its wallpaper if nothing covered it, the
    # saver's black and shapes.
    for band in "right $RIGHT_BAND" "bottom $BOTTOM_BAND"; do
        box=${band#* }
        wallpaper=$(pixels same-share "$shot" "$WALLPAPER" "$box")
        black=$(pixels black-share "$shot" "$box")
        echo "     the ${band%% *} band: ${wallpaper}% the wallpaper as it lies there, ${black}% black"
        check "at $DPI DPI the ${band%% *} band the screen gained is the saver's, black but for the shapes" \
            "$([ "$black" -ge 50 ] && [ "$wallpaper" -le 10 ] && echo yes)" yes
    done
    for band in "right $RIGHT_BAND" "bottom $BOTTOM_BAND"; do
        rc=0
        gains_shapes "$shot" "${band#* }" || rc=$?
        check "at $DPI DPI shapes reach the ${band%% *} band within a minute" "$rc" 0
    done
    cp "$shot" "$PLIMZOR_BUILD/display-change-$DPI.png"

    # Down again: the monitor went to sleep, the projector was unplugged.
    change_mode 3 "$SMALL_W" "$SMALL_H"
    check "at $DPI DPI the saver still runs after the screen shrank" "$(still_up "${hwnd:-0}")" "yes 1"
    wait_frames "$SMALL_SCREEN"
    screenshot "$shot"
    check "at $DPI DPI the small screen is black but for the shapes" \
        "$([ "$(pixels black-share "$shot" "$SMALL_SCREEN")" -ge 50 ] && echo yes)" yes
    rc=0
    gains_shapes "$shot" "$SMALL_SCREEN" || rc=$?
    check "at $DPI DPI shapes go on moving on the small screen" "$rc" 0

    xdotool key a
    wait_exit "$SAVER_PID"
    check "at $DPI DPI a key ends it with 0" "$EXITED" 0
    # Let the mode changer go: the desktop takes its own mode back.
    touch "$CUE.end"
    wait_exit "$MODE_PID"
    check "at $DPI DPI the display mode changer ended" "$EXITED" 0
done
echo "     screenshots: $PLIMZOR_BUILD/display-change-96.png, display-change-144.png"
finish
