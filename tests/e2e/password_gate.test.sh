# Password protection on the Windows 9x family, end to end: Wine reports
# Windows 98 to PLIMZOR.SCR, and the PASSWORD.CPL stand-in beside it answers
# as each scenario tells it and logs every call (see tests/fixtures). The
# screen-saver-running flag is read both by probe, from another process, and
# by the stand-in, inside the saver's.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/win9x.sh"

remember_win9x_settings

cp "$FIXTURES/PASSWORD.CPL" "$WORK/"
LOG="$WORK/verifier.log"
export PLIMZOR_VERIFIER_LOG
PLIMZOR_VERIFIER_LOG=$(windows_path "$LOG")

# start_full_screen: starts /s and sets HWND to its window.
start_full_screen() {
    park_pointer
    start_saver /s
    read -r HWND _ <<<"$(wait_saver_window)"
    HWND=${HWND:-none}
}

# press_key_and_wait_call N: a key press, then the verifier's Nth call.
press_key_and_wait_call() {
    xdotool key a
    wait_for_line "$LOG" "^call n=$1 " 10 || true
    CALL=$(grep -E "^call n=$1 " "$LOG" || true)
}

check_call() {
    local what=$1 line=$2
    check "$what: given the saver window" "$(field "$line" window)" "$HWND"
    check "$what: flag on as the verifier sees it" "$(field "$line" flag)" 1
    check "$what: not asked inside itself" "$(field "$line" depth)" 1
    check "$what: saver window ticked while asked" "$(at_least "$(field "$line" ticks)" 3)" yes
    check "$what: saver window painted while asked" "$(at_least "$(field "$line" paints)" 1)" yes
    check "$what: a key while asked queued no close" "$(field "$line" closes)" 1
    check "$what: a close request while asked left the window" "$(field "$line" alive)" 1
}

# PLIMZOR_E2E_PART=faults runs only the verifier that faults (its exception
# code needs a processor running 32-bit code itself), no-faults all the rest.
part=${PLIMZOR_E2E_PART:-all}
if [ "$part" != faults ]; then

# --- the NT family: nothing of this runs, whatever the switch says ---
report_windows_nt
set_switch REG_DWORD 1
: >"$LOG"
start_full_screen
check "NT: flag off while running" "$(saver_running_flag)" 0
xdotool key a
wait_exit "$SAVER_PID" 10
check "NT: the first key ends it with 0" "$EXITED" 0
check "NT: verifier never loaded" "$(lines "$LOG" .)" 0

report_windows_9x

# --- protection on: reject, then accept ---
set_switch REG_DWORD 1
: >"$LOG"
export PLIMZOR_VERIFIER_ANSWERS=reject,accept
start_full_screen
check "on: verifier loaded before the window, flag still off then" "$(head -n1 "$LOG")" "attach flag=0"
check "on: flag on while running (seen from another process)" "$(saver_running_flag)" 1
press_key_and_wait_call 1
check_call "first question" "$CALL"
check "first question: rejected" "$(field "$CALL" answer)" reject
wait_exit "$SAVER_PID" 1
check "on: still running after the rejection" "$EXITED" running
check "on: the key asked once" "$(lines "$LOG" '^call ')" 1
check "on: window still there" "$(probe find WindowsScreenSaverClass "Screen Saver" 0 | cut -d' ' -f1)" "$HWND"
# (Each animation frame's paint hides it too; the gate's own hiding is
# checked by the unit tests.)
read -r cursor _ <<<"$(probe cursor)"
check "on: the verifier's arrow is hidden again" "$cursor" 0
check "on: flag still on" "$(saver_running_flag)" 1
# Past the re-ask interval after the answer.
sleep 1
press_key_and_wait_call 2
check_call "second question" "$CALL"
check "second question: accepted" "$(field "$CALL" answer)" accept
wait_exit "$SAVER_PID" 10
check "on: acceptance ends it with 0" "$EXITED" 0
check "on: asked twice in all" "$(lines "$LOG" '^call ')" 2
check "on: PASSWORD.CPL freed at the end" "$(tail -n1 "$LOG")" "detach cause=free flag=1"
check "on: flag off after the end" "$(saver_running_flag)" 0

# --- protection off: the value absent, or zero ---
for value in absent "REG_DWORD 0"; do
    # shellcheck disable=SC2086
    set_switch $value
    : >"$LOG"
    start_full_screen
    check "off ($value): flag off while running" "$(saver_running_flag)" 0
    xdotool key a
    wait_exit "$SAVER_PID" 10
    check "off ($value): the first key ends it with 0" "$EXITED" 0
    check "off ($value): verifier never loaded" "$(lines "$LOG" .)" 0
done

# --- a PASSWORD.CPL without the verifier entry: loaded, freed, not used ---
set_switch REG_DWORD 1
CHANGE_LOG="$WORK/change.log"
PLIMZOR_CHANGE_LOG=$(windows_path "$CHANGE_LOG")
export PLIMZOR_CHANGE_LOG
cp "$FIXTURES/MPR.DLL" "$WORK/PASSWORD.CPL"
start_full_screen
check "no entry: loaded and freed before the window" "$(cat "$CHANGE_LOG" 2>/dev/null | tr '\n' ';')" \
    "attach module=PASSWORD.CPL;detach module=PASSWORD.CPL cause=free;"
check "no entry: flag off while running" "$(saver_running_flag)" 0
xdotool key a
wait_exit "$SAVER_PID" 10
check "no entry: the first key ends it with 0" "$EXITED" 0
cp "$FIXTURES/PASSWORD.CPL" "$WORK/"

# --- the AutoPlay query ---
: >"$LOG"
export PLIMZOR_VERIFIER_ANSWERS=reject,accept
start_full_screen
check "AutoPlay with a verifier: cancelled" "$(probe send "$HWND" QueryCancelAutoPlay)" 1
wait_for_line "$LOG" '^call n=1 ' 10 || true
check "AutoPlay with a verifier: its close asks" "$(field "$(grep '^call n=1 ' "$LOG")" answer)" reject
wait_exit "$SAVER_PID" 1
check "AutoPlay with a verifier: still running after the rejection" "$EXITED" running
sleep 1
press_key_and_wait_call 2
wait_exit "$SAVER_PID" 10
check "AutoPlay with a verifier: a later accepted key ends it with 0" "$EXITED" 0

set_switch REG_DWORD 0
: >"$LOG"
start_full_screen
check "AutoPlay without a verifier: let go ahead" "$(probe send "$HWND" QueryCancelAutoPlay)" 0
wait_exit "$SAVER_PID" 10
check "AutoPlay without a verifier: its close ends it with 0" "$EXITED" 0
check "AutoPlay without a verifier: verifier never loaded" "$(lines "$LOG" .)" 0

fi
if [ "$part" != no-faults ]; then
if [ "$part" = faults ]; then report_windows_9x; fi

# --- a verifier that faults ---
set_switch REG_DWORD 1
: >"$LOG"
export PLIMZOR_VERIFIER_ANSWERS=fault
start_full_screen
xdotool key a
wait_exit "$SAVER_PID" 20
check "fault: the process ends with a non-zero code" "$([ "$EXITED" != running ] && [ "$EXITED" != 0 ] && echo yes || echo "no ($EXITED)")" yes
# The guard returns the fault's code; the shell sees its low byte.
check "fault: the code is the access violation's" "$EXITED" $((0xC0000005 & 0xFF))
# The guard's own return ends the process through ExitProcess, which
# notifies the still loaded verifier; the flag was switched off before.
check "fault: the verifier faulted once" "$(lines "$LOG" '^fault n=1 .*flag=1')" 1
check "fault: the guard switched the flag off before the exit" "$(tail -n1 "$LOG")" "detach cause=exit flag=0"
check "fault: flag off afterwards (seen from another process)" "$(saver_running_flag)" 0

fi
if [ "$part" != faults ]; then

# --- a preview never loads the verifier ---
: >"$LOG"
start_host
start_saver /p "$HOST"
preview=$(wait_preview "$HOST")
check "preview: window up" "$([ -n "$preview" ] && echo yes)" yes
check "preview: flag off" "$(saver_running_flag)" 0
probe close "$HOST"
wait_exit "$SAVER_PID" 10
check "preview: ends with 0" "$EXITED" 0
check "preview: verifier never loaded, even with protection on" "$(lines "$LOG" .)" 0

fi

finish
