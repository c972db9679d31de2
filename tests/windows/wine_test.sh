# Sourced by the Wine tests: ends the test as skipped (77) when this machine cannot run the
# build's Wine loader at all, as a kernel without 32-bit support cannot run wine32.
if ! "$run" --version >/dev/null 2>&1; then
    echo "skipped: $run cannot start Wine on this machine"
    exit 77
fi
