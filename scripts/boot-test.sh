#!/usr/bin/env bash
# The system service as an administrator meets it: a Debian 12 container booted with systemd as its init
# (systemd-nspawn --boot), the package installed with apt, the unit enabled, and then:
#   - the service is active, runs as a user of its own with CAP_NET_RAW and nothing more, and its first cycle
#     finds the silent host and the missing process down: in the journal, in status.json in /var/lib/pylvane, in
#     `pylvane --status --state-dir`, in the metrics file, and through the failure program, which may write its
#     working folder but not /etc;
#   - a reload with a damaged settings file keeps the settings before it;
#   - a main process stopped with SIGSTOP is ended by the watchdog and started again;
#   - a purge leaves nothing of the package behind but the administrator's own settings file.
# The container has a network of its own with loopback and one silent host (as scripts/silent-host.sh makes it),
# and no way out.
#
# Usage: boot-test.sh <pylvane_*.deb>. Needs root. The Debian root with systemd is made once from the package
# test's root and kept in ${XDG_CACHE_HOME:-~/.cache}/pylvane; each run works on a copy of it.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
readonly source_dir
source "$source_dir/scripts/debian-root.sh"
readonly silent_host=10.77.0.2
readonly missing_process=pylvane-test-missing-process
readonly down_message=f5a6a8ac34374fd7a13263e7b4f19b6a # the journal's "… is down" event
readonly machine=pylvane-boot-test
readonly state=/var/lib/private/pylvane # where systemd keeps the dynamic user's state, seen from outside

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 <pylvane_*.deb>" >&2
    exit 2
fi
if [ "$(id -u)" != 0 ]; then
    echo "boot-test: SKIPPED: needs root for debootstrap, chroot and systemd-nspawn"
    exit 0
fi
command -v systemd-nspawn >/dev/null || {
    echo "boot-test: systemd-nspawn is missing (Debian's systemd-container)" >&2
    exit 1
}
deb=$(realpath "$1")
started=$SECONDS

# minbase with systemd as init; made once, beside the package test's root.
base=$pylvane_cache/bookworm-systemd
make_systemd_root() {
    [ -x "$base/lib/systemd/systemd" ] && return 0
    make_debian_root "$pylvane_cache/bookworm-minbase"
    (
        flock 8
        [ -x "$base/lib/systemd/systemd" ] && exit 0
        echo "== adding systemd to a copy of the Debian 12 root in $base (kept for later runs)"
        rm -rf "$base.partial"
        cp -a "$pylvane_cache/bookworm-minbase" "$base.partial"
        lock_apt_archives
        # shellcheck disable=SC2016 # expanded by the inner shell
        unshare --mount --propagation private -- sh -c '
            mount -t proc proc "$1/proc" && mount --bind "$2" "$1/var/cache/apt/archives" &&
            cp /etc/resolv.conf "$1/etc/resolv.conf" &&
            chroot "$1" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
                sh -c "apt-get -q update && apt-get install -qy --no-install-recommends systemd-sysv dbus"
        ' sh "$base.partial" "$pylvane_cache/apt-archives" >"$pylvane_cache/systemd-root.log" 2>&1 || {
            tail -20 "$pylvane_cache/systemd-root.log"
            echo "boot-test: could not add systemd to the root (log: $pylvane_cache/systemd-root.log)" >&2
            exit 1
        }
        # The container's own name and no login prompt on its console.
        echo "$machine" >"$base.partial/etc/hostname"
        ln -sf /dev/null "$base.partial/etc/systemd/system/console-getty.service"
        mv "$base.partial" "$base"
    ) 8>"$base.lock"
}
make_systemd_root

work=$(mktemp -d "${TMPDIR:-/var/tmp}/pylvane-boot-test.XXXXXX")
root=$work/root
container="" leader=""
cleanup() {
    if [ -n "$container" ] && kill -0 "$container" 2>/dev/null; then
        kill -TERM "$container" 2>/dev/null || true
        for _ in $(seq 20); do kill -0 "$container" 2>/dev/null || break; sleep 0.5; done
        kill -KILL "$container" 2>/dev/null || true
        wait "$container" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# The root with the package's dependencies of an earlier run, when there is one; a run that had to install them
# keeps the result.
with_dependencies=$base-with-dependencies
if [ -x "$with_dependencies/lib/systemd/systemd" ]; then
    cp -a "$with_dependencies" "$root"
else
    cp -a "$base" "$root"
fi

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
    echo "boot-test: took $((SECONDS - started)) s in all"
    echo "boot-test: $passed passed, $failed failed"
    exit $((failed > 0))
}
abort() {
    fail "$*"
    [ -z "$leader" ] || in_container journalctl -b --no-pager -n 60 2>/dev/null || true
    finish
}

# --- before the boot: the package's dependencies, from the archive, through a chroot ------------------------
# Not in /tmp, which the booted system hides under a file system of its own.
cp "$deb" "$root/var/tmp/"
package=/var/tmp/$(basename "$deb")
lock_apt_archives
# shellcheck disable=SC2016 # expanded by the inner shell
unshare --mount --propagation private -- sh -c '
    set -e
    mount -t proc proc "$1/proc"
    mount --bind "$2" "$1/var/cache/apt/archives"
    cp /etc/resolv.conf "$1/etc/resolv.conf"
    echo force-unsafe-io >"$1/etc/dpkg/dpkg.cfg.d/throwaway"
    root=$1 package=$3
    in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
    in_root apt-get -q update
    dependencies=$(in_root apt-get install -s -qq "$package" | sed -n "s/^Inst \([^ ]*\) .*/\1/p" |
        grep -vx pylvane || true)
    if [ -n "$dependencies" ]; then
        in_root apt-get install -qy $dependencies
        in_root apt-mark auto $dependencies
    fi
' sh "$root" "$pylvane_cache/apt-archives" "$package" >"$work/dependencies.log" 2>&1 || {
    tail -30 "$work/dependencies.log"
    abort "apt-get installs the package's dependencies"
}
exec 7>&- # the archives are no longer needed: other runs may use them
if [ ! -x "$with_dependencies/lib/systemd/systemd" ]; then
    rm -rf "$with_dependencies.partial"
    cp -a "$root" "$with_dependencies.partial"
    rm -f "$with_dependencies.partial$package"
    mv -T "$with_dependencies.partial" "$with_dependencies" 2>/dev/null || rm -rf "$with_dependencies.partial"
fi

# --- the boot ---------------------------------------------------------------------------------------------
# Not registered with a machine manager (there may be none outside), in the unit it was started from, with a
# network of its own: loopback and whatever the test adds.
systemd-nspawn --quiet --boot --register=no --keep-unit --private-network --console=passive \
    --machine="$machine" -D "$root" >"$work/console.log" 2>&1 &
container=$!
# systemd in the container: a process started by systemd-nspawn (or by its child) that its own PID namespace
# calls 1.
find_leader() {
    local p parent
    for p in /proc/[0-9]*; do
        [ "$(cat "$p/comm" 2>/dev/null)" = systemd ] || continue
        [ "$(awk '/^NSpid:/ { print $NF }' "$p/status" 2>/dev/null)" = 1 ] || continue
        parent=$(awk '/^PPid:/ { print $2 }' "$p/status" 2>/dev/null) || continue
        [ "$parent" = "$container" ] ||
            [ "$(awk '/^PPid:/ { print $2 }' "/proc/$parent/status" 2>/dev/null)" = "$container" ] || continue
        [ "$(readlink "$p/ns/pid")" != "$(readlink /proc/self/ns/pid)" ] || continue
        echo "${p#/proc/}"
        return 0
    done
    return 1
}
# The processes of the container, by their number outside, with the given name (or all).
container_processes() { # [name]
    local p ns
    ns=$(readlink "/proc/$leader/ns/pid")
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/ns/pid" 2>/dev/null)" = "$ns" ] || continue
        [ -z "${1:-}" ] || [ "$(cat "$p/comm" 2>/dev/null)" = "$1" ] || continue
        echo "${p#/proc/}"
    done
    return 0
}
in_container() {
    nsenter -t "$leader" -a -- /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}
step=$SECONDS
while [ -z "$leader" ] && [ $((SECONDS - step)) -lt 30 ] && kill -0 "$container" 2>/dev/null; do
    leader=$(find_leader) || sleep 0.2
done
[ -n "$leader" ] || {
    cat "$work/console.log"
    abort "systemd-nspawn --boot started systemd in the container"
}
system=
while [ $((SECONDS - step)) -lt 90 ]; do
    system=$(in_container systemctl is-system-running 2>/dev/null) || true
    case $system in running | degraded) break ;; esac
    sleep 0.5
done
echo "   the container booted in $((SECONDS - step)) s: $system"
check "the container's systemd reached a running system${system:+ ($system)}" test "$system" = running
[ "$system" = running ] || in_container systemctl --failed --no-pager || true

# The silent host, in the container's network namespace, with the outside's ip (the root has no iproute2).
nsenter -t "$leader" -n -- "$source_dir/scripts/silent-host.sh" true || abort "the silent host in the container"

# Every path in the root with its type, mode and owner, leaving out what is not files of the system (kernel file
# systems, temporary and runtime files, the journal, apt's lists and downloads, systemd's own records of the boot).
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./sys -o -path ./run -o -path ./tmp \
        -o -path ./var/tmp -o -path ./var/log -o -path ./var/cache/apt -o -path ./var/lib/apt/lists \
        -o -path ./var/lib/systemd/timers -o -path ./var/lib/systemd/random-seed \) -prune \
        -o -printf '%y %m %U:%G %p\n' | grep -vx 'd 700 0:0 ./var/lib/private' | LC_ALL=C sort)
}

# The failure program the settings will name: the administrator's, there before the package.
cat >"$root/usr/local/bin/pylvane-test-failure" <<'EOF'
#!/bin/sh
# Says what it was told, who it ran as and whether it could write outside its working folder.
{
    echo "count=$PYLVANE_DOWN_COUNT"
    printf '%s\n' "$PYLVANE_DOWN"
    echo "uid=$(id -u) home=${HOME:-none} display=${DISPLAY:-none}"
    # Not with the shell's own ':', whose failed redirection would end the script.
    if touch /etc/pylvane-failure-wrote 2>/dev/null; then echo "etc=written"; else echo "etc=refused"; fi
} >failure.txt
EOF
chmod 755 "$root/usr/local/bin/pylvane-test-failure"
snapshot >"$work/before"

# --- installed: nothing enabled, nothing started ----------------------------------------------------------
in_container apt-get install -qy "$package" >"$work/install.log" 2>&1 || {
    tail -30 "$work/install.log"
    abort "apt-get install in the booted container"
}
check "installed: the unit is there, not enabled" test "$(in_container systemctl is-enabled pylvane.service)" = disabled
check "installed: the service was not started" \
    test "$(in_container systemctl is-active pylvane.service || true)" = inactive
check "installed: the user unit and the example settings" test -f "$root/usr/lib/systemd/user/pylvane.service" \
    -a -f "$root/usr/share/doc/pylvane/examples/pylvane.conf" -a ! -e "$root/etc/pylvane"

# --- the administrator's settings, from the example ---------------------------------------------------------
install -d -m 755 "$root/etc/pylvane"
settings() { # e2b
    sed -e "s|^;a1=.*|a1=/usr/local/bin/pylvane-test-failure|" -e "s|^;e1=.*|e1=127.0.0.1|" -e "s|^;e1b=.*|e1b=1|" \
        -e "s|^;e2=.*|e2=$silent_host|" -e "s|^;e2b=.*|e2b=$1|" -e "s|^;d1=.*|d1=systemd-journald|" \
        -e "s|^;d1b=.*|d1b=1|" -e "s|^;d2=.*|d2=$missing_process|" -e "s|^;d2b=.*|d2b=1|" \
        -e "s|^;MetricsFolder=.*|MetricsFolder=/run/pylvane|" "$root/usr/share/doc/pylvane/examples/pylvane.conf"
}
settings 1 >"$root/etc/pylvane/pylvane.conf"
chmod 644 "$root/etc/pylvane/pylvane.conf"
cp "$root/etc/pylvane/pylvane.conf" "$work/settings"
output=$(in_container pylvane --check-config /etc/pylvane/pylvane.conf 2>&1) && status=0 || status=$?
check "pylvane --check-config finds the settings made from the example fine${output:+: $output}" test "$status" = 0

# --- enabled and started: the first cycle -----------------------------------------------------------------
step=$SECONDS
in_container systemctl enable --now pylvane.service >"$work/enable.log" 2>&1 || {
    cat "$work/enable.log"
    in_container journalctl -u pylvane.service --no-pager -n 40 || true
    abort "systemctl enable --now pylvane"
}
# The first cycle comes about 20 s after start; it has ended when status.json is there.
while [ $((SECONDS - step)) -lt 90 ] && [ ! -s "$root$state/status.json" ]; do sleep 1; done
echo "   status.json came $((SECONDS - step)) s after start"
check "systemctl is-active pylvane" test "$(in_container systemctl is-active pylvane.service)" = active
main=$(in_container systemctl show -P MainPID pylvane.service)
host_main=
for p in $(container_processes); do
    if [ "$(awk '/^NSpid:/ { print $NF }' "/proc/$p/status" 2>/dev/null)" = "$main" ]; then
        host_main=$p
        break
    fi
done
if [ -n "$host_main" ]; then
    check "the service runs as a user of its own, not root" \
        test "$(awk '/^Uid:/ { print $2 }' "/proc/$host_main/status")" -ne 0
    check "the service's only capability is cap_net_raw" \
        test "$(awk '/^CapEff:/ { print $2 }' "/proc/$host_main/status")" = 0000000000002000
else
    fail "the service's main process ($main in the container) was found"
fi
journal() { in_container journalctl -u pylvane.service --no-pager -o cat "$@" 2>/dev/null; }
check "the journal has the silent host's down event" \
    grep -qF "$silent_host" <(in_container journalctl --no-pager -o cat MESSAGE_ID=$down_message)
check "the journal has the missing process's down event" \
    grep -qF "$missing_process" <(in_container journalctl --no-pager -o cat MESSAGE_ID=$down_message)
check "systemctl status shows the last cycle's outcome" \
    test -n "$(in_container systemctl show -P StatusText pylvane.service)"
cp "$root$state/status.json" "$work/status.json" 2>/dev/null || true
check "status.json in /var/lib/pylvane: the silent host and the missing process down, the rest up" python3 -c '
import json, sys
targets = {t["name"]: t["state"] for t in json.load(open(sys.argv[1]))["targets"]}
sys.exit(not (targets.get("Device1") == "up" and targets.get("Device2") == "down" and
              targets.get("Process1") == "up" and targets.get("Process2") == "down"))
' "$work/status.json"
output=$(in_container pylvane --status --state-dir /var/lib/pylvane 2>&1) && status=0 || status=$?
check "pylvane --status --state-dir /var/lib/pylvane run by root says 2 down, CRITICAL, exit 2 (got $status: $output)" \
    test "$status" = 2 -a "${output#PYLVANE CRITICAL - 2 down: }" != "$output"
# The history the service keeps beside it, read back by root as the status is.
output=$(in_container pylvane --history --csv --state-dir /var/lib/pylvane 2>&1) && status=0 || status=$?
check "pylvane --history --state-dir /var/lib/pylvane run by root lists the silent host's check (got $status: $output)" \
    grep -q ',device,2,Device2,[^,]*,down,' <<<"$output"
# Read as the node exporter would, as another user through the bind mount the README gives it: /run/private
# itself is root's alone.
in_container systemd-run --quiet --wait --pipe -p User=nobody \
    -p BindReadOnlyPaths=-/run/private/pylvane:/run/pylvane-metrics cat /run/pylvane-metrics/pylvane.prom \
    >"$work/metrics" 2>&1 || true
check "the metrics file, read by another user through a bind mount, says the silent host is down" \
    grep -q "^pylvane_target_up{.*text=\"$silent_host\"} 0$" "$work/metrics"
check "the metrics file is there, but not readable by other users where systemd keeps it" in_container sh -c \
    'test -f /run/pylvane/pylvane.prom && ! setpriv --reuid=nobody --regid=nogroup --clear-groups cat /run/pylvane/pylvane.prom'
check "the failure program was told of two targets down" grep -qx "count=2" "$root$state/failure.txt"
check "the failure program ran without root, home or display" \
    grep -q "^uid=[1-9][0-9]* home=none display=none$" "$root$state/failure.txt"
check "the failure program could not write /etc" grep -qx "etc=refused" "$root$state/failure.txt"
check "the log is written in the working folder" grep -qF " - Device2 OFF   " "$root$state/PylvaneLog.txt"

# --- a reload with a damaged file keeps the settings before it ------------------------------------------------
# The damaged file would switch the silent host off; refused, the next cycle still finds it down.
{
    settings 0
    echo "[General"
} >"$root/etc/pylvane/pylvane.conf"
since=$(in_container date +%s)
in_container systemctl reload pylvane.service >"$work/reload.log" 2>&1 || true
sleep 2
check "after a reload with a damaged file the service is still active" \
    test "$(in_container systemctl is-active pylvane.service)" = active
check "the refused reload left an error in the journal" test -n "$(journal --since "@$since" -p err)"
ended=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["ended"])' "$work/status.json" 2>/dev/null) ||
    ended=
in_container systemctl kill -s USR1 --kill-whom=main pylvane.service || fail "systemctl kill -s USR1"
step=$SECONDS
while [ $((SECONDS - step)) -lt 60 ]; do
    cp "$root$state/status.json" "$work/status-after.json" 2>/dev/null &&
        [ "$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["ended"])' "$work/status-after.json" \
            2>/dev/null)" != "$ended" ] && break
    sleep 1
done
check "SIGUSR1 ran a cycle, and it still checked the silent host: the settings before the reload stayed" python3 -c '
import json, sys
before, after = (json.load(open(f)) for f in sys.argv[1:3])
targets = {t["name"]: t["state"] for t in after["targets"]}
sys.exit(not (after["ended"] != before["ended"] and targets.get("Device2") == "down"))
' "$work/status.json" "$work/status-after.json"
cp "$work/settings" "$root/etc/pylvane/pylvane.conf"

# --- a hung main process: the watchdog ends it and systemd starts it again ------------------------------------
main=$(in_container systemctl show -P MainPID pylvane.service)
since=$(in_container date +%s)
in_container systemctl kill -s STOP --kill-whom=main pylvane.service || fail "systemctl kill -s STOP"
step=$SECONDS
now=$main
# WatchdogSec=60s, then the abort, then RestartSec=5s.
while [ $((SECONDS - step)) -lt 150 ]; do
    now=$(in_container systemctl show -P MainPID pylvane.service)
    [ "$now" != "$main" ] && [ "$now" != 0 ] && [ "$(in_container systemctl is-active pylvane.service)" = active ] &&
        break
    sleep 1
done
echo "   the stopped service was running again $((SECONDS - step)) s after SIGSTOP"
check "the watchdog ended the stopped main process" \
    grep -q "[Ww]atchdog timeout" <(in_container journalctl --no-pager -o cat --since "@$since" -u pylvane.service)
check "systemd started it again (main process $main, now $now)" \
    test "$now" != "$main" -a "$now" != 0 -a "$(in_container systemctl show -P NRestarts pylvane.service)" -ge 1

# --- purged: nothing of the package left --------------------------------------------------------------------
in_container apt-get purge -qy pylvane >"$work/purge.log" 2>&1 || {
    tail -30 "$work/purge.log"
    abort "apt-get purge"
}
check "purged: the service was stopped" test "$(in_container systemctl is-active pylvane.service || true)" = inactive
check "purged: no Pylvane process is left" test -z "$(container_processes pylvane)"
check "purged: the metrics folder is gone" in_container sh -c \
    'test ! -e /run/private/pylvane -a ! -L /run/pylvane || { ls -la /run/private /run/pylvane; false; }'
snapshot >"$work/after"
# The administrator's settings stay, as they were; everything else is as before the installation.
diff "$work/before" "$work/after" >"$work/left" || true
check "purged: the system's files are as before the installation, but for the administrator's settings" \
    test "$(grep '^[<>]' "$work/left" | sed 's/^> [^ ]* [^ ]* [^ ]* //')" = "$(printf '%s\n' ./etc/pylvane \
        ./etc/pylvane/pylvane.conf)"
[ $failed -eq 0 ] || cat "$work/left"
check "the administrator's settings are kept as they were" cmp -s "$work/settings" "$root/etc/pylvane/pylvane.conf"
[ $failed -eq 0 ] || {
    echo "-- the service's journal:"
    in_container journalctl --no-pager -n 80 -u pylvane.service || true
}

in_container systemctl poweroff >/dev/null 2>&1 || true
step=$SECONDS
while [ $((SECONDS - step)) -lt 30 ] && kill -0 "$container" 2>/dev/null; do sleep 0.5; done
finish
