#!/usr/bin/env bash
# Renders the PNGs in resources/ from their SVG sources, each at its size and at two and three times it (name@2x.png,
# name@3x.png), from which Qt picks the one that stays sharp on a scaled screen. The PNGs are committed so that
# building the program does not need librsvg; run this after changing an SVG and commit both. With a folder as argument the PNGs go
# there instead (in the same icons/, lamps/, pictures/ layout), which the tests use to see that the committed
# PNGs still match their sources.
set -euo pipefail
out=$(realpath -m "${1:-$(dirname "$0")/../resources}")
cd "$(dirname "$0")/../resources"
mkdir -p "$out/icons" "$out/lamps" "$out/pictures"

command -v rsvg-convert >/dev/null || { echo "rsvg-convert not found (Debian package librsvg2-bin)" >&2; exit 1; }

render() { # source size output.png
    local scale
    for scale in 1 2 3; do
        local name=${3%.png}@${scale}x.png
        [ "$scale" = 1 ] && name=$3
        rsvg-convert --width $(($2 * scale)) --height $(($2 * scale)) --keep-aspect-ratio "$1" --output "$out/$name"
    done
}

# The two smallest icon sizes come from a simplified drawing, at every scale: the full one turns to mush below 32 px,
# and a scaled screen shows the same small icon, only sharper.
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

echo "rendered 36 PNG files into $out"
