#!/usr/bin/env bash
# PLIMZOR.SCR must run on a bare system: every DLL it imports must be one that
# every Windows ships, from 95 on. A C runtime DLL here (msvcrt.dll, which
# Windows 95 lacks) or a MinGW one means the link took in a runtime again.
set -euo pipefail
objdump=$1 exe=$2
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32)\.DLL$'
status=0
while read -r dll; do
    if [[ ! ${dll^^} =~ $allowed ]]; then
        echo "unexpected import: $dll"
        status=1
    fi
done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[ "$status" = 0 ] && echo "imports: system DLLs only"
exit $status
