# Display: the private Xvfb every run draws on (a display number of its
# own, so runs side by side never share one) and the Wine virtual desktop
# inside it, up and showing its wallpaper before any test looks at it.
# Needs the wine part.
need wine

PLIMZOR_SCREEN=${PLIMZOR_SCREEN:-1024x768}

# start_own_xvfb WIDTHxHEIGHT [XVFB OPTIONS...]: starts an Xvfb on a display
# number it picks itself, exports DISPLAY and sets XVFB_STARTED_PID.
start_own_xvfb() {
    local size=$1 fdfile i n=
    shift
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp "$@" 3>"$fdfile" >/dev/null 2>&1 &
    XVFB_STARTED_PID=$!
    for i in $(seq 100); do
        n=$(tr -dc '0-9' <"$fdfile")
        [ -n "$n" ] && break
        kill -0 "$XVFB_STARTED_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$fdfile"
    if [ -z "$n" ]; then
        kill "$XVFB_STARTED_PID" >/dev/null 2>&1 || true
        XVFB_STARTED_PID=
        return 1
    fi
    export DISPLAY=":$n"
}

# Starts the harness's private Xvfb and exports DISPLAY.
start_xvfb() {
    if ! start_own_xvfb "$PLIMZOR_SCREEN"; then
        say "Xvfb did not start"
        return 1
    fi
    PLIMZOR_XVFB_PID=$XVFB_STARTED_PID
}

# desktop_window_up: the X screen holds the Wine desktop's window. (The
# window list is read whole before it is searched: a search that stops at
# the first match would end the lister early, and under pipefail its
# broken pipe would read as "not up".)
desktop_window_up() {
    local tree
    tree=$(xwininfo -root -tree 2>/dev/null) || return 1
    grep -q 'Wine desktop' <<<"$tree"
}

# --- what the screen shows ---

# screenshot FILE: what the Xvfb shows, the whole virtual desktop included.
screenshot() { import -window root "$1"; }

# pixels COMMAND SHOT ...: the screenshot checks of tests/e2e/pixels.py.
pixels() { python3 "$PLIMZOR_ROOT/tests/e2e/pixels.py" "$@"; }

# screen_shows BMP: the whole screen is the picture BMP.
screen_shows() {
    local shot seen
    shot=$(mktemp --suffix=.png)
    screenshot "$shot" 2>/dev/null || true
    seen=$(pixels same-box "$shot" "$1" "$PLIMZOR_SCREEN+0+0" 2>/dev/null || true)
    [ "$seen" != different ] || seen+=" within $(pixels differ-box "$shot" "$1" "$PLIMZOR_SCREEN+0+0" 2>/dev/null || true)"
    rm -f "$shot"
    echo "the screen and the picture: ${seen:-unreadable}"
    [ "$seen" = same ]
}

# The curtain only ever turns the captured desktop black, outline by
# outline; only the running scene's moving shapes light a pixel that was
# black. That tells the two phases apart whatever the wallpaper.

# curtain_shown SHOT DESKTOP [X Y]...: the screenshot SHOT shows the
# curtain: each point given (the top-left corner when none) black, and the
# middle of the screen still the desktop of the screenshot DESKTOP. (So not
# a window that is all black for a moment before its first frame.)
curtain_shown() {
    local shot=$1 desktop=$2 points seen middle w h
    shift 2
    points=("$@")
    [ ${#points[@]} -gt 0 ] || points=(0 0)
    read -r w h <<<"$(identify -format '%w %h' "$shot")"
    seen=$(pixels pixel "$shot" "${points[@]}")
    middle=$(pixels same-box "$shot" "$desktop" "100x60+$((w / 2 - 50))+$((h / 2 - 30))")
    echo "at (${points[*]}): $seen; the middle: $middle"
    [ -z "$(tr -d ' 0' <<<"$seen")" ] && [ "$middle" = same ]
}

# curtain_begun SHOT DESKTOP [X Y]...: takes SHOT; succeeds once it shows
# the curtain (curtain_shown).
curtain_begun() {
    screenshot "$1"
    curtain_shown "$@"
}

# start_desktop TOOLS_DIR: starts the virtual desktop every Wine program of
# this prefix opens in, and waits until it shows the prefix's wallpaper.
# Wine closes the desktop when the last program with a window exits, so a
# small keeper program (TOOLS_DIR/desktop_keeper.exe) holds it open for the
# whole run. A desktop that comes up on a new prefix may not load the
# wallpaper from the registry yet, so it is handed over at run time, once
# more each time it is still not drawn.
start_desktop() {
    local tools=$1 wallpaper=$WINEPREFIX/drive_c/wallpaper.bmp try
    wine_run "$tools/desktop_keeper.exe" >/dev/null 2>&1 &
    PLIMZOR_KEEPER_PID=$!
    if ! wait_for "the Wine desktop" "$(scaled 20)" desktop_window_up; then
        say "the Wine desktop did not appear"
        return 1
    fi
    [ -f "$wallpaper" ] || return 0
    for try in 1 2 3; do
        wine_run "$tools/set_wallpaper.exe" 'C:\wallpaper.bmp' >/dev/null 2>&1 || true
        wait_for "the desktop to draw its wallpaper (try $try of 3)" "$(scaled 10)" screen_shows "$wallpaper" &&
            return 0
    done
    say "the Wine desktop did not draw its wallpaper: $SEEN"
    return 1
}

# pointer_at TOOLS_DIR X Y: Wine has the pointer at X Y (TOOLS_DIR/probe.exe
# asks it; the virtual desktop's corner is the screen's).
pointer_at() {
    local seen
    seen=$(wine_run "$1/probe.exe" pointer | tr -d '\r') || return 1
    echo "$seen"
    [ "$seen" = "$2 $3" ]
}

# stop_wine_and_display: ends the prefix's programs and the private Xvfb.
stop_wine_and_display() {
    stop_wine
    [ -n "${PLIMZOR_XVFB_PID:-}" ] && kill "$PLIMZOR_XVFB_PID" >/dev/null 2>&1 || true
}
