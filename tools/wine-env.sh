# Sourced by every script that starts Wine. Answers "can this host run i386
# code?" and picks the loader to match:
#   native    the 32-bit loader runs as it is.
#   emulated  the kernel cannot execute i386 code, but qemu-user can: inside a
#             private user namespace with a binfmt_misc instance of its own
#             (tools/contain.sh sets it up; the host's binfmt_misc stays as
#             it is), i386 ELF programs run under qemu-i386-static. About a
#             minute per 32-bit Windows process.
#   none      neither: 32-bit Windows programs cannot start here.
# Debian's wine scripts prefer the 32-bit loader whenever wine32 is installed;
# unless it runs natively, Wine's 64-bit loader and server are called
# directly (through the shims in tools/wine64-bin), and the 64-bit loader
# hands 32-bit programs to the emulated 32-bit one.
#   SCX_I386_MODE=native|emulated|none   the probe's answer (set it beforehand
#                                        to force one, e.g. none to skip the
#                                        emulated set)
#   SCX_HOST_RUNS_I386=1|0               1 where 32-bit Windows programs can
#                                        start where the tests run (contained)
#   SCX_I386_WHY                         why, in a few words
#   SCX_QEMU_I386                        the emulator (qemu-user-static's)

: "${SCX_QEMU_I386:=/usr/bin/qemu-i386-static}"
export SCX_QEMU_I386

# Registers qemu for i386 ELF executables in this user namespace's own
# binfmt_misc instance (kernels since 6.7 give each user namespace one). The
# F flag opens the emulator now, so it runs whatever the mounts later hide.
scx_register_i386_emulation() {
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || return 1
    [ -e /proc/sys/fs/binfmt_misc/scx-i386 ] && return 0
    printf '%s' ':scx-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$SCX_QEMU_I386"':F' \
        >/proc/sys/fs/binfmt_misc/register
}

if [ -z "${SCX_I386_MODE:-}" ] && [ "${SCX_HOST_RUNS_I386:-}" = 0 ]; then
    SCX_I386_MODE=none
    SCX_I386_WHY="SCX_HOST_RUNS_I386=0 was given"
fi
if [ -z "${SCX_I386_MODE:-}" ]; then
    # Executing the 32-bit loader is the probe: a kernel setting may lie.
    if /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; then
        SCX_I386_MODE=native
        SCX_I386_WHY="this host executes i386 code"
    elif [ -x "$SCX_QEMU_I386" ] &&
        unshare --user --map-root-user --mount --fork bash -c \
            "$(declare -f scx_register_i386_emulation); scx_register_i386_emulation &&
             /usr/lib/wine/wine --version" >/dev/null 2>&1 </dev/null; then
        SCX_I386_MODE=emulated
        SCX_I386_WHY="this host cannot execute i386 code; qemu-i386 emulates it in a private user namespace"
    else
        SCX_I386_MODE=none
        if [ ! -x "$SCX_QEMU_I386" ]; then
            SCX_I386_WHY="this host cannot execute i386 code and $SCX_QEMU_I386 is missing"
        else
            SCX_I386_WHY="this host cannot execute i386 code, and no user namespace with its own binfmt_misc could be made to emulate it"
        fi
    fi
fi
case "$SCX_I386_MODE" in
    native | emulated) SCX_HOST_RUNS_I386=1 ;;
    none) SCX_HOST_RUNS_I386=0 ;;
    *) echo "wine-env: SCX_I386_MODE must be native, emulated or none (not $SCX_I386_MODE)" >&2; return 2 ;;
esac
: "${SCX_I386_WHY:=set by the caller}"
export SCX_I386_MODE SCX_HOST_RUNS_I386 SCX_I386_WHY

if [ "$SCX_I386_MODE" != native ]; then
    scx_shims="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-bin"
    case ":$PATH:" in
        *":$scx_shims:"*) ;;
        *) export PATH="$scx_shims:$PATH" ;;
    esac
    export WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
    unset scx_shims
fi
