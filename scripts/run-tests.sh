#!/usr/bin/env bash
# Runs the built tests and ends with one line counting passed, failed and skipped tests: ctest's own summary
# counts a skipped test (root-only tests run by an ordinary user) as passed. Exits with ctest's status.
#
# Usage: scripts/run-tests.sh <test build dir> [jobs]
set -uo pipefail
cd "$1" || exit 1
output=$(mktemp)
trap 'rm -f "$output"' EXIT

QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "${2:-2}" | tee "$output"
status=${PIPESTATUS[0]}

awk '/tests passed, [0-9]+ tests? failed out of [0-9]+/ { failed = $4; total = $NF; found = 1 }
     /^[ \t]+[0-9]+ - .* \((Skipped|Disabled)\)$/ { skipped++ }
     END {
         if (!found) { print "Tests: ctest reported no result"; exit 1 }
         printf "Tests: %d passed, %d failed, %d skipped\n", total - failed - skipped, failed, skipped
     }' "$output" || status=1
exit "$status"
