#!/usr/bin/env bash
# Makes pytagoras.ico (256, 48, 32 and 16 pixels) for the Windows program from the figure of pytagoras.svg,
# drawn again with ImageMagick's own primitives (Debian's ImageMagick reads no SVG without a delegate).
# Run it when the figure changes; the icon is kept in the tree so that a build needs no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
# The SVG's view box starts at x = 30: every x below is shifted by -30.
/usr/bin/convert -size 640x640 xc:none \
    -fill white -stroke none -draw "roundrectangle 0,0 639,639 64,64" \
    -fill '#dfe8f5' -stroke '#808080' -strokewidth 10 \
    -draw "polygon 220,420 220,620 420,620 420,420" -draw "polygon 420,420 620,420 620,220 420,220" \
    -fill '#c7d6ee' -draw "polygon 420,220 220,20 20,220 220,420" \
    -fill white -stroke '#000080' -strokewidth 18 -draw "polygon 220,420 420,220 420,420" \
    -fill none -strokewidth 8 -draw "polyline 380,420 380,380 420,380" \
    -depth 8 -define icon:auto-resize=256,48,32,16 pytagoras.ico
