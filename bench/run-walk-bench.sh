#!/usr/bin/env bash
# Builds the shipped GUI program and the benchmark driver, and measures the
# program's scan against a bare walk of the same drive under Wine in the
# project's prefix, on a virtual display, contained like the tests: nothing
# outside the build folder can change.
#   bench/run-walk-bench.sh [files] [seed]     (defaults: 50000 1)
#   SCX_BENCH_PRESET=default|x64               one build only; default: the
#                                              64-bit scourix64.exe, and the
#                                              32-bit scourix.exe as well where
#                                              this host runs i386 code natively
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/wine-env.sh
presets=${SCX_BENCH_PRESET:-}
if [ -z "$presets" ]; then
    presets=x64
    if [ "$SCX_HOST_RUNS_I386" = 1 ] && [ "${SCX_I386_MODE:-native}" != emulated ]; then
        presets="default x64"
    fi
fi
status=0
for preset in $presets; do
    case "$preset" in
        default) build=$PWD/build program=scourix.exe ;;
        x64) build=$PWD/build/x64 program=scourix64.exe ;;
        *) echo "run-walk-bench: SCX_BENCH_PRESET must be default or x64" >&2; exit 2 ;;
    esac
    cmake --preset "$preset" >/dev/null
    nice cmake --build --preset "$preset" --target walk_bench scourix
    echo "build: $preset ($build), program: $program"
    tools/contain.sh "$build" bash -c '
    build=$1 program=$2; shift 2
    tools/wine-prefix.sh "$build" setup
    trap "tools/wine-prefix.sh \"$build\" teardown" EXIT
    # The program must live on C: to be reachable inside the prefix.
    app="$build/wine/prefix/drive_c/scratch/bench-app"
    mkdir -p "$app"
    cp "$build/app/$program" "$app/$program"
    tools/wine-run.sh "$build/bench/walk_bench.exe" "C:\\scratch\\bench-app\\$program" "$@"
    ' bench "$build" "$program" "${1:-50000}" "${2:-1}" || status=$?
done
exit $status
