#!/usr/bin/env bash
# Rewrites the golden files from what the code produces now, then shows the
# difference for review. Commit only differences you can explain.
# Every golden test reads VELMORA_UPDATE_GOLDENS, including the syntax trees
# of tests/data/script/il (tests scriptrun_il_*, through tests/script/il_golden.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
VELMORA_UPDATE_GOLDENS=1 ctest --test-dir "$build_dir" --output-on-failure -E '_de_DE$'
git --no-pager diff --stat -- tests/data
git --no-pager diff -- tests/data
