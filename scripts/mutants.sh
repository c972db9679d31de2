#!/usr/bin/env bash
# Plants the faults of a list (scripts/mutants.list) one at a time into a scratch copy of the
# tree, rebuilds, runs the tests, and reports each fault the suite did not catch.
#   scripts/mutants.sh [LIST]
#   MUTANTS_DIR  scratch folder (default /tmp/kf-mutants); MUTANTS_ONLY=id,id runs just those.
# Exit status: 0 when every fault was caught, 1 when one survived or no longer applies.
set -euo pipefail
cd "$(dirname "$0")/.."
list="$(realpath "${1:-scripts/mutants.list}")"
work="${MUTANTS_DIR:-/tmp/kf-mutants}"
src="$work/src" build="$work/build" log="$work/log"
jobs="$(nproc)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The checked-out files, uncommitted edits included, stamped now: a build folder kept from an
# earlier run may hold objects of its last planted fault, newer than the files' own times.
rm -rf "$src" "$log"; mkdir -p "$src" "$log"
git ls-files -z | tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xmf - -C "$src"

echo "== building the scratch copy in $build"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKF_BUILD_BENCH=OFF \
      "${launcher[@]}" >"$log/configure.txt"
cmake --build "$build" -j"$jobs" >"$log/build.txt"
if ! ctest --test-dir "$build" -j"$jobs" --timeout 600 >"$log/clean-run.txt" 2>&1; then
    echo "the suite fails with no fault planted: see $log/clean-run.txt"; exit 2
fi

# Replaces the one occurrence of FROM in FILE by TO; fails when FROM is not there exactly once.
plant() {
    python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"found {text.count(old)} times")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

# The first failing test in a ctest output, or nothing.
first_failure() { grep -m1 -E '\*\*\*(Failed|Timeout|Exception)|\(Failed\)|\(Timeout\)' "$1" |
                  sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/' || true; }

# Runs one record: caught by a test, survived, or stale (its text is gone, or it no longer builds).
run_record() {
    local id="$1" file="$2" from="$3" to="$4" tests="$5" out="$log/$1.txt" by
    if [[ -n "${MUTANTS_ONLY:-}" && ",$MUTANTS_ONLY," != *",$id,"* ]]; then return; fi
    cp "$src/$file" "$work/original"
    if ! why="$(plant "$src/$file" "$from" "$to" 2>&1)"; then
        printf '%-26s STALE     %s: %s\n' "$id" "$file" "$why" | tee -a "$work/report.txt"; return
    fi
    if ! cmake --build "$build" -j"$jobs" >"$out" 2>&1; then
        printf '%-26s STALE     does not build\n' "$id" | tee -a "$work/report.txt"
    else
        ctest --test-dir "$build" -j"$jobs" --timeout 600 --stop-on-failure -R "$tests" >>"$out" 2>&1 ||
            true
        by="$(first_failure "$out")"
        if [[ -z "$by" ]]; then
            ctest --test-dir "$build" -j"$jobs" --timeout 600 --stop-on-failure -E "$tests" >>"$out" 2>&1 ||
                true
            by="$(first_failure "$out")"
        fi
        if [[ -n "$by" ]]; then
            printf '%-26s caught    %s\n' "$id" "$by" | tee -a "$work/report.txt"
        else
            printf '%-26s SURVIVED  %s\n' "$id" "$file" | tee -a "$work/report.txt"
        fi
    fi
    cp "$work/original" "$src/$file"   # a newer time stamp, so the next build compiles it again
}

: >"$work/report.txt"
declare -A record=()
flush() {
    [[ -n "${record[id]:-}" ]] &&
        run_record "${record[id]}" "${record[file]}" "${record[from]}" "${record[to]}" "${record[tests]:-.}"
    record=()
}
while IFS= read -r line || [[ -n "$line" ]]; do
    case "$line" in
        '#'*) ;;
        '') flush ;;
        *': '*) record["${line%%: *}"]="${line#*: }" ;;
    esac
done <"$list"
flush

total=$(wc -l <"$work/report.txt")
caught=$(grep -c ' caught ' "$work/report.txt" || true)
echo "== $caught of $total planted faults caught (report: $work/report.txt, outputs: $log/)"
[[ "$caught" == "$total" ]]
