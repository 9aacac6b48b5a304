#!/usr/bin/env bash
# Events read back from a journal of the test's own: systemd-journald started in a private mount namespace
# with a tmpfs on /run (and on the journal's folder in /var/log), so the machine's journal sees nothing.
# Then, with no journal socket there, the same sentences arriving where syslog(3) sends them.
# Usage: journal_test.sh <event_sender> <pylvane>        Exit 77: skipped. Needs Xvfb and xdotool.
set -uo pipefail
sender=$1 program=$2
if [ "$(id -u)" != 0 ]; then
    echo "SKIP: needs root for a private mount namespace and a journald of its own"
    exit 77
fi
journald=/lib/systemd/systemd-journald
if [ ! -x "$journald" ] || ! command -v journalctl >/dev/null; then
    echo "SKIP: systemd-journald or journalctl is missing (Debian package systemd)"
    exit 77
fi
# The arm64 build root has no X server: there the events the program's own code sends are still read back.
with_program=1
for tool in Xvfb xdotool; do
    command -v $tool >/dev/null ||
        { echo "The real program's two cycles are left out: $tool is missing (Debian packages xvfb, xdotool)"; with_program=0; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export tmp sender program journald with_program
here=$(dirname "$0")

unshare --mount --propagation private -- bash -c '
set -uo pipefail
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
mount -t tmpfs tmpfs /run
[ -d /var/log/journal ] && mount -t tmpfs tmpfs /var/log/journal
# journald ends at once without the cgroup tree, which a build root entered with chroot does not have.
if [ -z "$(ls -A /sys/fs/cgroup 2>/dev/null)" ]; then
    { [ -d /sys/kernel ] || mount -t sysfs sysfs /sys; } && mount -t cgroup2 cgroup2 /sys/fs/cgroup ||
        { echo "FAIL: no cgroup tree for journald, and none could be mounted"; exit 1; }
fi

# --- the journal ---------------------------------------------------------------------------------------------
"$journald" >"$tmp/journald.log" 2>&1 &
journald_pid=$!
for _ in $(seq 100); do [ -S /run/systemd/journal/socket ] && break; sleep 0.1; done
sleep 0.2
[ -S /run/systemd/journal/socket ] && kill -0 $journald_pid 2>/dev/null ||
    { cat "$tmp/journald.log"; echo "FAIL: journald did not start"; exit 1; }

text=$(printf "192.168.1.23\nMESSAGE=forged \"quoted\" back\\\\slash = sign")
"$sender" "$text" || fail "event_sender failed"
# Too long for one datagram: it goes as an in-memory file, and still whole.
"$sender" "long text " 400000 || fail "event_sender with the long text failed"
# The real program: its start, a cycle with its process target down (and the failure command), a cycle
# with the process running, its end.
mkdir "$tmp/run"
want=24
if [ "$with_program" = 1 ]; then
    bash "${0%/*}/program_cycles.sh" "$program" "$tmp/run" || fail "the program did not go through its two cycles"
    [ -f "$tmp/run/failure-command-ran" ] || fail "the failure command did not run"
    want=29
fi
for _ in $(seq 100); do
    got=$(journalctl -D /run/log/journal SYSLOG_IDENTIFIER=pylvane -o json 2>/dev/null | wc -l)
    [ "$got" -ge $want ] && break
    sleep 0.1
done
journalctl -D /run/log/journal SYSLOG_IDENTIFIER=pylvane -o json --all >"$tmp/entries.json" 2>"$tmp/journalctl.err"
/usr/bin/python3 "${0%/*}/journal_check.py" "$tmp/entries.json" "$text" "$(cat "$tmp/run/program.pid" 2>/dev/null)" \
    "$(cat "$tmp/run/process.name" 2>/dev/null)" "$(cat "$tmp/run/failure-command" 2>/dev/null)" || fail "the entries read back are not as sent"
kill $journald_pid; wait $journald_pid 2>/dev/null

# --- no journal: syslog -----------------------------------------------------------------------------------------
rm -rf /run/systemd
mkdir "$tmp/olddev"
mount --rbind /dev "$tmp/olddev"
mount -t tmpfs tmpfs /dev
for node in null zero random urandom; do touch /dev/$node; mount --bind "$tmp/olddev/$node" /dev/$node; done
/usr/bin/python3 -c "
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(\"/dev/log\")
s.settimeout(20)
with open(sys.argv[1], \"wb\") as out:
    for _ in range(11):
        out.write(s.recv(1 << 20) + b\"\\n\")
" "$tmp/syslog.txt" &
listener=$!
for _ in $(seq 100); do [ -S /dev/log ] && break; sleep 0.1; done
"$sender" "$text" || fail "event_sender without a journal failed"
wait $listener || fail "syslog did not get the eleven lines"
grep -E "^<11>[A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} pylvane\[[0-9]+\]: Cam3 192\.168\.1\.23\\\\nMESSAGE=forged \"quoted\" back\\\\\\\\slash = sign is down$" \
    "$tmp/syslog.txt" >/dev/null || fail "no error line for the target down, on one line: $(cat "$tmp/syslog.txt")"
grep -qE "^<13>.* pylvane\[[0-9]+\]: Cam3 192\.168\.1\.23.* is back up$" "$tmp/syslog.txt" ||
    fail "no notice line for the target back up"
grep -qE "^<14>.* pylvane\[[0-9]+\]: Pylvane 9\.8\.7 started$" "$tmp/syslog.txt" || fail "no line for the start"
[ "$(wc -l <"$tmp/syslog.txt")" = 11 ] || fail "a line was split: $(cat "$tmp/syslog.txt")"
exit $((failures > 0))
' "$here/journal_test.sh"
status=$?
[ $status = 0 ] && echo "journal and syslog events: all passed"
exit $status
