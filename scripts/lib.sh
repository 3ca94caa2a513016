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

# build_tree DIR TOOLCHAIN [cmake options...]
build_tree() {
    local dir=$1 toolchain=$2
    shift 2
    # A 64-bit tree from the days it was only compiled has no tests: every
    # build is tested now.
    if [ ! -f "$dir/build.ninja" ] || grep -q '^PLIMZOR_TESTS:BOOL=OFF$' "$dir/CMakeCache.txt" 2>/dev/null; then
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

# can_run_32bit: whether this host executes 32-bit x86 programs at all. Some
# hosts run 64-bit user code only ("IA-32 emulation off"); there the 32-bit
# loader fails with "Exec format error" and no Wine can run 32-bit Windows
# code. Asked by running a 32-bit program, not guessed from the kernel name.
can_run_32bit() {
    "$PLIMZOR_WINE32" --version >/dev/null 2>&1
}

# why_no_32bit: empty when the i686 tests can run here, otherwise why not,
# in words for the builds line.
why_no_32bit() {
    if [ -n "$PLIMZOR_NO_WINE32" ]; then
        echo "$PLIMZOR_NO_WINE32"
    elif [ ! -e "$PLIMZOR_WINE32" ]; then
        echo "the 32-bit Wine is not installed ($PLIMZOR_WINE32 is missing)"
    elif ! can_run_32bit; then
        echo "this host cannot execute 32-bit programs"
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

stop_wine_and_display() {
    stop_wine
    [ -n "${PLIMZOR_XVFB_PID:-}" ] && kill "$PLIMZOR_XVFB_PID" >/dev/null 2>&1 || true
}
