#!/usr/bin/env bash
# Draws Orvane's button pictures and the about picture with ImageMagick.
# The PNG files are committed; run this only to change a picture.
# Each picture is drawn four times too large and scaled down, for smooth edges.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

S=96          # drawing size of a 24 x 24 button picture
page='fill white stroke #404040 stroke-width 5 path "M 18,8 L 58,8 L 78,28 L 78,88 L 18,88 Z" fill #d0d0d0 path "M 58,8 L 58,28 L 78,28 Z"'
lines='stroke #8090a0 stroke-width 4 line 28,44 68,44 line 28,56 68,56 line 28,68 60,68'

draw() {  # draw NAME SIZE DRAW-COMMANDS...
  local name=$1 size=$2; shift 2
  convert -size "${size}x${size}" xc:none -strokewidth 1 "$@" -resize 25% +repage -strip "PNG32:$name.png"
}

draw new $S -draw "$page" -draw "$lines" \
  -fill '#ffd000' -stroke '#b08000' -strokewidth 3 \
  -draw "polygon 76,2 81,16 95,16 84,25 88,39 76,30 64,39 68,25 57,16 71,16"

draw edit $S -draw "$page" -draw "$lines" \
  -fill '#f0c040' -stroke '#805000' -strokewidth 3 -draw "polygon 82,22 92,32 50,74 40,64" \
  -fill '#303030' -stroke '#303030' -draw "polygon 40,64 50,74 34,80"

draw clone $S \
  -fill white -stroke '#606060' -strokewidth 5 -draw "rectangle 8,4 58,68" \
  -fill white -stroke '#404040' -draw "rectangle 36,26 88,92" \
  -stroke '#8090a0' -strokewidth 4 -draw "line 46,46 78,46 line 46,58 78,58 line 46,70 70,70"

draw delete $S -draw "$page" -draw "$lines" \
  -stroke '#d01010' -strokewidth 12 -draw "line 30,30 86,86 line 86,30 30,86"

draw send $S -draw "$page" -draw "$lines" \
  -fill '#20a020' -stroke '#106010' -strokewidth 3 \
  -draw "polygon 44,50 70,50 70,34 94,62 70,90 70,74 44,74"

draw receive $S \
  -fill '#d8d8d8' -stroke '#404040' -strokewidth 5 -draw "polygon 8,60 26,60 34,74 62,74 70,60 88,60 88,90 8,90" \
  -fill '#2060d0' -stroke '#103070' -strokewidth 3 \
  -draw "polygon 38,4 58,4 58,34 74,34 48,64 22,34 38,34"

draw view $S -draw "$page" -draw "$lines" \
  -fill '#c0e0ff80' -stroke '#202020' -strokewidth 8 -draw "circle 44,46 44,22" \
  -strokewidth 14 -draw "line 62,64 88,90"

draw exit $S \
  -fill '#a06030' -stroke '#503010' -strokewidth 5 -draw "rectangle 10,6 54,90" \
  -fill '#ffd060' -stroke none -draw "circle 44,50 44,55" \
  -fill '#d02020' -stroke '#701010' -strokewidth 3 \
  -draw "polygon 46,38 70,38 70,24 94,48 70,72 70,58 46,58"

draw help $S \
  -fill '#2070d0' -stroke '#103870' -strokewidth 5 -draw "circle 48,48 48,6" \
  -fill white -stroke none -font Liberation-Sans-Bold -pointsize 70 -gravity center -annotate +0+3 "?"

draw accept $S \
  -fill none -stroke '#108010' -strokewidth 16 -draw "polyline 12,50 38,76 86,18"

draw cancel $S \
  -fill none -stroke '#d01010' -strokewidth 16 -draw "line 16,16 80,80 line 80,16 16,80"

draw font $S \
  -fill '#102080' -stroke none -font Liberation-Serif-Bold -pointsize 86 -gravity center -annotate +0-6 "A" \
  -gravity northwest -fill '#d01010' -draw "rectangle 14,82 82,90"

modem='fill #b8b8c0 stroke #404048 stroke-width 5 roundrectangle 6,40 90,80 8,8 fill #20d020 stroke none circle 20,60 20,65 fill #f0c000 circle 36,60 36,65 fill #404048 rectangle 56,56 80,64'

draw faxclass $S -draw "$modem" \
  -fill none -stroke '#108010' -strokewidth 12 -draw "polyline 44,18 58,32 86,4"

draw findmodem $S -draw "$modem" \
  -fill '#c0e0ff80' -stroke '#202020' -strokewidth 7 -draw "circle 62,26 62,8" \
  -strokewidth 11 -draw "line 76,40 92,56"

# The about picture and the program's window icon: a fax machine, 64 x 64.
draw orvane 256 \
  -fill white -stroke '#404040' -strokewidth 6 -draw "rectangle 70,10 186,110" \
  -stroke '#8090a0' -strokewidth 6 -draw "line 88,40 168,40 line 88,60 168,60 line 88,80 150,80" \
  -fill '#408080' -stroke '#203c3c' -strokewidth 8 -draw "roundrectangle 16,96 240,236 18,18" \
  -fill '#203c3c' -stroke none -draw "rectangle 60,96 196,118" \
  -fill '#e0f0f0' -stroke '#203c3c' -strokewidth 4 -draw "rectangle 36,136 128,176" \
  -fill white -stroke '#203c3c' -strokewidth 3 \
  -draw "rectangle 150,134 172,150 rectangle 182,134 204,150 rectangle 150,160 172,176 rectangle 182,160 204,176 rectangle 150,186 172,202 rectangle 182,186 204,202" \
  -fill '#f0c000' -stroke none -draw "circle 52,208 52,216" -fill '#20d020' -draw "circle 84,208 84,216"
