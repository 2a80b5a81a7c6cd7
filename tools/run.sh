#!/usr/bin/env bash
# Builds scourix.exe and runs it under Wine in the project's own prefix
# (build/wine/prefix, with no drive leading to the host's files). On a host
# that cannot execute 32-bit code it builds and runs the 64-bit scourix64.exe
# instead (build/x64, prefix build/x64/wine/prefix). Nothing outside the build
# folder is writable for the program (tools/contain.sh).
#
#   bash tools/run.sh             with a display: the window opens and you use it
#                                 without one: a scripted run on a virtual display
#                                 presses SCAN, answers every question No, prints
#                                 the result lines and the final status, and saves
#                                 screenshots under build/screenshots/
#   bash tools/run.sh --plant     first plant harmless fixture samples (an infected
#                                 file, a read-only hidden one, a running infected
#                                 process and a Run value that launches it)
#   bash tools/run.sh --headless  the scripted run even when a display is there
set -euo pipefail
cd "$(dirname "$0")/.."

plant=0
headless=0
for arg in "$@"; do
    case "$arg" in
    --plant) plant=1 ;;
    --headless) headless=1 ;;
    -h | --help)
        sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "run.sh: unknown option $arg (try --help)" >&2
        exit 2
        ;;
    esac
done
[ -n "${DISPLAY:-}" ] || headless=1

bash tools/setup-deps.sh
. tools/wine-env.sh
# Emulated, the 32-bit program would take a minute for every start.
if [ "$SCX_I386_MODE" = native ]; then
    preset=default run_build=$PWD/build program=scourix.exe
else
    preset=x64 run_build=$PWD/build/x64 program=scourix64.exe
    echo "This host does not execute 32-bit code itself: running the 64-bit $program."
fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset --target scourix scx_run_driver scx_plant_samples
mkdir -p build/screenshots
export run_build program plant headless
exec tools/contain.sh build bash -c '
set -euo pipefail
build=$run_build
tools/wine-prefix.sh "$build" setup
trap "tools/wine-prefix.sh \"$build\" teardown" EXIT

if [ "$plant" -eq 1 ]; then
    tools/wine-run.sh "$build/tests/scx_plant_samples.exe"
fi

if [ "$headless" -eq 0 ]; then
    export SCX_HOST_DISPLAY=1
    tools/wine-run.sh "$build/app/$program"
    exit 0
fi

# The program has to live on C: to be reachable from inside the prefix.
run="$build/wine/prefix/drive_c/scratch/run"
rm -rf "$run"
mkdir -p "$run"
cp "$build/app/$program" "$run/$program"
echo
echo "No display: running $program on a virtual display and pressing SCAN."
echo "It walks every file of the prefix'"'"'s C: drive; this takes a little while."
echo
status=0
tools/wine-run.sh "$build/tests/scx_run_driver.exe" "C:\\scratch\\run\\$program" "C:\\scratch\\run" || status=$?

for shot in idle scanning finished; do
    if [ -f "$run/$shot.bmp" ]; then
        convert "$run/$shot.bmp" "build/screenshots/$shot.png"
    fi
done
rm -rf "$run"
if [ -f build/screenshots/finished.png ]; then
    echo
    echo "Screenshot of the finished window: build/screenshots/finished.png"
fi
exit "$status"
'
