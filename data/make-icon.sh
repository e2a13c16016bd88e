#!/usr/bin/env bash
# Draws the window icon (a storm cloud with a lightning bolt) and writes it as
# a multi-size Windows icon, plus the PNG sizes of the desktop's icon theme.
# Needs ImageMagick; run by hand after a change and commit the results.
set -euo pipefail
here=$(dirname "$0")
out=${1:-"$here/weather-storm.ico"}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
    -fill '#3b4252' -draw 'circle 88,118 88,66' \
    -fill '#434c5e' -draw 'circle 150,98 150,36' \
    -fill '#4c566a' -draw 'circle 196,132 196,92' \
    -fill '#4c566a' -draw 'roundrectangle 40,110 228,170 30,30' \
    -fill '#ffd23f' -stroke '#b8860b' -strokewidth 4 \
    -draw 'polygon 132,136 96,204 124,204 108,250 170,176 140,176 160,136' \
    -fill '#7fb3d5' -stroke none \
    -draw 'polygon 60,182 68,182 56,214 48,214' \
    -draw 'polygon 196,182 204,182 192,214 184,214' \
    "$tmp/storm-256.png"
for size in 16 24 32 48 64 128; do
    convert "$tmp/storm-256.png" -resize ${size}x${size} "$tmp/storm-$size.png"
done
convert "$tmp"/storm-{16,24,32,48,64,128,256}.png "$out"
mkdir -p "$here/icons"
for size in 16 24 32 48 64 128 256; do
    # -strip: no time stamps, so an unchanged drawing gives unchanged files.
    convert "$tmp/storm-$size.png" -strip "$here/icons/vorn-$size.png"
done
