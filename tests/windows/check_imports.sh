#!/usr/bin/env bash
# The DLLs a Windows program or library imports, from its import table: only libraries every
# Windows carries, so the installed folder needs nothing beside our own files (no compiler
# run-time, no thread library). Also its PE format against the width expected.
# Usage: check_imports.sh OBJDUMP pei-x86-64|pei-i386 FILE...
set -euo pipefail
objdump="$1" format="$2"
shift 2
system=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll ws2_32.dll "
failed=0
for file in "$@"; do
    name="$(basename "$file")"
    if ! "$objdump" -f "$file" | grep -q "file format $format\$"; then
        echo "FAILED: $name is not $format: $("$objdump" -f "$file" | grep 'file format')"
        failed=1
    fi
    imports="$("$objdump" -p "$file" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)"
    [ -n "$imports" ] || { echo "FAILED: $name: no import table read"; failed=1; }
    for dll in $imports; do
        if [[ "$system" != *" $dll "* ]]; then
            echo "FAILED: $name imports $dll, which Windows does not carry"
            failed=1
        fi
    done
    echo "$name ($format): $(tr '\n' ' ' <<<"$imports")"
done
exit "$failed"
