#!/usr/bin/env bash
# Builds the fuzz targets and runs each for SECONDS (default 30), starting
# from its seed corpus. A finding stops the script with the input saved as
# build/fuzz/<target>-crash-*.
set -euo pipefail
seconds=${1:-30}
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in key_lookup log_reader command_line report; do
    work=build/fuzz/corpus/$target
    mkdir -p "$work"
    cp fuzz/corpus/$target/* "$work/"
    echo "== $target: $seconds s"
    if ! build/fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="build/fuzz/$target-" "$work" >"build/fuzz/$target.log" 2>&1; then
        tail -40 "build/fuzz/$target.log"
        echo "fuzzing $target found a fault" >&2
        exit 1
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "build/fuzz/$target.log"
done
