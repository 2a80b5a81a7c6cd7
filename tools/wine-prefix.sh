#!/usr/bin/env bash
# The project's own Wine prefix, kept under the build folder.
#   wine-prefix.sh BUILD_DIR setup      create the prefix once, make it safe, start
#                                       wineserver -p and a virtual display
#   wine-prefix.sh BUILD_DIR teardown   stop both
#   wine-prefix.sh BUILD_DIR sanitize   only make the prefix safe again
#   wine-prefix.sh BUILD_DIR clone DIR  a throwaway copy of the prefix (hard links,
#                                       files Wine rewrites in place copied for real)
# Never touches ~/.wine: every command runs with WINEPREFIX set to the build folder.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"

build=$(cd "$1" && pwd)
cmd=$2
state="$build/wine"
export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Fontconfig's cache: everything outside the build folder is read-only.
export XDG_CACHE_HOME="$state/cache"
unset WINEARCH

mkdir -p "$state" "$XDG_CACHE_HOME"

# Scanning walks every fixed drive; the prefix must not reach the host.
sanitize() {
    local p=$1 link target
    for link in "$p"/dosdevices/[a-z]: "$p"/dosdevices/[a-z]::; do
        [ -L "$link" ] || continue
        target=$(readlink -f "$link" || true)
        case "$target" in
            "$p"/*) ;;                       # inside the prefix: keep
            *) rm -f "$link" ;;              # z: -> /, cd-rom and the like
        esac
    done
    for link in "$p"/drive_c/users/*/* "$p"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Templates; do
        [ -L "$link" ] || continue
        rm -f "$link"
        mkdir -p "$link"
    done
}

start_display() {
    if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
        return
    fi
    rm -f "$state/display"
    # -displayfd picks a free display and reports it once the server is ready.
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$state/display" </dev/null >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 1 100); do
        [ -s "$state/display" ] && break
        sleep 0.1
    done
    [ -s "$state/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
}

case "$cmd" in
setup)
    # Where 32-bit programs can start, the prefix needs its 32-bit side
    # (syswow64), which only a boot that can run the 32-bit loader makes; a
    # prefix made without it is made again.
    if [ -f "$WINEPREFIX/.scourix-ready" ] && [ "$SCX_HOST_RUNS_I386" = 1 ] &&
        [ ! -f "$WINEPREFIX/.scourix-i386" ]; then
        echo "the Wine prefix in $WINEPREFIX has no 32-bit side: making it again"
        rm -f "$WINEPREFIX/.scourix-ready"
    fi
    if [ ! -f "$WINEPREFIX/.scourix-ready" ]; then
        wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
        if [ "$SCX_I386_MODE" = emulated ]; then
            echo "creating Wine prefix in $WINEPREFIX (once per build folder; its 32-bit side is emulated: about 5 minutes)"
        else
            echo "creating Wine prefix in $WINEPREFIX (once per build folder)"
        fi
        wineboot --init </dev/null >/dev/null 2>&1
        wineserver -w
        if [ "$SCX_I386_MODE" = emulated ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
            echo "the new prefix has no 32-bit side: the emulated 32-bit loader did not run" >&2
            exit 1
        fi
        [ "$SCX_HOST_RUNS_I386" = 0 ] || touch "$WINEPREFIX/.scourix-i386"
        sanitize "$WINEPREFIX"
        # There is no window manager on the virtual display; unmanaged windows
        # close at once instead of waiting for one.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.scourix-ready"
    fi
    sanitize "$WINEPREFIX"
    rm -rf "$WINEPREFIX/drive_c/scratch"
    mkdir -p "$WINEPREFIX/drive_c/scratch"
    start_display
    # A persistent server saves seconds on every test process.
    setsid wineserver -p </dev/null >/dev/null 2>&1 || true
    # Start Wine's services now, detached from any test's output.
    setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    ;;
teardown)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid" "$state/display"
    fi
    ;;
sanitize)
    sanitize "$WINEPREFIX"
    ;;
clone)
    dest=$3
    [ -f "$WINEPREFIX/.scourix-ready" ] || { echo "no prefix yet" >&2; exit 1; }
    # The persistent server keeps running: the copy is taken while it does,
    # which is fine since Wine writes its registry files by replacing them.
    rm -rf "$dest"
    cp -al "$WINEPREFIX" "$dest"
    # Wine rewrites these in place; a hard link would change the original.
    for f in "$dest"/*.reg "$dest"/drive_c/windows/*.ini \
             "$dest"/drive_c/windows/system32/drivers/etc/* \
             "$dest"/drive_c/windows/syswow64/drivers/etc/*; do
        [ -f "$f" ] || continue
        cp "$f" "$f.tmp" && mv -f "$f.tmp" "$f"
    done
    rm -rf "$dest/drive_c/scratch"; mkdir -p "$dest/drive_c/scratch"
    sanitize "$dest"
    ;;
*)
    echo "usage: $0 BUILD_DIR setup|teardown|sanitize|clone DIR" >&2
    exit 2
    ;;
esac
