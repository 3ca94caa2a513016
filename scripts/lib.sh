# Shared by scripts/test and scripts/run: installing what a fresh Debian
# machine lacks, building, and the Wine + Xvfb environment the saver runs in.
# Source it; it defines functions and sets nothing else.

PLIMZOR_PACKAGES=(
    wine wine32:i386 wine64 xvfb xdotool imagemagick
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    cmake ninja-build googletest fonts-ipafont-gothic python3 x11-utils locales
)
PLIMZOR_SCREEN=${PLIMZOR_SCREEN:-1024x768}

say() { printf '== %s\n' "$*" >&2; }

# The settings dialog's Japanese texts need Wine to run with the Japanese
# ANSI code page, which it takes from a Japanese Unix locale.
ensure_japanese_locale() {
    locale -a 2>/dev/null | grep -qi '^ja_JP.utf-\?8$' && return 0
    say "generating the ja_JP.UTF-8 locale"
    local sudo=
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

install_packages() {
    local missing=() pkg
    for pkg in "${PLIMZOR_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        say "installing: ${missing[*]}"
        local sudo=
        [ "$(id -u)" = 0 ] || sudo=sudo
        $sudo dpkg --add-architecture i386
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
    ensure_japanese_locale
}

# build_tree DIR TOOLCHAIN [cmake options...]
build_tree() {
    local dir=$1 toolchain=$2
    shift 2
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$PLIMZOR_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$PLIMZOR_ROOT/cmake/$toolchain.cmake" "$@" >/dev/null
    fi
    cmake --build "$dir"
}

# Starts a private Xvfb on a free display and exports DISPLAY.
start_xvfb() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${PLIMZOR_SCREEN}x24" -nolisten tcp >/dev/null 2>&1 &
    PLIMZOR_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    say "Xvfb did not start"
    return 1
}

wine_env() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Creates the Wine prefix once: no crash dialog, no debugger attaching to a
# faulting program (the saver's own fault guard must see the fault), a
# virtual desktop as the default, and the project's wallpaper on it.
prepare_prefix() {
    local prefix=$1
    wine_env "$prefix"
    if [ ! -f "$prefix/.plimzor-ready" ]; then
        say "creating Wine prefix $prefix"
        mkdir -p "$prefix"
        wineboot -i >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$PLIMZOR_SCREEN" /f >/dev/null 2>&1
        wineserver -w
        touch "$prefix/.plimzor-ready"
    fi
    # Wine starts "winedbg --auto" on an unhandled fault when no debugger is
    # named; naming one that does not exist makes UnhandledExceptionFilter
    # hand the fault to the program's own handler, as Windows does without a
    # debugger. Both registry views: the 32-bit saver reads its own.
    local view
    for view in 32 64; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
            /d 'C:\windows\no-debugger.exe %ld %ld' /f /reg:$view >/dev/null 2>&1
    done
    # A Japanese caption font, as a Japanese system has: the settings
    # dialog's title is Japanese. (A LOGFONT: 11 pixels, bold, SHIFTJIS_CHARSET,
    # "IPAPGothic".)
    wine reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont /t REG_BINARY /f /d \
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
    wine reg add 'HKCU\Control Panel\Desktop' /v Wallpaper /d 'C:\wallpaper.bmp' /f >/dev/null 2>&1
}

# start_desktop TOOLS_DIR: starts the virtual desktop every Wine program of
# this prefix opens in, and waits until it has painted the wallpaper. Wine
# closes the desktop when the last program with a window exits, so a small
# keeper program (TOOLS_DIR/desktop_keeper.exe) holds it open for the whole
# run. A desktop that comes up on a new prefix may not load the wallpaper
# from the registry yet, so it is handed over once more at run time.
start_desktop() {
    wine "$1/desktop_keeper.exe" >/dev/null 2>&1 &
    PLIMZOR_KEEPER_PID=$!
    local i
    for i in $(seq 200); do
        if xwininfo -root -tree 2>/dev/null | grep -q 'Wine desktop'; then
            sleep 2
            wine "$1/set_wallpaper.exe" 'C:\wallpaper.bmp' >/dev/null 2>&1 || true
            sleep 1
            return 0
        fi
        sleep 0.1
    done
    say "the Wine desktop did not appear"
    return 1
}

stop_wine_and_display() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
    [ -n "${PLIMZOR_XVFB_PID:-}" ] && kill "$PLIMZOR_XVFB_PID" >/dev/null 2>&1 || true
}
