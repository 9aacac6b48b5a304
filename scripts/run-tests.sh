#!/usr/bin/env bash
# Runs the built tests and ends with one line counting passed, failed and skipped tests: ctest's own summary
# counts a skipped test (root-only tests run by an ordinary user) as passed. Exits with ctest's status.
# Tests whose names match PYLVANE_SERIAL_TESTS (a ctest regular expression) run afterwards one at a time: under
# emulation the ones that kill and contend with child processes are slow enough to miss their deadlines when
# they share the processor.
#
# What is printed is short: a line every 50 tests, each failed test with its output, ctest's summary, and the
# skipped tests with their reasons. ctest's whole output stays in <build dir>/Testing/ctest-output.txt, and
# every test's output in Testing/test-outputs.txt.
#
# Usage: scripts/run-tests.sh <test build dir> [jobs]
set -uo pipefail
cd "$1" || exit 1
mkdir -p Testing
output=Testing/ctest-output.txt
: >"$output"

# Passes on the failed tests' lines and output, ctest's summary, and a count now and then.
shorten() {
    awk '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / {
             done++
             show = ($0 !~ / Passed +[0-9.]+ sec$/ && $0 !~ /Skipped/)
             if (show) print
             else if (done % 50 == 0) print "  " done " tests done"
             fflush(); next
         }
         /^ *Start +[0-9]+: / { show = 0; next }
         /tests passed, [0-9]+ tests? failed out of/ { summary = 1 }
         show || summary { print; fflush() }'
}

status=0
outputs=Testing/test-outputs.txt
: >"$outputs"
run() { # ctest args...
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure "$@" 2>&1 | tee -a "$output" | shorten
    [ "${PIPESTATUS[0]}" = 0 ] || status=1
    cat Testing/Temporary/LastTest.log >>"$outputs" 2>/dev/null
}
if [ -n "${PYLVANE_SERIAL_TESTS:-}" ]; then
    run -j "${2:-2}" -E "$PYLVANE_SERIAL_TESTS"
    run -j 1 -R "$PYLVANE_SERIAL_TESTS"
else
    run -j "${2:-2}"
fi

# gtest gives a skip's reason between its "file:line: Skipped" line and its "[  SKIPPED ] name" line.
awk '{ sub(/\r$/, "") }
     /: Skipped$/ { reason = ""; collecting = 1; next }
     collecting && /^\[  SKIPPED \] / {
         name = $4; text = name ": " reason
         if (!(text in seen)) { seen[text] = 1; lines[++count] = text }
         collecting = 0; next
     }
     collecting { reason = reason (reason == "" ? "" : " ") $0 }
     END {
         if (count == 0) exit
         print "Skipped, with their reasons:"
         for (i = 1; i <= count; i++) print "    " lines[i]
     }' "$outputs"
awk '/tests passed, [0-9]+ tests? failed out of [0-9]+/ { failed += $4; total += $NF; found = 1 }
     /^[ \t]+[0-9]+ - .* \((Skipped|Disabled)\)$/ { skipped++ }
     END {
         if (!found) { print "Tests: ctest reported no result"; exit 1 }
         printf "Tests: %d passed, %d failed, %d skipped\n", total - failed - skipped, failed, skipped
     }' "$output" || status=1
exit "$status"
