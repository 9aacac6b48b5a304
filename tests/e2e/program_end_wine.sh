#!/usr/bin/env bash
# The built Windows program under Wine, ended the way Windows Installer's Restart Manager ends it (the session-end
# messages to its windows) while another writer holds its log: the entry that waits for the log is in the log once
# the program has been asked whether it may end, and it ends by itself when told it does. With the lock held past
# the program's wait, the entry is kept beside the log and goes in at the next start.
#
# Windows exist under Wine only with a display, which the test session has not: this runs in a Wine session of its
# own (prefix beside the test session's) on a private X server.
#
# Usage: program_end_wine.sh <pylvane.exe> <pylvane_logtool.exe> <session_end_sender.exe>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
logtool=$(realpath "$2")
sender=$(realpath "$3")
source "$here/wine_common.sh"

if [ -z "${PYLVANE_END_TEST_INNER:-}" ]; then
    [ -n "${WINEPREFIX:-}" ] || skip "needs the Wine session that scripts/windows/test.sh starts"
    command -v Xvfb >/dev/null || skip "needs Xvfb (Debian: xvfb) for a display on which the windows exist"
    tmp=$(mktemp -d)
    exec 3>"$tmp/display"
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
    xvfb=$!
    trap '{ kill "$xvfb" && wait "$xvfb"; } 2>/dev/null || true; rm -rf "$tmp"' EXIT
    for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
    [ -s "$tmp/display" ] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
    status=0
    PYLVANE_END_TEST_INNER=1 PYLVANE_WINE_DISPLAY=:$(head -n1 "$tmp/display") \
        bash "$here/../../scripts/windows/wine-session.sh" "$WINEPREFIX-display" bash "$0" "$@" || status=$?
    exit "$status"
fi

start_test_folder
log=$tmp/work/PylvaneLog.txt
pending=$log.pending
marker=$tmp/tools/alerted


# One process target that never runs: the first cycle finds it down and starts the failure command.
printf '@echo ran>>"%s"\r\n' "$(windows_path "$marker")" >"$tmp/tools/alert.bat"
"$wine" reg delete 'HKCU\Software\Pylvane' /va /f </dev/null >/dev/null 2>&1 || true
for value in "a1=$(windows_path "$tmp/tools/alert.bat")" "d1=pylvane-e2e-never-$$.exe" d1b=1; do
    "$wine" reg add 'HKCU\Software\Pylvane' /v "${value%%=*}" /t REG_SZ /d "${value#*=}" /f </dev/null \
        >/dev/null 2>&1 || fail "reg add ${value%%=*} did not work"
done

hold_log() {
    "$wine" "$logtool" "$(windows_path "$log")" hold 600000 </dev/null >"$tmp/holder" 2>&1 &
    holder=$!
    pids="$pids $holder"
    for _ in $(seq 300); do grep -q ready "$tmp/holder" && return; sleep 0.1; done
    fail "the other writer did not take the lock: $(cat "$tmp/holder")"
}
release_log() {
    { kill "$holder" && wait "$holder"; } 2>/dev/null || true
}
# Started in the log's folder, or as the system starts it again after an installer closed it: from elsewhere, told
# the folder of the run that was closed.
start_program() {
    rm -f "$marker"
    (cd "$tmp/work" && exec "$wine" "$exe") </dev/null >"$tmp/output" 2>&1 &
    app=$!
    pids="$pids $app"
}
restart_program() {
    (cd "$tmp/tools" && exec "$wine" "$exe" --working-directory "$(windows_path "$tmp/work")") </dev/null \
        >"$tmp/output" 2>&1 &
    app=$!
    pids="$pids $app"
}
wait_for_alert() {
    for _ in $(seq $((first_cycle_wait * 10))); do
        [ -s "$marker" ] && return
        kill -0 "$app" 2>/dev/null || fail "the program ended before its first cycle: $(cat "$tmp/output")"
        sleep 0.1
    done
    fail "no failure command within $first_cycle_wait s: $(cat "$tmp/output")"
}
# Asked whether it may end, the program writes what waits (or keeps it) and runs on; told it ends, it ends.
end_session() {
    "$wine" "$sender" "$1" </dev/null >"$tmp/sender" 2>&1 || fail "session end, $1: $(cat "$tmp/sender")"
}
wait_for_own_end() {
    for _ in $(seq 200); do kill -0 "$app" 2>/dev/null || return 0; sleep 0.1; done
    fail "the program did not end by itself after the session end"
}
entries_in() {
    grep -c $'^.* [0-9][0-9]:[0-9][0-9]:[0-9][0-9]  - Process1 DOWN   \r$' "$1" || true
}

# The lock is let go before the session ends.
hold_log
start_program
wait_for_alert
[ ! -s "$log" ] || fail "the entry went in while the lock was held: $(cat -A "$log")"
release_log
end_session query
[ "$(entries_in "$log")" = 1 ] || fail "the entry is not in the log once the end was asked for: $(cat -A "$log")"
head -n1 "$log" | grep -q '^-=K=- Pylvane Log File , Created ' || fail "not the process header: $(cat -A "$log")"
kill -0 "$app" 2>/dev/null || fail "the program ended before the session did"
end_session end
wait_for_own_end
[ "$(entries_in "$log")" = 1 ] || fail "the entry is not in the log once: $(cat -A "$log")"
[ ! -e "$pending" ] || fail "entries kept beside the log: $(cat -A "$pending")"
echo "Session end with the lock let go: $(sed -n 3p "$log")"

# The lock is held past the program's wait: the entry is kept, and the next start puts it in.
rm -f "$log"
hold_log
start_program
wait_for_alert
end_session query
[ "$(entries_in "$pending")" = 1 ] || fail "the entry is not kept beside the log: $(cat -A "$pending" 2>&1)"
[ ! -s "$log" ] || fail "the log was written while locked: $(cat -A "$log")"
end_session end
wait_for_own_end
release_log
restart_program
for _ in $(seq 200); do [ -e "$pending" ] || break; sleep 0.1; done
[ ! -e "$pending" ] || fail "the kept entry was not taken in at the next start: $(cat "$tmp/output")"
[ "$(entries_in "$log")" = 1 ] || fail "the kept entry is not in the log once: $(cat -A "$log")"
[ ! -e "$tmp/tools/PylvaneLog.txt" ] || fail "the restarted program wrote a log outside the closed run's folder"
echo "Session end with the lock held: kept, and taken in at the next start, a restart from elsewhere"
