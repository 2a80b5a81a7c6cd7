#!/usr/bin/env bash
# Builds scourix.exe and runs it under Wine in the project's own prefix
# (build/wine/prefix, with no drive leading to the host's files).
# With no DISPLAY it runs on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target scourix
build=$PWD/build
tools/wine-prefix.sh "$build" setup
trap 'tools/wine-prefix.sh "$build" teardown' EXIT
if [ -n "${DISPLAY:-}" ]; then
    export SCX_HOST_DISPLAY=1
fi
tools/wine-run.sh "$build/app/scourix.exe"
