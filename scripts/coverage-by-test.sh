#!/usr/bin/env bash
# Which product lines each test runs, and which lines only one test runs: a coverage build in a
# scratch folder, each ctest test run alone with its own coverage data, then one table.
#   scripts/coverage-by-test.sh [FOLDER]     (default /tmp/kf-coverage)
# FOLDER/unique.txt: per test, the product lines only it runs, all lines it runs, its name and
# where its unique lines are, fewest unique lines first. FOLDER/lines/<n>.json: the "file:line"
# list of test number <n> (`ctest -N` numbers). A test with no unique lines is not redundant by
# that alone: it may assert what no other test asserts on the same lines (scripts/mutants.sh tells).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir="$PWD"
work="$(realpath -m "${1:-/tmp/kf-coverage}")"
build="$work/build" data="$work/data"
jobs="$(nproc)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

echo "== coverage build in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKF_BUILD_BENCH=OFF \
      -DCMAKE_C_FLAGS="--coverage -O0" -DCMAKE_CXX_FLAGS="--coverage -O0" \
      -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
      -DCMAKE_MODULE_LINKER_FLAGS=--coverage "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null

echo "== each test alone"
rm -rf "$data" "$work/lines"; mkdir -p "$data" "$work/lines"
ctest --test-dir "$build" -N | sed -n 's/^ *Test *#\([0-9]*\): \([^ ]*\).*/\1 \2/p' >"$work/tests.txt"
run_one() {  # number name: the test's .gcda files land under data/<number>/
    GCOV_PREFIX="$DATA/$1" GCOV_PREFIX_STRIP=0 \
        ctest --test-dir "$BUILD" -I "$1,$1" --timeout 600 >"$DATA/$1.log" 2>&1 ||
        echo "failed (its coverage still counts): #$1 $2"
}
export -f run_one
export DATA="$data" BUILD="$build"
xargs -P "$jobs" -n 2 bash -c 'run_one "$0" "$1"' <"$work/tests.txt"

echo "== lines per test"
python3 - "$source_dir" "$work" "$jobs" <<'PY'
import collections, concurrent.futures, glob, json, os, subprocess, sys

source, work, jobs = sys.argv[1] + "/", sys.argv[2], int(sys.argv[3])
tests = dict(line.split(None, 1) for line in open(f"{work}/tests.txt").read().splitlines())

def lines_of(number):
    """The product lines (outside tests/) test `number` ran at least once."""
    folder = f"{work}/data/{number}"
    counts = glob.glob(folder + "/**/*.gcda", recursive=True)
    for gcda in counts:  # gcov wants each .gcno beside its .gcda
        notes = gcda[:-5] + ".gcno"
        if not os.path.exists(notes) and os.path.exists(gcda[len(folder):-5] + ".gcno"):
            os.symlink(gcda[len(folder):-5] + ".gcno", notes)
    ran = set()
    for first in range(0, len(counts), 200):
        out = subprocess.run(["gcov", "--json-format", "--stdout"] + counts[first:first + 200],
                             capture_output=True, text=True, cwd=folder).stdout
        for record in (json.loads(l) for l in out.splitlines() if l.startswith("{")):
            for f in record.get("files", []):
                path = os.path.normpath(os.path.join(record["current_working_directory"], f["file"]))
                if path.startswith(source) and not path.startswith(source + "tests/"):
                    ran.update(f"{path[len(source):]}:{l['line_number']}"
                               for l in f["lines"] if l["count"] > 0)
    json.dump(sorted(ran), open(f"{work}/lines/{number}.json", "w"))
    return number, ran

with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
    ran = dict(pool.map(lines_of, tests))
runs = collections.Counter(line for lines in ran.values() for line in lines)
rows = []
for number, lines in ran.items():
    unique = [line for line in lines if runs[line] == 1]
    where = collections.Counter(line.rsplit(":", 1)[0] for line in unique).most_common(4)
    rows.append((len(unique), len(lines), int(number), tests[number], dict(where)))
with open(f"{work}/unique.txt", "w") as out:
    for unique, total, number, name, where in sorted(rows):
        out.write(f"{unique:5d} {total:6d} #{number} {name}  {where}\n")
print(f"{work}/unique.txt: {sum(1 for r in rows if r[0] == 0)} of {len(rows)} tests run no "
      "product line of their own")
PY
