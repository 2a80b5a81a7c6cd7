#!/usr/bin/env bash
# Builds Scourix and its tests, then runs every test under Wine.
# Installs what a fresh Debian 12 machine lacks first.
#
# Both pairs of programs are built: the 32-bit one (build/) and the 64-bit one
# (build/x64). The first line says whether and how this host runs i386 code
# (tools/wine-env.sh):
#   native    both Wine suites run in full, the 32-bit one first;
#   emulated  the 32-bit build gets the checks that need no Wine, and the
#             64-bit suite's 32-bit set (ctest label i386) runs the shipped
#             32-bit programs under qemu in a private user namespace: about a
#             minute per 32-bit process, 5 more once to give the build
#             folder's prefix its 32-bit side;
#   none      as emulated, but the 32-bit set is skipped with the reason.
# SCX_I386_MODE=none forces the last. Every test runs with nothing outside
# the build folder writable (tools/contain.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-deps.sh
. tools/wine-env.sh
# A compiler cache, where one is installed, makes a second build of the same
# sources (another clone, another build folder) take minutes less.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD"
fi

case "$SCX_I386_MODE" in
native) echo "i386: native ($SCX_I386_WHY). Wine suites: 32-bit and 64-bit, in that order." ;;
emulated) echo "i386: emulated ($SCX_I386_WHY). Wine suites: 64-bit, with its 32-bit set (label i386) emulated; the 32-bit build's own suite gets the checks that need no Wine." ;;
*) echo "i386: none ($SCX_I386_WHY). Wine suites: 64-bit only; the 32-bit programs are built and checked without being run, and the 32-bit set is skipped." ;;
esac

cmake --preset default
cmake --build --preset default
if [ "$SCX_I386_MODE" = native ]; then
    tools/contain.sh build ctest --preset default
else
    tools/contain.sh build ctest --preset default -L nowine
fi

cmake --preset x64
cmake --build --preset x64
tools/contain.sh build ctest --preset x64 -LE i386
started=$(date +%s)
tools/contain.sh build ctest --preset x64 -L i386
echo "The 32-bit set ($SCX_I386_MODE) took $(( $(date +%s) - started )) s."

# The file-format code built natively with sanitizers: replay the generated
# seeds and every input that once crashed it, then a short fuzz run per
# target (SCX_FUZZ_SECONDS, default 60; longer sessions: tools/fuzz.sh).
cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DSCX_FUZZ_SECONDS="${SCX_FUZZ_SECONDS:-60}"
cmake --build build/fuzz -j2
tools/contain.sh build ctest --test-dir build/fuzz --output-on-failure

# The native Linux rescue scanner (scourix-rescue) and its GoogleTest suite.
cmake -S rescue -B build/rescue -G Ninja -DCMAKE_CXX_COMPILER=g++
cmake --build build/rescue -j2
tools/contain.sh build ctest --test-dir build/rescue --output-on-failure
