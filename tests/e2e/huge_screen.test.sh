# A screen bigger than the saver may be able to hold: three 8K monitors'
# worth (23040 x 4320) on a plain X display. Each full-screen surface is
# about 400 MB there, and a 32-bit saver keeps two inside its address space
# beside the window's own. Whatever it can get, the saver must blank the
# whole screen, keep running (animating the virtual screen, or the primary
# screen's size when that is all it could have), and close with 0 on a key.
source "$(dirname "$0")/lib.sh"

WIDTH=23040
HEIGHT=4320
use_own_display "$WIDTH" "$HEIGHT" "$PLIMZOR_BUILD/plain-wineprefix"
check "one screen of ${WIDTH}x${HEIGHT}" "$(probe metrics)" "0 0 $WIDTH $HEIGHT 1 $WIDTH $HEIGHT"

for mode in 1000 1001; do
    write_settings "$mode" 10
    park_pointer 1000 1000
    start_saver /s
    read -r hwnd left top width height _ <<<"$(wait_saver_window)"
    check "mode $mode: the window covers the whole screen" "${left:-none} ${top:-} ${width:-} ${height:-}" \
        "0 0 $WIDTH $HEIGHT"
    # Its scene is made while its window is created, before the saver brings
    # it to the front: both pictures of the screen and the capture. This is
    # where a saver that could not have its memory would already have gone;
    # its thread answering shows it has gone on into its loop.
    check "mode $mode: answers once its scene is made" "$(answering "${hwnd:-}")" 1
    wait_exit "$SAVER_PID" 0
    check "mode $mode: still running once its scene is made" "$EXITED" running
    if [ "$EXITED" = running ]; then
        echo "     resident size: $(awk '/VmRSS/ { print $2 / 1024 " MB" }' "/proc/$(pgrep -f "${WORK##*/}.PLIMZOR.SCR" | head -n 1)/status" 2>/dev/null || echo unknown)"
        end_saver "$hwnd"
    fi
    check "mode $mode: a key ends it with 0" "$EXITED" 0
done

finish
