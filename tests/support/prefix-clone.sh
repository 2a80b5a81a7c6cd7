# Sourced by the host-side tests that work in a throwaway copy of the build's
# Wine prefix. Expects $build (the build folder) and $tools; sets up Wine's
# environment and the virtual display, makes the copy at $clone, points
# WINEPREFIX at it, and removes it (its server stopped first) on exit.
#   scx_clone NAME          the copy becomes $build/wine/NAME-<pid>
#   scx_clone_stop_server   ends the copy's wineserver and waits for it
#   scx_clone_on_exit CMD   also runs CMD before the copy goes

fail() { echo "FAIL: $*" >&2; exit 1; }

. "$tools/wine-env.sh"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export XDG_CACHE_HOME="$build/wine/cache" # fontconfig's; the rest is read-only
unset WINEARCH
if [ -s "$build/wine/display" ]; then
    export DISPLAY=":$(head -n1 "$build/wine/display")"
fi

scx_clone_stop_server() {
    WINEPREFIX="$clone" wineserver -k >/dev/null 2>&1 </dev/null || true
    WINEPREFIX="$clone" wineserver -w >/dev/null 2>&1 </dev/null || true
}

scx_clone_before_removal=:
scx_clone_on_exit() { scx_clone_before_removal=$1; }

scx_clone_cleanup() {
    if [ -n "${clone:-}" ] && [ -d "$clone" ]; then
        scx_clone_stop_server
        $scx_clone_before_removal
        rm -rf "$clone"
    fi
}

scx_clone() {
    clone="$build/wine/$1-$$"
    trap scx_clone_cleanup EXIT
    "$tools/wine-prefix.sh" "$build" clone "$clone" || fail "could not clone the prefix"
    export WINEPREFIX="$clone"
}
