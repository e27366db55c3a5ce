#!/usr/bin/env bash
# Regenerates the server's icons and toolbar bitmap with ImageMagick.  The
# outputs are kept in the repository; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Program icon (128): a white V on a blue tile.
for size in 32 16; do
    s=$((size - 1))
    convert -size ${size}x${size} xc:none \
        -fill '#1F4E9A' -draw "roundrectangle 0,0 $s,$s $((size / 6)),$((size / 6))" \
        -fill white -draw "polygon $((size * 5 / 32)),$((size * 6 / 32)) $((size * 11 / 32)),$((size * 6 / 32)) \
$((size / 2)),$((size * 20 / 32)) $((size * 21 / 32)),$((size * 6 / 32)) $((size * 27 / 32)),$((size * 6 / 32)) \
$((size * 18 / 32)),$((size * 26 / 32)) $((size * 14 / 32)),$((size * 26 / 32))" \
        -depth 8 "PNG32:$tmp/app$size.png"
done
convert "$tmp/app32.png" "$tmp/app16.png" VelmoraOpc.ico

# Document icon (129): a page with a blue band and text lines.
for size in 32 16; do
    s=$((size - 1))
    convert -size ${size}x${size} xc:none \
        -fill white -stroke '#404040' -draw "rectangle $((size / 8)),0 $((s - size / 8)),$s" \
        -stroke none -fill '#1F4E9A' -draw "rectangle $((size / 8 + 1)),1 $((s - size / 8 - 1)),$((size / 4))" \
        -fill '#808080' \
        -draw "rectangle $((size / 4)),$((size * 12 / 32)) $((s - size / 4)),$((size * 13 / 32))" \
        -draw "rectangle $((size / 4)),$((size * 18 / 32)) $((s - size / 4)),$((size * 19 / 32))" \
        -draw "rectangle $((size / 4)),$((size * 24 / 32)) $((s - size / 4)),$((size * 25 / 32))" \
        -depth 8 "PNG32:$tmp/doc$size.png"
done
convert "$tmp/doc32.png" "$tmp/doc16.png" OpcServerDoc.ico

# Toolbar (128): one 16 x 15 button, About: a blue "i" disc on button face
# grey, which the toolbar maps to the system's button colour.
convert -size 16x15 xc:'#C0C0C0' \
    -fill '#000080' -draw 'circle 7.5,7 7.5,1' \
    -fill white -draw 'rectangle 7,3 8,4' -draw 'rectangle 7,6 8,11' \
    -type Palette -depth 8 BMP3:Toolbar.bmp
