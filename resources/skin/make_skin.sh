#!/usr/bin/env bash
# Draws the fifteen skin pictures into <output folder> with ImageMagick.
# Usage: make_skin.sh <output folder> [convert program]
# Every picture is drawn at a multiple of its size and reduced, which gives
# smooth edges; the PNG files carry no dates, so two runs give the same bytes.
set -euo pipefail

out=${1:?usage: make_skin.sh <output folder> [convert program]}
im=${2:-convert}
mkdir -p "$out"

blue='#084AF4'      # brand blue: install button, ticks, hovered links
blue_hover='#5E89F8'
blue_press='#90ADFA'
blue_light='#2F6BFF'
grey='#4D4D4D'      # body text and idle icons
line='#C0C0C0'      # borders
red='#FF4D4F'       # warnings

# write <name>: reads the drawn picture on stdin, scales it to its size, strips dates.
# shellcheck disable=SC2086
finish() {
  local name=$1 size=$2
  "$im" png:- -filter Lanczos -resize "${size}!" -strip \
    -define png:exclude-chunks=date,time -define png:color-type=6 "PNG32:$out/$name"
}

# canvas <w>x<h> at factor <k> with a transparent background, then draw arguments.
draw() {
  local name=$1 size=$2 k=$3
  shift 3
  local w=${size%x*} h=${size#*x}
  "$im" -size "$((w * k))x$((h * k))" xc:none "$@" png:- | finish "$name" "$size"
}

# --- page background: white page, soft blue shapes in two corners, thin wave.
draw main_bg.png 1200x800 2 \
  -fill white -draw "rectangle 0,0 2400,1600" \
  -fill "rgba(8,74,244,0.05)" -draw "circle 2300,40 2300,700" \
  -fill "rgba(8,74,244,0.05)" -draw "circle 2050,-60 2050,380" \
  -fill "rgba(8,74,244,0.04)" -draw "circle 40,1640 40,1140" \
  -fill none -stroke "rgba(8,74,244,0.08)" -strokewidth 4 \
  -draw "path 'M 0,1420 C 500,1300 900,1560 1400,1450 S 2100,1300 2400,1380'" \
  -stroke "rgba(8,74,244,0.05)" \
  -draw "path 'M 0,1480 C 600,1380 1000,1620 1500,1510 S 2150,1380 2400,1450'"

# --- progress banner: brand gradient, light circles, an app window receiving tiles.
"$im" -size 2400x1208 -define gradient:angle=135 "gradient:${blue_light}-${blue}" \
  -fill "rgba(255,255,255,0.07)" -draw "circle 2150,150 2150,650" \
  -fill "rgba(255,255,255,0.06)" -draw "circle 250,1150 250,1600" \
  -fill "rgba(255,255,255,0.05)" -draw "circle 1900,1100 1900,1300" \
  -fill "rgba(0,0,0,0.10)" -draw "roundrectangle 716,260 1716,930 36,36" \
  -fill white -draw "roundrectangle 700,240 1700,910 36,36" \
  -fill "#EEF3FE" -draw "roundrectangle 700,240 1700,330 36,36" \
  -draw "rectangle 700,300 1700,330" \
  -fill "$blue_press" -draw "circle 760,285 774,285" -draw "circle 810,285 824,285" \
  -draw "circle 860,285 874,285" \
  -fill "$blue" -draw "roundrectangle 790,420 1010,640 28,28" \
  -fill "$blue_hover" -draw "roundrectangle 1040,420 1260,640 28,28" \
  -fill "$blue_hover" -draw "roundrectangle 790,670 1010,890 28,28" \
  -fill "$blue_press" -draw "roundrectangle 1040,670 1260,890 28,28" \
  -fill "#E6E9F0" -draw "roundrectangle 1330,440 1610,470 15,15" \
  -draw "roundrectangle 1330,520 1560,550 15,15" \
  -draw "roundrectangle 1330,600 1610,630 15,15" \
  -fill "$blue" -draw "roundrectangle 1330,600 1500,630 15,15" \
  png:- | finish install_banner.png 1200x604

# --- logo: a rounded tile in brand blue holding four white tiles, one lighter.
"$im" -size 960x960 xc:none \
  \( -size 960x960 -define gradient:angle=135 "gradient:${blue_light}-${blue}" -alpha set \
     \( -size 960x960 xc:none -fill white -draw "roundrectangle 40,40 919,919 210,210" \) \
     -compose DstIn -composite \) -compose Over -composite \
  -fill white -draw "roundrectangle 250,250 460,460 44,44" \
  -fill white -draw "roundrectangle 500,250 710,460 44,44" \
  -fill white -draw "roundrectangle 250,500 460,710 44,44" \
  -fill "rgba(255,255,255,0.55)" -draw "roundrectangle 500,500 710,710 44,44" \
  png:- | finish logo.png 240x240

# --- close button: a thin cross; hovered it turns brand blue on a pale disc.
cross="line 88,88 168,168 line 168,88 88,168"
draw global_btn_close_normal.png 32x32 8 \
  -fill none -stroke "$grey" -strokewidth 14 -draw "stroke-linecap round stroke-linejoin round $cross"
draw global_btn_close_hover.png 32x32 8 \
  -fill "#EEF3FE" -draw "circle 128,128 128,12" \
  -fill none -stroke "$blue" -strokewidth 14 -draw "stroke-linecap round stroke-linejoin round $cross"

# --- back button: a chevron pointing left, in the link colours of the three states.
back="polyline 150,72 94,128 150,184"
for state in normal:$grey hover:$blue press:$blue_press; do
  draw "custom_btn_back_${state%%:*}.png" 32x32 8 \
    -fill none -stroke "${state#*:}" -strokewidth 18\
    -draw "stroke-linecap round stroke-linejoin round $back"
done

# --- custom-install arrow: a small chevron pointing right behind the link.
arrow="polyline 108,84 152,128 108,172"
for state in normal:$grey hover:$blue press:$blue_press; do
  draw "main_word_custom_${state%%:*}.png" 32x32 8 \
    -fill none -stroke "${state#*:}" -strokewidth 16\
    -draw "stroke-linecap round stroke-linejoin round $arrow"
done

# --- check box: an empty rounded square, and a blue one with a white tick.
draw main_checkbox_deselect.png 32x32 8 \
  -fill white -stroke "$line" -strokewidth 12 -draw "roundrectangle 38,38 218,218 30,30"
draw main_checkbox_select.png 32x32 8 \
  -fill "$blue" -stroke "$blue" -strokewidth 12 -draw "roundrectangle 38,38 218,218 30,30" \
  -fill none -stroke white -strokewidth 20 \
  -draw "stroke-linecap round stroke-linejoin round polyline 78,132 114,168 180,94"

# --- dialog icons: a red disc with "!" and a blue disc with "?", drawn as shapes.
draw error_icon.png 60x60 8 \
  -fill "$red" -draw "circle 240,240 240,16" \
  -fill white -draw "roundrectangle 216,104 264,290 24,24" -draw "circle 240,352 240,378"
draw inquire_icon.png 60x60 8 \
  -fill "$blue" -draw "circle 240,240 240,16" \
  -fill none -stroke white -strokewidth 46 \
  -draw "stroke-linecap round stroke-linejoin round path 'M 170,188 C 170,110 310,110 310,180 C 310,240 240,236 240,292'" \
  -stroke none -fill white -draw "circle 240,360 240,386"

