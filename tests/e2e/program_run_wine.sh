#!/usr/bin/env bash
# The built Windows program under Wine, started as a user starts it, through its first check cycle: settings
# from the registry, real echoes and real process lookups, the log in the working directory and the failure
# command. It runs inside the Wine session and the network namespace that scripts/windows/test.sh makes, which
# hands over the address of a host that stays silent.
#
# Usage: program_run_wine.sh <pylvane.exe> <sleeper.exe> [working-dir]
#   working-dir  where the program runs and writes its log (default: a folder of its own, removed after)
set -euo pipefail
exe=$(realpath "$1")
sleeper=$(realpath "$2")
source "$(dirname "$0")/wine_common.sh"
[ -n "${WINEPREFIX:-}" ] || skip "needs the Wine session that scripts/windows/test.sh starts"
[ -n "${PYLVANE_SILENT_HOST:-}" ] || skip "needs root for the network namespace with a silent host (scripts/windows/test.sh)"

start_test_folder
work=$(realpath "${3:-$tmp/work}")


# Names no other process has.
alive=pylvane-e2e-alive-$$.exe
missing=pylvane-e2e-missing-$$.exe
cp "$sleeper" "$tmp/tools/$alive"
(cd "$tmp/tools" && exec "$wine" "$alive") </dev/null >/dev/null 2>&1 &
pids="$pids $!"

marker=$tmp/tools/failure-command-ran
# It is told how many targets are down.
printf '@echo ran-%%PYLVANE_DOWN_COUNT%%>>"%s"\r\n' "$(windows_path "$marker")" >"$tmp/tools/on-failure.bat"

# Device 1 answers on loopback, Cam 1 is silent, Process 1 runs, Process 2 does not, and a disabled device and
# process point at targets that would be down. The settings are the key's values.
"$wine" reg delete 'HKCU\Software\Pylvane' /va /f </dev/null >/dev/null 2>&1 || true
set_value() {
    "$wine" reg add 'HKCU\Software\Pylvane' /v "$1" /t REG_SZ /d "$2" /f </dev/null >/dev/null 2>&1 ||
        fail "reg add $1 did not work"
}
set_value a1 "$(windows_path "$tmp/tools/on-failure.bat")"
set_value e1 127.0.0.1
set_value e1b 1
set_value e2 "$PYLVANE_SILENT_HOST"
set_value e2b 0
set_value c1 "$PYLVANE_SILENT_HOST"
set_value c1b 1
set_value d1 "$alive"
set_value d1b 1
set_value d2 "$missing"
set_value d2b 1
set_value d3 "$missing"
set_value d3b 0
# With a second look before an alarm: the first cycle finds both down and logs nothing; the cycle it brings forward
# about 20 s later finds them down again and does everything a cycle without the option would have done.
set_value ConfirmDown 1

# The status file and the history of an earlier run would answer for this one.
rm -f "$WINEPREFIX"/drive_c/users/*/AppData/Local/Pylvane/status.json \
    "$WINEPREFIX"/drive_c/users/*/AppData/Local/Pylvane/history.sqlite*

(cd "$work" && QT_QPA_PLATFORM=offscreen exec "$wine" "$exe") </dev/null >"$tmp/output" 2>&1 &
app=$!
pids="$pids $app"

# The failure command runs after the cycle has written all of its entries, so once its marker is there the
# log is complete; the next cycle is a quarter of an hour away.
for _ in $(seq $(((first_cycle_wait + 30) * 10))); do
    [ -s "$marker" ] && break
    kill -0 "$app" 2>/dev/null || fail "the program ended before its first cycle was over; its output: $(cat "$tmp/output")"
    sleep 0.1
done
[ -s "$marker" ] || fail "the failure command did not run within $first_cycle_wait s; the program's output: $(cat "$tmp/output")"
# Long enough for a second start of the command to show.
sleep 2
{ kill "$app" && wait "$app"; } 2>/dev/null || true

# The status file the cycle left, read back as a monitoring plugin line through the program's standard output.
code=0
status=$("$wine" "$exe" --status </dev/null 2>/dev/null) || code=$?
expected="PYLVANE CRITICAL - 2 down: Cam1 $PYLVANE_SILENT_HOST, Process2 $missing | down=2;;1;0;35 unknown=0;;;0;35 confirming=0;;;0;35"
[ "$code" = 2 ] || fail "pylvane.exe --status exited with $code, not 2; it printed: $status"
[ "${status%$'\r'}" = "$expected" ] || fail "pylvane.exe --status printed '$status', not '$expected'"

# Both cycles (the first, which found the camera down once, and its second look) in the history, which is kept
# beside the status file in %LOCALAPPDATA%\Pylvane and read back without a window.
histories=("$WINEPREFIX"/drive_c/users/*/AppData/Local/Pylvane/history.sqlite)
[ -s "${histories[0]}" ] || fail "no history.sqlite in %LOCALAPPDATA%\\Pylvane: $(ls -A "$WINEPREFIX"/drive_c/users/*/AppData/Local/Pylvane)"
code=0
history=$("$wine" "$exe" --history --csv </dev/null 2>/dev/null | tr -d '\r') || code=$?
[ "$code" = 0 ] || fail "pylvane.exe --history --csv exited with $code: $history"
[ "$(grep -c ',camera,1,Cam1,' <<<"$history")" = 2 ] || fail "the camera's two checks are not in the history: $history"
grep -q ',camera,1,Cam1,[^,]*,down,' <<<"$history" || fail "the second look's down is not in the history: $history"
code=0
summary=$("$wine" "$exe" --history </dev/null 2>/dev/null | tr -d '\r') || code=$?
[ "$code" = 0 ] && grep -q 'Cam1' <<<"$summary" || fail "pylvane.exe --history exited with $code: $summary"
echo "The history under Wine: $summary"

# The diagnosis through the program's standard output: one line per check with the management service's time, and a
# warning (exit code 1) while the event source is not registered, as it is not in this prefix.
code=0
diagnosis=$("$wine" "$exe" --diagnose </dev/null 2>/dev/null | tr -d '\r') || code=$?
grep -Eq '^\[(ok|warn)\] +Management service: WMI (connected and )?answered in [0-9]+ ms' <<<"$diagnosis" ||
    fail "pylvane.exe --diagnose gave no management service line with its time: $diagnosis"
grep -Eq '^\[warn\] +System log: .*--register-event-source' <<<"$diagnosis" ||
    fail "pylvane.exe --diagnose did not warn of the unregistered event source: $diagnosis"
[ "$code" = 1 ] || fail "pylvane.exe --diagnose exited with $code, not 1: $diagnosis"
echo "The diagnosis under Wine: $diagnosis"

[ "$(cat "$marker")" = $'ran-2\r' ] || fail "the failure command ran more than once or wrote otherwise: $(od -c "$marker")"

log=$work/PylvaneLog.txt
[ -f "$log" ] || fail "no PylvaneLog.txt in the working directory: $(ls -A "$work")"
shown=$(sed 's/\r$/<CR>/' "$log")
[ "$(tail -c 2 "$log" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "the log does not end with CR LF: $shown"
[ "$(grep -c $'\r$' "$log")" = "$(wc -l <"$log")" ] || fail "not every line of the log ends with CR LF: $shown"
mapfile -t lines < <(sed 's/\r$//' "$log")
[ "${#lines[@]}" = 6 ] || fail "header, separator and two entries each with an empty line expected: $shown"

stamp='.+ ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]'
[[ ${lines[0]} =~ ^"Pylvane Log File , Created "$stamp$ ]] || fail "the camera's entry created the file: $shown"
[ "${lines[1]}" = "$(printf '=%.0s' $(seq 79))" ] || fail "the separator is 79 '=': $shown"
[[ ${lines[2]} =~ ^$stamp"  - Process2 DOWN   "$ ]] || fail "the newest entry is the missing process: $shown"
[ -z "${lines[3]}" ] || fail "an empty line follows each entry: $shown"
[[ ${lines[4]} =~ ^$stamp"  - Cam1 OFF   "$ ]] || fail "below it the silent camera: $shown"
[ -z "${lines[5]}" ] || fail "an empty line follows each entry: $shown"

# No half-written copy of the log is left behind; the lock file that writers share stays, empty.
left=$(find "$work" -mindepth 1 -maxdepth 1 ! -name .PylvaneLog.txt.lock -printf "%f\n")
[ "$left" = PylvaneLog.txt ] || fail "more than the log left in the working directory: $(ls -A "$work")"
[ ! -s "$work/.PylvaneLog.txt.lock" ] || fail "the lock file holds data"
echo "The first cycle logged: $shown"
