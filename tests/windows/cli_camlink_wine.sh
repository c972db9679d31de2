#!/usr/bin/env bash
# cli_camlink_wine.sh WINE CLI.exe MAKE-SAMPLE-UPDATE CAMSIM LINUX-CLI: the update over Camera Link
# under Wine: kelvoflash-cli.exe loads tessiport.dll beside it, which binds clsersim.dll, which
# reaches camsim over TCP. Afterwards the Linux kelvoflash-cli compares camsim's flash with the
# update file over camsim's pty.
set -euo pipefail
wine="$1" cli="$2" make_sample="$3" camsim="$4" linux_cli="$5"
here="$(dirname "$0")"
run="$wine"
source "$(dirname "$0")/wine_test.sh"

"$make_sample" "$work/new.qup" --version 1.01 --variant 4 --small >/dev/null
camera=(--boot-time 300 --erase-time 10 --cl-baud 19200)
for row in 0 1 2 3 4; do camera+=(--firmware "$row:4:1.00"); done
camlink=(--interface camlink --grabber clsersim --port 0)
export CAMSIM_STATE="$work/state"
mkdir -p "$CAMSIM_STATE"

info="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- "$wine" "$cli" info "${camlink[@]}")" ||
    fail "info exited with $?: $info"
grep -q 'Main FPGA  004 V01.00' <<<"$info" || fail "info: $info"

program="$("$here/with_camsim.sh" "$camsim" "${camera[@]}" -- \
           "$wine" "$cli" program --yes "$(windows "$work/new.qup")" "${camlink[@]}")" ||
    fail "program exited with $?: $program"
grep -q 'Main µP: programmed and verified, the camera reports 004 V01.01' <<<"$program" ||
    fail "program: $program"

# The flash as camsim kept it, compared by the Linux programmer over the pty.
coproc CAMSIM { exec "$camsim" --state "$CAMSIM_STATE" --boot-time 300 2>/dev/null; }
read -r pty <&"${CAMSIM[0]}"
status=0
verify="$("$linux_cli" verify "$work/new.qup" --port "$pty" 2>&1)" || status=$?
exec {CAMSIM[1]}>&-
wait "${CAMSIM_PID:-}" 2>/dev/null || true
[ "$status" -eq 0 ] || fail "the flash differs from the update file: $verify"
echo "info and program over Camera Link under Wine; the flash holds the update file"
