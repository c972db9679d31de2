#!/usr/bin/env bash
# cli_files_wine.sh WINE CLI.exe MAKE-SAMPLE-UPDATE: kelvoflash-cli.exe under Wine on files alone.
# The file names carry letters outside ASCII: the UTF-8 code page of the program's manifest has to
# bring them through the command line and the A functions intact (Wine's own code page here is
# 1252, under which the name's UTF-8 bytes would name another file).
set -euo pipefail
wine="$1" cli="$2" make_sample="$3"
run="$wine"
source "$(dirname "$0")/wine_test.sh"

update="$work/Prüfung µP Ä.qup"
"$make_sample" "$update" --version 1.01 --variant 4 --small >/dev/null
report="$("$wine" "$cli" inspect --json "$(windows "$update")")" || fail "inspect exited with $?: $report"
grep -q '"Main' <<<"$report" || fail "inspect does not list the devices: $report"
grep -q 'Prüfung µP Ä.qup' <<<"$report" || fail "inspect names the file otherwise: $report"

missing="$work/Fehlt ö.qup"
status=0
message="$("$wine" "$cli" inspect "$(windows "$missing")" 2>&1)" || status=$?
[ "$status" -eq 1 ] || fail "inspect of a missing file exited with $status: $message"
grep -q 'Fehlt ö.qup' <<<"$message" || fail "the missing file is named otherwise: $message"
echo "inspect under Wine: UTF-8 names intact, exit statuses 0 and 1"
