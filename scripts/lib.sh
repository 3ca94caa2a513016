# Shared by scripts/test and scripts/run: installing what a fresh Debian
# machine lacks, building, and the Wine + Xvfb environment the saver runs in.
# Source it; it defines functions and sets nothing else.

# What the x86_64 build, its tests and the installer need: without any of
# these the run cannot go on.
PLIMZOR_PACKAGES=(
    wine wine64 xvfb xdotool imagemagick
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    cmake ninja-build googletest fonts-ipafont-gothic python3 x11-utils locales
    x11-xserver-utils nsis python3-pefile
)
# What only the i686 tests need: the 32-bit Wine. Installed on its own, after
# the rest, because it is the first thing a package index out of sync takes
# away (its libraries must match the versions of their amd64 twins); without
# it the i686 build still gets its file checks.
PLIMZOR_PACKAGES_32=(wine32:i386)
PLIMZOR_SCREEN=${PLIMZOR_SCREEN:-1024x768}

say() { printf '== %s\n' "$*" >&2; }

# The locales the settings dialog is tested in: Japanese, whose ANSI code
# page (932) the Japanese dialog needs, and German, a language PLIMZOR has
# no dialog of its own for (C.UTF-8 is always there). Wine takes its code
# page and languages from the Unix locale.
PLIMZOR_LOCALES=(ja_JP de_DE)

# ensure_locale NAME: generates NAME.UTF-8 when the system lacks it.
ensure_locale() {
    locale -a 2>/dev/null | grep -qi "^$1.utf-\?8$" && return 0
    say "generating the $1.UTF-8 locale"
    local sudo=
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo localedef -i "$1" -f UTF-8 "$1.UTF-8"
}

# missing_packages NAME...: those of NAME not installed, one line.
missing_packages() {
    local pkg missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    echo "${missing[*]}"
}

# apt_last_error FILE: apt's last error line in FILE (or its last line).
apt_last_error() {
    local line
    line=$(grep -E '^(E|W): ' "$1" | tail -n 1 || true)
    [ -n "$line" ] || line=$(grep -v '^[[:space:]]*$' "$1" | tail -n 1 || true)
    printf '%s' "${line:-no message}"
}

# install_packages: installs what this machine lacks. A package index that
# fails to download (a mirror in the middle of a sync) is a warning: the
# install goes on with the indexes there are. The 32-bit Wine comes last, on
# its own; when it cannot be had, PLIMZOR_NO_WINE32 says why and the run goes
# on without it. Fails, naming them, when required packages stay missing.
PLIMZOR_NO_WINE32=
install_packages() {
    local missing missing32 sudo= log try name
    [ "$(id -u)" = 0 ] || sudo=sudo
    missing=$(missing_packages "${PLIMZOR_PACKAGES[@]}")
    missing32=$(missing_packages "${PLIMZOR_PACKAGES_32[@]}")
    if [ -n "$missing$missing32" ]; then
        log=$(mktemp)
        say "installing: $missing $missing32"
        $sudo dpkg --add-architecture i386
        for try in 1 2 3; do
            $sudo apt-get update -qq -o Acquire::Retries=3 >"$log" 2>&1 && break
            say "warning: apt-get update failed (try $try of 3): $(apt_last_error "$log")"
            [ "$try" = 3 ] && say "warning: going on with the package indexes there are"
        done
        if [ -n "$missing" ]; then
            # shellcheck disable=SC2086
            DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >"$log" 2>&1 || true
            missing=$(missing_packages $missing)
            if [ -n "$missing" ]; then
                say "could not install what the x86_64 build, its tests and the installer need: $missing"
                say "apt: $(apt_last_error "$log")"
                rm -f "$log"
                return 1
            fi
        fi
        if [ -n "$missing32" ]; then
            # shellcheck disable=SC2086
            DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing32 >"$log" 2>&1 || true
            if [ -n "$(missing_packages $missing32)" ]; then
                PLIMZOR_NO_WINE32="the 32-bit Wine could not be installed (apt: $(apt_last_error "$log"))"
                say "warning: $PLIMZOR_NO_WINE32"
            fi
        fi
        rm -f "$log"
    fi
    for name in "${PLIMZOR_LOCALES[@]}"; do ensure_locale "$name"; done
}

# build_tree DIR TOOLCHAIN [-DNAME=VALUE...]: configures DIR when it is new
# or one of the given values differs from its cache, then builds it.
build_tree() {
    local dir=$1 toolchain=$2 option configure=
    shift 2
    # A 64-bit tree from the days it was only compiled has no tests: every
    # build is tested now.
    if [ ! -f "$dir/build.ninja" ] || grep -q '^PLIMZOR_TESTS:BOOL=OFF$' "$dir/CMakeCache.txt" 2>/dev/null; then
        configure=1
    fi
    for option; do
        option=${option#-D}
        grep -q "^${option%%=*}:[A-Z]*=${option#*=}\$" "$dir/CMakeCache.txt" 2>/dev/null || configure=1
    done
    if [ -n "$configure" ]; then
        cmake -S "$PLIMZOR_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLIMZOR_TESTS=ON \
            -DCMAKE_TOOLCHAIN_FILE="$PLIMZOR_ROOT/cmake/$toolchain.cmake" "$@" >/dev/null
    fi
    cmake --build "$dir"
}

# start_own_xvfb WIDTHxHEIGHT [XVFB OPTIONS...]: starts an Xvfb on a display
# number it picks itself (so that test runs side by side never take the
# same one), exports DISPLAY and sets XVFB_STARTED_PID.
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

# The two builds and how each one's programs are started. Debian's
# /usr/bin/wine (and wineboot, winecfg, ...) always picks the 32-bit loader
# once wine32 is installed, so every Wine call of the harness goes through
# wine_run, which starts the loader of the build in use: the 32-bit one for
# i686, the 64-bit one for x86_64. Each build has its own prefix in its own
# tree.
PLIMZOR_WINE32=/usr/lib/wine/wine
PLIMZOR_WINE64=/usr/lib/wine/wine64

# build_dir ARCH: the build tree of ARCH.
build_dir() {
    local base=${PLIMZOR_BUILD_DIR:-$PLIMZOR_ROOT/build}
    case $1 in
        i686) echo "$base" ;;
        x86_64) echo "$base-x64" ;;
        *) say "unknown build: $1"; return 1 ;;
    esac
}

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
    local dir=${PLIMZOR_BINFMT_DIR:-/proc/sys/fs/binfmt_misc} sudo=
    # shellcheck disable=SC2016
    local dump='echo "== status"; cat "$1/status"; for f in "$1"/*; do case ${f##*/} in register|status) continue ;; esac; echo "== ${f##*/}"; cat "$f"; done'
    if [ -e "$dir/status" ] || [ -n "${PLIMZOR_BINFMT_DIR:-}" ]; then
        sh -c "$dump" _ "$dir" 2>/dev/null
        return 0
    fi
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo unshare --mount sh -c "mount -t binfmt_misc binfmt_misc \"\$1\" && $dump" _ "$dir" 2>/dev/null || true
}

# binfmt_i386_handler: the interpreter of an enabled binfmt_misc entry of
# the host that takes 32-bit x86 programs (by magic, matched against
# PLIMZOR_I386_HEADER as an executable and as a position-independent one),
# or nothing.
binfmt_i386_handler() {
    binfmt_entries | awk -v exec_header="$PLIMZOR_I386_HEADER" '
        function hexval(h) { return index("0123456789abcdef", tolower(h)) - 1 }
        function byte(s, i) { return hexval(substr(s, 2 * i + 1, 1)) * 16 + hexval(substr(s, 2 * i + 2, 1)) }
        function and8(a, b,   r, bit) {
            r = 0
            for (bit = 128; bit >= 1; bit /= 2) {
                if (a >= bit && b >= bit) r += bit
                if (a >= bit) a -= bit
                if (b >= bit) b -= bit
            }
            return r
        }
        function matches(header,   n, i, m) {
            n = length(magic) / 2
            if (2 * (offset + n) > length(header)) return 0
            for (i = 0; i < n; i++) {
                m = mask == "" ? 255 : byte(mask, i)
                if (and8(byte(header, offset + i), m) != and8(byte(magic, i), m)) return 0
            }
            return 1
        }
        function judge() {
            if (!found && enabled && globally && magic != "" && (matches(exec_header) || matches(pie_header))) {
                print interp
                found = 1
            }
        }
        BEGIN { pie_header = substr(exec_header, 1, 32) "0300" substr(exec_header, 37); globally = 1 }
        /^== / { judge(); name = substr($0, 4); enabled = 0; magic = mask = interp = ""; offset = 0; next }
        name == "status" { if ($1 == "disabled") globally = 0; next }
        $1 == "enabled" { enabled = 1 }
        $1 == "interpreter" { interp = $2 }
        $1 == "offset" { offset = $2 + 0 }
        $1 == "magic" { magic = $2 }
        $1 == "mask" { mask = $2 }
        END { judge() }'
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

# why_no_private_binfmt: empty when this run can have a binfmt_misc of its
# own (a kernel of 6.7 or later, user namespaces allowed, binfmt_misc
# mountable inside one), otherwise why not.
why_no_private_binfmt() {
    local kernel out
    kernel=$(uname -r)
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

# release_codename: this Debian release's code name (bookworm).
release_codename() {
    (. "${PLIMZOR_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
}

# backports_source: the one-line apt source of this release's backports
# suite, on the mirror (and with the key) that the machine's own sources
# name for the release. Both formats are read: one-line (sources.list,
# *.list) and deb822 (*.sources). Fails when no source names the release.
backports_source() {
    local etc=${PLIMZOR_APT_ETC:-/etc/apt} codename file type rest options uri suite line
    codename=$(release_codename)
    [ -n "$codename" ] || return 1
    for file in "$etc/sources.list" "$etc/sources.list.d"/*.list; do
        [ -f "$file" ] || continue
        while read -r type rest; do
            [ "$type" = deb ] || continue
            options=
            if [ "${rest:0:1}" = "[" ]; then
                options="${rest%%]*}] "
                rest=${rest#*]}
            fi
            read -r uri suite _ <<<"$rest"
            if [ "$suite" = "$codename" ]; then
                echo "deb $options$uri $codename-backports main"
                return 0
            fi
        done <"$file"
    done
    for file in "$etc/sources.list.d"/*.sources; do
        [ -f "$file" ] || continue
        line=$(awk -v want="$codename" '
            function judge() {
                if (!found && (" " types " ") ~ / deb / && enabled != "no" && (" " suites " ") ~ (" " want " ") && uri != "") {
                    print uri "\t" key; found = 1
                }
                types = suites = uri = key = enabled = ""
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { judge(); next }
            /^[A-Za-z-]+:/ {
                field = tolower(substr($0, 1, index($0, ":") - 1))
                value = substr($0, index($0, ":") + 1)
                gsub(/^[ \t]+|[ \t]+$/, "", value)
                gsub(/[ \t]+/, " ", value)
                if (field == "types") types = value
                else if (field == "uris") { split(value, first, " "); uri = first[1] }
                else if (field == "suites") suites = value
                else if (field == "signed-by" && value ~ /^\//) key = value
                else if (field == "enabled") enabled = tolower(value)
            }
            END { judge() }' "$file")
        if [ -n "$line" ]; then
            uri=${line%%$'\t'*}
            options=${line#*$'\t'}
            [ -n "$options" ] && options="[signed-by=$options] "
            echo "deb $options$uri $codename-backports main"
            return 0
        fi
    done
    return 1
}

# install_from_backports LOG PACKAGE...: installs PACKAGEs, taking them from
# this release's backports suite where it has them, without recommended
# packages (qemu-user recommends qemu-user-binfmt, which registers the
# emulator host-wide). The suite is added for this one install only: apt
# reads it from a source list and a package-list folder of its own, made
# from a copy of the system's, so neither /etc/apt nor /var/lib/apt/lists
# changes. apt's output goes to LOG.
install_from_backports() {
    local log=$1 source codename dir sudo= rc=0
    shift
    [ "$(id -u)" = 0 ] || sudo=sudo
    codename=$(release_codename)
    if ! source=$(backports_source); then
        echo "E: no apt source names the mirror of this release (${codename:-unknown})" >"$log"
        return 1
    fi
    dir=$(mktemp -d)
    chmod 755 "$dir"
    mkdir -p "$dir/lists/partial" "$dir/no-parts"
    cp -p "${PLIMZOR_APT_LISTS:-/var/lib/apt/lists}"/*_* "$dir/lists/" 2>/dev/null || true
    # apt downloads as its own user.
    $sudo chown _apt "$dir/lists/partial" 2>/dev/null || true
    echo "$source" >"$dir/backports.list"
    { cat "${PLIMZOR_APT_ETC:-/etc/apt}/sources.list" 2>/dev/null; echo "$source"; } >"$dir/sources.list"
    local private=(-o "Dir::State::Lists=$dir/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
    # Only the backports suite is fetched; the copied lists of the others stay.
    $sudo apt-get update -qq "${private[@]}" -o "Dir::Etc::SourceList=$dir/backports.list" \
        -o "Dir::Etc::SourceParts=$dir/no-parts" -o APT::Get::List-Cleanup=false >"$log" 2>&1 || true
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends -t "$codename-backports" \
        "${private[@]}" -o "Dir::Etc::SourceList=$dir/sources.list" "$@" >>"$log" 2>&1 || rc=$?
    rm -rf "$dir"
    return $rc
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

# use_wine ARCH: exports what every Wine start of ARCH's build needs (loader,
# prefix, quiet debug channels, no Mono/Gecko prompts). Tests started by
# CTest inherit it.
use_wine() {
    local dir
    dir=$(build_dir "$1") || return 1
    case $1 in
        i686) export WINELOADER=$PLIMZOR_WINE32 ;;
        x86_64) export WINELOADER=$PLIMZOR_WINE64 ;;
    esac
    export PLIMZOR_ARCH=$1
    export WINEPREFIX=$dir/wineprefix
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# wine_run PROGRAM ARGS...: PROGRAM under the loader use_wine chose. Wine's
# own tools are named as programs: wine_run wineboot.exe -i, wine_run reg ...
wine_run() {
    "${WINELOADER:?use_wine first}" "$@"
}

# wine_server ARGS...: the prefix's server (Debian's wrapper takes the 64-bit
# server, which serves both loaders).
wine_server() {
    /usr/lib/wine/wineserver "$@"
}

# prepare_prefix: creates the prefix use_wine chose, once: no crash dialog,
# no debugger attaching to a faulting program (the saver's own fault guard
# must see the fault), a virtual desktop as the default, and the project's
# wallpaper on it.
prepare_prefix() {
    local prefix=$WINEPREFIX
    if [ ! -f "$prefix/.plimzor-ready" ]; then
        say "creating Wine prefix $prefix"
        mkdir -p "$prefix"
        wine_run wineboot.exe -i >/dev/null 2>&1
        wine_run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wine_run reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine_run reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$PLIMZOR_SCREEN" /f >/dev/null 2>&1
        wine_server -w
        touch "$prefix/.plimzor-ready"
    fi
    # Wine starts "winedbg --auto" on an unhandled fault when no debugger is
    # named; naming one that does not exist makes UnhandledExceptionFilter
    # hand the fault to the program's own handler, as Windows does without a
    # debugger. Both registry views: the 32-bit saver reads its own.
    local view
    for view in 32 64; do
        wine_run reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
            /d 'C:\windows\no-debugger.exe %ld %ld' /f /reg:$view >/dev/null 2>&1
    done
    # A Japanese caption font, as a Japanese system has: the settings
    # dialog's title is Japanese. (A LOGFONT: 11 pixels, bold, SHIFTJIS_CHARSET,
    # "IPAPGothic".)
    wine_run reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont /t REG_BINARY /f /d \
        F5FFFFFF000000000000000000000000BC0200000000008000000022490050004100500047006F0074006800690063000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000 \
        >/dev/null 2>&1
    local wallpaper="$prefix/../wallpaper.bmp"
    [ -f "$wallpaper" ] || python3 "$PLIMZOR_ROOT/scripts/make-wallpaper.py" "$wallpaper" "$PLIMZOR_SCREEN"
    set_wallpaper "$wallpaper"
}

# set_wallpaper BMP: makes BMP the desktop's wallpaper (takes effect when the
# desktop is next started).
set_wallpaper() {
    local bmp=$1
    [ -f "$bmp" ] || return 0
    cp "$bmp" "$WINEPREFIX/drive_c/wallpaper.bmp"
    wine_run reg add 'HKCU\Control Panel\Desktop' /v Wallpaper /d 'C:\wallpaper.bmp' /f >/dev/null 2>&1
}

# start_desktop TOOLS_DIR: starts the virtual desktop every Wine program of
# this prefix opens in, and waits until it has painted the wallpaper. Wine
# closes the desktop when the last program with a window exits, so a small
# keeper program (TOOLS_DIR/desktop_keeper.exe) holds it open for the whole
# run. A desktop that comes up on a new prefix may not load the wallpaper
# from the registry yet, so it is handed over once more at run time.
start_desktop() {
    wine_run "$1/desktop_keeper.exe" >/dev/null 2>&1 &
    PLIMZOR_KEEPER_PID=$!
    local i
    for i in $(seq 200); do
        if xwininfo -root -tree 2>/dev/null | grep -q 'Wine desktop'; then
            sleep 2
            wine_run "$1/set_wallpaper.exe" 'C:\wallpaper.bmp' >/dev/null 2>&1 || true
            sleep 1
            return 0
        fi
        sleep 0.1
    done
    say "the Wine desktop did not appear"
    return 1
}

# stop_wine: ends every program of the prefix in use, its desktop included.
stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && wine_server -k >/dev/null 2>&1 || true
    [ -n "${PLIMZOR_KEEPER_PID:-}" ] && wait "$PLIMZOR_KEEPER_PID" 2>/dev/null || true
    PLIMZOR_KEEPER_PID=
}

# run_suite ARCH CTEST-ARGS...: every test of ARCH's build, in its own
# prefix and virtual desktop on the Xvfb that DISPLAY names.
run_suite() {
    local arch=$1 rc=0
    shift
    use_wine "$arch"
    prepare_prefix
    start_desktop "$(build_dir "$arch")/tests"
    ctest --test-dir "$(build_dir "$arch")" --output-on-failure "$@" || rc=$?
    stop_wine
    return $rc
}

stop_wine_and_display() {
    stop_wine
    [ -n "${PLIMZOR_XVFB_PID:-}" ] && kill "$PLIMZOR_XVFB_PID" >/dev/null 2>&1 || true
}
