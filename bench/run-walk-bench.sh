#!/usr/bin/env bash
# Builds and runs the walk benchmark under Wine in the project's prefix, with a
# virtual display for the report window.
#   bench/run-walk-bench.sh [files] [seed]     (defaults: 50000 1)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build --target walk_bench -j2
build=$PWD/build
tools/wine-prefix.sh "$build" setup
trap 'tools/wine-prefix.sh "$build" teardown' EXIT
tools/wine-run.sh "$build/bench/walk_bench.exe" "${1:-50000}" "${2:-1}"
