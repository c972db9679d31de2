#!/usr/bin/env bash
# cli_several_wine.sh WINE CLI.exe MAKE-SAMPLE-UPDATE CAMSIM LINUX-CLI: several cameras in one
# command of kelvoflash-cli.exe under Wine. Two camsims, each on a pty that Wine's dosdevices
# name COM8 and COM9 (links camsim makes with --link and removes as it ends); the program
# starts a child kelvoflash-cli.exe per camera through CreateProcess and merges what they say.
#  1. program on both: exit 0, both summaries, --report holds a record per camera, and each
#     camera's flash holds the update file (the Linux kelvoflash-cli compares it over the pty);
#  2. the second camera loses its power in the middle of the EEPROM: exit 1, the summary names
#     that camera, the first one finished and holds the file, and both records are there.
set -euo pipefail
wine="$1" cli="$2" make_sample="$3" camsim="$4" linux_cli="$5"
here="$(dirname "$0")"
run="$wine"
source "$here/wine_test.sh"
prefix="${WINEPREFIX:?the Wine prefix of the build}"

firmware=()
for row in 0 1 2 3 4; do firmware+=(--firmware "$row:4:1.00"); done
holds=() pids=()

# start_camera INDEX [camsim options]: camera INDEX (serial 1000 + INDEX) on COM(8 + INDEX),
# its devices kept in $work/stateINDEX; it runs until stop_cameras closes its standard input.
start_camera() {
    local index="$1" fifo="$work/stdin$1" out="$work/camsim$1.out" hold
    shift
    mkdir -p "$work/state$index"
    mkfifo "$fifo"
    "$camsim" --serial "$((1000 + index))" --state "$work/state$index" --boot-time 300 \
        --erase-time 10 --link "$prefix/dosdevices/com$((8 + index))" "${firmware[@]}" "$@" \
        <"$fifo" >"$out" 2>"$work/camsim$index.err" &
    pids+=("$!")
    exec {hold}>"$fifo"
    holds+=("$hold")
    for _ in $(seq 100); do [ -s "$out" ] && return 0; sleep 0.1; done
    fail "camsim $index did not start: $(cat "$work/camsim$index.err")"
}

stop_cameras() {
    local hold pid
    for hold in "${holds[@]}"; do exec {hold}>&-; done
    for pid in "${pids[@]}"; do wait "$pid" || true; done
    holds=() pids=()
    rm -f "$work"/stdin* "$work"/camsim*.out
}

# holds_file INDEX: camera INDEX's flash (camsim on its state again) matches the update file.
holds_file() {
    local out
    out="$("$here/with_camsim.sh" "$camsim" --state "$work/state$1" --boot-time 300 -- \
           bash -c '"$1" verify "$2" --devices eeprom --port "$CAMSIM_PTY" 2>&1' _ \
           "$linux_cli" "$work/new.qup")" ||
        fail "camera $1: the flash differs from the update file: $out"
}

# check_record LINE SERIAL RESULT EXIT-STATUS: one record of --report.
check_record() {
    local record="$1" sha
    sha="$(sha256sum "$work/new.qup" | cut -d' ' -f1)"
    for field in "\"serial\":$2" '"command":"program"' '"before":"004 V01.00","device":"EEPROM"' \
                 "\"result\":\"$3\"" "\"exitStatus\":$4" "\"sha256\":\"$sha\""; do
        grep -qF "$field" <<<"$record" || fail "the record lacks $field: $record"
    done
}

"$make_sample" "$work/new.qup" --version 1.01 --variant 4 --small --devices 2 >/dev/null
program=("$wine" "$cli" program --yes --devices eeprom "$(windows "$work/new.qup")"
         --report "$(windows "$work/report.jsonl")" --port 7 --port 8)

# 1. Both cameras are updated.
start_camera 0
start_camera 1
status=0
out="$("${program[@]}" 2>&1)" || status=$?
stop_cameras
out="${out//$'\r'/}"
[ "$status" -eq 0 ] || fail "program on two cameras exited with $status: $out"
for port in 7 8; do
    grep -qF "[$port] Summary: ok: EEPROM updated (004 V01.01)" <<<"$out" ||
        fail "no summary of camera $port: $out"
done
grep -qxF "All 2 cameras succeeded." <<<"$out" || fail "no overall summary: $out"
[ "$(wc -l <"$work/report.jsonl")" -eq 2 ] || fail "report: $(cat "$work/report.jsonl")"
check_record "$(grep -F '"port":"7"' "$work/report.jsonl")" 1000 updated 0
check_record "$(grep -F '"port":"8"' "$work/report.jsonl")" 1001 updated 0
holds_file 0
holds_file 1
echo "two cameras on COM8 and COM9 under Wine: both updated, two records, both flashes hold the file"

# 2. The second camera loses its power after one of the EEPROM's two blocks.
rm -rf "$work"/state* "$work/report.jsonl"
start_camera 0
start_camera 1 --fault power-loss:2:1
status=0
out="$("${program[@]}" 2>&1)" || status=$?
stop_cameras
out="${out//$'\r'/}"
[ "$status" -eq 1 ] || fail "program with one camera failing exited with $status: $out"
grep -qF "[7] Summary: ok: EEPROM updated (004 V01.01)" <<<"$out" ||
    fail "the first camera did not finish: $out"
grep -qF "[8] Summary: FAILED: EEPROM failed" <<<"$out" || fail "the second camera: $out"
grep -qxF "1 of 2 cameras succeeded; failed: [8] serial 1001 (exit status 1)." <<<"$out" ||
    fail "the overall summary: $out"
[ "$(wc -l <"$work/report.jsonl")" -eq 2 ] || fail "report: $(cat "$work/report.jsonl")"
check_record "$(grep -F '"port":"7"' "$work/report.jsonl")" 1000 updated 0
check_record "$(grep -F '"port":"8"' "$work/report.jsonl")" 1001 failed 1
holds_file 0
echo "a power loss on COM9 under Wine: exit 1, the camera on COM8 updated and holds the file"
