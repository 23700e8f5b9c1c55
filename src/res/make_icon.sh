#!/usr/bin/env bash
# Draws setup.ico (48, 32 and 16 pixels): a box with an arrow pointing into it,
# stored with a palette of its few colours (palette_icon.py), 10 KiB less stub.
# Needs ImageMagick; run it again only to change the picture.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 48x48 xc:none \
  -fill '#1f5fae' -stroke '#0d3266' -strokewidth 2 -draw 'roundrectangle 3,3 44,44 7,7' \
  -fill '#f2c230' -stroke '#8a6a08' -strokewidth 1 -draw 'rectangle 11,27 36,38' \
  -fill white -stroke none -draw 'rectangle 20,8 27,20' -draw 'polygon 14,19 33,19 23.5,29' \
  -define icon:auto-resize=48,32,16 setup.ico
./palette_icon.py setup.ico
