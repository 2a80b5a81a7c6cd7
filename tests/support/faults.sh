#!/usr/bin/env bash
# Host side of the fault tests: each scenario runs in a throwaway copy of the
# build's Wine prefix, with Wine holding no Unix privilege at all (the tests
# otherwise run as root, which no file permission binds), and its mounts in a
# private mount namespace. Nothing outside the copy changes, and the copy is
# deleted afterwards.
#   faults.sh BUILD_DIR TOOLS_DIR HELPER_EXE SCENARIO
# Scenarios:
#   walk          unreadable folders and file, a read-only drive
#   registry      auto-start keys without access
#   process-nt    a running sample that cannot be opened, as Windows XP
#   process-9x    the same as Windows 98
#   disk-full     removal at restart as Windows 98, with the Windows folder
#                 on an overlay whose small upper layer is full
set -uo pipefail

build=$(cd "$1" && pwd)
tools=$2
helper=$3
scenario=$4

here=$(cd "$(dirname "$0")" && pwd)
. "$here/prefix-clone.sh"
# Unix permissions taken away by a scenario must not stop the removal.
unlock_faults() { chmod -R u+rwX "$clone/drive_c/faults" 2>/dev/null || true; }
scx_clone_on_exit unlock_faults
scx_clone "faults-$scenario"

case "$scenario" in
    walk) version=""; filter='FaultsWalk.DISABLED_UnreadableFolders*:FaultsWalk.DISABLED_ReadOnlyDrive*' ;;
    registry) version=winxp; filter='FaultsRegistry.DISABLED_*' ;;
    process-nt) version=winxp; filter='FaultsProcess.DISABLED_*' ;;
    process-9x) version=win98; filter='FaultsProcess.DISABLED_*' ;;
    disk-full) version=win98; filter='FaultsDisk.DISABLED_*' ;;
    *) fail "unknown scenario $scenario" ;;
esac

scratch="$clone/drive_c/scratch/faults"
mkdir -p "$scratch"
exe="scx_faults_${scenario//-/_}.exe"
cp "$helper" "$scratch/$exe"
cd "$scratch" # a working folder Wine can reach
export SCX_SCRATCH='C:\scratch\faults'
export SCX_SCRATCH_UNIX="$scratch"
run_helper() { # gtest filter
    timeout 240 wine "C:\\scratch\\faults\\$exe" --gtest_also_run_disabled_tests --gtest_filter="$1" </dev/null
}
if [ -n "$version" ]; then
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$version" /f >/dev/null 2>&1 </dev/null
fi

faults="$clone/drive_c/faults"
ro_source="$clone/faults-ro-source"
ro_drive="$clone/faults-ro-drive"
# What the walk could not reach, and must leave unchanged.
protected_files() {
    (cd "$clone" && find drive_c/faults/tree/{b,d,e/vex-e.exe} faults-ro-source -type f -print0 | sort -z |
        xargs -0 -r sha256sum)
}

if [ "$scenario" = walk ]; then
    out=$(run_helper 'FaultsWalk.DISABLED_WriteFixtures' 2>&1) || { echo "$out"; fail "could not write the fixtures"; }
    scx_clone_stop_server
    mv "$faults/ro" "$ro_source"
    mkdir -p "$ro_drive"
    chmod 000 "$faults/tree/b"
    chmod 311 "$faults/tree/d"
    chmod 000 "$faults/tree/e/vex-e.exe"
    protected_files >"$clone/before" # read while still privileged
fi

scx_clone_stop_server # it started with every privilege

# What the scenario's private mount namespace holds, made while still
# privileged; it goes when the namespace ends.
setup=""
case "$scenario" in
walk)
    setup='mount --bind "$RO_SOURCE" "$RO_DRIVE" && mount -o remount,bind,ro "$RO_DRIVE"' ;;
disk-full)
    printf '[rename]\r\nNUL=C:\\OLD\\GONE.EXE\r\n[other]\r\nkey=value\r\n' >"$clone/drive_c/windows/wininit.ini"
    mkdir -p "$clone/faults-upper"
    # Writes to the Windows folder land in a 256 KB layer, filled to the brim.
    setup='mount -t tmpfs -o size=256k scx-full "$UPPER" && mkdir "$UPPER/u" "$UPPER/w" &&
        mount -t overlay scx-full -o "lowerdir=$WINDOWS,upperdir=$UPPER/u,workdir=$UPPER/w" "$WINDOWS" &&
        { head -c 1M /dev/zero >"$UPPER/fill" 2>/dev/null; [ "$(df --output=avail "$UPPER" | tail -1)" -eq 0 ]; }' ;;
esac

# The run itself: the namespace's mounts, then every capability dropped for
# good, for Wine's server as for the program.
unprivileged=$(cat <<'EOF'
set -u
eval "$SETUP" || exit 97
setpriv --bounding-set=-all --inh-caps=-all --ambient-caps=-all -- bash -c '
    grep -q "^CapEff:[[:space:]]*0*$" /proc/self/status || exit 98
    env "$@"; rc=$?
    wineserver -k >/dev/null 2>&1 </dev/null; wineserver -w >/dev/null 2>&1 </dev/null
    exit $rc' run-helper "$@"
EOF
)
out="$build/wine/faults-$scenario-$$.out"
namespace=()
[ -z "$setup" ] || namespace=(unshare -m --propagation private)
SETUP="$setup" RO_SOURCE="$ro_source" RO_DRIVE="$ro_drive" UPPER="$clone/faults-upper" \
    WINDOWS="$clone/drive_c/windows" "${namespace[@]}" bash -c "$unprivileged" faults \
    SCX_FAULTS_RO_DRIVE="$ro_drive" timeout 240 wine "C:\\scratch\\faults\\$exe" --gtest_also_run_disabled_tests \
    --gtest_filter="$filter" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
[ $rc -ne 97 ] || fail "could not make the mounts of the scenario"
[ $rc -ne 98 ] || fail "capabilities were not dropped"
[ $rc -eq 0 ] || fail "the program's checks failed (exit $rc)"

if [ "$scenario" = walk ]; then
    chmod -R u+rwX "$faults"
    protected_files >"$clone/after"
    diff "$clone/before" "$clone/after" || fail "files the program could not reach changed"
    [ "$(wc -l <"$clone/before")" -eq 7 ] || fail "expected 7 protected files, saw $(wc -l <"$clone/before")"
fi
echo "PASS: $scenario"
