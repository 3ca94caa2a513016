# Wine: which loader starts each build's programs, the prefix each build
# tree has of its own (created once, made ready for the saver's tests), the
# wallpaper the captured desktop shows, and ending every program of a
# prefix. Needs the build part (where each build's tree is).
need build

# Debian's /usr/bin/wine (and wineboot, winecfg, ...) always picks the
# 32-bit loader once wine32 is installed, so every Wine call of the harness
# goes through wine_run, which starts the loader of the build in use: the
# 32-bit one for i686, the 64-bit one for x86_64.
PLIMZOR_WINE32=${PLIMZOR_WINE32:-/usr/lib/wine/wine}
PLIMZOR_WINE64=/usr/lib/wine/wine64

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

# create_prefix [SETUP]: creates the prefix WINEPREFIX names, once: booted,
# and no crash dialog, which would wait for a click that never comes. SETUP,
# a command, adds what the prefix's users need before it is marked ready.
create_prefix() {
    [ ! -f "$WINEPREFIX/.plimzor-ready" ] || return 0
    say "creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine_run wineboot.exe -i >/dev/null 2>&1
    wine_run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    [ -z "${1:-}" ] || "$1"
    wine_server -w
    touch "$WINEPREFIX/.plimzor-ready"
}

# default_desktop: a virtual desktop of PLIMZOR_SCREEN as the prefix's
# default, which every program of the prefix opens in.
default_desktop() {
    wine_run reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine_run reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$PLIMZOR_SCREEN" /f >/dev/null 2>&1
}

# prepare_prefix: creates the prefix use_wine chose, with its default
# virtual desktop, and readies it for the tests: no debugger attaching to a
# faulting program (the saver's own fault guard must see the fault), the
# Japanese caption font, and the project's wallpaper.
prepare_prefix() {
    create_prefix default_desktop
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
    local wallpaper="$WINEPREFIX/../wallpaper.bmp"
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

# stop_wine: ends every program of the prefix in use, its desktop included.
stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && wine_server -k >/dev/null 2>&1 || true
    [ -n "${PLIMZOR_KEEPER_PID:-}" ] && wait "$PLIMZOR_KEEPER_PID" 2>/dev/null || true
    PLIMZOR_KEEPER_PID=
}
