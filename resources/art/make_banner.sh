#!/bin/sh
# Draws Image1, the 211x62 banner of the settings window, as a 256-colour PNG.
# Needs ImageMagick and the IPA P Gothic font; the PNG it writes is committed.
set -e
cd "$(dirname "$0")"
font=$(fc-match -f '%{file}' 'IPAPGothic')
convert -size 211x62 gradient:'#ff6a3d'-'#b3121f' \
  \( -size 211x62 xc:none -fill '#ffffff30' -draw 'polygon 120,0 211,0 211,62 150,62' \) -composite \
  -font "$font" -pointsize 30 -fill '#00000080' -annotate +11+37 'ヤルキン！' \
  -fill white -annotate +9+35 'ヤルキン！' \
  -pointsize 11 -fill '#fff3c0' -annotate +11+54 '毎日のトレーニングを記録' \
  -fill none -stroke '#7a0a14' -draw 'rectangle 0,0 210,61' \
  -colors 256 -type Palette PNG8:../image1.png
