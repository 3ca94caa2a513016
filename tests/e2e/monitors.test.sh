# Several monitors end to end: two monitors side by side, the primary on the
# right, so that the virtual screen starts at a negative x. The full-screen
# window must cover both, the desktop must be captured from the virtual
# screen's top-left corner, and the shapes must run over both monitors.
#
# Wine's virtual desktop is a single monitor, so this test brings its own X
# display (one wide screen split into two monitors) and its own Wine prefix
# without a virtual desktop; Wine reads the monitors through Xinerama, since
# its XRandR driver sees only one on Xvfb. Outside a virtual desktop nothing
# paints the screen, so a backdrop window (tests/host/backdrop) gives the
# saver a known picture to capture: one colour left of the virtual screen's
# middle, another right of it.
source "$(dirname "$0")/lib.sh"

SCREEN_WIDTH=1600
SCREEN_HEIGHT=600
LEFT_COLOUR=c8a064
RIGHT_COLOUR=64a0c8
use_own_display "$SCREEN_WIDTH" "$SCREEN_HEIGHT" "$PLIMZOR_BUILD/monitors-wineprefix"
# Two monitors of 800 x 600 (about 96 DPI: 211 mm wide), the primary (*) on
# the right.
xrandr --setmonitor L "800/211x600/158+0+0" screen >/dev/null
xrandr --setmonitor '*R' "800/211x600/158+800+0" none >/dev/null
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
# The prefix's desktop process, started with the reg call, read its monitors
# before the value was there; end it, so that the next one reads them anew.
wine_server -k >/dev/null 2>&1 || true

check "two monitors, the virtual screen starting left of the primary" "$(probe metrics)" "-800 0 1600 600 2 800 600"

# backdrop_shown: takes a screenshot; each half of the screen shows its colour.
backdrop_shown() {
    local seen
    screenshot "$WORK/backdrop.png"
    seen="$(pixels exact "$WORK/backdrop.png" $LEFT_COLOUR 800x600+0+0) $(pixels exact "$WORK/backdrop.png" $RIGHT_COLOUR 800x600+800+0)"
    echo "left and right half: $seen"
    [ "$seen" = "ok ok" ]
}

# start_backdrop: the two-colour window behind the saver; sets BACKDROP once
# it is on the screen.
start_backdrop() {
    local out
    out=$(mktemp "$WORK/backdrop.XXXXXX")
    wine_run "$PLIMZOR_HOSTS/backdrop.exe" "$LEFT_COLOUR" "$RIGHT_COLOUR" >"$out" 2>/dev/null &
    BACKGROUND_PIDS+=("$!")
    wait_until "the backdrop's window" host_started "$out" || true
    BACKDROP=$SEEN
    wait_until "the backdrop on the screen" backdrop_shown || true
}

# Early in the curtain the captured picture still shows inside it, each
# monitor's middle in its own colour: the capture began at the virtual
# screen's top-left corner and the scene spans both monitors.
LEFT_MIDDLE=100x60+350+270
RIGHT_MIDDLE=100x60+1150+270
# middles_shown SHOT: "ok 6000" for each middle that shows its colour alone.
middles_shown() {
    echo "$(pixels only "$1" $LEFT_COLOUR $LEFT_MIDDLE) $(pixels lit "$1" $LEFT_MIDDLE)" \
        "$(pixels only "$1" $RIGHT_COLOUR $RIGHT_MIDDLE) $(pixels lit "$1" $RIGHT_MIDDLE)"
}
# curtain_over_both SHOT: SHOT shows the curtain's first outline at the
# virtual screen's top-left corner and both middles still in their colours.
# (A moment of the curtain: recorded and looked at afterwards.)
curtain_over_both() {
    local corner middles
    corner=$(pixels pixel "$1" 0 0)
    middles=$(middles_shown "$1")
    echo "corner $corner, middles $middles"
    [ "$corner" = 000000 ] && [ "$middles" = "ok 6000 ok 6000" ]
}

start_backdrop
check "the backdrop is up" "$([ -n "$BACKDROP" ] && echo yes)" yes
both="$LEFT_COLOUR,$RIGHT_COLOUR"
left_half="800x600+0+0"
right_half="800x600+800+0"
for mode in 1000 1001; do
    write_settings "$mode" 10
    park_pointer 1200 300
    # What the last saver uncovered is painted again.
    wait_until "the backdrop on the screen again" backdrop_shown || true
    start_recording
    start_saver /s
    read -r hwnd left top width height _ <<<"$(wait_saver_window)"
    check "mode $mode: the window covers both monitors" "${left:-} ${top:-} ${width:-} ${height:-}" "-800 0 1600 600"
    wait_recorded "the curtain in mode $mode" "$WORK/curtain-$mode.png" curtain_over_both ||
        screenshot "$WORK/curtain-$mode.png"
    stop_recording
    [ "$mode" = 1000 ] && cp "$WORK/curtain-$mode.png" "$PLIMZOR_BUILD/monitors-curtain.png"
    read -r left_seen left_lit right_seen right_lit <<<"$(middles_shown "$WORK/curtain-$mode.png")"
    check "mode $mode: the middle of the left monitor still shows its colour" "$left_seen $left_lit" "ok 6000"
    check "mode $mode: the middle of the right monitor still shows its colour" "$right_seen $right_lit" "ok 6000"
    # Over the run, shapes on both monitors; every frame obeys the pixel
    # rules of a one-colour desktop on both: black, or the desktop's colour
    # (standard), or within its bits (colourful). The picture scrolls, so
    # either colour may show on either monitor. Frames are taken until the
    # shapes have been seen on both monitors, three at least.
    rule=only
    [ "$mode" = 1001 ] && rule=only-within
    shot=$WORK/running-$mode.png
    cp "$WORK/curtain-$mode.png" "$shot"
    wait_running "$shot"
    lit_left=0 lit_right=0 frame=0
    end=$((SECONDS + DEADLINE))
    while :; do
        frame=$((frame + 1))
        check "mode $mode, frame $frame: left monitor black or showing the desktop" \
            "$(pixels $rule "$shot" "$both" $left_half)" ok
        check "mode $mode, frame $frame: right monitor black or showing the desktop" \
            "$(pixels $rule "$shot" "$both" $right_half)" ok
        lit_left=$((lit_left + $(pixels lit "$shot" $left_half)))
        lit_right=$((lit_right + $(pixels lit "$shot" $right_half)))
        if [ "$frame" -ge 3 ] && [ "$lit_left" -gt 1000 ] && [ "$lit_right" -gt 1000 ]; then break; fi
        if [ "$SECONDS" -ge "$end" ]; then
            echo "     waited $DEADLINE s for shapes on both monitors"
            break
        fi
        # The next frame is one the saver has drawn since.
        wait_until "the next frame in mode $mode" screen_changed "$shot" 1600x600+0+0 || true
    done
    echo "     lit pixels over $frame frames: left $lit_left, right $lit_right"
    check "mode $mode: shapes on the left monitor" "$([ "$lit_left" -gt 1000 ] && echo yes)" yes
    check "mode $mode: shapes on the right monitor" "$([ "$lit_right" -gt 1000 ] && echo yes)" yes
    check "mode $mode: black but for the shapes" \
        "$([ "$(pixels black-share "$shot")" -ge 50 ] && echo yes)" yes
    cp "$shot" "$PLIMZOR_BUILD/monitors-$mode.png"
    end_saver "$hwnd"
    check "mode $mode: ends with 0" "$EXITED" 0
done
echo "     screenshots: $PLIMZOR_BUILD/monitors-curtain.png, monitors-1000.png, monitors-1001.png"

probe close "$BACKDROP" >/dev/null || true
finish
