#!/bin/sh
# run_on_virtual_display.sh <wine-run> <test.exe> [arguments]: runs a GoogleTest program under
# Wine on a virtual X display of its own, inside a Wine desktop window so that Wine itself draws
# the windows' frames and captions (there is no window manager). The desktop does not pass the
# program's exit status on, so the verdict comes from the test's XML report.
set -u
wine_run="$1"
test_program="$2"
shift 2
report="$(mktemp --suffix=.xml)"
trap 'rm -f "$report"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" \
    "$wine_run" explorer /desktop=kelvoflash,900x640 "$test_program" \
    --gtest_output="xml:Z:$report" "$@"
grep -q '<testsuites ' "$report" || { echo "run_on_virtual_display: no test report" >&2; exit 1; }
grep -q '<testsuites [^>]*failures="0"[^>]*errors="0"' "$report"
