#!/usr/bin/env bash
# Runs the real program on an X display of its own through a cycle with its process target down and then a
# cycle with the process running, and ends it: the events go to whatever system log the caller has set up.
# "X" (Escape) on the settings window makes the next cycle follow within about 20 s instead of 1000 s.
# Usage: program_cycles.sh <pylvane> <empty folder>. Leaves in the folder: program.pid, process.name,
# failure-command (the settings' a1) and failure-command-ran once that command ran.
set -uo pipefail
program=$1 dir=$2
cycle_wait=60 # a cycle comes about 20 s after start or after Escape; the rest is room for a sanitizer build
helpers=()
cleanup() {
    for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT
die() {
    echo "FAIL: $*"
    [ -s "$dir/program.log" ] && sed "s/^/    program: /" "$dir/program.log"
    exit 1
}
# within <seconds> <command...>: true once the command is, false when the time is up.
within() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $end ] && return 1
        sleep 0.3
    done
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
helpers+=("$!")
within 10 test -s "$dir/display" || die "Xvfb did not start: $(cat "$dir/xvfb.log")"
DISPLAY=:$(head -n1 "$dir/display")
export DISPLAY

# Longer than the kernel's 15-character process title: only a lookup by executable file name finds it.
name=pylvane-journal-e2e-$$
mkdir -p "$dir/config/Pylvane" "$dir/state" "$dir/work" "$dir/home" "$dir/tools"
install -m 0700 -d "$dir/runtime"
cp /bin/sleep "$dir/tools/$name"
printf "#!/bin/sh\necho ran >'%s'\n" "$dir/failure-command-ran" >"$dir/tools/on-failure.sh"
chmod 0755 "$dir/tools/on-failure.sh"
printf '[General]\na1="%s"\nd1="%s"\nd1b="1"\n' "$dir/tools/on-failure.sh" "$name" >"$dir/config/Pylvane/Pylvane.conf"
echo "$name" >"$dir/process.name"
echo "$dir/tools/on-failure.sh" >"$dir/failure-command"

# No session bus: notices fail at once instead of starting one through X11 autolaunch.
(cd "$dir/work" && HOME=$dir/home XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state \
    XDG_RUNTIME_DIR=$dir/runtime QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/no-bus \
    exec "$program" >"$dir/program.log" 2>&1) &
program_pid=$!
helpers+=("$program_pid")
echo $program_pid >"$dir/program.pid"

ended() {
    /usr/bin/python3 -c 'import json, sys; print(json.load(open(sys.argv[1])).get("ended", ""))' \
        "$dir/state/pylvane/status.json" 2>/dev/null
}
# A cycle ended after the one that ended at $1 (nothing: any cycle); the program must still be running.
cycle_after() {
    kill -0 $program_pid 2>/dev/null || die "the program ended on its own"
    local now
    now=$(ended)
    [ -n "$now" ] && [ "$now" != "$1" ]
}
xdo() { timeout 20 xdotool "$@" 2>/dev/null; }
# The large settings window, not the small main window.
settings_window() {
    local id
    for id in $(xdo search --onlyvisible --name '^Pylvane$'); do
        xdo getwindowgeometry "$id" | grep -q 301x79 || { echo "$id"; return 0; }
    done
    return 1
}
no_settings_window() { ! settings_window >/dev/null; }

within $cycle_wait cycle_after "" || die "no cycle ended within $cycle_wait s of the start"
first=$(ended)

"$dir/tools/$name" 600 &
helpers+=("$!")
within 20 settings_window >/dev/null || die "no settings window"
xdo windowfocus --sync "$(settings_window)"
xdo key Escape
within 10 no_settings_window || die "the settings window did not go on Escape"
within $cycle_wait cycle_after "$first" || die "no second cycle within $cycle_wait s of Escape"

# Gone, or ended and not yet reaped.
program_gone() { [ ! -e /proc/$program_pid ] || [ "$(awk '{print $3}' /proc/$program_pid/stat 2>/dev/null)" = Z ]; }
kill -TERM $program_pid
within 20 program_gone || die "the program did not end within 20 s of TERM"
wait $program_pid || die "the program did not end cleanly on TERM (status $?)"
