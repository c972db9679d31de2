#!/usr/bin/env bash
# Two Wine processes share the block "TESSIPORT": with a host holding the library, a second one
# counts 2 and, after unloading, 1; one that ends with the library loaded counts itself out as
# well; alone a process counts 1 and leaves no block behind.
# Usage: two_processes.sh WINE_RUN C_HOST PROBE DLL
set -euo pipefail
run="$1" host="$2" probe="$3" dll="$4"
source "$(dirname "$0")/wine_test.sh"
mkfifo "$work/in"
"$run" "$host" "$dll" image wait < "$work/in" > "$work/host.out" &
first=$!
exec 3> "$work/in"
for _ in $(seq 300); do
    grep -q ready "$work/host.out" && break
    sleep 0.1
done
both="$({ "$run" "$probe" "$dll" exit; "$run" "$probe" "$dll"; } | tr -d '\r')"
exec 3>&-
wait "$first"
alone="$("$run" "$probe" "$dll" | tr -d '\r')"
diff <(printf '%s\n' "loaded 2" "loaded 2" "unloaded 1" "loaded 1" "unloaded none") \
     <(printf '%s\n' "$both" "$alone")
echo "shared by two processes: 2, then 1"
