#!/usr/bin/env bash
# Regenerates the program's background bitmaps and icon with ImageMagick. The results are
# committed under src/ui/res; run this only to change the artwork.
set -euo pipefail
res="$(cd "$(dirname "$0")/.." && pwd)/src/ui/res"
font="DejaVu-Sans-Bold"
font_regular="DejaVu-Sans"

background() {  # width height output
    local w=$1 h=$2 out=$3
    convert -size "${w}x${h}" gradient:'#0b3d63-#1f7a8c' \
        \( -size "${w}x6" xc:'#f2a541' \) -gravity south -composite \
        -fill '#ffffff' -font "$font" -pointsize 26 -gravity northwest -annotate +24+28 'Tallyworks' \
        -fill '#cfe8ef' -font "$font_regular" -pointsize 13 -annotate +26+64 'by Veltra' \
        -fill '#ffffff' -font "$font_regular" -pointsize 15 -annotate +24+$((h - 60)) 'Product update' \
        -fill '#9fd3de' -draw "rectangle 24,94 $((w - 24)),95" \
        -type TrueColor BMP3:"$out"
}

background 392 295 "$res/background_auto.bmp"
background 426 260 "$res/background_web.bmp"

convert -size 256x256 xc:none -fill '#0b3d63' -draw 'roundrectangle 8,8 248,248 40,40' \
    -fill '#f2a541' -draw 'rectangle 60,150 92,200' -draw 'rectangle 112,110 144,200' \
    -draw 'rectangle 164,70 196,200' -fill '#ffffff' -draw 'rectangle 48,206 208,214' \
    -define icon:auto-resize=48,32,16 "$res/twpatch.ico"
