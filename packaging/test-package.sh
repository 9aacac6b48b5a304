#!/usr/bin/env bash
# The package as a user meets it, on a clean Debian 12 root file system: installed with apt, its dependencies
# coming from the archive; run by an ordinary user through its first cycle with one silent host and one missing
# process; removed, leaving nothing behind but the user's own files.
#
# The capability matters only where the kernel keeps the ICMP datagram socket from ordinary users. Every network
# namespace has its own ping_group_range, so the package is installed twice, each time in a namespace of the
# script's own: once with the range open to every group (no capability given), once with it closed, where the
# program, started without root, can log the silent host only because the capability lets it send echo at all.
#
# Usage: test-package.sh [--arch arm64] <pylvane_*.deb>. Needs root. The Debian root is made once with debootstrap
# and kept, with the packages apt downloads, in ${XDG_CACHE_HOME:-~/.cache}/pylvane; each run works on a copy of
# it. An arm64 root and package run under qemu-user (scripts/arm64.sh puts it into the cache), registered in a
# binfmt_misc private to the test's own user namespace.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
readonly source_dir
source "$source_dir/scripts/debian-root.sh"
readonly silent_host=10.77.0.2 # the address scripts/silent-host.sh keeps silent
readonly missing_process=pylvane-test-missing-process
readonly user=tester

if [ "${1:-}" != --inside ]; then
    arch=$(dpkg --print-architecture)
    if [ "${1:-}" = --arch ] && [ $# -ge 2 ]; then
        arch=$2
        shift 2
    fi
    if [ $# -ne 1 ] || [ ! -f "$1" ]; then
        echo "usage: $0 [--arch arm64] <pylvane_*.deb>" >&2
        exit 2
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "test-package: SKIPPED: needs root for debootstrap, chroot and network namespaces"
        exit 0
    fi
    deb=$(realpath "$1")
    started=$(date +%s)
    mkdir -p "$pylvane_cache/apt-archives"
    # The rest runs in a mount namespace of its own, so that its mounts end with it, whatever happens, before
    # the copy is removed. A foreign root runs under emulation, in a user namespace of its own too.
    namespace=(unshare --mount --propagation private --)
    qemu=
    if [ "$arch" != "$(dpkg --print-architecture)" ]; then
        namespace=(in_emulation_namespace)
        qemu=$(bash "$source_dir/scripts/arm64.sh" --print-qemu)
        [ -x "$qemu" ] || {
            echo "test-package: no qemu-user at $qemu (make package-arm64 puts it there)" >&2
            exit 1
        }
    fi
    base=$pylvane_cache/bookworm-minbase
    [ -z "$qemu" ] || base=$pylvane_cache/bookworm-$arch-minbase
    make_debian_root "$base" "$arch" "$qemu"
    work=$(mktemp -d "${TMPDIR:-/var/tmp}/pylvane-test-package.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # The root with the package's dependencies of an earlier run, when there is one: installing them takes ten
    # minutes under emulation. A run adds what that root lacks and keeps the result.
    with_dependencies=$base-with-dependencies
    if [ -x "$with_dependencies/usr/bin/apt-get" ]; then
        cp -a "$with_dependencies" "$work/root"
    else
        cp -a "$base" "$work/root"
    fi
    status=0
    lock_apt_archives
    "${namespace[@]}" "$BASH" "$0" --inside "$work" "$deb" "$pylvane_cache/apt-archives" "$started" "$qemu" \
        "$with_dependencies" || status=$?
    if [ -d "$with_dependencies.partial" ]; then
        cp -a "$base/dev" "$with_dependencies.partial/"
        rm -rf "$with_dependencies"
        mv "$with_dependencies.partial" "$with_dependencies"
    fi
    exit $status
fi

work=$2 deb=$3 archives=$4 started=$5 qemu=$6 with_dependencies=$7
if [ -n "$qemu" ] && ! register_qemu "$qemu"; then
    echo "test-package: no binfmt_misc of a user namespace's own here (Linux 6.7 and later have it)" >&2
    exit 1
fi
root=$work/root
home=/home/$user
passed=0 failed=0
pass() {
    echo "ok: $*"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
check() { # description command...
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() {
    echo "test-package: took $(($(date +%s) - started)) s in all"
    echo "test-package: $passed passed, $failed failed"
    exit $((failed > 0))
}
abort() {
    fail "$*"
    finish
}

# Runs a command in the Debian root with a plain environment; `in_root open|closed ...` runs it in a network
# namespace of its own, whose ICMP datagram socket is open to every group or to none.
in_root() {
    local range=
    case $1 in
    open) range="0 2147483647" ;;
    closed) range="1 0" ;;
    esac
    if [ -n "$range" ]; then
        shift
        # shellcheck disable=SC2016 # expanded by the inner shell
        unshare -n -- sh -c 'echo "$1" >/proc/sys/net/ipv4/ping_group_range && shift && exec "$@"' sh "$range" \
            chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
            DEBIAN_FRONTEND=noninteractive "$@"
    else
        chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
            DEBIAN_FRONTEND=noninteractive "$@"
    fi
}

# Every path in the root with its type, mode and owner, leaving out what is not files of the system (kernel
# file systems, temporary files, apt's own lists and downloads) and the user's home, checked on its own.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./sys -o -path ./run -o -path ./tmp \
        -o -path ./var/tmp -o -path ./var/cache/apt -o -path ./var/lib/apt/lists -o -path ".$home" \) -prune \
        -o -printf '%y %m %U:%G %p\n' | LC_ALL=C sort)
}

# Installs the package in the root, in a namespace whose range is as given. It has no network: the packages
# come from the archives downloaded before.
install_package() { # open|closed
    in_root "$1" apt-get install -qy "$package" >"$work/install-$1.log" 2>&1 || {
        tail -30 "$work/install-$1.log"
        abort "apt-get install with the ICMP datagram socket $1 to users"
    }
}

capability() {
    getcap "$root/usr/bin/pylvane" | sed 's/^[^ ]* //'
}

mount -t proc proc "$root/proc"
mount --bind "$archives" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A throwaway system need not survive a power cut: dpkg skips its syncs, which roughly halves the installation.
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/throwaway"
cp "$deb" "$root/tmp/"
package=/tmp/$(basename "$deb")

step=$SECONDS
in_root apt-get -q update >"$work/update.log" 2>&1 || {
    cat "$work/update.log"
    abort "apt-get update"
}
in_root apt-get install -qy --download-only "$package" >"$work/download.log" 2>&1 || {
    tail -30 "$work/download.log"
    abort "apt-get downloads the package's dependencies"
}
in_root apt-get -q autoclean >/dev/null 2>&1 || true
echo "   apt update and downloads took $((SECONDS - step)) s"

# What apt brings along with the package is installed first, so that a comparison of the system before and
# after each installation sees the package's own traces and nothing of its dependencies'.
step=$SECONDS
dependencies=$(in_root apt-get install -s -qq "$package" | sed -n 's/^Inst \([^ ]*\) .*/\1/p' |
    grep -vx pylvane || true)
# shellcheck disable=SC2086 # one package name a word
if [ -n "$dependencies" ] && { ! in_root apt-get install -qy $dependencies >"$work/dependencies.log" 2>&1 ||
    ! in_root apt-mark auto $dependencies >/dev/null; }; then
    tail -30 "$work/dependencies.log"
    abort "apt-get installs the package's dependencies"
fi
echo "   installing the $(wc -w <<<"$dependencies") packages it needs took $((SECONDS - step)) s"
# Kept but for the device nodes, which a user namespace may not make: the outer part adds them.
if [ -n "$dependencies" ]; then
    umount "$root/var/cache/apt/archives" "$root/proc"
    rm -rf "$with_dependencies.partial"
    mkdir "$with_dependencies.partial"
    (cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name dev -exec cp -a {} "$with_dependencies.partial/" \;)
    rm -f "$with_dependencies.partial$package"
    mount -t proc proc "$root/proc"
    mount --bind "$archives" "$root/var/cache/apt/archives"
fi

in_root useradd --create-home --shell /bin/sh "$user"
in_root setpriv --reuid="$user" --regid="$user" --init-groups sh -c \
    "mkdir -p $home/.config/Pylvane && umask 077 && cat >$home/.config/Pylvane/Pylvane.conf" <<EOF
[General]
e1="$silent_host"
e1b="1"
d1="$missing_process"
d1b="1"
EOF
cp "$root$home/.config/Pylvane/Pylvane.conf" "$work/settings"
snapshot >"$work/before"

# --- installed where every group may use the ICMP datagram socket: no capability --------------------------
install_package open
check "installed where every group may send echo: no capability given" test -z "$(capability)"
check "the program is executable and owned by root" \
    test "$(stat -c '%A %U' "$root/usr/bin/pylvane")" = "-rwxr-xr-x root"
in_root dpkg -L pylvane >"$work/files"
missing=$(for path in /usr/bin/pylvane /usr/share/applications/pylvane.desktop \
    /usr/share/icons/hicolor/48x48/apps/pylvane.png /usr/share/icons/hicolor/scalable/apps/pylvane.svg \
    /usr/share/man/man1/pylvane.1.gz /usr/share/doc/pylvane/copyright \
    /usr/share/metainfo/invalid.pylvane.pylvane.metainfo.xml; do
    grep -qxF "$path" "$work/files" || echo "$path"
done)
check "installed: program, menu entry, icons, manual page, copyright, metainfo${missing:+; missing: $missing}" \
    test -z "$missing"
# The history's database is read through Debian's libsqlite3: the package has to name it, not find it there.
depends=$(in_root dpkg-query -W -f='${Depends}' pylvane)
check "the package depends on libsqlite3-0 (Depends: $depends), and apt installed it" \
    test "$(grep -oE '(^|, )libsqlite3-0( |,|$)' <<<"$depends" | wc -l):$(in_root dpkg-query -W -f='${Status}' \
    libsqlite3-0 2>/dev/null)" = "1:install ok installed"
libraries=$(in_root ldd /usr/bin/pylvane 2>&1 || true)
check "the program finds every library it is linked with, libsqlite3 among them" \
    test "$(grep -c 'not found' <<<"$libraries"):$(grep -c '^[[:space:]]*libsqlite3\.so\.0 => /' <<<"$libraries")" \
    = "0:1"
check "the manual page tells to run setcap on /usr/bin/pylvane" \
    grep -qxF "setcap cap_net_raw+ep /usr/bin/pylvane" <(gzip -cd "$root/usr/share/man/man1/pylvane.1.gz")
in_root apt-get purge -qy pylvane >"$work/purge-open.log" 2>&1 || abort "apt-get purge"
snapshot >"$work/after-open"
check "purged: the system's files are as before the installation" diff -u "$work/before" "$work/after-open"

# --- installed where no group may: the capability, and a cycle run without root ---------------------------

install_package closed
check "installed where no group may send echo: capability cap_net_raw given" test "$(capability)" = "cap_net_raw=ep"
output=$(in_root closed /var/lib/dpkg/info/pylvane.postinst configure 2>&1) && status=0 || status=$?
check "the postinst is silent when it succeeds${output:+, but said: $output}" test "$status:$output" = "0:"
output=$(in_root closed env PATH=/nonexistent /var/lib/dpkg/info/pylvane.postinst configure 2>&1) &&
    status=0 || status=$?
check "without setcap the postinst warns, says what to run, and lets the installation go on" \
    test "$status" = 0 -a -n "$(grep -F "setcap cap_net_raw+ep /usr/bin/pylvane" <<<"$output")"

# shellcheck disable=SC2016 # expanded by the inner shell
unshare -n -- "$source_dir/scripts/silent-host.sh" sh -c '
    set -e
    echo "1 0" >/proc/sys/net/ipv4/ping_group_range
    exec chroot "$1" setpriv --reuid="$2" --regid="$2" --init-groups env -i HOME="/home/$2" USER="$2" \
        LOGNAME="$2" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen sh -c "cd && exec pylvane"
' sh "$root" "$user" >"$work/run.log" 2>&1 &
program=$!
trap 'kill $program 2>/dev/null || true' EXIT
log=$root$home/PylvaneLog.txt
step=$SECONDS
# The first cycle comes about 20 s after start; it has ended when both lines are there.
while [ $((SECONDS - step)) -lt 90 ] && kill -0 $program 2>/dev/null &&
    ! { grep -qF " - Device1 OFF   " "$log" && grep -qF " - Process1 DOWN   " "$log"; } 2>/dev/null; do
    sleep 1
done
running=$(kill -0 $program 2>/dev/null && echo yes || echo no)
kill $program 2>/dev/null || true
wait $program 2>/dev/null || true
echo "   the first cycle was logged $((SECONDS - step)) s after start"
[ "$running" = yes ] || {
    cat "$work/run.log"
    fail "the program ended by itself"
}
check "the program, run by $user, logged the silent host" grep -qF " - Device1 OFF   " "$log"
check "the program, run by $user, logged the missing process" grep -qF " - Process1 DOWN   " "$log"
[ $failed -eq 0 ] || {
    echo "-- the log:"
    cat "$log" 2>/dev/null
    echo "-- the program's output:"
    cat "$work/run.log"
}

in_root apt-get purge -qy pylvane >"$work/purge-closed.log" 2>&1 || abort "apt-get purge"
snapshot >"$work/after-closed"
check "purged after a run: the system's files are as before the installation" \
    diff -u "$work/before" "$work/after-closed"
check "the user's settings are kept as they were" cmp -s "$work/settings" "$root$home/.config/Pylvane/Pylvane.conf"
check "the user's log is kept" test -s "$log"
finish
