#!/usr/bin/env bash
# Configures and builds the main tree into build/ (warnings as errors).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKF_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
