#!/usr/bin/env bash
# Host side of the 32-bit set's restart case: in a throwaway copy of the
# build's prefix, the 32-bit program as Windows 98 schedules a locked sample
# through wininit.ini (the test program's case checks the section); then the
# copy restarts and the file must be gone. The main prefix is never restarted.
#   i386_restart.sh BUILD_DIR TOOLS_DIR TEST_EXE PROGRAM_32 GTEST_FILTER
set -uo pipefail

build=$(cd "$1" && pwd)
tools=$2
test_exe=$3
program=$4
filter=$5

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/prefix-clone.sh"
if [ "$SCX_HOST_RUNS_I386" = 0 ]; then
    echo "SKIPPED: $SCX_I386_WHY"
    exit 77
fi
[ -f "$program" ] || { echo "SKIPPED: the 32-bit program was not built before this suite ($program)"; exit 77; }
scx_clone i386-restart

dir="$clone/drive_c/scratch/i386"
mkdir -p "$dir/under-test"
cp "$test_exe" "$dir/scx_i386_restart.exe"
cp "$program" "$dir/under-test/scourix.exe"
locked="$clone/drive_c/scx-restart/vexmor sample.exe"
windows="$clone/drive_c/windows"

cd "$dir"
SCX_SCRATCH='C:\scratch\i386' SCX_SCRATCH_UNIX="$dir" SCX_UNDER_TEST_BITS=32 \
    SCX_SCOURIX_EXE='C:\scratch\i386\under-test\scourix.exe' \
    timeout 1500 wine 'C:\scratch\i386\scx_i386_restart.exe' \
    --gtest_also_run_disabled_tests --gtest_filter="$filter" </dev/null
rc=$?
[ $rc -eq 0 ] || fail "the case failed (exit $rc)"
scx_clone_stop_server
[ -f "$locked" ] || fail "the file went before the restart"
wineboot -r >/dev/null 2>&1 </dev/null
scx_clone_stop_server
[ ! -e "$locked" ] || fail "the file is still there after the restart"
[ ! -f "$windows/wininit.ini" ] || fail "wininit.ini was not carried out"
echo "PASS: named in wininit.ini, gone after the restart"
