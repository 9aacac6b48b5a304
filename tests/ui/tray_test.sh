#!/usr/bin/env bash
# Runs the tray icon's test where a tray really is: on a private X server (Xvfb) with a tray host from Debian
# (trayer), so that the icon is embedded and drawn and its colour can be read off the screen. Skips (77) when Xvfb
# or trayer is missing.
#
# Usage: tests/ui/tray_test.sh <startup_test binary>
set -euo pipefail
test_binary=$1
for tool in Xvfb trayer; do
    command -v "$tool" >/dev/null ||
        { echo "skipped: $tool is not installed (Debian packages xvfb and trayer)"; exit 77; }
done

tmp=$(mktemp -d)
pids=
cleanup() {
    for pid in $pids; do { kill "$pid" && wait "$pid"; } 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$tmp/display")

trayer --edge top --align right --widthtype pixel --width 120 --height 32 --expand false \
    >"$tmp/trayer.log" 2>&1 &
pids="$! $pids"
# The test waits for the tray to come up. Without a session bus Qt takes the X tray, as on a desktop that only has that one.
mkdir -m 700 "$tmp/runtime"
# libdbus, which Qt's X platform loads, keeps a buffer until the process ends, which a sanitized build's leak check
# would count against the test.
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
status=0
env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=xcb PYLVANE_TRAY_EXPECTED=1 \
    "$test_binary" --gtest_filter=StartupTest.TheTrayIconMirrorsTheLamp || status=$?
[ "$status" = 0 ] || { echo "trayer's output:" >&2; cat "$tmp/trayer.log" >&2; }
exit "$status"
