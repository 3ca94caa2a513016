# A scaled display end to end: at 144 DPI (150 %) the running saver must be
# DPI-aware by its own manifest, so that it sees the screen's real pixels,
# and its window must cover the whole physical screen.
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

write_settings 1000 10
park_pointer
screenshot "$WORK/desktop.png"
start_saver /s
# The curtain's first outline runs along the scene's edges: the corners of
# the physical screen, not those of a 683 x 512 one scaled down. Inside it the
# captured desktop shows unstretched.
# (Watched from the saver's start: the curtain is over sooner than the
# window is found where each probe is a slow Wine start, under emulation.)
corners=(0 0 1023 0 0 767 1023 767)
wait_until "the curtain at the screen's corners" curtain_begun "$WORK/curtain.png" "$WORK/desktop.png" "${corners[@]}" ||
    true
read -r hwnd _ <<<"$(wait_saver_window)"
# From inside the saver: its DPI awareness, the DPI it sees, and its
# window's client area in its own pixels.
check "the saver is system-DPI-aware at 144 DPI and its window is the physical screen" \
    "$(probe awareness "$hwnd" "$REPORT_DLL" || echo no answer)" "1 144 1024 768"
read -r -a seen <<<"$(pixels pixel "$WORK/curtain.png" "${corners[@]}")"
for i in 0 1 2 3; do
    check "curtain outlines the screen's corner (${corners[2 * i]}, ${corners[2 * i + 1]})" "${seen[i]:-}" 000000
done
check "the middle still shows the desktop as it was" \
    "$(pixels same-box "$WORK/curtain.png" "$WORK/desktop.png" 100x60+462+354)" same
cp "$WORK/curtain.png" "$WORK/running.png"
wait_running "$WORK/running.png"
# What lies beyond two thirds of the screen is the saver's too: black but for
# the shapes.
share=$(pixels black-share "$WORK/running.png" 341x768+683+0)
echo "     black in the right third after the curtain: $share%"
check "after the curtain the right third is the saver's" "$([ "$share" -ge 50 ] && echo yes)" yes
share=$(pixels black-share "$WORK/running.png" 1024x256+0+512)
echo "     black in the bottom third after the curtain: $share%"
check "after the curtain the bottom third is the saver's" "$([ "$share" -ge 50 ] && echo yes)" yes
xdotool key a
wait_exit "$SAVER_PID"
check "a key ends it with 0" "$EXITED" 0

put_back
check "the DPI settings are back as they were" \
    "$(dword_value LogPixels) $(dword_value DpiScalingVer)" "${SAVED[LogPixels]} ${SAVED[DpiScalingVer]}"
finish
