#!/usr/bin/env bash
# Screenshots of the real program for the README: plants the fixture samples,
# runs the scripted scan on the virtual display (tools/run.sh --headless
# --plant) and copies the idle, scanning and finished window to docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/run.sh --headless --plant
mkdir -p docs
for shot in idle scanning finished; do
    cp "build/screenshots/$shot.png" "docs/$shot.png"
done
echo "docs/idle.png, docs/scanning.png and docs/finished.png updated"
