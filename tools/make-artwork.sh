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

# The web variant's window shows its confirmation dialog over everything right of x = 90
# (the dialog is placed at 90, 0 of the client area and is wider and taller than the rest of
# it): the brand stands in the left 90 pixels, each word whole beside the dialog. Under the
# dialog the background continues.
background_web() {  # width height output
    local w=$1 h=$2 out=$3 panel=90
    convert -size "${w}x${h}" gradient:'#0b3d63-#1f7a8c' \
        \( -size "${w}x6" xc:'#f2a541' \) -gravity south -composite \
        \( -size "${panel}x${h}" xc:none \
           -fill '#f2a541' -draw 'rectangle 27,50 35,72' -draw 'rectangle 41,38 49,72' -draw 'rectangle 55,26 63,72' \
           -fill '#ffffff' -draw 'rectangle 21,76 69,78' \
           -gravity north \
           -fill '#ffffff' -font "$font" -pointsize 12 -annotate +0+90 'Tallyworks' \
           -fill '#cfe8ef' -font "$font_regular" -pointsize 10 -annotate +0+110 'by Veltra' \
           -fill '#9fd3de' -draw 'rectangle 14,136 76,136' \
           -fill '#ffffff' -font "$font_regular" -pointsize 12 -annotate +0+190 'Product' -annotate +0+206 'update' \) \
        -gravity northwest -geometry +0+0 -composite \
        -type TrueColor BMP3:"$out"
}

background 392 295 "$res/background_auto.bmp"
background_web 426 260 "$res/background_web.bmp"

convert -size 256x256 xc:none -fill '#0b3d63' -draw 'roundrectangle 8,8 248,248 40,40' \
    -fill '#f2a541' -draw 'rectangle 60,150 92,200' -draw 'rectangle 112,110 144,200' \
    -draw 'rectangle 164,70 196,200' -fill '#ffffff' -draw 'rectangle 48,206 208,214' \
    -define icon:auto-resize=48,32,16 "$res/twpatch.ico"
