#!/usr/bin/env bash
# PLIMZOR.SCR must run on a bare system: every DLL it imports must be one that
# Windows itself ships. A MinGW runtime DLL here means the static link broke.
set -euo pipefail
objdump=$1 exe=$2
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|MSVCRT)\.DLL$'
status=0
while read -r dll; do
    if [[ ! ${dll^^} =~ $allowed ]]; then
        echo "unexpected import: $dll"
        status=1
    fi
done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[ "$status" = 0 ] && echo "imports: system DLLs only"
exit $status
