#!/usr/bin/env bash
# Configures and builds the main tree into build/ (warnings as errors).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache
                                          -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKF_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
