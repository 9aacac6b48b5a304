#!/usr/bin/env bash
# Runs the Windows cycle benchmark of a build folder under Wine, in a Wine session of its own (make bench-windows).
# As root the whole session runs in a network namespace that has nothing but loopback, so no echo leaves the
# machine. The session has its own prefix, as a test run's session may be in another namespace.
#
# Usage: bench/windows/run.sh <build-dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)

if [ -z "${PYLVANE_BENCH_NETNS:-}" ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    export PYLVANE_BENCH_NETNS=1
    exec unshare -n sh -c 'PATH=/usr/sbin:/sbin:$PATH ip link set lo up && exec "$0" "$@"' "$0" "$build"
fi

source "$here/../../scripts/windows/wine-tools.sh"
"$here/../../scripts/windows/wine-session.sh" "$build/wine-bench" \
    "$wine" "$build/bench/windows/bench_cycle_windows.exe" | tr -d '\r' | grep '^bench:' ||
    echo "bench: windows_cycle_vs_its_probes failed"
