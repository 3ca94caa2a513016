# Password protection on the Windows 9x family, end to end: Wine reports
# Windows 98 to PLIMZOR.SCR, and the PASSWORD.CPL stand-in beside it answers
# as each scenario tells it and logs every call (see tests/fixtures). The
# screen-saver-running flag is read both by probe, from another process, and
# by the stand-in, inside the saver's.
#
# PLIMZOR_E2E_PART chooses what runs: "faults" only the verifier that faults
# (the exception code it checks is the processor's, which an emulator does
# not pass on), "no-faults" everything else, unset everything.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/win9x.sh"

case ${PLIMZOR_E2E_PART:=all} in
    all | faults | no-faults) ;;
    *) echo "PLIMZOR_E2E_PART is faults, no-faults or unset, not '$PLIMZOR_E2E_PART'" >&2; exit 2 ;;
esac
# part NAME: whether the part NAME (faults or no-faults) runs.
part() { [ "$PLIMZOR_E2E_PART" = all ] || [ "$PLIMZOR_E2E_PART" = "$1" ]; }

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
    wait_for_line "$LOG" "^call n=$1 " || true
    CALL=$(grep -E "^call n=$1 " "$LOG" || true)
}

# back_from_verifier WHAT: once the verifier has logged its answer, the saver
# goes back to its loop, having taken the answer and the time of it; its
# thread answering a message is the sign. Sets ANSWERED to a tick count
# read after that.
back_from_verifier() {
    check "$1: the saver is back in its loop" "$(answering "$HWND")" 1
    ANSWERED=$(probe ticks)
}

# after_reask_interval: waits until the gate's re-ask interval (200 ms of
# the system's tick count) has passed since ANSWERED: a key before that is
# not asked about.
after_reask_interval() { probe ticks "$ANSWERED" 200 >/dev/null; }

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

# --- the NT family: nothing of this runs, whatever the switch says ---
if part no-faults; then
    report_windows_nt
    set_switch REG_DWORD 1
    : >"$LOG"
    start_full_screen
    check "NT: flag off while running" "$(saver_running_flag)" 0
    xdotool key a
    wait_exit "$SAVER_PID"
    check "NT: the first key ends it with 0" "$EXITED" 0
    check "NT: verifier never loaded" "$(lines "$LOG" .)" 0
fi

report_windows_9x

if part no-faults; then
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
    back_from_verifier "first question"
    wait_exit "$SAVER_PID" 0
    check "on: still running after the rejection" "$EXITED" running
    check "on: the key asked once" "$(lines "$LOG" '^call ')" 1
    check "on: window still there" "$(probe find WindowsScreenSaverClass "Screen Saver" 0 | cut -d' ' -f1)" "$HWND"
    # (Each animation frame's paint hides it too; the gate's own hiding is
    # checked by the unit tests.)
    read -r cursor _ <<<"$(probe cursor)"
    check "on: the verifier's arrow is hidden again" "$cursor" 0
    check "on: flag still on" "$(saver_running_flag)" 1
    after_reask_interval
    press_key_and_wait_call 2
    check_call "second question" "$CALL"
    check "second question: accepted" "$(field "$CALL" answer)" accept
    wait_exit "$SAVER_PID"
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
        wait_exit "$SAVER_PID"
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
    wait_exit "$SAVER_PID"
    check "no entry: the first key ends it with 0" "$EXITED" 0
    cp "$FIXTURES/PASSWORD.CPL" "$WORK/"

    # --- the AutoPlay query ---
    : >"$LOG"
    export PLIMZOR_VERIFIER_ANSWERS=reject,accept
    start_full_screen
    check "AutoPlay with a verifier: cancelled" "$(probe send "$HWND" QueryCancelAutoPlay)" 1
    wait_for_line "$LOG" '^call n=1 ' || true
    check "AutoPlay with a verifier: its close asks" "$(field "$(grep '^call n=1 ' "$LOG")" answer)" reject
    back_from_verifier "AutoPlay with a verifier"
    wait_exit "$SAVER_PID" 0
    check "AutoPlay with a verifier: still running after the rejection" "$EXITED" running
    after_reask_interval
    press_key_and_wait_call 2
    wait_exit "$SAVER_PID"
    check "AutoPlay with a verifier: a later accepted key ends it with 0" "$EXITED" 0

    set_switch REG_DWORD 0
    : >"$LOG"
    start_full_screen
    check "AutoPlay without a verifier: let go ahead" "$(probe send "$HWND" QueryCancelAutoPlay)" 0
    wait_exit "$SAVER_PID"
    check "AutoPlay without a verifier: its close ends it with 0" "$EXITED" 0
    check "AutoPlay without a verifier: verifier never loaded" "$(lines "$LOG" .)" 0
fi

if part faults; then
    # --- a verifier that faults ---
    set_switch REG_DWORD 1
    : >"$LOG"
    export PLIMZOR_VERIFIER_ANSWERS=fault
    start_full_screen
    xdotool key a
    wait_exit "$SAVER_PID"
    check "fault: the process ends with a non-zero code" "$([ "$EXITED" != running ] && [ "$EXITED" != 0 ] && echo yes || echo "no ($EXITED)")" yes
    # The guard returns the fault's code; the shell sees its low byte.
    check "fault: the code is the access violation's" "$EXITED" $((0xC0000005 & 0xFF))
    # The guard's own return ends the process through ExitProcess, which
    # notifies the still loaded verifier; the flag was switched off before.
    check "fault: the verifier faulted once" "$(lines "$LOG" '^fault n=1 .*flag=1')" 1
    check "fault: the guard switched the flag off before the exit" "$(tail -n1 "$LOG")" "detach cause=exit flag=0"
    check "fault: flag off afterwards (seen from another process)" "$(saver_running_flag)" 0
fi

if part no-faults; then
    # --- a preview never loads the verifier ---
    : >"$LOG"
    start_host
    start_saver /p "$HOST"
    preview=$(wait_preview "$HOST")
    check "preview: window up" "$([ -n "$preview" ] && echo yes)" yes
    check "preview: flag off" "$(saver_running_flag)" 0
    probe close "$HOST"
    wait_exit "$SAVER_PID"
    check "preview: ends with 0" "$EXITED" 0
    check "preview: verifier never loaded, even with protection on" "$(lines "$LOG" .)" 0
fi

finish
