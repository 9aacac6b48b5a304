#!/usr/bin/env bash
# Runs a command inside a Wine session of its own, so that the Windows executables it starts (through ctest or
# directly with wine64) share one running wineserver instead of each starting and stopping one, which costs
# seconds per test or hangs. The session is ended on exit, whatever the command's outcome.
#
# Usage: scripts/windows/wine-session.sh <wine-prefix-dir> <command> [args...]
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 <wine-prefix-dir> <command> [args...]" >&2; exit 2; }
mkdir -p "$1"
WINEPREFIX=$(cd "$1" && pwd)
shift
export WINEPREFIX WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# A crash would otherwise start the debugger, and the process then ends with status 0. Mono and Gecko are not
# needed (and would be offered for download); menu entries for the session's programs are not wanted either.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d;winemenubuilder.exe=d"
# No window of Wine's own is to appear on the user's desktop: the session has no display unless one is named
# for it in PYLVANE_WINE_DISPLAY (the screenshot script's private X server).
unset DISPLAY WAYLAND_DISPLAY
[ -z "${PYLVANE_WINE_DISPLAY:-}" ] || export DISPLAY=$PYLVANE_WINE_DISPLAY

source "$(dirname "$0")/wine-tools.sh"

trap '"$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true' EXIT
"$wineserver" -p
"$wine" wineboot -u </dev/null >/dev/null 2>&1
# Files whose name begins with a dot are ordinary files on Windows.
"$wine" reg add 'HKCU\Software\Wine' /v ShowDotFiles /t REG_SZ /d Y /f </dev/null >/dev/null 2>&1

status=0
"$@" || status=$?
exit "$status"
