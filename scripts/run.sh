#!/usr/bin/env bash
# Builds the program and runs it.
#   scripts/run.sh                      the velmora window
#   scripts/run.sh [velmora options]    velmora without a window (--help lists them)
#   scripts/run.sh --tool              list the command-line tools in tools/
#   scripts/run.sh --tool NAME [args]   run one of them
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
build_dir=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" >/dev/null
if [[ "${1:-}" == "--tool" ]]; then
  shift
  if [[ $# -eq 0 ]]; then
    echo "Tools in $build_dir/tools:"
    find "$build_dir/tools" -maxdepth 1 -type f -executable -printf '  %f\n' | sort
    echo "Run one with: scripts/run.sh --tool <tool> --help"
    exit 0
  fi
  tool=$1
  shift
  exec "$build_dir/tools/$tool" "$@"
fi
exec "$build_dir/app/velmora" "$@"
