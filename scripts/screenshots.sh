#!/usr/bin/env bash
# Renders both windows of the built program to PNG for the README: docs/screenshots/main-window.png and
# docs/screenshots/settings-window.png. The program runs on a private X server (Xvfb) with a throw-away home,
# configuration and working folder, filled with a few example targets so the pictures show a configured
# program. It then runs through its first check cycle, which probes only loopback addresses and process names and
# logs into the throw-away folder, for main-window-tooltip.png: the red lamp's tooltip naming what is down. Last, it
# runs once more at 200 % for settings-window-200.png, and lamps.png shows the three lamps at 100 % and 200 %.
# Given the Windows build folder, it renders pylvane.exe under Wine instead, with the settings in the registry,
# into docs/screenshots/windows-main-window.png and windows-settings-window.png.
#
# Usage: scripts/screenshots.sh [build-dir]     (default: build; needs Xvfb, xwininfo, xdotool and ImageMagick's
#                                                import and montage, and for the Windows build Wine and its fonts)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
exe=$build/pylvane
out=$root/docs/screenshots
picture_prefix=
tools="Xvfb xwininfo import montage xdotool"
if [ -f "$build/pylvane.exe" ]; then
    exe=$build/pylvane.exe
    picture_prefix=windows-
fi
# Wine's own fonts (Debian: fonts-wine), among them Tahoma, the face Wine gives to Windows' dialog font. Without
# them Wine falls back to whichever host font comes first, a maths font here, in which Qt's line edits show no
# text at all; Windows itself always has that face.
wine_fonts=/usr/share/wine/fonts

[ -f "$exe" ] || { echo "no program at $exe: build it first (make build)" >&2; exit 1; }
for tool in $tools; do
    command -v "$tool" >/dev/null ||
        { echo "$tool not found (Debian: xvfb, x11-utils, imagemagick, xdotool)" >&2; exit 1; }
done
[ -z "$picture_prefix" ] || [ -f "$wine_fonts/tahoma.ttf" ] ||
    { echo "Wine's fonts not found in $wine_fonts (Debian: fonts-wine)" >&2; exit 1; }
if [ -n "$picture_prefix" ]; then
    source "$root/scripts/windows/wine-tools.sh"
fi

tmp=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    # Ending every process of the Wine session ends the session's script as well.
    [ -z "$picture_prefix" ] || WINEPREFIX=$tmp/wine "$wineserver" -k 2>/dev/null || true
    # A killed child's status (143) must not become this script's.
    for pid in $app_pid $xvfb_pid; do { kill "$pid" && wait "$pid"; } 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

# A screen large enough that the centred settings window and the main window, which opens at the top left when
# no window manager places it, do not overlap (import copies what is on the screen), and that holds the settings
# window at 200 %.
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 2000x1400x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$tmp/display")

mkdir -p "$tmp/home" "$tmp/config/Pylvane" "$tmp/work" "$tmp/runtime"
chmod 700 "$tmp/runtime"
cat >"$tmp/config/Pylvane/Pylvane.conf" <<'CONF'
[General]
a1=/usr/local/bin/notify-admin
c1=127.0.1.21
c1b=1
c2=127.0.1.22
c2b=1
c3=127.0.1.23
c3b=0
d1=sshd
d1b=1
d2=cupsd
d2b=1
d3=backup.exe
d3b=1
e1=127.0.1.1
e1b=1
e2=127.0.1.10
e2b=1
CONF

start_linux_program() { # [extra environment]
    (
        cd "$tmp/work"
        env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=xcb "$@" \
            "$exe"
    ) >"$tmp/app.log" 2>&1 &
    app_pid=$!
}

if [ -z "$picture_prefix" ]; then
    start_linux_program
else
    # The same example, as Windows keeps it: one registry value per line of the file.
    sed -i 's|^a1=.*|a1=C:\\Tools\\notify-admin.exe|; s|^d1=.*|d1=sshd.exe|; s|^d2=.*|d2=spoolsv.exe|' \
        "$tmp/config/Pylvane/Pylvane.conf"
    # The fonts go into the session's Windows font folder, which Wine reads as each program starts.
    PYLVANE_WINE_DISPLAY=$DISPLAY "$root/scripts/windows/wine-session.sh" "$tmp/wine" bash -c '
        cp "$4"/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        grep "=" "$1" | while IFS="=" read -r name value; do
            "$5" reg add "HKCU\Software\Pylvane" /v "$name" /t REG_SZ /d "$value" /f </dev/null >/dev/null
        done
        cd "$2" && exec "$5" "$3"' _ "$tmp/config/Pylvane/Pylvane.conf" "$tmp/work" "$exe" "$wine_fonts" "$wine" \
        >"$tmp/app.log" 2>&1 &
    app_pid=$!
fi

# Both windows carry the caption "Pylvane"; they are told apart by size.
window_of_size() { # width height
    xwininfo -root -tree 2>/dev/null |
        awk -v size="$1x$2" '/"Pylvane"/ && index($0, " " size "+") { print $1; exit }'
}
find_windows() { # scale: sets main_id and settings_id
    main_id=
    settings_id=
    for _ in $(seq 300); do
        main_id=$(window_of_size $((301 * $1)) $((79 * $1)))
        settings_id=$(window_of_size $((945 * $1)) $((657 * $1)))
        [ -n "$main_id" ] && [ -n "$settings_id" ] && break
        kill -0 "$app_pid" 2>/dev/null || { echo "the program ended early:" >&2; cat "$tmp/app.log" >&2; exit 1; }
        sleep 0.1
    done
    if [ -z "$main_id" ] || [ -z "$settings_id" ]; then
        echo "windows not found (main: '${main_id}', settings: '${settings_id}'); windows on the screen:" >&2
        xwininfo -root -tree | grep -i pylvane >&2 || true
        echo "program output:" >&2
        cat "$tmp/app.log" >&2
        exit 1
    fi
    sleep 1.5 # let both windows finish painting
}
find_windows 1

mkdir -p "$out"
# -strip leaves out the time stamps ImageMagick would otherwise write, so an unchanged window gives an
# unchanged file.
import -window "$settings_id" -strip "$out/${picture_prefix}settings-window.png"
# Windows centres both windows, so the settings window lies over the main one until it is moved aside.
if [ -n "$picture_prefix" ]; then
    xdotool windowmove "$settings_id" 0 900
    sleep 1
fi
import -window "$main_id" -strip "$out/${picture_prefix}main-window.png"
echo "wrote $out/${picture_prefix}main-window.png and $out/${picture_prefix}settings-window.png"
[ -z "$picture_prefix" ] || exit 0

# The first cycle comes about 20 s after start; with a process target that never runs, it ends red and logs.
for _ in $(seq 400); do [ -s "$tmp/work/PylvaneLog.txt" ] && break; sleep 0.1; done
[ -s "$tmp/work/PylvaneLog.txt" ] || { echo "no cycle ran:" >&2; cat "$tmp/app.log" >&2; exit 1; }
sleep 1 # the cycle ends after its last entry
# The pointer rests on the lamp until its tooltip shows; the picture takes the window and the tooltip below it.
eval "$(xwininfo -id "$main_id" | awk '/Absolute upper-left X/ { print "main_x=" $NF } /Absolute upper-left Y/ { print "main_y=" $NF }')"
xdotool mousemove $((main_x + 35)) $((main_y + 35))
sleep 2
import -window root -crop "400x140+$main_x+$main_y" +repage -strip "$out/main-window-tooltip.png"
xdotool mousemove 1990 1390
{ kill "$app_pid" && wait "$app_pid"; } 2>/dev/null || true

# At 200 %, where each picture comes from its rendering at twice the size.
start_linux_program QT_SCALE_FACTOR=2
find_windows 2
import -window "$settings_id" -strip "$out/settings-window-200.png"
montage "$root"/resources/lamps/{grey,green,red}.png "$root"/resources/lamps/{grey,green,red}@2x.png \
    -tile 3x2 -geometry +8+8 -background white -strip "$out/lamps.png"
echo "wrote $out/main-window-tooltip.png, $out/settings-window-200.png and $out/lamps.png"
