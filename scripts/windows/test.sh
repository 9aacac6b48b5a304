#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, in one Wine session. As root, the whole session runs inside a
# network namespace of its own, so that a host can be silent without any packet reaching the machine's network:
# echoes are sent by a process of the Wine session, not by the test. The silent host's address is handed to the
# tests in PYLVANE_SILENT_HOST; without it they skip the silent-host cases.
#
# Usage: scripts/windows/test.sh <build-dir> [ctest args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shift

if [ "${PYLVANE_NAMESPACE_READY:-}" != 1 ]; then
    if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
        PYLVANE_NAMESPACE_READY=1 exec unshare -n "$0" "$build" "$@"
    fi
    echo "Not root or no network namespaces here: the tests run without a silent host." >&2
else
    # Frames to the silent host leave through one end of a veth pair towards a MAC address that nobody has, so
    # the far end drops them. The permanent neighbour entry keeps ARP out of it, which would otherwise turn the
    # silence into "host unreachable".
    PATH=/usr/sbin:/sbin:$PATH
    ip link set lo up
    ip link add cam0 type veth peer name cam0far
    ip addr add 10.77.0.1/24 dev cam0
    ip link set cam0far up
    ip link set cam0 up
    ip neigh add 10.77.0.2 lladdr 02:00:00:00:77:02 dev cam0 nud permanent
    export PYLVANE_SILENT_HOST=10.77.0.2
fi

# Without ctest arguments (-R and the like), the run ends with a line counting passed, failed and skipped tests.
if [ $# = 0 ]; then
    exec "$here/wine-session.sh" "$build/wine" bash "$here/../run-tests.sh" "$build" "${JOBS:-$(nproc)}"
fi
exec "$here/wine-session.sh" "$build/wine" \
    ctest --test-dir "$build" --output-on-failure -j "${JOBS:-$(nproc)}" "$@"
