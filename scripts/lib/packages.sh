# Packages: what a new Debian machine lacks for building and testing
# PLIMZOR, installed with apt; a package index out of sync must not stop a
# run that can go on without it. Also the release's backports suite, taken
# for one install only (the emulator) without touching the machine's apt
# sources, and the locales the settings dialog is tested in.

# What the x86_64 build, its tests and the installer need: without any of
# these the run cannot go on.
PLIMZOR_PACKAGES=(
    wine wine64 xvfb xdotool imagemagick
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    cmake ninja-build googletest fonts-ipafont-gothic python3 x11-utils locales
    x11-xserver-utils nsis python3-pefile openssl
)
# From this release's backports suite: osslsigncode 2.9 signs the release
# and attaches its detached signatures (scripts/sign-file); bookworm's own
# 2.5 writes detached signatures in another form and cannot attach them
# again. Only the signing checks need it: without it (a mirror out of sync)
# PLIMZOR_NO_SIGNING says why, and the run goes on without them.
PLIMZOR_PACKAGES_BACKPORTS=(osslsigncode)
# What only the i686 tests need: the 32-bit Wine. Installed on its own, after
# the rest, because it is the first thing a package index out of sync takes
# away (its libraries must match the versions of their amd64 twins); without
# it the i686 build still gets its file checks.
PLIMZOR_PACKAGES_32=(wine32:i386)

# The locales the settings dialog is tested in: Japanese, whose ANSI code
# page (932) the Japanese dialog needs, and German, a language PLIMZOR has
# no dialog of its own for (C.UTF-8 is always there). Wine takes its code
# page and languages from the Unix locale.
PLIMZOR_LOCALES=(ja_JP de_DE)

# as_root COMMAND ARGS...: COMMAND as root (through sudo when not root).
as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_locale NAME: generates NAME.UTF-8 when the system lacks it (or has
# no locale program yet to ask).
ensure_locale() {
    local locales
    locales=$(locale -a 2>/dev/null || true)
    grep -qi "^$1.utf-\?8$" <<<"$locales" && return 0
    say "generating the $1.UTF-8 locale"
    as_root localedef -i "$1" -f UTF-8 "$1.UTF-8"
}

# missing_packages NAME...: those of NAME not installed, one line.
missing_packages() {
    local pkg missing=()
    for pkg in "$@"; do
        [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)" = 'install ok installed' ] || missing+=("$pkg")
    done
    echo "${missing[*]}"
}

# apt_last_error FILE: apt's last error line in FILE (or its last line).
apt_last_error() {
    local line
    line=$(grep -E '^(E|W): ' "$1" 2>/dev/null | tail -n 1 || true)
    [ -n "$line" ] || line=$(grep -v '^[[:space:]]*$' "$1" 2>/dev/null | tail -n 1 || true)
    printf '%s' "${line:-no message}"
}

# install_packages: installs what this machine lacks. A package index that
# fails to download (a mirror in the middle of a sync) is a warning: the
# install goes on with the indexes there are. What comes from backports is
# installed after the rest. The 32-bit Wine comes last, on
# its own; when it cannot be had, PLIMZOR_NO_WINE32 says why and the run goes
# on without it. Fails, naming them, when required packages stay missing.
PLIMZOR_NO_WINE32=
PLIMZOR_NO_SIGNING=
install_packages() {
    local missing missing32 backports log try name
    missing=$(missing_packages "${PLIMZOR_PACKAGES[@]}")
    missing32=$(missing_packages "${PLIMZOR_PACKAGES_32[@]}")
    backports=$(missing_packages "${PLIMZOR_PACKAGES_BACKPORTS[@]}")
    if [ -n "$missing$backports$missing32" ]; then
        log=$(mktemp)
        say "installing: $missing $backports $missing32"
        as_root dpkg --add-architecture i386
        for try in 1 2 3; do
            as_root apt-get update -qq -o Acquire::Retries=3 >"$log" 2>&1 && break
            say "warning: apt-get update failed (try $try of 3): $(apt_last_error "$log")"
            [ "$try" = 3 ] && say "warning: going on with the package indexes there are"
        done
        if [ -n "$missing" ]; then
            # shellcheck disable=SC2086
            DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq $missing >"$log" 2>&1 || true
            # shellcheck disable=SC2086
            missing=$(missing_packages $missing)
            if [ -n "$missing" ]; then
                say "could not install what the x86_64 build, its tests and the installer need: $missing"
                say "apt: $(apt_last_error "$log")"
                rm -f "$log"
                return 1
            fi
        fi
        if [ -n "$backports" ]; then
            # shellcheck disable=SC2086
            install_from_backports "$log" $backports || true
            # shellcheck disable=SC2086
            backports=$(missing_packages $backports)
            if [ -n "$backports" ]; then
                PLIMZOR_NO_SIGNING="$backports could not be installed from $(release_codename)-backports (apt: $(apt_last_error "$log"))"
                say "warning: $PLIMZOR_NO_SIGNING; the release is made unsigned, and the signing checks are skipped"
            fi
        fi
        if [ -n "$missing32" ]; then
            # shellcheck disable=SC2086
            DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq $missing32 >"$log" 2>&1 || true
            # shellcheck disable=SC2086
            if [ -n "$(missing_packages $missing32)" ]; then
                PLIMZOR_NO_WINE32="the 32-bit Wine could not be installed (apt: $(apt_last_error "$log"))"
                say "warning: $PLIMZOR_NO_WINE32"
            fi
        fi
        rm -f "$log"
    fi
    for name in "${PLIMZOR_LOCALES[@]}"; do ensure_locale "$name"; done
}

# release_codename: this Debian release's code name (bookworm), or nothing.
release_codename() {
    (. "${PLIMZOR_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}") 2>/dev/null || true
}

# backports_source: the one-line apt source of this release's backports
# suite, on the mirror (and with the key) that the machine's own sources
# name for the release. Both formats are read: one-line (sources.list,
# *.list) and deb822 (*.sources). Fails when no source names the release.
backports_source() {
    local etc=${PLIMZOR_APT_ETC:-/etc/apt} codename
    codename=$(release_codename)
    [ -n "$codename" ] || return 1
    python3 "$PLIMZOR_ROOT/scripts/lib/apt_sources.py" "$codename" "$etc"
}

# install_from_backports LOG PACKAGE...: installs PACKAGEs, taking them from
# this release's backports suite where it has them, without recommended
# packages (qemu-user recommends qemu-user-binfmt, which registers the
# emulator host-wide). The suite is added for this one install only: apt
# reads it from a source list and a package-list folder of its own, made
# from a copy of the system's, so neither /etc/apt nor /var/lib/apt/lists
# changes. apt's output goes to LOG.
install_from_backports() {
    local log=$1 source codename dir rc=0
    shift
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
    as_root chown _apt "$dir/lists/partial" 2>/dev/null || true
    echo "$source" >"$dir/backports.list"
    { cat "${PLIMZOR_APT_ETC:-/etc/apt}/sources.list" 2>/dev/null || true; echo "$source"; } >"$dir/sources.list"
    local private=(-o "Dir::State::Lists=$dir/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
    # Only the backports suite is fetched; the copied lists of the others stay.
    as_root apt-get update -qq "${private[@]}" -o "Dir::Etc::SourceList=$dir/backports.list" \
        -o "Dir::Etc::SourceParts=$dir/no-parts" -o APT::Get::List-Cleanup=false >"$log" 2>&1 || true
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends -t "$codename-backports" \
        "${private[@]}" -o "Dir::Etc::SourceList=$dir/sources.list" "$@" >>"$log" 2>&1 || rc=$?
    rm -rf "$dir"
    return $rc
}
