# Helpers for end-to-end tests of the settings dialog, sourced after lib.sh:
# finding the dialog and its controls through tests/host/dialog_probe and
# clicking them.

# The dialog is an ANSI one with Japanese texts, made for the Japanese code
# page; the UTF-8 locale also lets the probe take the caption as an argument.
export LANG=ja_JP.UTF-8
CAPTION="PLIMZORスクリーンセイバー Ver1.15"

dialog_probe() { wine_run "$PLIMZOR_HOSTS/dialog_probe.exe" "$@" | tr -d '\r'; }

# control_line ID: the probe's line for that control.
control_line() { awk -v id="$1" '$1 == id' <<<"$DIALOG"; }

# click_control ID: clicks the middle of a control.
click_control() {
    local line
    line=$(control_line "$1")
    read -r _ _ x y w h _ <<<"$line"
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    sleep 0.3
}

# wait_dialog WHAT: waits for the dialog, then clicks its caption so that
# the keys that follow reach it whichever window owns it.
wait_dialog() {
    DIALOG=$(dialog_probe "$CAPTION" 10000 || true)
    check "dialog shown ($1)" "$(head -n1 <<<"$DIALOG" | cut -d' ' -f1)" dialog
    local x y
    read -r _ _ x y _ <<<"$(head -n1 <<<"$DIALOG")"
    [ -n "${x:-}" ] && xdotool mousemove $((x + 20)) $((y + 8)) click 1
    sleep 0.3
}
