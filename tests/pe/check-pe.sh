#!/usr/bin/env bash
# The 32-bit PLIMZOR.SCR must load on Windows 95 and NT 4.0: its header asks
# for nothing newer than 4.0, it is a GUI program, and it imports exactly the
# functions of the allow-list beside this script, each one exported there.
# It is also large-address-aware, so that 64-bit Windows gives it 4 GB for
# the surfaces of very large virtual screens (older systems ignore the flag).
# Reads the file with objdump: needs no Wine, so it runs on every host.
set -euo pipefail
objdump=$1 exe=$2 list=$3
status=0
fail() {
    echo "FAIL $*"
    status=1
}

dump=$("$objdump" -p "$exe")
field() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$dump"; }

# --- the header ---
for name in MajorOSystemVersion MinorOSystemVersion MajorSubsystemVersion MinorSubsystemVersion; do
    want=0
    [[ $name == Major* ]] && want=4
    got=$(field "$name")
    [ "$got" = "$want" ] || fail "$name is '$got', expected $want (Windows 95 and NT 4.0 refuse newer)"
done
characteristics=$(field Characteristics)
(( (16#${characteristics#0x} & 0x20) != 0 )) 2>/dev/null ||
    fail "characteristics are '$characteristics': not large-address-aware (IMAGE_FILE_LARGE_ADDRESS_AWARE, 0x20)"
subsystem=$(field Subsystem)
[ "$subsystem" = 00000002 ] || fail "subsystem is '$subsystem', expected 00000002 (Windows GUI)"

# --- the imports: "DLL function" pairs, DLL names in upper case ---
imported=$(awk '
    /DLL Name:/ { dll = toupper($3); sub(/\.DLL$/, "", dll); next }
    /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/ { if (dll != "") print dll, $3 }
    /^[^\t]/ { dll = "" }' <<<"$dump" | sort -u)
[ -n "$imported" ] || fail "no imports read from $exe"

allowed=$(grep -v -E '^\s*(#|$)' "$list" | while read -r dll fn since9x sincent rest; do
    # Only the Windows the saver must start on may stand here.
    case "$since9x $sincent" in
        "95 NT3.1" | "95 NT3.5" | "95 NT3.51" | "95 NT4.0" | "98 NT4.0") ;;
        *) echo "BAD $dll $fn: first exported by '$since9x $sincent', not by Windows 95/98 and NT 4.0" ;;
    esac
    [ -z "$rest" ] || echo "BAD $dll $fn: unexpected text '$rest'"
    echo "$dll $fn"
done)
while read -r line; do fail "allow-list: ${line#BAD }"; done < <(grep '^BAD ' <<<"$allowed" || true)
allowed=$(grep -v '^BAD ' <<<"$allowed" | sort -u)

while read -r pair; do
    [ -n "$pair" ] && fail "new import: $pair (add it to $(basename "$list") with the first Windows that exports it, or look it up at run time)"
done < <(comm -23 <(echo "$imported") <(echo "$allowed"))
while read -r pair; do
    [ -n "$pair" ] && fail "no longer imported: $pair (take it out of $(basename "$list"))"
done < <(comm -13 <(echo "$imported") <(echo "$allowed"))

if [ "$status" = 0 ]; then
    echo "header 4.0, GUI subsystem, large-address-aware; $(wc -l <<<"$imported") imports, all on the allow-list"
fi
exit $status
