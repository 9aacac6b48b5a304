#!/usr/bin/env bash
# The Debian roots' helpers (scripts/debian-root.sh): the mirror comes from the system's apt sources or not at
# all, and the emulation namespace neither hangs when its child ends before taking the go-ahead nor fails to map
# the ids when it takes it. As root, in a mount namespace of the test's own with /etc/apt on a fresh tmpfs.
# Usage: debian_root_test.sh <source dir>
set -uo pipefail
source=$1
if [ "$(id -u)" != 0 ]; then
    echo "Skipped: needs root, to put apt sources of its own over /etc/apt and to map a user namespace's ids"
    exit 77
fi
if [ -z "${PYLVANE_DEBIAN_ROOT_NAMESPACE:-}" ]; then
    unshare --mount --propagation private true 2>/dev/null || {
        echo "Skipped: no mount namespace may be made here"
        exit 77
    }
    PYLVANE_DEBIAN_ROOT_NAMESPACE=1 exec unshare --mount --propagation private bash "$0" "$@"
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# shellcheck source=../../scripts/debian-root.sh
source "$source/scripts/debian-root.sh"
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

# --- the mirror: the system's own, for the release itself, or none ----------------------------------------------
mkdir -p /etc/apt
mount -t tmpfs pylvane-apt /etc/apt || exit 1
mkdir /etc/apt/sources.list.d
mirror() { # expected; the sources are in place
    local output status=0
    output=$(debian_mirror 2>"$tmp/error") || status=$?
    if [ -z "$1" ]; then
        [ $status != 0 ] && [ -z "$output" ] && grep -q "No Debian mirror for $codename is configured" "$tmp/error" ||
            fail "no mirror configured: got '$output' ($status), said '$(cat "$tmp/error")'"
    else
        [ $status = 0 ] && [ "$output" = "$1 $codename" ] || fail "expected '$1', got '$output' ($status)"
    fi
}
mirror ""
printf 'deb http://security.invalid/debian-security %s-security main\n' "$codename" >/etc/apt/sources.list
cat >/etc/apt/sources.list.d/off.sources <<EOF
Types: deb
URIs: http://off.invalid/debian
Suites: $codename
Enabled: no
EOF
mirror ""
cat >/etc/apt/sources.list.d/debian.sources <<EOF
Types: deb
# a comment between fields
URIs: http://stanza.invalid/debian
Suites: $codename $codename-updates
Components: main
EOF
mirror http://stanza.invalid/debian
printf 'deb [arch=amd64 signed-by=/k.gpg] http://list.invalid/debian %s main\n' "$codename" \
    >/etc/apt/sources.list.d/list.list
mirror http://list.invalid/debian

# --- the emulation namespace ----------------------------------------------------------------------------------
if ! unshare --user true 2>/dev/null; then
    echo "Skipped: no user namespace may be made here"
else
    map=$(timeout 60 bash -c 'source "$1" && in_emulation_namespace cat /proc/self/uid_map' _ \
        "$source/scripts/debian-root.sh")
    read -r inside outside count <<<"$map"
    [ "$inside $outside $count" = "0 0 4294967295" ] || fail "the namespace's ids are not mapped: '$map'"
    # A child that enters its user namespace and ends without ever reading the go-ahead.
    mkdir "$tmp/bin"
    printf '#!/bin/sh\nexec %s --user sleep 1\n' "$(command -v unshare)" >"$tmp/bin/unshare"
    chmod 755 "$tmp/bin/unshare"
    status=0
    PATH=$tmp/bin:$PATH timeout 20 bash -c 'source "$1" && in_emulation_namespace true' _ \
        "$source/scripts/debian-root.sh" || status=$?
    [ $status = 0 ] || fail "a child that ended before reading the go-ahead: status $status (124: hung)"
fi

[ $failures -eq 0 ] && echo "all Debian root checks passed"
exit $((failures > 0))
