#!/bin/sh
# Makes the Debian package from this build, unpacks it into a scratch root
# and checks what it installs: the program (which runs), its manual page and
# the library it needs named as a dependency.
#   package_test.sh BUILD_DIR
set -eu
build=$1
scratch=$build/tests/scratch/package
rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$build" && cpack -G DEB -B "$scratch/out" --config CPackConfig.cmake >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/out/scourix-rescue_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Package | grep -qx scourix-rescue
dpkg-deb -f "$deb" Depends | grep -q libhivex0 || { echo "no libhivex0 dependency" >&2; exit 1; }
# A scratch root as dpkg would fill it.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
test -x "$root/usr/bin/scourix-rescue"
test -s "$root/usr/share/man/man1/scourix-rescue.1"
"$root/usr/bin/scourix-rescue" --version | grep -qx "scourix-rescue 1.0.0"
if command -v man >/dev/null; then
    warnings=$(man --warnings -l "$root/usr/share/man/man1/scourix-rescue.1" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || { echo "man page warnings: $warnings" >&2; exit 1; }
fi
# The installed program scans: an empty folder gives code 0.
mkdir -p "$scratch/empty"
"$root/usr/bin/scourix-rescue" "$scratch/empty" >/dev/null
echo "installed and runs"
