#!/usr/bin/env bash
# The whole suite on a fresh machine: install, build, run the tests, build and check the .deb;
# then the non-GUI code and its tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
# the library's thread test under ThreadSanitizer; then each fuzzer briefly; last the Windows
# build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

bash scripts/build.sh
echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== the .deb: built from build/, unpacked into a scratch root, run from there"
bash scripts/package_test.sh build

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKF_WERROR=ON -DKF_SANITIZE=ON \
      -DKF_BUILD_GUI=OFF -DKF_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE 'gui|fault_matrix'

echo "== the library's thread test under ThreadSanitizer"
bash scripts/tsan.sh

if [ -f fuzz/CMakeLists.txt ]; then
    echo "== fuzzers"
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKF_FUZZ=ON \
          -DKF_BUILD_GUI=OFF -DKF_BUILD_BENCH=OFF -DKF_BUILD_TESTS=OFF >/dev/null
    cmake --build build-fuzz -j"$jobs" --target fuzzers
    bash fuzz/run.sh build-fuzz
fi

echo "== Windows: cross-built with mingw-w64, tested under Wine"
windows_start=$SECONDS
bash scripts/build-windows.sh
echo "Windows step: $((SECONDS - windows_start)) s"
