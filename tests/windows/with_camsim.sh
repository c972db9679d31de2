#!/usr/bin/env bash
# with_camsim.sh CAMSIM [camsim options --] COMMAND...: runs COMMAND while camsim (a Linux
# program) serves its Camera Link line on a free TCP port, named to clsersim.dll by
# CLSERSIM_PORT0, and its COM-port line on a pty named by CAMSIM_PTY. camsim keeps its devices in $CAMSIM_STATE when that is set. camsim ends when
# COMMAND has (its standard input closes).
set -euo pipefail
camsim="$1"
shift
options=()
if [[ " $* " == *" -- "* ]]; then
    while [ "$1" != "--" ]; do options+=("$1"); shift; done
    shift
fi
state=("${CAMSIM_STATE:+--state}" "${CAMSIM_STATE:-}")
[ -n "${CAMSIM_STATE:-}" ] || state=()
coproc CAMSIM { exec "$camsim" --camlink-port 0 "${state[@]}" "${options[@]}" 2>/dev/null; }
read -r pty <&"${CAMSIM[0]}"
export CAMSIM_PTY="$pty"
read -r _ address <&"${CAMSIM[0]}"    # "camlink 127.0.0.1:PORT"
export CLSERSIM_PORT0="$address"
status=0
"$@" || status=$?
exec {CAMSIM[1]}>&-
wait "${CAMSIM_PID:-}" 2>/dev/null || true
exit "$status"
