#!/usr/bin/env bash
# Runs the fuzz targets of BUILD_DIR on their seeds (fuzz/corpus/<name>) and fails on any finding.
#   fuzz/run.sh BUILD_DIR                 short run for CI: FUZZ_TOTAL_SECONDS (default 105) shared
#                                         out among the targets, 3 to 15 s each
#   fuzz/run.sh BUILD_DIR SECONDS [NAME]  SECONDS per target (a long run), only fuzz_NAME if given
# The work corpus of each target (BUILD_DIR/fuzz-work/<name>/corpus) grows from run to run.
set -euo pipefail
build="${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS [NAME]]}"
here="$(cd "$(dirname "$0")" && pwd)"

shopt -s nullglob
if [ -n "${3:-}" ]; then
    targets=("$build/bin/fuzz_$3")
    [ -x "${targets[0]}" ] || targets=()
else
    targets=("$build"/bin/fuzz_*)
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets in $build/bin" >&2
    exit 1
fi
if [ -n "${2:-}" ]; then
    seconds="$2"
else
    total="${FUZZ_TOTAL_SECONDS:-105}"
    seconds=$(( total / ${#targets[@]} ))
    (( seconds > 15 )) && seconds=15
    (( seconds < 3 )) && seconds=3
fi

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
