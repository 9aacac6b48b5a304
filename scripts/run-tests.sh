#!/usr/bin/env bash
# Runs the built tests and ends with one line counting passed, failed and skipped tests: ctest's own summary
# counts a skipped test (root-only tests run by an ordinary user) as passed. Exits with ctest's status.
# Tests whose names match PYLVANE_SERIAL_TESTS (a ctest regular expression) run afterwards one at a time: under
# emulation the ones that kill and contend with child processes are slow enough to miss their deadlines when
# they share the processor.
#
# Usage: scripts/run-tests.sh <test build dir> [jobs]
set -uo pipefail
cd "$1" || exit 1
output=$(mktemp)
trap 'rm -f "$output"' EXIT

status=0
if [ -n "${PYLVANE_SERIAL_TESTS:-}" ]; then
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "${2:-2}" -E "$PYLVANE_SERIAL_TESTS" | tee "$output"
    status=${PIPESTATUS[0]}
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 1 -R "$PYLVANE_SERIAL_TESTS" | tee -a "$output"
    [ "${PIPESTATUS[0]}" = 0 ] || status=1
else
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "${2:-2}" | tee "$output"
    status=${PIPESTATUS[0]}
fi

awk '/tests passed, [0-9]+ tests? failed out of [0-9]+/ { failed += $4; total += $NF; found = 1 }
     /^[ \t]+[0-9]+ - .* \((Skipped|Disabled)\)$/ { skipped++ }
     END {
         if (!found) { print "Tests: ctest reported no result"; exit 1 }
         printf "Tests: %d passed, %d failed, %d skipped\n", total - failed - skipped, failed, skipped
     }' "$output" || status=1
exit "$status"
