#!/usr/bin/env bash
# Idle memory: the resident set (VmRSS) of the running program after its first check cycle, against that of a
# minimal Qt Widgets window with one button (qt_hello), both started together and measured in the same run so
# that both see the same libraries, fonts and machine load. Nine such runs, one after the other (about four
# minutes), each from a fresh start; prints
#   bench: idle_rss_vs_qt_hello ratio=<median of pylvane / qt_hello> min=<least> max=<most>
# Usage: bench/idle_rss.sh <build-dir configured with -DPYLVANE_BENCH=ON>
set -euo pipefail
build=$(realpath "${1:?usage: $0 build-dir}")
here=$(dirname "$0")
pylvane=$build/pylvane
hello=$build/bench/qt_hello
for exe in "$pylvane" "$hello"; do
    [ -x "$exe" ] || { echo "idle_rss: $exe missing; build with -DPYLVANE_BENCH=ON" >&2; exit 1; }
done
if [ "${2:-}" != --once ]; then
    # shellcheck source=bench/spread.sh
    source "$here/spread.sh"
    ratios=$(for _ in $(seq "$bench_min_runs"); do "$BASH" "$0" "$build" --once || true; done)
    if line=$(spread ratio 2 <<<"$ratios"); then
        echo "bench: idle_rss_vs_qt_hello $line"
    else
        echo "bench: idle_rss_vs_qt_hello skipped: fewer than $bench_min_runs runs gave a figure"
    fi
    exit 0
fi
# One run (--once), which prints its ratio alone.

tmp=$(mktemp -d)
pylvane_pid=
hello_pid=
cleanup() {
    # A killed child's status must not become this script's: wait gives 143 for it.
    for pid in $pylvane_pid $hello_pid; do { kill "$pid" && wait "$pid"; } 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

# One enabled process target that never runs: the first cycle finds it down and writes the log, which is how
# this script sees that the cycle has ended; it also means the cycle's code has run, as in real use. Device 1 on
# the loopback address puts the echo probe through its paces as well.
mkdir -p "$tmp/home" "$tmp/config/Pylvane" "$tmp/pylvane" "$tmp/hello" "$tmp/runtime"
chmod 700 "$tmp/runtime"
cat >"$tmp/config/Pylvane/Pylvane.conf" <<'CONF'
[General]
d1=pylvane-bench-absent-process
d1b=1
e1=127.0.0.1
e1b=1
CONF

run() { # folder program
    (cd "$1" && HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_RUNTIME_DIR=$tmp/runtime \
        QT_QPA_PLATFORM=offscreen exec "$2") >"$1.out" 2>&1 &
}
run "$tmp/pylvane" "$pylvane"
pylvane_pid=$!
run "$tmp/hello" "$hello"
hello_pid=$!

# The first cycle starts about 20 s after start; allow for a slow, shared machine.
log=$tmp/pylvane/PylvaneLog.txt
for _ in $(seq 600); do
    [ -s "$log" ] && break
    kill -0 "$pylvane_pid" 2>/dev/null || { echo "idle_rss: pylvane ended:" >&2; cat "$tmp/pylvane.out" >&2; exit 1; }
    sleep 0.1
done
[ -s "$log" ] || { echo "idle_rss: no first cycle within 60 s" >&2; exit 1; }
sleep 3 # settle: the log is written during the cycle, not at its end

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
pylvane_kb=$(rss_kb "$pylvane_pid")
hello_kb=$(rss_kb "$hello_pid")
[ -n "$pylvane_kb" ] && [ -n "$hello_kb" ] || { echo "idle_rss: a program ended before it was measured" >&2; exit 1; }

echo "idle_rss: pylvane ${pylvane_kb} kB, qt_hello ${hello_kb} kB (VmRSS after the first cycle)" >&2
awk -v a="$pylvane_kb" -v b="$hello_kb" 'BEGIN { printf "%.4f\n", a / b }'
