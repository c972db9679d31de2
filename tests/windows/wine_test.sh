# Sourced by the Wine tests after they set `run` (the build's Wine runner).
# Ends the test as skipped (77) when this machine cannot run the build's Wine loader at all, as a
# kernel without 32-bit support cannot run wine32. Then gives the tests what they share: a
# scratch folder `work`, removed at the end with the registry key `key` when one is set, and a
# table of cases compared line by line.
if ! "$run" --version >/dev/null 2>&1; then
    echo "skipped: $run cannot start Wine on this machine"
    exit 77
fi
work="$(mktemp -d)"
key=""
cleanup() {
    [ -z "$key" ] || "$run" reg delete "$key" /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
failed=0

fail() { echo "FAILED: $*" >&2; exit 1; }

# A Linux path as Wine's drive Z: names it; Windows programs take these ("/tmp" would read as an
# option).
windows() { echo "Z:${1//\//\\}"; }

# expect_lines CASE EXPECTED GOT: the case fails when the lines of GOT differ (carriage returns
# aside) from EXPECTED, whose lines are separated by ";".
expect_lines() {
    if ! diff <(tr ';' '\n' <<< "$2") <(tr -d '\r' <<< "$3"); then
        echo "case failed: $1"
        failed=1
    fi
}
