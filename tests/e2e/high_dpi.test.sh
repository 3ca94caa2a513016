# A scaled display end to end: at 144 DPI (150 %) the running saver must be
# DPI-aware by its own manifest, so that it sees the screen's real pixels,
# its window must cover the whole physical screen, and the scene must be the
# whole screen too: built inside the window's procedure, it is the screen
# as the window sees it. (Wine's 32-bit loader made a system-aware thread's
# windows unaware, and the scene two thirds of the screen.)
#
# By default Wine makes every program DPI-aware and ignores manifests;
# DpiScalingVer 0x1000 makes it honour them, so that a program without a
# declaration starts unaware as on Windows. Both values are put back at the
# end: the prefix is shared by every test of the build tree.
source "$(dirname "$0")/lib.sh"

DESKTOP_KEY='HKCU\Control Panel\Desktop'
REPORT_DLL="$PLIMZOR_HOSTS/fixtures/dpi_report.dll"
REPORT_DLL="Z:${REPORT_DLL//\//\\}"

# dword_value NAME: the REG_DWORD under DESKTOP_KEY as reg prints it
# (0x...), or "absent".
dword_value() {
    local value
    value=$(wine_run reg query "$DESKTOP_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v name="$1" '$1 == name && $2 == "REG_DWORD" { print $3 }')
    echo "${value:-absent}"
}

put_back() {
    local name value
    for name in LogPixels DpiScalingVer; do
        value=${SAVED[$name]}
        if [ "$value" = absent ]; then
            wine_run reg delete "$DESKTOP_KEY" /v "$name" /f >/dev/null 2>&1 || true
        else
            wine_run reg add "$DESKTOP_KEY" /v "$name" /t REG_DWORD /d "$value" /f >/dev/null 2>&1 || true
        fi
    done
}

declare -A SAVED
SAVED[LogPixels]=$(dword_value LogPixels)
SAVED[DpiScalingVer]=$(dword_value DpiScalingVer)
on_exit put_back
wine_run reg add "$DESKTOP_KEY" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wine_run reg add "$DESKTOP_KEY" /v DpiScalingVer /t REG_DWORD /d 0x1000 /f >/dev/null 2>&1

# A program without a declaration (the preview host) starts unaware here;
# otherwise what the saver reports below would prove nothing.
start_host 200 150
read -r host_awareness _ <<<"$(probe awareness "$HOST" "$REPORT_DLL" || true)"
check "a program without a declaration is unaware" "${host_awareness:-no answer}" 0
probe close "$HOST" >/dev/null
wait_exit "$HOST_PID"

# first_outline SHOT: SHOT shows the curtain's first outline (inset 0,
# alone until the curtain has gone a quarter of the way in) on the physical
# screen's edges: each corner black, and the pixel just inside each corner
# still the desktop (DESKTOP_INSIDE). A scene built smaller than the screen
# has its first outline inside it, and black beyond, where the pixels just
# inside the corners lie. The first outline is alone for a second and a
# half: the screen is recorded and looked at afterwards (start_recording).
CORNERS=(0 0 1023 0 0 767 1023 767)
INSIDE=(1 1 1022 1 1 766 1022 766)
first_outline() {
    local seen
    seen=$(pixels pixel "$1" "${CORNERS[@]}" "${INSIDE[@]}")
    echo "corners, then just inside: $seen (the desktop just inside: $DESKTOP_INSIDE)"
    [ "$seen" = "000000 000000 000000 000000 $DESKTOP_INSIDE" ]
}

# The whole screen is the scene at 144 DPI, and at 96 too.
park_pointer
screenshot "$WORK/desktop.png"
DESKTOP_INSIDE=$(pixels pixel "$WORK/desktop.png" "${INSIDE[@]}")
check "the desktop is lit just inside its corners, so the outline check can see a scene too small" \
    "$(tr ' ' '\n' <<<"$DESKTOP_INSIDE" | grep -c -v '^000000$')" 4
write_settings 1000 10
for dpi in 144 96; do
    wine_run reg add "$DESKTOP_KEY" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    park_pointer
    wait_desktop "$WORK/desktop.png"
    start_recording
    start_saver /s
    rc=0
    wait_recorded "the curtain's first outline on the screen's edges" "$WORK/curtain.png" first_outline ||
        rc=$?
    stop_recording
    [ "$rc" = 0 ] || screenshot "$WORK/curtain.png"
    check "at $dpi DPI the curtain's first outline lies on the screen's last row and column, the desktop just inside" \
        "$rc" 0
    read -r hwnd _ <<<"$(wait_saver_window)"
    # From inside the saver: its DPI awareness, the DPI it sees, its
    # window's client area in its own pixels, and the window's own
    # awareness, which its procedure (where the scene is built) runs with.
    check "at $dpi DPI the saver and its window are system-DPI-aware and the window is the physical screen" \
        "$(probe awareness "$hwnd" "$REPORT_DLL" || echo no answer)" "1 $dpi 1024 768 1"
    cp "$WORK/curtain.png" "$WORK/running.png"
    # Beyond two thirds of the screen the shapes move too: within a minute
    # after the curtain they light pixels there (a ball crosses the screen
    # and bounces on its bottom in seconds).
    DEADLINE=$(scaled 60)
    for third in "right 341x768+683+0" "bottom 1024x256+0+512"; do
        rc=0
        wait_until "shapes in the $third third" running_scene "$WORK/running.png" "${third#* }" || rc=$?
        check "at $dpi DPI shapes light pixels in the ${third%% *} third" "$rc" 0
    done
    DEADLINE=$(scaled 30)
    xdotool key a
    wait_exit "$SAVER_PID"
    check "at $dpi DPI a key ends it with 0" "$EXITED" 0
done

# A preview at 144 DPI in a host that is system-aware, as the display
# settings page is: the preview window is made system-aware too, so that its
# procedure, where its scene is built, sees the screen's real size. (A child
# window takes its host's awareness; in an unaware host the preview is
# scaled with it, as the host's own picture is.)
wine_run reg add "$DESKTOP_KEY" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
start_host 200 150 aware
read -r host_awareness _ _ _ host_window <<<"$(probe awareness "$HOST" "$REPORT_DLL" || echo no answer)"
check "the aware preview host and its window are system-aware" "${host_awareness:-} ${host_window:-}" "1 1"
start_saver /p "$HOST"
read -r child _ <<<"$(wait_preview "$HOST")"
check "in an aware host the preview and its window are system-aware at 144 DPI" \
    "$(probe awareness "${child:-0}" "$REPORT_DLL" | cut -d' ' -f1,2,5 || echo no answer)" "1 144 1"
probe close "$HOST" >/dev/null
wait_exit "$SAVER_PID"
check "the preview ends with its host, with 0" "$EXITED" 0
wait_exit "$HOST_PID"

put_back
check "the DPI settings are back as they were" \
    "$(dword_value LogPixels) $(dword_value DpiScalingVer)" "${SAVED[LogPixels]} ${SAVED[DpiScalingVer]}"
finish
