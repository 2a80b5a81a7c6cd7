#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Scourix.
# Idempotent: packages already present are left alone. Runs as root without a terminal.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
else
    updated=1
fi

for p in cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 mingw-w64-i686-dev \
         binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 \
         mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 \
         wine wine32:i386 wine64 xvfb xauth googletest imagemagick python3 file clang libclang-rt-14-dev \
         osslsigncode openssl ccache g++ pkg-config libhivex-dev nlohmann-json3-dev dpkg-dev \
         qemu-user-static; do
    have "$p" || need+=("$p")
done
[ "$updated" -eq 1 ] || need+=()

if [ "${#need[@]}" -gt 0 ] || [ "$updated" -eq 0 ]; then
    $SUDO apt-get update -qq
fi
if [ "${#need[@]}" -gt 0 ]; then
    echo "installing: ${need[*]}"
    $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" </dev/null
fi
