#!/usr/bin/env bash
# Runs each fuzzing harness of a build made with -DPYLVANE_FUZZ=ON for a set time, starting from the committed
# seeds. What a run finds (a crash, a sanitizer report, a broken property) fails the whole run and leaves the
# input that caused it in <build>/fuzz/crashes/.
#
# Usage: tests/fuzz/run.sh <build-dir> <seconds-per-harness>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
seconds=$2
mkdir -p "$build/fuzz/crashes"

failed=
for seeds in "$here"/corpus/*/; do
    name=$(basename "$seeds")
    corpus=$build/fuzz/corpus/$name
    log=$build/fuzz/$name.log
    mkdir -p "$corpus"
    # The first folder takes what the run learns; the committed seeds are only read.
    if "$build/tests/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz/crashes/$name-" "$corpus" "$seeds" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz: $name clean after ${runs:-?} runs in $seconds s"
    else
        echo "fuzz: $name FOUND A FAULT; the input is in $build/fuzz/crashes/, the report follows"
        grep -v '^#' "$log" | tail -n 40
        failed="$failed $name"
    fi
done
[ -z "$failed" ] || { echo "fuzz: faults found by:$failed" >&2; exit 1; }
