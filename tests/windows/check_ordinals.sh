#!/usr/bin/env bash
# The exports of a tessiport.dll as its export table holds them, "ordinal name" per line, against
# the table: every name at its ordinal, no other export (by name or by ordinal alone).
# Usage: check_ordinals.sh OBJDUMP DLL TABLE
set -euo pipefail
objdump="$1" dll="$2" table="$3"
exports="$("$objdump" -p "$dll" | awk '
    /^Export Address Table -- Ordinal Base/ { base = $NF }
    /Export RVA$/ && $(NF - 2) != "0" { addresses++ }
    /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    names && /^\t\[/ { gsub(/[][]/, " "); print $1 + base, $2; next }
    names { names = 0 }
    END { print "addresses", addresses + 0 }')"
expected="$(sort -n "$table"; echo "addresses $(wc -l < "$table")")"
diff <(echo "$expected") <(echo "$exports" | grep -v '^addresses' | sort -n; echo "$exports" | grep '^addresses')
echo "$(wc -l < "$table") exports at their ordinals, no other"
