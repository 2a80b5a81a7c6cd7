#!/usr/bin/env bash
# Builds the release package: dist/ with both pairs of programs (scourix.exe,
# scourix-cli.exe, scourix64.exe, scourix-cli64.exe), the Linux rescue
# scanner's Debian package (scourix-rescue_VERSION_amd64.deb), the README and
# SHA256SUMS. The programs are linked with the runtime's win32 thread model
# (imports the oldest supported Windows exports) and built without time
# stamps, debug information or build paths, so two builds of one commit give
# the same bytes.
#   bash tools/release.sh            build dist/
#   bash tools/release.sh --verify   build twice, in two folders, and compare
#   --sign CERT.pfx [--timestamp URL]   also sign the programs (tools/sign-release.sh;
#                                       password in SCX_SIGN_PASSWORD); with --verify
#                                       the signature's round trip is checked too
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
cd "$src"

# Any tool that would stamp a date takes the commit's.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C

# Each pair's build folder (below the folder given) and its programs.
programs=(32/app/scourix.exe 32/cli/scourix-cli.exe 64/app/scourix64.exe 64/cli/scourix-cli64.exe)

verify=0
sign_cert=""
sign_options=()
while [ $# -gt 0 ]; do
    case "$1" in
        --verify) verify=1; shift ;;
        --sign) [ $# -ge 2 ] || { echo "--sign needs a .pfx file" >&2; exit 2; }
                sign_cert=$(readlink -f "$2"); shift 2 ;;
        --timestamp) [ $# -ge 2 ] || { echo "--timestamp needs a URL" >&2; exit 2; }
                     sign_options+=(--timestamp "$2"); shift 2 ;;
        *) echo "usage: $0 [--verify] [--sign CERT.pfx [--timestamp URL]]" >&2; exit 2 ;;
    esac
done
[ -n "$sign_cert" ] || [ ${#sign_options[@]} -eq 0 ] || { echo "--timestamp goes with --sign" >&2; exit 2; }

# build_into FOLDER: a release build of both pairs in FOLDER/32 and FOLDER/64.
build_into() {
    build_pair "$1/32" mingw-i686-win32.cmake
    build_pair "$1/64" mingw-x86_64-win32.cmake
}

# build_pair FOLDER TOOLCHAIN: one pair, linked with the win32 runtime.
build_pair() {
    local out=$1
    cmake -S "$src" -B "$out" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$src/cmake/$2" \
        -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF \
        "-DCMAKE_C_FLAGS=-ffile-prefix-map=$src=. -ffile-prefix-map=$out=." \
        "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$src=. -ffile-prefix-map=$out=." \
        "-DCMAKE_EXE_LINKER_FLAGS=-static -static-libgcc -static-libstdc++ -s" >/dev/null
    cmake --build "$out" -j2 --target scourix scourix-cli >/dev/null
}

# build_rescue_deb FOLDER: the Linux rescue scanner's Debian package, built
# natively, in FOLDER/rescue/package.
build_rescue_deb() {
    local out=$1/rescue
    cmake -S "$src/rescue" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DCMAKE_CXX_COMPILER=g++ "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$src=. -ffile-prefix-map=$out=." >/dev/null
    cmake --build "$out" -j2 --target scourix-rescue >/dev/null
    (cd "$out" && cpack -G DEB -B "$out/package" >/dev/null)
}

if [ "$verify" = 1 ]; then
    a=$src/build-release-a
    b=$src/build-release-b
    rm -rf "$a" "$b"
    build_into "$a"
    build_into "$b"
    status=0
    for p in "${programs[@]}"; do
        if cmp -s "$a/$p" "$b/$p"; then
            echo "same bytes: $p ($(sha256sum <"$a/$p" | cut -c1-16)...)"
        else
            echo "DIFFERENT: $p" >&2
            status=1
        fi
    done
    if [ -n "$sign_cert" ] && [ "$status" = 0 ]; then
        # Signed copies; sign-release.sh checks that removing the signature
        # gives back these unsigned bytes.
        mkdir -p "$a/signed"
        for p in "${programs[@]}"; do cp "$a/$p" "$a/signed/"; done
        bash "$src/tools/sign-release.sh" "$a/signed" "$sign_cert" "${sign_options[@]}" || status=1
    fi
    rm -rf "$a" "$b"
    exit $status
fi

out=$src/build-release
build_into "$out"
rm -rf "$src/dist"
mkdir -p "$src/dist"
for p in "${programs[@]}"; do
    cp "$out/$p" "$src/dist/"
done
cp "$src/README.md" "$src/dist/"
build_rescue_deb "$out"
cp "$out"/rescue/package/scourix-rescue_*.deb "$src/dist/"
if [ -n "$sign_cert" ]; then
    bash "$src/tools/sign-release.sh" "$src/dist" "$sign_cert" "${sign_options[@]}"
fi
# After signing: the sums name the programs as shipped.
(cd "$src/dist" && sha256sum *.exe *.deb README.md >SHA256SUMS)
touch -d "@$SOURCE_DATE_EPOCH" "$src"/dist/*
echo "dist/:"
(cd "$src/dist" && ls -l && sha256sum -c SHA256SUMS)
