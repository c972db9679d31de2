#!/usr/bin/env bash
# Runs every fuzz target of BUILD_DIR for a short, bounded time on its seeds (fuzz/corpus/<name>)
# and fails on any finding. FUZZ_TOTAL_SECONDS (default 105) is shared out among the targets,
# at most 15 s each.
set -euo pipefail
build="${1:?usage: fuzz/run.sh BUILD_DIR}"
here="$(cd "$(dirname "$0")" && pwd)"
total="${FUZZ_TOTAL_SECONDS:-105}"

shopt -s nullglob
targets=("$build"/bin/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets in $build/bin" >&2
    exit 1
fi
seconds=$(( total / ${#targets[@]} ))
(( seconds > 15 )) && seconds=15
(( seconds < 3 )) && seconds=3

failed=0
for binary in "${targets[@]}"; do
    target="$(basename "$binary")"
    name="${target#fuzz_}"
    work="$build/fuzz-work/$name"
    mkdir -p "$work/corpus" "$work/artifacts"
    # New inputs go to the work corpus; the committed seeds are only read.
    corpora=("$work/corpus")
    [ -d "$here/corpus/$name" ] && corpora+=("$here/corpus/$name")
    echo "== $target (${seconds} s)"
    if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$work/artifacts/" "${corpora[@]}" >"$work/log" 2>&1; then
        echo "FINDING in $target (log: $work/log, inputs: $work/artifacts/)"
        tail -n 40 "$work/log"
        failed=1
    else
        grep -E "^Done|stat::number_of_executed_units" "$work/log" | tail -n 1 || true
    fi
done
exit $failed
