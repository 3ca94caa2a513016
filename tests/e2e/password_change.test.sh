# The change-password switch end to end: on the Windows 9x family /a hands
# the user to the system's password change service, which here is the
# MPR.DLL stand-in beside the saver (loaded in place of Wine's own) that
# logs what it was asked (see tests/fixtures).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/win9x.sh"


cp "$FIXTURES/MPR.DLL" "$WORK/"
LOG="$WORK/change.log"
export PLIMZOR_CHANGE_LOG
PLIMZOR_CHANGE_LOG=$(windows_path "$LOG")

# change_with OVERRIDES ARGS...: runs the saver with those DLL overrides
# and prints its exit code.
change_with() {
    local overrides=$1
    shift
    WINEDLLOVERRIDES=$overrides run_saver "$@"
}

start_host 120 90
live=$HOST
# A window that existed and is gone: a stale number.
start_host 120 90
stale=$HOST
probe close "$stale"
wait_exit "$HOST_PID"
check "stale host ended" "$EXITED" 0
# The window the user works in when the settings page asks.
start_host 120 90
front=$HOST
# in_front WINDOW: the foreground window is WINDOW.
in_front() {
    local seen
    seen=$(probe foreground) || return 1
    echo "$seen"
    [ "$seen" = "$1" ]
}
wait_until "the last host in front" in_front "$front" || true
foreground=$SEEN
check "the last host is in the foreground" "$foreground" "$front"
check "the named window is another one" "$([ "$live" != "$foreground" ] && echo yes)" yes

# --- the NT family has no saver password ---
: >"$LOG"
check "NT: /a ends with -1" "$(change_with "$DLL_OVERRIDES_OWN_MPR" /a "$live")" 255
check "NT: the service is never loaded" "$(lines "$LOG" .)" 0

report_windows_9x

# --- Windows 9x: the stand-in is asked for "SCRSAVE" on the given window ---
expect_change() {
    local what=$1 window=$2
    check "$what: exit code" "$RESULT" 0
    check "$what: asked once" "$(lines "$LOG" '^change ')" 1
    check "$what: arguments" "$(grep '^change ' "$LOG")" "change name=SCRSAVE window=$window arg3=0 arg4=0"
    check "$what: MPR.DLL freed after the call" "$(tail -n1 "$LOG")" "detach module=MPR.DLL cause=free"
}
: >"$LOG"
RESULT=$(change_with "$DLL_OVERRIDES_OWN_MPR" /a "$live")
expect_change "live number" "$live"
: >"$LOG"
RESULT=$(change_with "$DLL_OVERRIDES_OWN_MPR" -A"$live")
expect_change "live number right behind the letter" "$live"
: >"$LOG"
RESULT=$(change_with "$DLL_OVERRIDES_OWN_MPR" /a "$stale")
expect_change "stale number: the foreground window" "$foreground"
: >"$LOG"
RESULT=$(change_with "$DLL_OVERRIDES_OWN_MPR" /a)
expect_change "no number: the foreground window" "$foreground"

# --- without the service the switch does nothing and still ends with 0 ---
: >"$LOG"
rm "$WORK/MPR.DLL"
check "no MPR.DLL at all: Wine's own is disabled" "$(WINEDLLOVERRIDES=$DLL_OVERRIDES_NO_MPR probe loads MPR.DLL)" 0
check "no MPR.DLL at all: exit code" "$(change_with "$DLL_OVERRIDES_NO_MPR" /a "$live")" 0
check "no MPR.DLL at all: nothing asked" "$(lines "$LOG" .)" 0

# An MPR.DLL without PwdChangePasswordA: the verifier stand-in under that
# name, which logs its loading and unloading to its own log.
VERIFIER_LOG="$WORK/verifier.log"
PLIMZOR_VERIFIER_LOG=$(windows_path "$VERIFIER_LOG")
export PLIMZOR_VERIFIER_LOG
cp "$FIXTURES/PASSWORD.CPL" "$WORK/MPR.DLL"
check "MPR.DLL without the entry: exit code" "$(change_with "$DLL_OVERRIDES_OWN_MPR" /a "$live")" 0
check "MPR.DLL without the entry: loaded and freed" "$(grep -Eo '^(attach|detach cause=[a-z]+)' "$VERIFIER_LOG" | tr '\n' ';')" \
    "attach;detach cause=free;"
rm "$WORK/MPR.DLL"

# Wine's own service answers too, and the switch still ends with 0.
check "Wine's own MPR.DLL: exit code" "$(change_with "$DLL_OVERRIDES_PLAIN" /a "$live")" 0

finish
