#!/usr/bin/env bash
# Builds and runs the walk benchmark under Wine in the project's prefix, with a
# virtual display for the report window, contained like the tests: nothing
# outside the build folder can change.
#   bench/run-walk-bench.sh [files] [seed]     (defaults: 50000 1)
#   SCX_BENCH_PRESET=default|x64               the build to measure; default: the
#                                              32-bit build where this host runs
#                                              i386 code, else the 64-bit one
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/wine-env.sh
if [ -z "${SCX_BENCH_PRESET:-}" ]; then
    if [ "$SCX_I386_MODE" = native ]; then SCX_BENCH_PRESET=default; else SCX_BENCH_PRESET=x64; fi
fi
case "$SCX_BENCH_PRESET" in
    default) build=$PWD/build ;;
    x64) build=$PWD/build/x64 ;;
    *) echo "run-walk-bench: SCX_BENCH_PRESET must be default or x64" >&2; exit 2 ;;
esac
cmake --preset "$SCX_BENCH_PRESET" >/dev/null
nice cmake --build --preset "$SCX_BENCH_PRESET" --target walk_bench
echo "build: $SCX_BENCH_PRESET ($build)"
exec tools/contain.sh "$build" bash -c '
build=$1; shift
tools/wine-prefix.sh "$build" setup
trap "tools/wine-prefix.sh \"$build\" teardown" EXIT
tools/wine-run.sh "$build/bench/walk_bench.exe" "$@"
' bench "$build" "${1:-50000}" "${2:-1}"
