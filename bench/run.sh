#!/usr/bin/env bash
# Runs every benchmark against a build configured with -DPYLVANE_BENCH=ON (make bench). Each one prints its
# result lines as "bench: <name> <figures>".
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

# Idle memory of the running program against a minimal Qt Widgets window (takes about half a minute).
bash "$here/idle_rss.sh" "$build" || echo "bench: idle_rss_vs_qt_hello failed"
