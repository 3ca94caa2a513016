# Helpers for end-to-end tests of the settings dialog, sourced after lib.sh:
# finding the dialog and its controls through tests/host/dialog_probe and
# clicking them.

# The dialog is an ANSI one in Japanese and in English, and the system's
# language chooses which. Wine takes the code page and the languages from the
# Unix locale; the tests start under a Japanese one, as on a Japanese system.
# A UTF-8 locale also lets the probe take the caption as an argument.
JAPANESE_CAPTION="PLIMZORスクリーンセイバー Ver1.15"
ENGLISH_CAPTION="PLIMZOR Screen Saver Ver1.15"

# use_locale SETTINGS LANGUAGE: the Unix locale the next Wine programs start
# with ("LANG=... [LC_MESSAGES=...]") and the dialog's language expected
# under it (ja or en), whose caption the probe then looks for.
use_locale() {
    unset LC_ALL LC_CTYPE LC_MESSAGES
    local setting
    for setting in $1; do export "${setting?}"; done
    case $2 in
        ja) CAPTION=$JAPANESE_CAPTION ;;
        *) CAPTION=$ENGLISH_CAPTION ;;
    esac
}
use_locale LANG=ja_JP.UTF-8 ja

dialog_probe() { wine_run "$PLIMZOR_HOSTS/dialog_probe.exe" "$@" | tr -d '\r'; }

# control_line ID: the probe's line for that control.
control_line() { awk -v id="$1" '$1 == id' <<<"$DIALOG"; }

# dialog_state: the probe's line for the dialog itself: "dialog HWND LEFT
# TOP WIDTH HEIGHT OWNER FOREGROUND FOCUS".
dialog_state() { dialog_probe "$CAPTION" 0 | head -n 1; }

# dialog_focus ID: the dialog is the foreground window and the control ID
# (any control when 0) has the keyboard focus: keys typed now reach it.
dialog_focus() {
    local line
    line=$(dialog_state) || return 1
    echo "$line"
    read -r _ _ _ _ _ _ _ foreground focus <<<"$line"
    [ "${foreground:-}" = 1 ] || return 1
    if [ "$1" = 0 ]; then [ "${focus:-0}" != 0 ]; else [ "${focus:-}" = "$1" ]; fi
}

# click_control ID: clicks the middle of a control and waits until it has
# the focus, which a click on a radio button or the count box gives it.
click_control() {
    local line
    line=$(control_line "$1")
    read -r _ _ x y w h _ <<<"$line"
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    wait_until "the focus on control $1" dialog_focus "$1" || true
}

# wait_dialog WHAT: waits for the dialog, then clicks its caption so that
# the keys that follow reach it whichever window owns it, and waits until
# they do.
wait_dialog() {
    DIALOG=$(dialog_probe "$CAPTION" $((DEADLINE * 1000)) || true)
    check "dialog shown ($1)" "$(head -n1 <<<"$DIALOG" | cut -d' ' -f1)" dialog
    local x y
    read -r _ _ x y _ <<<"$(head -n1 <<<"$DIALOG")"
    [ -n "${x:-}" ] && xdotool mousemove $((x + 20)) $((y + 8)) click 1
    wait_until "the dialog in front with a focused control" dialog_focus 0 || true
}
