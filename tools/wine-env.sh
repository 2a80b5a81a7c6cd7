# Sourced by every script that starts Wine. Picks the loader this host can
# run: Debian's wine scripts prefer the 32-bit loader whenever wine32 is
# installed, and on a host that cannot execute i386 code that loader fails
# with "Exec format error". There, Wine's 64-bit loader and server are called
# directly (through the shims in tools/wine64-bin), which run 64-bit Windows
# programs only.
#   SCX_HOST_RUNS_I386=1|0   the probe's answer, exported for child scripts

if [ -z "${SCX_HOST_RUNS_I386:-}" ]; then
    # Executing the 32-bit loader is the probe: a kernel setting may lie.
    if /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; then
        SCX_HOST_RUNS_I386=1
    else
        SCX_HOST_RUNS_I386=0
    fi
    export SCX_HOST_RUNS_I386
fi

if [ "$SCX_HOST_RUNS_I386" = 0 ]; then
    scx_shims="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-bin"
    case ":$PATH:" in
        *":$scx_shims:"*) ;;
        *) export PATH="$scx_shims:$PATH" ;;
    esac
    export WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
    unset scx_shims
fi
