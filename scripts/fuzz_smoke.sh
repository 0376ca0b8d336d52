#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short time from
# its seed corpus in tests/fuzz/corpus/<target>/ (the seeds stay unchanged; new
# inputs go to build/fuzz/corpus/). Seconds per target: $QUARN_FUZZ_SECONDS (45).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QUARN_FUZZ_SECONDS:-45}

CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DQUARN_FUZZ=ON -DQUARN_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined >/dev/null
cmake --build build/fuzz -j "$(nproc)"

for seeds in tests/fuzz/corpus/*/; do
    target=$(basename "$seeds")
    work=build/fuzz/corpus/$target
    mkdir -p "$work"
    echo "== fuzzing $target for ${seconds} s"
    log=build/fuzz/$target.log
    if ! build/fuzz/tests/fuzz/quarn_${target}_fuzz "$work" "$seeds" -max_len=4096 \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz target $target failed; the input is saved as crash-*/timeout-*/oom-* here"
        exit 1
    fi
    grep -E '^#[0-9]+.*(DONE|pulse)' "$log" | tail -n 1
done
