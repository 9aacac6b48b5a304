#!/usr/bin/env bash
# ctest's way into Wine: runs one test program of the Windows build with wine64, for its tests and for the
# listing of its tests. Wine has been seen to end such a program at once, with a non-zero status and not a word
# on either output (WINEDEBUG=-all keeps Wine's own errors back), in a test whose code cannot fail that way.
# The program then never ran its test. A test program leaves a mark as the first thing its main() does
# (tests/support/QtTestMain.cpp); a program that ended without it is started once more. That is said on
# standard error and recorded in the file PYLVANE_WINE_RESTARTS names, which the run's summary prints. A
# program that reached its main() keeps its status, whatever it is: a test that ran and failed has failed.
#
# Usage: scripts/windows/wine-run.sh <program.exe> [args...]
set -u
source "$(dirname "$0")/wine-tools.sh"
marks=$(mktemp -d "${TMPDIR:-/tmp}/pylvane-wine-run.XXXXXX") || exit 1
trap 'rm -rf "$marks"' EXIT
status=0
for attempt in 1 2; do
    # Wine maps the Unix root to drive Z:, and the program is a Windows program.
    PYLVANE_MAIN_MARK="Z:$marks/$attempt" "$wine" "$@"
    status=$?
    if [ -e "$marks/$attempt" ]; then
        break
    fi
    # Ended well without coming to main(): nothing ran, and a listing of tests would come back empty.
    [ "$status" != 0 ] || status=1
    if [ "$attempt" = 1 ]; then
        echo "wine-run: $(basename "$1") ended with status $status before its main() ran; starting it once more" >&2
        if [ -n "${PYLVANE_WINE_RESTARTS:-}" ]; then
            echo "$(basename "$1") ${*:2} (status $status)" >>"$PYLVANE_WINE_RESTARTS"
        fi
    fi
done
exit "$status"
