#!/usr/bin/env bash
# Builds Scourix and its tests, then runs every test under Wine.
# Installs what a fresh Debian 12 machine lacks first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-deps.sh
cmake --preset default
cmake --build --preset default
ctest --preset default

# The file-format code built natively with sanitizers: replay the generated
# seeds and every input that once crashed it, then a short fuzz run per
# target (SCX_FUZZ_SECONDS, default 60; longer sessions: tools/fuzz.sh).
cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DSCX_FUZZ_SECONDS="${SCX_FUZZ_SECONDS:-60}"
cmake --build build/fuzz -j2
ctest --test-dir build/fuzz --output-on-failure
