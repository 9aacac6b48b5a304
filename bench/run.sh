#!/usr/bin/env bash
# Runs every benchmark against a build configured with -DPYLVANE_BENCH=ON (make bench). Each one prints its
# result lines as "bench: <name> value=<median> min=<least> max=<most>" (ratio= for a ratio), every figure from
# at least 9 runs, or "bench: <name> skipped: <why>".
set -euo pipefail
build=$(realpath "${1:-build-bench}")
here=$(dirname "$0")

# Micro benchmarks of the probes and the check cycle go here.
bash "$here/probes/run.sh" "$build" || echo "bench: probes failed"

# One log insertion into logs of 1, 10 and 100 MB against cp of the same file.
"$build/bench/bench_log_insert" | grep '^bench:' || echo "bench: log_insert failed"

# One whole check cycle with all 20 hosts on loopback and 15 running processes enabled.
# With it, what the end of a cycle adds: the report, the notice and the status file.
"$build/bench/bench_cycle" | grep '^bench:' || echo "bench: cycle_all_enabled_up_ms failed"

# What the system's log and the metrics file add to one cycle with all 35 targets down.
"$build/bench/bench_events_metrics" | grep '^bench:' || echo "bench: cycle_events_metrics_overhead_ms failed"

# One load of the settings from a file just under 256 KiB.
"$build/bench/bench_settings_load" | grep '^bench:' || echo "bench: settings_load_256k_ms failed"

# The history's database after 400 days of 35 targets (bar: 64 MB), each of nine made afresh (about a minute).
"$build/bench/bench_history" | grep '^bench:' || echo "bench: history_db_400d_MB failed"

# One cycle of 35 targets written with its commit into 400 days (bar: 5 ms).
"$build/bench/bench_history_cycle_write" | grep '^bench:' || echo "bench: history_cycle_write_ms failed"

# The History window opened on 400 days of 35 targets until its strips are painted, offscreen (bar: 300 ms).
QT_QPA_PLATFORM=offscreen "$build/bench/bench_history_window_open" | grep '^bench:' ||
    echo "bench: history_window_open_ms failed"

# `pylvane --history` on the same 400 days, after a check that the readers' statements use the keys (bar: 500 ms).
"$build/bench/bench_history_cli" "$build/pylvane" | grep '^bench:' || echo "bench: history_cli_ms failed"

# Idle memory of the running program against a minimal Qt Widgets window, nine times over (about four minutes).
bash "$here/idle_rss.sh" "$build" || echo "bench: idle_rss_vs_qt_hello failed"
