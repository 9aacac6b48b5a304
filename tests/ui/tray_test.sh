#!/usr/bin/env bash
# Runs the tray icon's test where a tray really is: on a private X server (Xvfb) with a tray host from Debian
# (trayer), so that the icon is embedded and its colour can be read off the screen. Skips (77) without them.
# Usage: tests/ui/tray_test.sh <startup_test binary> [late]
# With `late` no tray runs when the program starts; the test starts one, and starts it again.
set -euo pipefail
for tool in Xvfb trayer; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (Debian packages xvfb, trayer)"; exit 77; }
done
tmp=$(mktemp -d)
pids=
trap 'for pid in $pids; do { kill "$pid" && wait "$pid"; } 2>/dev/null || true; done; rm -rf "$tmp"' EXIT

exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 2>/dev/null &
pids=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$tmp/display")
tray_host="trayer --edge top --align right --widthtype pixel --width 120 --height 32 --expand false"
if [ "${2:-}" = late ]; then
    # The test starts the tray itself, after the program, and restarts it.
    test=StartupTest.TheTrayIconComesToATrayThatStartsLaterAndToItsRestart
    export PYLVANE_LATE_TRAY="$tray_host"
else
    test=StartupTest.TheTrayIconMirrorsTheLamp
    export PYLVANE_TRAY_EXPECTED=1
    $tray_host >/dev/null 2>&1 &
    pids="$! $pids"
fi

# The test waits for the tray. Without a session bus Qt takes the X tray, as on a desktop that only has that one;
# libdbus, which Qt loads, keeps a buffer to the end that a sanitized build's leak check would count.
mkdir -m 700 "$tmp/runtime"
env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=xcb \
    ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
    "$1" --gtest_filter="$test"
