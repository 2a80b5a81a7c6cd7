#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's own prefix (the build
# folder's wine/prefix). ctest uses this as the cross-compiling emulator.
#   SCX_WINVER=win98|winme|nt40|win2k|winxp|win7|win10  run as that Windows version
#   SCX_KEEP_SCRATCH=1                                   keep the scratch folder
# Each run gets a fresh scratch folder on C:, named in SCX_SCRATCH (Windows path)
# and SCX_SCRATCH_UNIX, removed afterwards.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"

exe=$1; shift
exe=$(readlink -f "$exe")

# The build folder is the nearest parent holding CMakeCache.txt.
build=${SCX_BUILD_DIR:-}
if [ -z "$build" ]; then
    d=$(dirname "$exe")
    while [ "$d" != "/" ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
    [ -f "$d/CMakeCache.txt" ] || { echo "wine-run: no build folder above $exe" >&2; exit 1; }
    build=$d
fi
state="$build/wine"
export WINEPREFIX="$state/prefix"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Fontconfig's cache: everything outside the build folder is read-only.
export XDG_CACHE_HOME="$state/cache"
mkdir -p "$XDG_CACHE_HOME"
unset WINEARCH

if [ ! -f "$WINEPREFIX/.scourix-ready" ]; then
    echo "wine-run: prefix not set up; run: tools/wine-prefix.sh $build setup" >&2
    exit 1
fi
# Refuse to run with any drive that leads outside the prefix.
for link in "$WINEPREFIX"/dosdevices/[a-z]: "$WINEPREFIX"/dosdevices/[a-z]::; do
    [ -L "$link" ] || continue
    case "$(readlink -f "$link")" in
        "$WINEPREFIX"/*) ;;
        *) echo "wine-run: $link leads outside the prefix; refusing" >&2; exit 1 ;;
    esac
done
if [ -z "${SCX_HOST_DISPLAY:-}" ] && [ -s "$state/display" ]; then
    export DISPLAY=":$(head -n1 "$state/display")"
fi

name=$(basename "$exe" .exe)
scratch_name="$name.$$.$RANDOM"
scratch="$WINEPREFIX/drive_c/scratch/$scratch_name"
mkdir -p "$scratch"
export SCX_SCRATCH="C:\\scratch\\$scratch_name"
export SCX_SCRATCH_UNIX="$scratch"

# With no drive leading to the host, the program must live on C: to be
# reachable by its own path; it runs from the scratch folder.
if [ -n "${SCX_WINVER:-}" ]; then
    # Wine's per-program version setting is keyed by the file name, so each
    # version runs its own copy and parallel tests cannot disturb each other.
    run="$scratch/$name-$SCX_WINVER-$$.exe"
else
    run="$scratch/$name.exe"
fi
cp "$exe" "$run"
if [ -n "${SCX_WINVER:-}" ]; then
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$run")" \
        /v Version /d "$SCX_WINVER" /f >/dev/null 2>&1 </dev/null
fi

# Wine's own background processes (services, devices) may start with this run
# and outlive it; they must not inherit our standard output, or whoever reads
# it (ctest) would wait for them. So the program writes to a file first.
out="$state/out.$$.$RANDOM"
wine "$run" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"

if [ -n "${SCX_WINVER:-}" ]; then
    wine reg delete "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$run")" /f >/dev/null 2>&1 </dev/null
fi
[ -n "${SCX_KEEP_SCRATCH:-}" ] || rm -rf "$scratch"
exit $rc
