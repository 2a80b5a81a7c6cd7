#!/usr/bin/env bash
# run_fuzz.sh <fuzzer> <seeds> <corpus> <artifacts> <seconds>
# Fuzzes for the given time from the generated seeds plus the corpus kept in
# the build folder, and fails when the fuzzer finds a crash, a leak or a
# broken property (its input is left in <artifacts> for a regression test).
set -euo pipefail
fuzzer=$1 seeds=$2 corpus=$3 artifacts=$4 seconds=$5
mkdir -p "$corpus" "$artifacts"
exec "$fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$seeds"
