#!/usr/bin/env bash
# Draws the button pictures of the Fax Viewer window with ImageMagick (as
# make_icons.sh does for the others). The PNG files are committed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
S=96
draw() {  # draw NAME DRAW-COMMANDS...
  local name=$1; shift
  convert -size "${S}x${S}" xc:none -strokewidth 1 "$@" -resize 25% +repage -strip "PNG32:$name.png"
}
arrow='-fill #2060d0 -stroke #103070 -strokewidth 4'
draw firstpage $arrow -draw "polygon 78,12 78,84 30,48" -draw "rectangle 14,12 26,84"
draw prevpage $arrow -draw "polygon 70,12 70,84 22,48"
draw nextpage $arrow -draw "polygon 26,12 26,84 74,48"
draw lastpage $arrow -draw "polygon 18,12 18,84 66,48" -draw "rectangle 70,12 82,84"
draw zoomin -fill '#c0e0ff80' -stroke '#202020' -strokewidth 8 -draw "circle 40,40 40,14" -strokewidth 14 -draw "line 60,60 88,88" \
  -stroke '#108010' -strokewidth 8 -draw "line 26,40 54,40 line 40,26 40,54"
draw zoomout -fill '#c0e0ff80' -stroke '#202020' -strokewidth 8 -draw "circle 40,40 40,14" -strokewidth 14 -draw "line 60,60 88,88" \
  -stroke '#d01010' -strokewidth 8 -draw "line 26,40 54,40"
draw print -fill '#d8d8d8' -stroke '#404040' -strokewidth 5 -draw "rectangle 8,40 88,76" \
  -fill white -draw "rectangle 24,10 72,40" -draw "rectangle 24,64 72,90" \
  -stroke '#8090a0' -strokewidth 4 -draw "line 32,74 64,74 line 32,82 58,82"
draw printsetup -fill '#d8d8d8' -stroke '#404040' -strokewidth 5 -draw "rectangle 8,40 88,76" \
  -fill white -draw "rectangle 24,10 72,40" \
  -fill '#f0c040' -stroke '#805000' -strokewidth 4 -draw "circle 66,66 66,50" -fill '#d8d8d8' -draw "circle 66,66 66,60"
