#!/usr/bin/env bash
# Runs a command in a private mount namespace where the whole file system is
# read-only except the build folder and the scratch places Wine and the
# virtual display need (/tmp, /dev/shm, /var/lib/xkb). The tests delete files
# and registry values: whatever a test or the program does wrong, nothing
# outside the build folder can change. Nested calls run the command as is.
# Where i386 code is emulated (tools/wine-env.sh), the namespace is also a
# private user namespace whose own binfmt_misc hands i386 programs to qemu;
# the host's binfmt_misc is never touched.
#   tools/contain.sh BUILD_DIR COMMAND [ARG...]
set -euo pipefail
mkdir -p "$1"
build=$(cd "$1" && pwd); shift
if [ "${SCX_CONTAINED:-}" = "$build" ]; then
    exec "$@"
fi
. "$(dirname "$0")/wine-env.sh"
export SCX_CONTAINED="$build"
if [ "$SCX_I386_MODE" = emulated ]; then
    enter=(unshare --user --map-root-user --mount --propagation private --fork --)
    emulate="$(declare -f scx_register_i386_emulation)
scx_register_i386_emulation || { echo \"contain: could not register the i386 emulation\" >&2; exit 97; }"
else
    enter=(unshare -m --propagation private --)
    emulate=""
fi
export SCX_CONTAIN_EMULATE="$emulate"
exec "${enter[@]}" bash -c '
set -e
build=$1; shift
eval "$SCX_CONTAIN_EMULATE"
unset SCX_CONTAIN_EMULATE
for keep in "$build" /tmp /dev/shm /var/lib/xkb; do
    [ -d "$keep" ] && mount --bind "$keep" "$keep"
done
mount -o remount,bind,ro /
# Proof before anything runs: the build folder is writable, the rest is not.
probe="$build/.scx-contain-probe"
touch "$probe" && rm -f "$probe" || { echo "contain: build folder not writable" >&2; exit 97; }
if touch /.scx-contain-probe 2>/dev/null; then
    rm -f /.scx-contain-probe
    echo "contain: the file system is still writable" >&2; exit 97
fi
exec "$@"
' contain "$build" "$@"
