#!/usr/bin/env bash
# libtessiport's thread test for longer than CI runs it: the races and the random mix of calls,
# RUNS times in a row (default 20) with ROUNDS rounds per thread of the mix (default 100), under
# ThreadSanitizer (build-tsan, as scripts/tsan.sh makes it) or, with SANITIZER=address, under
# AddressSanitizer (build-asan). Stops at the first run that fails.
#   bash scripts/stress.sh [RUNS] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20}"
rounds="${2:-100}"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
if [ "${SANITIZER:-thread}" = address ]; then
    build=build-asan
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKF_WERROR=ON -DKF_SANITIZE=ON \
          -DKF_BUILD_GUI=OFF -DKF_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
else
    build=build-tsan
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKF_WERROR=ON \
          -DKF_SANITIZE_THREAD=ON -DKF_BUILD_GUI=OFF -DKF_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target tessiport_thread_tests
for run in $(seq 1 "$runs"); do
    start=$(date +%s)
    TESSIPORT_STRESS_ROUNDS="$rounds" TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ASAN_OPTIONS=detect_leaks=1 "$build/bin/tessiport_thread_tests" --gtest_brief=1
    echo "run $run of $runs green in $(( $(date +%s) - start )) s"
done
echo "$runs passed, 0 failed"
