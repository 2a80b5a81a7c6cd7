#!/usr/bin/env bash
# Host side of the restart tests: each scenario runs in a throwaway copy of
# the build's Wine prefix, which it restarts with wineboot -r (or lets the
# program restart), and deletes afterwards. The main test prefix's session is
# never restarted.
#   restart_e2e.sh BUILD_DIR TOOLS_DIR HELPER_EXE SCENARIO
# Scenarios:
#   removal-winxp         locked file handed to MoveFileExA; gone after wineboot -r
#   removal-win98         the same through wininit.ini
#   removal-exact-names   names path parsing would change ("held."), scheduled
#                         by their exact names; gone after wineboot -r, while
#                         "held" beside them stays
#   restart               RestartWindows restarts the copy's session by itself
#   restart-no-privilege  without the shutdown privilege: 1300 and no restart
set -uo pipefail

build=$(cd "$1" && pwd)
tools=$2
helper=$3
scenario=$4

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/prefix-clone.sh"
scx_clone "clone-$scenario"
case "$scenario" in
    removal-winxp) version=winxp; case_name=RestartE2e.DISABLED_ScheduleLockedFile ;;
    removal-win98) version=win98; case_name=RestartE2e.DISABLED_ScheduleLockedFile ;;
    removal-exact-names) version=win7; case_name=RestartE2e.DISABLED_ScheduleLockedExactNames ;;
    restart) version=winxp; case_name=RestartE2e.DISABLED_RestartAfterScheduling ;;
    restart-no-privilege) version=winxp; case_name=RestartE2e.DISABLED_RestartWithoutShutdownPrivilege ;;
    *) fail "unknown scenario $scenario" ;;
esac

dir="$clone/drive_c/scratch/e2e"
mkdir -p "$dir"
exe="scx_e2e_${scenario//-/_}.exe"
cp "$helper" "$dir/$exe"
locked="$dir/locked/vexmor sample.exe"
windows="$clone/drive_c/windows"

wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$version" /f >/dev/null 2>&1 </dev/null

out="$build/wine/e2e-$scenario-$$.out"
cd "$dir"
SCX_SCRATCH='C:\scratch\e2e' timeout 120 wine "C:\\scratch\\e2e\\$exe" \
    --gtest_also_run_disabled_tests --gtest_filter="$case_name" >"$out" 2>&1 </dev/null
rc=$?
output=$(cat "$out")
rm -f "$out"
echo "$output"

case "$scenario" in
removal-winxp|removal-win98)
    [ $rc -eq 0 ] || fail "the program failed (exit $rc)"
    scx_clone_stop_server
    [ -f "$locked" ] || fail "the file went before the restart"
    if [ "$scenario" = removal-win98 ]; then
        [ -f "$windows/wininit.ini" ] || fail "no wininit.ini written"
        echo "--- wininit.ini:"; cat -A "$windows/wininit.ini"
    fi
    wineboot -r >/dev/null 2>&1 </dev/null
    scx_clone_stop_server
    [ ! -e "$locked" ] || fail "the file is still there after the restart"
    if [ "$scenario" = removal-win98 ]; then
        [ ! -f "$windows/wininit.ini" ] || fail "wininit.ini was not carried out"
    fi
    ;;
removal-exact-names)
    [ $rc -eq 0 ] || fail "the program failed (exit $rc)"
    grep -q "scheduled=1" <<<"$output" || fail "nothing was scheduled"
    ! grep -q "scheduled=0" <<<"$output" || fail "a request was refused"
    scx_clone_stop_server
    echo "--- pending removals:"
    wine reg query "HKLM\\System\\CurrentControlSet\\Control\\Session Manager" \
        /v PendingFileRenameOperations 2>/dev/null </dev/null | tr -d '\r' || true
    scx_clone_stop_server
    wineboot -r >/dev/null 2>&1 </dev/null
    scx_clone_stop_server
    SCX_SCRATCH='C:\scratch\e2e' timeout 120 wine "C:\\scratch\\e2e\\$exe" \
        --gtest_also_run_disabled_tests --gtest_filter=RestartE2e.DISABLED_ExactNamesGoneDecoyKept >"$out" 2>&1 </dev/null
    after=$(cat "$out")
    rm -f "$out"
    echo "$after"
    grep -q "checked=1" <<<"$after" || fail "after the restart the exact names were not removed, or the decoy went"
    ;;
restart)
    # The restart ends the program itself; let the restart finish.
    grep -q "restarting=1" <<<"$output" || fail "the program did not get to the restart"
    ! grep -q "still running" <<<"$output" || fail "the program outlived the restart"
    wineserver -w >/dev/null 2>&1 </dev/null
    [ ! -e "$locked" ] || fail "the file is still there: the session did not restart"
    ;;
restart-no-privilege)
    [ $rc -eq 0 ] || fail "the program failed (exit $rc)"
    scx_clone_stop_server
    [ -f "$locked" ] || fail "the file is gone: the session restarted"
    ;;
esac
echo "PASS: $scenario"
