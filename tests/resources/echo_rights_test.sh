#!/usr/bin/env bash
# `make run`'s echo step, run as an ordinary user (as "nobody" when the tests run as root): the program file gets
# cap_net_raw through sudo exactly when none of the user's groups may send echo, and the step says so.
# Usage: echo_rights_test.sh <source dir>
set -uo pipefail
source=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A stand-in sudo records what it was asked to run.
mkdir "$tmp/bin"
printf '#!/bin/sh\necho "$@" >> "%s"\n' "$tmp/sudo-calls" >"$tmp/bin/sudo"
chmod 755 "$tmp/bin/sudo"
# The script runs from a copy, since "nobody" may not be able to reach the source folder.
cp "$source/scripts/echo-rights.sh" "$tmp/echo-rights.sh"
touch "$tmp/pylvane" "$tmp/sudo-calls"
chmod 666 "$tmp/sudo-calls"

step() { # range; sets $output
    printf '%s\n' "$1" >"$tmp/range"
    : >"$tmp/sudo-calls"
    local command=(env PATH="$tmp/bin:$PATH" PYLVANE_RANGE_FILE="$tmp/range" bash "$tmp/echo-rights.sh"
        "$tmp/pylvane")
    if [ "$(id -u)" = 0 ]; then
        command=(setpriv --reuid=65534 --regid=65534 --clear-groups "${command[@]}")
    fi
    output=$("${command[@]}" 2>&1)
}

step "1 0"
[ "$(cat "$tmp/sudo-calls")" = "setcap cap_net_raw+ep $tmp/pylvane" ] || fail "no group may send: setcap not run"
[ "$(wc -l <<<"$output")" -eq 1 ] && grep -q "cap_net_raw" <<<"$output" || fail "no one-line notice: '$output'"

step "0 2147483647"
[ ! -s "$tmp/sudo-calls" ] && [ -z "$output" ] || fail "every group may send: nothing to do, got '$output'"

[ $failures -eq 0 ] && echo "all echo rights checks passed"
exit $((failures > 0))
