#!/usr/bin/env bash
# Installs what is missing, builds everything and runs all tests.
#   scripts/test.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" "$@"
