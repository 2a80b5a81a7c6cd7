#!/usr/bin/env bash
# Builds Scourix and its tests, then runs every test under Wine.
# Installs what a fresh Debian 12 machine lacks first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-deps.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
