# The settings dialog end to end: every way the host opens it, Enter and
# Escape, the file beside the program, a new process seeing what was saved,
# and the dialog's language on Japanese and other systems.
source "$(dirname "$0")/lib.sh"

source "$(dirname "$0")/dialog.sh"
INI="$WORK/PLIMZOR.INI"

# --- every way of opening it; Escape cancels and writes nothing ---
start_host
host=$HOST

for args in "/c" "/c:0" "" "/c:$host" "-C:99999999"; do
    # shellcheck disable=SC2086
    start_saver $args
    wait_dialog "'$args'"
    if [ "$args" = "/c:$host" ]; then
        check "owned by the window named" "$(head -n1 <<<"$DIALOG" | cut -d' ' -f7)" "$host"
    fi
    if [ -z "$args" ]; then
        check "no owner without a switch" "$(head -n1 <<<"$DIALOG" | cut -d' ' -f7)" 0
    fi
    xdotool key Escape
    wait_exit "$SAVER_PID"
    check "Escape ends '$args' with 0" "$EXITED" 0
    check "nothing written after '$args'" "$([ -e "$INI" ] && echo written || echo none)" none
done
probe close "$host" >/dev/null

# --- Enter saves what is shown ---
park_pointer 50 50
start_saver /c
wait_dialog "before saving"
check "Standard selected" "$(control_line 1000 | cut -d' ' -f2)" 1
check "count box, padded to three" "$(control_line 1022 | cut -d' ' -f7-)" " 10"
mkdir -p "$PLIMZOR_BUILD/e2e-artifacts"
screenshot "$PLIMZOR_BUILD/e2e-artifacts/settings-dialog.png"
xdotool key Return
wait_exit "$SAVER_PID"
check "Enter ends with 1" "$EXITED" 1
check "the file beside the program" "$(tr -d '\r' <"$INI" 2>/dev/null | tr '\n' ' ')" "[PLIMZOR] PLIM_MODE=1000 PLIM_KOSU=10 "

# --- a changed choice reaches the next process ---
start_saver /c
wait_dialog "to change"
click_control 1001
click_control 1022
xdotool key End BackSpace BackSpace BackSpace
xdotool type 42
xdotool key Return
wait_exit "$SAVER_PID"
check "OK after changes ends with 1" "$EXITED" 1
check "changes saved" "$(tr -d '\r' <"$INI" | tr '\n' ' ')" "[PLIMZOR] PLIM_MODE=1001 PLIM_KOSU=42 "

start_saver /c
wait_dialog "reopened"
check "Colorful loaded in a new process" "$(control_line 1001 | cut -d' ' -f2)" 1
check "count loaded in a new process" "$(control_line 1022 | cut -d' ' -f7-)" " 42"
xdotool key Escape
wait_exit "$SAVER_PID"
check "file unchanged by Escape" "$(tr -d '\r' <"$INI" | tr '\n' ' ')" "[PLIMZOR] PLIM_MODE=1001 PLIM_KOSU=42 "

# --- the system's language chooses the dialog's; OK saves in each ---
# Every control's text in template order, the count box showing " 10".
JAPANESE_TEXTS="OK|Cancel|標準| 10|PLIMカラー|カラフル？|PLIM個数||1～255"
ENGLISH_TEXTS="OK|Cancel|Standard| 10|PLIM colors|Colorful|PLIM count||1-255"
# name | Unix locale | dialog | what it stands for
LOCALES=(
    "ja_JP|LANG=ja_JP.UTF-8|ja|a Japanese system"
    "C|LANG=C.UTF-8|en|an English system"
    "de_DE|LANG=de_DE.UTF-8|en|a German system, which has no dialog of its own"
    "C-messages-ja_JP|LANG=C.UTF-8 LC_MESSAGES=ja_JP.UTF-8|en|a Japanese user language on a Western code page"
)
# Without the German locale Wine would run as on an English system unnoticed.
check "the locale de_DE.UTF-8 is there" "$(locale -a | grep -ci '^de_DE\.utf-\?8$')" 1
for row in "${LOCALES[@]}"; do
    IFS='|' read -r name settings language what <<<"$row"
    use_locale "$settings" "$language"
    rm -f "$INI"
    start_saver /c
    wait_dialog "$what"
    texts=$(tail -n +2 <<<"$DIALOG" | cut -d' ' -f7- | paste -sd'|')
    if [ "$language" = ja ]; then
        check "Japanese texts on $what" "$texts" "$JAPANESE_TEXTS"
    else
        check "English texts on $what" "$texts" "$ENGLISH_TEXTS"
        check "no '?' on $what" "$(grep -c '?' <<<"$texts" || true)" 0
    fi
    screenshot "$PLIMZOR_BUILD/e2e-artifacts/settings-dialog-$name.png"
    click_control 1001
    xdotool key Return
    wait_exit "$SAVER_PID"
    check "OK ends with 1 on $what" "$EXITED" 1
    check "OK saves on $what" "$(tr -d '\r' <"$INI" 2>/dev/null | tr '\n' ' ')" "[PLIMZOR] PLIM_MODE=1001 PLIM_KOSU=10 "
done

finish
