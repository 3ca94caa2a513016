# What every part of the harness shares: loading the other parts, telling
# the user what happens, telling where and why a run stopped, waiting for a
# state with a deadline, and the settings file the saver reads. Source it
# first (PLIMZOR_ROOT set to the source tree), then `need` the parts a
# script uses: packages, emulation, display, wine, build.

# need PART...: sources scripts/lib/PART.sh, each part once however often
# it is asked for (a part that needs another asks for it itself).
PLIMZOR_LIB_LOADED=${PLIMZOR_LIB_LOADED:-}
need() {
    local part
    for part; do
        case " $PLIMZOR_LIB_LOADED " in *" $part "*) continue ;; esac
        PLIMZOR_LIB_LOADED+=" $part"
        # shellcheck disable=SC1090
        source "${PLIMZOR_ROOT:?set PLIMZOR_ROOT to the source tree}/scripts/lib/$part.sh"
    done
}

say() { printf '== %s\n' "$*" >&2; }

# --- where and why a run stopped ---
#
# report_stops NAME: from here on, a command that ends this shell under
# set -e first prints one line, "NAME stopped: FILE:LINE in FUNCTION:
# COMMAND exited CODE". A run that died with no word after its last
# message cannot be mended by whoever reads it. A failure that begins inside
# a command substitution (x=$(f) where f fails) is told where it happened:
# the substitution leaves a note, and the shell that stops on it tells the
# note's place when it is the same failure (same code, the same function or
# one it called, a moment before). The note's file goes when the shell
# exits: a script that sets an EXIT trap of its own calls forget_stop_note
# in it.
report_stops() {
    PLIMZOR_STOP_NAME=$1
    PLIMZOR_STOP_NOTE=$(mktemp "${TMPDIR:-/tmp}/plimzor-stop.XXXXXX")
    set -E
    trap 'stop_trap "$?" "$LINENO" "$BASH_COMMAND"' ERR
    trap forget_stop_note EXIT
}

forget_stop_note() {
    [ -z "${PLIMZOR_STOP_NOTE:-}" ] || rm -f "$PLIMZOR_STOP_NOTE"
}

# stop_trap CODE LINE COMMAND: the ERR trap of report_stops. Inside a
# subshell a failure may yet be handled by the caller, so it is only noted.
stop_trap() {
    local rc=$1 line=$2 command=$3 file=${BASH_SOURCE[1]:-?} text stack where now note_rc note_stack note_time note_where same=
    stack=${FUNCNAME[*]:1}
    [ -n "$stack" ] || stack=main
    # The line as written: the command bash names is a pipeline's last
    # part, or one that ran below this line (a function's last).
    text=$(sed -n "${line}{s/^[[:space:]]*//;p;q}" "$file" 2>/dev/null || true)
    [ ${#text} -le 160 ] || text="${text:0:157}..."
    [ -z "$text" ] || command=$text
    where="${file#"$PLIMZOR_ROOT"/}:$line in ${FUNCNAME[1]:-main}: $command exited $rc"
    now=${EPOCHREALTIME:-$SECONDS}
    # The note holds where this failure began when it has the same code, a
    # moment ago, in this function or one it called: each caller on the way
    # out sees the same failure again.
    if IFS=$'\t' read -r note_rc note_stack note_time note_where <"$PLIMZOR_STOP_NOTE" 2>/dev/null &&
        [ "$note_rc" = "$rc" ] && [[ " $note_stack" == *" $stack" ]] &&
        awk -v a="$note_time" -v b="$now" 'BEGIN { exit !(b - a < 2) }'; then
        same=1
    fi
    if [ "$BASH_SUBSHELL" -gt 0 ]; then
        [ -n "$same" ] || printf '%s\t%s\t%s\t%s\n' "$rc" "$stack" "$now" "$where" >"$PLIMZOR_STOP_NOTE" 2>/dev/null || true
        return 0
    fi
    [ -z "$same" ] || where=$note_where
    printf '%s stopped: %s\n' "$PLIMZOR_STOP_NAME" "$where" >&2
    forget_stop_note
}

# --- waiting ---

# wait_for WHAT SECONDS CONDITION ARGS...: runs CONDITION about ten times a
# second until it succeeds, for at most SECONDS. CONDITION prints what it
# saw; SEEN holds its last output. When the time is up it says what it
# waited for and what it last saw, and returns 1. (CONDITION runs in a
# subshell: what it must hand on it writes to files.)
wait_for() {
    local what=$1 seconds=$2 end rc
    shift 2
    end=$((SECONDS + seconds))
    while :; do
        rc=0
        SEEN=$("$@" 2>/dev/null) || rc=$?
        [ "$rc" = 0 ] && return 0
        if [ "$SECONDS" -ge "$end" ]; then
            echo "     waited $seconds s for $what; last seen: ${SEEN:-nothing}" >&2
            return 1
        fi
        sleep 0.1
    done
}

# scaled SECONDS: a deadline of SECONDS stretched by
# PLIMZOR_E2E_DEADLINE_SCALE (1 when unset), in whole seconds, at least 1:
# a Wine start of a 32-bit program under emulation takes seconds, and
# compute runs several times slower there.
scaled() {
    awk -v s="$1" -v k="${PLIMZOR_E2E_DEADLINE_SCALE:-1}" 'BEGIN { v = int(s * k + 0.999); print (v < 1 ? 1 : v) }'
}

# write_settings_file FILE MODE COUNT: a settings file as the settings
# dialog's OK writes it (MODE 1000 standard, 1001 colourful; COUNT pairs).
write_settings_file() {
    printf '[PLIMZOR]\r\nPLIM_MODE=%s\r\nPLIM_KOSU=%s\r\n' "$2" "$3" >"$1"
}
