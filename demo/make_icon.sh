#!/bin/sh
# Draws the Morvantile icon (a green tile with a white mountain line) at 16,
# 32 and 48 pixels. No time stamps, so every build gives the same bytes.
set -eu
out=$1
convert=${2:-convert}
"$convert" -size 256x256 xc:none \
  -fill '#0f9d74' -draw 'roundrectangle 12,12 243,243 56,56' \
  -fill white -draw 'polygon 40,196 100,84 128,136 156,84 216,196 180,196 156,150 128,200 100,150 76,196' \
  -define icon:auto-resize=48,32,16 +set date:create +set date:modify \
  "$out"
