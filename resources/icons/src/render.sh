#!/bin/sh
# Dev-time helper: regenerate the PNGs in ../ from these hand-written SVG sources.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick; the program build does not.
set -e
cd "$(dirname "$0")"
out=..
r() { rsvg-convert -w "$2" -h "$2" "$1.svg" -o "$3"; }
for n in prev next add edit delete password about; do
    r $n 32 $out/$n.png
    r $n 64 $out/$n@2x.png
done
for n in query print; do
    r $n 18 $out/$n.png
    # disabled: grey, lighter, slightly faded
    convert $out/$n.png -colorspace Gray -channel RGB +level 45%,92% \
        -channel A -evaluate multiply 0.75 +channel -colorspace sRGB \
        -define png:color-type=6 $out/$n-disabled.png
done
for n in open save; do
    r $n 16 $out/$n.png
done
r app 64 $out/app.png
r app 256 $out/app-256.png
for f in $out/*.png; do
    convert "$f" -strip -define png:color-type=6 "$f"
done
