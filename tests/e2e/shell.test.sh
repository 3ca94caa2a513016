# The shell end to end: exit codes of the switches, the full-screen window,
# what closes it and what does not, the single-instance check and the preview.
source "$(dirname "$0")/lib.sh"

# --- switches that show nothing ---
for args in "/x" "/1" "/p" "/p:123" "/p 4000000000" "/a 123"; do
    # shellcheck disable=SC2086
    check "exit code of $args" "$(run_saver $args)" 255
done
check "no preview window was left" "$(probe find WindowsScreenSaverClass Preview 0 >/dev/null && echo yes || echo no)" no

# --- the full-screen window ---
park_pointer
start_saver /s
read -r hwnd left top width height style exstyle foreground <<<"$(wait_saver_window)"
check "window is up" "$([ -n "${hwnd:-}" ] && echo yes)" yes
check "covers the screen" "$left $top $width $height" "0 0 1024 768"
check "style is a visible popup" "$style" 0x96000000
check "topmost" "$((exstyle & 0x8))" 8
check "in the foreground" "$foreground" 1

# A second full-screen start finds the first, brings it forward and leaves.
check "second /s exits at once with 0" "$(run_saver /s)" 0
# Whatever that did to the first saver has reached it once it has drawn on.
wait_frames
wait_exit "$SAVER_PID" 0
check "first saver still runs" "$EXITED" running

wait_until "the first saver in front again" saver_in_front || true
xdotool key a
wait_exit "$SAVER_PID"
check "a key press ends it with 0" "$EXITED" 0

# --- the mouse ---
park_pointer
start_saver /s
wait_saver_window >/dev/null
before=$(probe lastinput)
xdotool mousemove_relative 3 0
handled_since "$before"
wait_exit "$SAVER_PID" 0
check "a 3-pixel move leaves it running" "$EXITED" running
xdotool mousemove_relative 7 0
wait_exit "$SAVER_PID"
check "a 10-pixel move in all ends it with 0" "$EXITED" 0

park_pointer
start_saver /s
wait_saver_window >/dev/null
xdotool click 1
wait_exit "$SAVER_PID"
check "a click ends it with 0" "$EXITED" 0

# --- the preview ---
start_host 200 150
start_saver /p "$HOST"
preview=$(wait_preview "$HOST")
read -r child px py pw ph ptitle <<<"$preview"
check "preview child fills the host" "$px $py $pw $ph" "0 0 200 150"
check "preview title" "${ptitle:-}" Preview
before=$(probe lastinput)
xdotool key a
xdotool mousemove_relative 40 40
# Neither goes to the preview's thread: the keyboard is the host's and the
# pointer is elsewhere. What the preview gets of them comes as messages, and
# Wine does not show another process's child window, so there are no frames
# to watch: once the input has reached Wine, the preview's thread answering
# a message is the sign that it has taken what came before.
wait_until "the input to reach Wine" input_since "$before" || true
check "the preview answers after keys and moves" "$(answering "${child:-}")" 1
wait_exit "$SAVER_PID" 0
check "keys and moves leave the preview running" "$EXITED" running
probe close "$HOST"
wait_exit "$SAVER_PID"
check "preview ends with 0 when its host goes" "$EXITED" 0
wait_exit "$HOST_PID"
check "host ended" "$EXITED" 0

# A host with no room for a preview: nothing is drawn, nothing faults, and
# the preview still ends with its host. Such a preview does all it will
# ever do while it is created; once its thread answers, that is behind it.
for size in "0 0" "200 0"; do
    # shellcheck disable=SC2086
    start_host $size
    start_saver /p "$HOST"
    read -r child _ <<<"$(wait_preview "$HOST")"
    check "a ${size/ /x} preview answers" "$(answering "${child:-}")" 1
    wait_exit "$SAVER_PID" 0
    check "a ${size/ /x} preview runs without fault" "$EXITED" running
    probe close "$HOST" >/dev/null
    wait_exit "$SAVER_PID"
    check "the ${size/ /x} preview ends with 0 when its host goes" "$EXITED" 0
    wait_exit "$HOST_PID"
done

# --- signed, as a signed release ships it (scripts/sign-file, a throwaway
# certificate): it starts and closes as the unsigned one does ---
if ! why=$("$PLIMZOR_ROOT/scripts/sign-file" --usable); then
    echo "skip the signed saver: $why"
else
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/root.pem" -days 2 \
        -subj "/CN=PLIMZOR throwaway signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
    openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$WORK/root.pem" -out "$WORK/signer.pfx" -passout pass:throwaway
    PLIMZOR_SIGN_MODE=sign PLIMZOR_SIGN_PFX=$WORK/signer.pfx PLIMZOR_SIGN_PASSWORD=throwaway \
        PLIMZOR_SIGNATURES=$WORK/signatures "$PLIMZOR_ROOT/scripts/sign-file" "$SAVER" PLIMZOR.SCR
    check "the saver is signed" "$(osslsigncode verify -CAfile "$WORK/root.pem" -in "$SAVER" 2>&1 | tail -n 1)" Succeeded
    park_pointer
    start_saver /s
    wait_saver_window >/dev/null
    xdotool key a
    wait_exit "$SAVER_PID"
    check "signed, a key press ends it with 0" "$EXITED" 0
fi

finish
