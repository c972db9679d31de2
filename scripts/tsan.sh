#!/usr/bin/env bash
# libtessiport's thread test (races of several threads on the same and different handles, and a
# short random mix of calls) under ThreadSanitizer, in a build of its own (build-tsan) that builds
# only what that test needs. scripts/stress.sh runs it longer.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKF_WERROR=ON \
      -DKF_SANITIZE_THREAD=ON -DKF_BUILD_GUI=OFF -DKF_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-tsan -j"$(nproc)" --target tessiport_thread_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build-tsan -L tessiport_threads --output-on-failure
