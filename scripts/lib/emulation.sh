# Emulation: how the i686 tests run on this host, natively, under QEMU's
# user-mode emulator registered in a private binfmt_misc, or not at all (only
# the checks that read the built file). Finds a host's kind from its cause,
# installs the emulator where it is needed, and runs commands where 32-bit
# programs go to it. Needs the packages part (apt) and the wine part (the
# 32-bit loader's path).
need packages wine

# --- How the i686 tests run: natively, under emulation, or not at all ---
#
# Some hosts run 64-bit user code only (dmesg: "IA-32 emulation off"): every
# 32-bit x86 program fails there with "Exec format error", the 32-bit Wine
# loader included. There the i686 tests run under QEMU's user-mode emulator,
# to which binfmt_misc hands every 32-bit x86 program. That registration is
# made only inside a user and mount namespace of the run's own (Linux 6.7 and
# later give each user namespace a binfmt_misc of its own): made host-wide,
# it would change what every other job on the machine runs (a 64-bit
# prefix's 32-bit helpers, for one). Debian 12's own QEMU (7.2) cannot start
# Wine (it ignores MAP_FIXED_NOREPLACE); QEMU 10 from the release's
# backports suite can, with Wine's 32-bit preloader, which wine32 only
# suggests.
PLIMZOR_PACKAGES_EMULATION=(qemu-user wine32-preloader:i386)
PLIMZOR_QEMU=${PLIMZOR_QEMU:-/usr/bin/qemu-i386}
PLIMZOR_QEMU_MIN_MAJOR=10
PLIMZOR_KERNEL_MIN=6.7
# The guest address space QEMU reserves, for every emulated process: the
# 4 GB a 64-bit Windows gives a large-address-aware program. With QEMU's
# default layout PLIMZOR.SCR was refused its second screen-sized bitmap
# while it used compatible bitmaps, and showed a blank scene.
PLIMZOR_QEMU_RESERVED_VA=0xffff0000
# The first 52 bytes of a 32-bit x86 program (an ELF32 little-endian
# executable for machine 3), which tiny_i386_program writes in full and
# binfmt_misc entries are matched against.
PLIMZOR_I386_HEADER=7f454c46010101000000000000000000020003000100000054800408340000000000000000000000340020000100000000000000
PLIMZOR_I386_CODE=0100000000000000008004080080040860000000600000000500000000100000b801000000bb2a000000cd80

# tiny_i386_program FILE: writes a 96-byte 32-bit x86 program that does
# nothing but exit with 42, through the kernel's 32-bit system call gate.
tiny_i386_program() {
    local hex=$PLIMZOR_I386_HEADER$PLIMZOR_I386_CODE
    printf "$(sed 's/../\\x&/g' <<<"$hex")" >"$1"
    chmod +x "$1"
}

# binfmt_entries: the host's binfmt_misc entries, each as "== NAME" and
# then the entry file's lines (status first). Where binfmt_misc is not
# mounted, it is mounted in a private mount namespace to be read; the
# entries live in the kernel whether it is mounted or not.
# PLIMZOR_BINFMT_DIR names another folder to read (the set-up's tests).
binfmt_entries() {
    local dir=${PLIMZOR_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
    # shellcheck disable=SC2016
    local dump='echo "== status"; cat "$1/status"; for f in "$1"/*; do case ${f##*/} in register|status) continue ;; esac; echo "== ${f##*/}"; cat "$f"; done'
    if [ -e "$dir/status" ] || [ -n "${PLIMZOR_BINFMT_DIR:-}" ]; then
        sh -c "$dump" _ "$dir" 2>/dev/null || true
        return 0
    fi
    as_root unshare --mount sh -c "mount -t binfmt_misc binfmt_misc \"\$1\" && $dump" _ "$dir" 2>/dev/null || true
}

# binfmt_i386_handler: the interpreter of an enabled binfmt_misc entry of
# the host that takes 32-bit x86 programs (by magic, matched against
# PLIMZOR_I386_HEADER as an executable and as a position-independent one),
# or nothing.
binfmt_i386_handler() {
    binfmt_entries | python3 "$PLIMZOR_ROOT/scripts/lib/binfmt.py" "$PLIMZOR_I386_HEADER"
}

# why_not_native32: empty when the kernel itself executes 32-bit x86
# programs, otherwise why not, in words for the builds line. Found from its
# cause: a binfmt_misc entry that hands them to an emulator makes a host
# non-native whether or not a 32-bit program happens to start; without one,
# a tiny 32-bit program either runs or the kernel refuses it.
why_not_native32() {
    local handler dir rc=0
    handler=$(binfmt_i386_handler)
    if [ -n "$handler" ]; then
        echo "this host hands 32-bit programs to an emulator ($handler, registered in its binfmt_misc)"
        return 0
    fi
    dir=$(mktemp -d)
    tiny_i386_program "$dir/exit42"
    "$dir/exit42" >/dev/null 2>&1 || rc=$?
    rm -rf "$dir"
    [ "$rc" = 42 ] || echo "this host cannot execute 32-bit programs"
}

# why_no_32bit: empty when the i686 tests can run natively here, otherwise
# why not, in words for the builds line.
why_no_32bit() {
    if [ -n "$PLIMZOR_NO_WINE32" ]; then
        echo "$PLIMZOR_NO_WINE32"
    elif [ ! -e "$PLIMZOR_WINE32" ]; then
        echo "the 32-bit Wine is not installed ($PLIMZOR_WINE32 is missing)"
    else
        why_not_native32
    fi
}

# runnable_arch DOING: the build a script that runs the saver here takes:
# the shipped 32-bit one, or the 64-bit one where this host cannot run the
# 32-bit one, which it then says on stderr ("DOING the x86_64 build: why").
runnable_arch() {
    local no32
    no32=$(why_no_32bit)
    if [ -n "$no32" ]; then
        echo "$1 the x86_64 build: $no32" >&2
        echo x86_64
        return 0
    fi
    echo i686
}

# why_no_private_binfmt: empty when this run can have a binfmt_misc of its
# own (a kernel of 6.7 or later, user namespaces allowed, binfmt_misc
# mountable inside one), otherwise why not.
why_no_private_binfmt() {
    local kernel out
    kernel=$(uname -r)
    if ! command -v unshare >/dev/null 2>&1; then
        echo "unshare is not installed, so a registration could not be kept private to this run"
        return 0
    fi
    if [ "$(printf '%s\n' "$PLIMZOR_KERNEL_MIN" "${kernel%%-*}" | sort -V | head -n 1)" != "$PLIMZOR_KERNEL_MIN" ]; then
        echo "the kernel is $kernel, older than $PLIMZOR_KERNEL_MIN, so a registration could not be kept private to this run"
    elif ! out=$(unshare --user --map-root-user --mount true 2>&1); then
        echo "user namespaces are refused (${out:-unshare failed})"
    elif ! out=$(unshare --user --map-root-user --mount mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>&1); then
        echo "binfmt_misc cannot be mounted in a user namespace (${out:-mount failed})"
    fi
}

# qemu_version: the version of PLIMZOR_QEMU (say 10.0.2), or nothing.
qemu_version() {
    { "$PLIMZOR_QEMU" --version 2>/dev/null || true; } | sed -n 's/^qemu-i386 version \([0-9][0-9.]*\).*/\1/p' | head -n 1
}

# install_emulator: installs QEMU's user-mode emulator (10 or later) and
# Wine's 32-bit preloader where they are missing. When they cannot be had,
# PLIMZOR_NO_EMULATION says why; the run goes on either way. Sets
# PLIMZOR_QEMU_VERSION.
PLIMZOR_NO_EMULATION=
PLIMZOR_QEMU_VERSION=
install_emulator() {
    local missing=() log version handler_before handler_after
    PLIMZOR_QEMU_VERSION=$(qemu_version)
    version=$PLIMZOR_QEMU_VERSION
    [ -n "$version" ] && [ "${version%%.*}" -ge "$PLIMZOR_QEMU_MIN_MAJOR" ] || missing+=(qemu-user)
    # shellcheck disable=SC2207
    missing+=($(missing_packages wine32-preloader:i386))
    [ ${#missing[@]} -gt 0 ] || return 0
    say "installing for the emulated i686 tests: ${missing[*]}"
    handler_before=$(binfmt_i386_handler)
    log=$(mktemp)
    install_from_backports "$log" "${missing[@]}" || true
    handler_after=$(binfmt_i386_handler)
    if [ "$handler_after" != "$handler_before" ]; then
        say "warning: the install registered $handler_after for 32-bit programs in the host's binfmt_misc"
    fi
    PLIMZOR_QEMU_VERSION=$(qemu_version)
    version=$PLIMZOR_QEMU_VERSION
    if [ -z "$version" ] || [ "${version%%.*}" -lt "$PLIMZOR_QEMU_MIN_MAJOR" ]; then
        PLIMZOR_NO_EMULATION="QEMU $PLIMZOR_QEMU_MIN_MAJOR could not be installed from $(release_codename)-backports"
        [ -n "$version" ] && PLIMZOR_NO_EMULATION+=" (qemu-i386 $version is too old to start Wine)"
        PLIMZOR_NO_EMULATION+=" (apt: $(apt_last_error "$log"))"
    elif [ -n "$(missing_packages wine32-preloader:i386)" ]; then
        PLIMZOR_NO_EMULATION="Wine's 32-bit preloader could not be installed (apt: $(apt_last_error "$log"))"
    fi
    rm -f "$log"
    [ -z "$PLIMZOR_NO_EMULATION" ] || say "warning: $PLIMZOR_NO_EMULATION"
}

# binfmt_rule: the binfmt_misc registration that hands every 32-bit x86
# program (executable or position-independent) to PLIMZOR_QEMU. "F" opens
# the emulator once, at registration.
binfmt_rule() {
    printf ':qemu-i386:M::%s:%s:%s:F' \
        '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
        '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' "$PLIMZOR_QEMU"
}

# run_emulated COMMAND ARGS...: runs COMMAND in a user and mount namespace
# of its own, whose private binfmt_misc hands 32-bit x86 programs to QEMU,
# with QEMU_RESERVED_VA set for every process started inside. Outside, the
# host stays as it was.
run_emulated() {
    QEMU_RESERVED_VA=$PLIMZOR_QEMU_RESERVED_VA unshare --user --map-root-user --mount -- sh -c '
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 125
        printf "%s" "$1" >/proc/sys/fs/binfmt_misc/register || exit 125
        shift
        exec "$@"' _ "$(binfmt_rule)" "$@"
}

# why_not_emulated: empty when a 32-bit program and the 32-bit Wine start
# under run_emulated, otherwise why not.
why_not_emulated() {
    local dir rc=0 out
    dir=$(mktemp -d)
    tiny_i386_program "$dir/exit42"
    run_emulated "$dir/exit42" >/dev/null 2>&1 || rc=$?
    rm -rf "$dir"
    if [ "$rc" != 42 ]; then
        echo "a 32-bit program does not run under qemu-i386 $PLIMZOR_QEMU_VERSION in a private namespace (exit $rc)"
    elif ! out=$(run_emulated "$PLIMZOR_WINE32" --version 2>&1); then
        echo "the 32-bit Wine does not start under qemu-i386 $PLIMZOR_QEMU_VERSION ($(tail -n 1 <<<"$out"))"
    fi
}

# choose_i686_way: how this host runs the i686 tests, in PLIMZOR_I686_WAY
# (native, emulated, or files: only the checks that read the built file),
# and why, in PLIMZOR_I686_WHY. Installs the emulator where it is needed and
# can be used.
PLIMZOR_I686_WAY=
PLIMZOR_I686_WHY=
choose_i686_way() {
    local cause no_emulation
    if [ -n "$PLIMZOR_NO_WINE32" ]; then
        PLIMZOR_I686_WAY=files PLIMZOR_I686_WHY=$PLIMZOR_NO_WINE32
        return 0
    fi
    cause=$(why_no_32bit)
    if [ -z "$cause" ]; then
        PLIMZOR_I686_WAY=native PLIMZOR_I686_WHY="this host executes 32-bit programs"
        return 0
    fi
    no_emulation=$(why_no_private_binfmt)
    if [ -z "$no_emulation" ]; then
        install_emulator
        no_emulation=$PLIMZOR_NO_EMULATION
    fi
    [ -n "$no_emulation" ] || no_emulation=$(why_not_emulated)
    if [ -z "$no_emulation" ]; then
        PLIMZOR_I686_WAY=emulated PLIMZOR_I686_WHY=$cause
    else
        PLIMZOR_I686_WAY=files PLIMZOR_I686_WHY="$cause, and emulation cannot be had: $no_emulation"
    fi
}
