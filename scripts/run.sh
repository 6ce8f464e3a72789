#!/usr/bin/env bash
# Builds the program and runs it. Until the typesetting application lands the
# program is the set of command-line tools in tools/:
#   scripts/run.sh                     list the tools
#   scripts/run.sh <tool> [arguments]  run one of them
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
build_dir=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" >/dev/null
if [[ $# -eq 0 ]]; then
  echo "Tools in $build_dir/tools:"
  find "$build_dir/tools" -maxdepth 1 -type f -executable -printf '  %f\n' | sort
  echo "Run one with: scripts/run.sh <tool> --help"
  exit 0
fi
tool=$1
shift
exec "$build_dir/tools/$tool" "$@"
