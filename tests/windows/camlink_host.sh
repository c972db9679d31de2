#!/usr/bin/env bash
# The plain C host, built with the header's calling convention, drives tessiport.dll through
# clsersim.dll (found in the library's own folder) against camsim: a table of camsim options,
# host steps and the lines the host prints.
# Usage: camlink_host.sh WINE_RUN CAMSIM C_HOST DLL
set -euo pipefail
run="$1" camsim="$2" host="$3" dll="$4"
source "$(dirname "$0")/wine_test.sh"
with_camsim="$(dirname "$0")/with_camsim.sh"
get_type="cmd:5:23:1001050000"
type_reply="cmd 0x00000000 9001180000040000d20400000000000000000000000000"
no_handle="cmd 0x80332006 $(printf 'e%.0s' {1..46})"
image="image$(printf ' 0xa0332002%.0s' {1..12}) fixed 0x0 generation 1 pending 0"

# name | camsim options | host steps | the lines printed, separated by ";"
cases=(
    "transactions and an error reply|--fault error:0x0111:0x80001020|open:b000:clsersim $get_type cmd:5:9:1101050000 error $get_type error close $get_type|open 0x00000000 0x100;$type_reply;cmd 0x80001020 d101090020100080ee;error 0x80001020;$type_reply;error 0x00000000;close 0x00000000 0x0;$no_handle"
    "the connection test finds the rate, a switch changes it|--cl-baud 115200|open:3000:clsersim params rate:57600 rate:38400 $get_type params close|open 0x00000000 0x100;params 0x00000000 115200 85000000 0x0 0x1 0x0;rate 0xa0332001;rate 0x00000000;$type_reply;params 0x00000000 38400 85000000 0x0 0x1 0x0;close 0x00000000 0x0"
    "the image functions and the fixed answers||open:b000:clsersim image close|open 0x00000000 0x100;$image;close 0x00000000 0x0"
)
for case in "${cases[@]}"; do
    IFS='|' read -r name options steps lines <<< "$case"
    # shellcheck disable=SC2086
    expect_lines "$name" "$(tr ';' '\n' <<< "$lines")" \
        "$(bash "$with_camsim" "$camsim" $options -- "$run" "$host" "$dll" $steps)"
done
exit "$failed"
