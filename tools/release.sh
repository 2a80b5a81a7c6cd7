#!/usr/bin/env bash
# Builds the release package: dist/ with both pairs of programs (scourix.exe,
# scourix-cli.exe, scourix64.exe, scourix-cli64.exe), the README and
# SHA256SUMS. The programs are linked with the runtime's win32 thread model
# (imports the oldest supported Windows exports) and built without time
# stamps, debug information or build paths, so two builds of one commit give
# the same bytes.
#   bash tools/release.sh            build dist/
#   bash tools/release.sh --verify   build twice, in two folders, and compare
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
cd "$src"

# Any tool that would stamp a date takes the commit's.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C

# Each pair's build folder (below the folder given) and its programs.
programs=(32/app/scourix.exe 32/cli/scourix-cli.exe 64/app/scourix64.exe 64/cli/scourix-cli64.exe)

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

if [ "${1:-}" = "--verify" ]; then
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
(cd "$src/dist" && sha256sum scourix.exe scourix-cli.exe scourix64.exe scourix-cli64.exe README.md >SHA256SUMS)
touch -d "@$SOURCE_DATE_EPOCH" "$src"/dist/*
echo "dist/:"
(cd "$src/dist" && ls -l && sha256sum -c SHA256SUMS)
