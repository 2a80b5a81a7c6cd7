#!/usr/bin/env bash
# Builds Scourix and its tests, then runs every test under Wine.
# Installs what a fresh Debian 12 machine lacks first.
#
# Both pairs of programs are built: the 32-bit one (build/) and the 64-bit one
# (build/x64). Their Wine suites run where the host can execute them: a host
# that runs only 64-bit user code cannot start any 32-bit Windows program, so
# there the 32-bit build gets only the checks that need no Wine. Every test
# runs with nothing outside the build folder writable (tools/contain.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-deps.sh
. tools/wine-env.sh

if [ "$SCX_HOST_RUNS_I386" = 1 ]; then
    echo "Wine suites: 32-bit and 64-bit, in that order (this host runs i386 code)."
else
    echo "Wine suites: 64-bit only; the 32-bit programs are built and checked without being run" \
         "(this host cannot execute i386 code: Exec format error from Wine's 32-bit loader)."
fi

cmake --preset default
cmake --build --preset default
if [ "$SCX_HOST_RUNS_I386" = 1 ]; then
    tools/contain.sh build ctest --preset default
else
    tools/contain.sh build ctest --preset default -L nowine
fi

cmake --preset x64
cmake --build --preset x64
tools/contain.sh build ctest --preset x64

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
