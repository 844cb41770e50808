#!/bin/sh
# Draws the installer icon (a rounded blue tile with a downward arrow) at
# 16, 32 and 48 pixels. Plain drawing commands and no time stamps, so the
# bytes are the same on every build.
set -eu
out=$1
convert=${2:-convert}
"$convert" -size 256x256 xc:none \
  -fill '#1f6fd1' -draw 'roundrectangle 12,12 243,243 48,48' \
  -fill white -draw 'polygon 128,204 60,120 104,120 104,52 152,52 152,120 196,120' \
  -define icon:auto-resize=48,32,16 +set date:create +set date:modify \
  "$out"
