#!/usr/bin/env bash
# Renders the PNGs in resources/ from their SVG sources. The PNGs are committed so that building the program
# does not need librsvg; run this after changing an SVG and commit both. With a folder as argument the PNGs go
# there instead (in the same icons/, lamps/, pictures/ layout), which the tests use to see that the committed
# PNGs still match their sources.
set -euo pipefail
out=$(realpath -m "${1:-$(dirname "$0")/../resources}")
cd "$(dirname "$0")/../resources"
mkdir -p "$out/icons" "$out/lamps" "$out/pictures"

command -v rsvg-convert >/dev/null || { echo "rsvg-convert not found (Debian package librsvg2-bin)" >&2; exit 1; }

render() { # source size output
    rsvg-convert --width "$2" --height "$2" --keep-aspect-ratio "$1" --output "$out/$3"
}

# The two smallest icon sizes come from a simplified drawing: the full one turns to mush below 32 px.
for size in 16 22 32 48 64 128; do
    source=icons/pylvane.svg
    [ "$size" -le 22 ] && source=icons/pylvane-small.svg
    render "$source" "$size" "icons/pylvane-$size.png"
done

for colour in grey green red; do
    render "lamps/$colour.svg" 54 "lamps/$colour.png"
done

for picture in storage camera gears; do
    render "pictures/$picture.svg" 128 "pictures/$picture.png"
done

echo "rendered 12 PNG files into $out"
