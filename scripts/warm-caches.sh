#!/usr/bin/env bash
# Builds what a fresh machine makes only once and keeps in ~/.cache/pylvane: Qt, googletest and SQLite for
# Windows, and (as root) the Debian roots of the arm64 build and of the package tests. The two chains run side by
# side, since one mostly computes and the other mostly downloads. Each step takes the lock its own target takes, so a target
# that needs a step still in progress waits for it, and finds it done; a step that fails here is tried again by
# the target that needs it.
#
# Usage: scripts/warm-caches.sh [log dir]   (default: the cache itself). Expects the packages of `make deps-all`.
set -uo pipefail
# shellcheck disable=SC2317 # the chains are called through chain()
source_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$source_dir/scripts/debian-root.sh"
logs=${1:-$pylvane_cache}
mkdir -p "$logs"

chain() { # name command...
    local name=$1 started=$SECONDS status=0
    shift
    "$@" >"$logs/warm-$name.log" 2>&1 || status=$?
    echo "warm-caches: $name took $((SECONDS - started)) s, status $status (log: $logs/warm-$name.log)"
    return $status
}

windows() {
    bash "$source_dir/scripts/windows/build-qt.sh" && bash "$source_dir/scripts/windows/build-googletest.sh" &&
        bash "$source_dir/scripts/windows/build-sqlite.sh"
}

# The amd64 root comes first: `make test-package` needs it early.
roots() {
    make_debian_root "$pylvane_cache/bookworm-minbase" && bash "$source_dir/scripts/arm64.sh" prepare
}

chain windows windows &
pids=$!
if [ "$(id -u)" = 0 ]; then
    chain roots roots &
    pids="$pids $!"
else
    echo "warm-caches: the Debian roots need root; left to the targets that use them"
fi
status=0
for pid in $pids; do
    wait "$pid" || status=1
done
exit $status
