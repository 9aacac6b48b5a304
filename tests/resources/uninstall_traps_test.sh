#!/usr/bin/env bash
# `sudo make uninstall` against traps an ordinary user ("nobody") sets for it: a build folder whose cache and list
# name files that are not Pylvane's, with and without PREFIX, a folder swapped for a link while the list is read,
# and a list of the user's own put where the recorded one lies. Root installs and uninstalls in a mount namespace
# of the test's own, with /usr/local and the test's folder on fresh tmpfs, so nothing real is touched.
# Usage: uninstall_traps_test.sh <source dir> <build dir>
set -uo pipefail
source=$1 build=$2
if [ "$(id -u)" != 0 ]; then
    echo "Skipped: needs root, to uninstall as root what an ordinary user set traps for"
    exit 77
fi
if [ -z "${PYLVANE_TRAPS_NAMESPACE:-}" ]; then
    unshare --mount --propagation private true 2>/dev/null || {
        echo "Skipped: no mount namespace may be made here"
        exit 77
    }
    PYLVANE_TRAPS_NAMESPACE=1 exec unshare --mount --propagation private bash "$0" "$@"
fi
[ -d /usr/local ] || { echo "Skipped: no /usr/local to cover"; exit 77; }
tmp=$(mktemp -d)
mount -t tmpfs -o mode=755 pylvane-traps "$tmp" || exit 1
# An install under /usr/local rebuilds the journal's catalog database: the test's own, not the machine's.
catalog_db=/var/lib/systemd/catalog
if command -v journalctl >/dev/null; then
    mkdir -p "$catalog_db" && mount -t tmpfs -o mode=755 pylvane-catalog "$catalog_db" || exit 1
fi
explained() { journalctl --list-catalog 2>/dev/null | grep -c ' pylvane: '; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
make_() { env -u MAKEFLAGS -u MAKELEVEL make -s -C "$source" "$@"; }

# Fresh /usr/local and test folder, the program installed by root under <prefix>, and the user's build folder
# $trap, whose cache names <prefix> and whose list is the install's.
fresh() { # prefix
    umount /usr/local 2>/dev/null
    mount -t tmpfs -o mode=755 pylvane-prefix /usr/local || exit 1
    rm -rf "${tmp:?}"/*
    mkdir -p "$1"
    make_ install BUILD_DIR="$build" PREFIX="$1" >"$tmp/install.log" 2>&1 || {
        cat "$tmp/install.log"
        fail "make install under $1"
    }
    trap=$tmp/trap
    mkdir -m 755 "$trap"
    printf 'CMAKE_INSTALL_PREFIX:PATH=%s\n' "$1" >"$trap/CMakeCache.txt"
    cp "$build/install_manifest.txt" "$trap/install_manifest.txt"
    chown -R 65534:65534 "$trap"
}
installed() { [ -x "$1/bin/pylvane" ] && [ -f "$1/share/pylvane/install-manifest.txt" ]; }

# --- the build folder names a system file, with the prefix from its cache and with PREFIX given -----------------
for given in no yes; do
    prefix=/usr/local victim=$tmp/etc/shadow
    [ $given = no ] || prefix=$tmp/usr victim=$tmp/usr/bin/passwd
    fresh "$prefix"
    mkdir -p "$(dirname "$victim")"
    touch "$victim"
    chmod 600 "$victim"
    # shellcheck disable=SC2016 # expanded by the user's shell
    as_user sh -c 'printf "CMAKE_INSTALL_PREFIX:PATH=%s\n" "$2" >"$1/CMakeCache.txt" &&
        echo "$3" >"$1/install_manifest.txt"' _ "$trap" "$(dirname "$victim")" "$victim"
    if [ $given = yes ]; then
        output=$(make_ uninstall BUILD_DIR="$trap" PREFIX="$prefix" 2>&1)
    else
        output=$(make_ uninstall BUILD_DIR="$trap" 2>&1)
    fi
    [ -f "$victim" ] || fail "PREFIX given: $given: uninstall removed $victim, which the user's build folder named"
    installed "$prefix" && fail "PREFIX given: $given: the installed program was not removed: $output"
done

# --- a folder the user may write, inside the prefix, swapped for a link to a root-only folder during the check --
# The user's list names the installed files, then a great many that are gone, to draw the check out; the swap
# comes once uninstalling has begun.
fresh /usr/local
hicolor=/usr/local/share/icons/hicolor
chown 65534:65534 "$hicolor"
mkdir -p "$tmp/root-only/apps"
chmod 700 "$tmp/root-only"
touch "$tmp/root-only/apps/pylvane.png"
seq 200000 | sed 's|^|/usr/local/share/gone-|' >>"$trap/install_manifest.txt"
# shellcheck disable=SC2016 # expanded by the user's shell
as_user bash -c 'until pgrep -f "uninstall\.sh.*/usr/local\$" >/dev/null || [ -e "$1" ]; do sleep 0.05; done
    sleep 0.3 && mv "$2/16x16" "$2/old" && ln -s "$3" "$2/16x16"' _ "$tmp/uninstalled" "$hicolor" "$tmp/root-only" &
swapper=$!
output=$(make_ uninstall BUILD_DIR="$trap" 2>&1)
status=$?
touch "$tmp/uninstalled"
wait $swapper
[ -f "$tmp/root-only/apps/pylvane.png" ] || fail "uninstall removed a file of a root-only folder through a link"
[ $status != 0 ] && grep -q "^Refused: .*$hicolor belongs to user 65534" <<<"$output" && installed /usr/local ||
    fail "a list naming files in a folder the user may write must be refused whole ($status): $output"

# --- a list of the user's own where the recorded one lies, in a folder the user was given ----------------------
fresh /usr/local
mkdir /usr/local/sbin
touch /usr/local/sbin/daemon
chown 65534:65534 /usr/local/share
# shellcheck disable=SC2016 # expanded by the user's shell
as_user sh -c 'mv "$1/pylvane" "$1/old" && mkdir "$1/pylvane" && echo /usr/local/sbin/daemon >"$2/list" &&
    ln -s "$2/list" "$1/pylvane/install-manifest.txt"' _ /usr/local/share "$trap"
output=$(make_ uninstall BUILD_DIR="$trap" 2>&1) && fail "uninstall read a list the user put in its place"
[ -f /usr/local/sbin/daemon ] && [ -x /usr/local/bin/pylvane ] || fail "uninstall removed what a user's list named"

# --- root installs into a folder of the user's: refused before anything is copied, as the uninstall refuses it ---
fresh /usr/local
home=$tmp/home
mkdir -m 755 "$home"
chown 65534:65534 "$home"
output=$(make_ install BUILD_DIR="$build" PREFIX="$home/apps/pylvane" 2>&1) &&
    fail "make install into a folder of the user's succeeded"
grep -qxF "Refusing to install into $home/apps/pylvane: $home belongs to user 65534" <<<"$output" &&
    [ -z "$(ls -A "$home")" ] || fail "make install into a folder of the user's must refuse first: $output"
# As root's install there would have left it, for the uninstall, which must refuse it for the same reason.
mkdir -p "$home/apps/pylvane"
output=$output$'\n'$(make_ uninstall PREFIX="$home/apps/pylvane" 2>&1)
grep -qxF "Refusing to uninstall from $home/apps/pylvane: $home belongs to user 65534" <<<"$output" &&
    [ "$(find "$home" -mindepth 1 | tr '\n' ' ')" = "$home/apps $home/apps/pylvane " ] ||
    fail "make install and uninstall in a folder of the user's must both refuse, for the same reason: $output"

# --- an ordinary user's install fails and says why -----------------------------------------------------------
# Before it, a plain uninstall, which also takes the program's events out of journalctl -x, and every folder the
# install made on the fresh /usr/local, which had none.
fresh /usr/local
if command -v journalctl >/dev/null && [ ! -e /usr/lib/systemd/catalog/pylvane.catalog ]; then
    events=$(grep -c '^-- ' /usr/local/lib/systemd/catalog/pylvane.catalog)
    [ "$(explained)" = "$events" ] && [ "$events" -ge 12 ] ||
        fail "the install left $(explained) of the $events events in the journal's catalog"
    make_ uninstall BUILD_DIR="$trap" >/dev/null 2>&1 || fail "uninstall"
    [ "$(explained)" = 0 ] || fail "the uninstall left $(explained) events in the journal's catalog"
else
    make_ uninstall BUILD_DIR="$trap" >/dev/null 2>&1 || fail "uninstall"
fi
[ -z "$(ls -A /usr/local)" ] || fail "the uninstall left in /usr/local: $(cd /usr/local && find . | tr '\n' ' ')"
output=$(as_user env -u MAKEFLAGS -u MAKELEVEL make -s -C "$source" install BUILD_DIR="$build" 2>&1) &&
    fail "make install as an ordinary user succeeded"
grep -q "Permission denied" <<<"$output" && [ -z "$(find /usr/local ! -type d)" ] ||
    fail "make install as an ordinary user must fail with 'Permission denied' and leave nothing: $output"

[ $failures -eq 0 ] && echo "all uninstall trap checks passed"
exit $((failures > 0))
