#!/usr/bin/env bash
# Builds the native fuzz targets of the file-format code (clang, address and
# undefined-behaviour sanitizers) and fuzzes each for a while.
#   tools/fuzz.sh [seconds per target, default 600] [target ...]
# The corpus grows in build/fuzz/corpus; a crash leaves its input in
# build/fuzz/artifacts/<target>/ and ends the script with a failure: copy it
# into tests/fuzz/regressions/<target>/ once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(fuzz_pe fuzz_mail fuzz_wininit fuzz_perf fuzz_run_value)

cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j2
status=0
for t in "${targets[@]}"; do
    echo "== $t: $seconds s"
    log="build/fuzz/$t.log"
    if tests/fuzz/run_fuzz.sh "build/fuzz/$t" "build/fuzz/seeds/$t" "build/fuzz/corpus/$t" \
        "build/fuzz/artifacts/$t" "$seconds" >"$log" 2>&1; then
        grep -E '^stat::number_of_executed_units|DONE' "$log" || true
        echo "corpus: $(ls "build/fuzz/corpus/$t" | wc -l) inputs"
    else
        status=1
        grep -E 'property failed|ERROR|SUMMARY|Test unit written' "$log" || tail -20 "$log"
    fi
done
exit $status
