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

if [ -z "${PYLVANE_SILENT_HOST:-}" ]; then
    if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
        exec unshare -n "$here/../silent-host.sh" "$0" "$build" "$@"
    fi
    echo "Not root or no network namespaces here: the tests run without a silent host." >&2
fi

# Test programs that Wine ended before their main() ran, and that were started once more (wine-run.sh).
PYLVANE_WINE_RESTARTS=$(mktemp)
export PYLVANE_WINE_RESTARTS
trap 'rm -f "$PYLVANE_WINE_RESTARTS"' EXIT
status=0
# Without ctest arguments (-R and the like), the run ends with a line counting passed, failed and skipped tests.
if [ $# = 0 ]; then
    "$here/wine-session.sh" "$build/wine" bash "$here/../run-tests.sh" "$build" "${JOBS:-$(nproc)}" || status=$?
else
    "$here/wine-session.sh" "$build/wine" \
        ctest --test-dir "$build" --output-on-failure -j "${JOBS:-$(nproc)}" "$@" || status=$?
fi
if [ -s "$PYLVANE_WINE_RESTARTS" ]; then
    echo "Wine ended $(wc -l <"$PYLVANE_WINE_RESTARTS") test program(s) before their main() ran; each was started once more:"
    sed 's/^/    /' "$PYLVANE_WINE_RESTARTS"
fi
exit "$status"
