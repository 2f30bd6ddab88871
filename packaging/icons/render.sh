#!/bin/sh
# Dev-time helper: regenerate the desktop icons in hicolor/ from the program's icon source.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick; the build and the install do not.
set -e
cd "$(dirname "$0")"
source=../../resources/icons/src/app.svg
for size in 16 24 32 48 64 128 256; do
    folder=hicolor/${size}x${size}/apps
    mkdir -p "$folder"
    rsvg-convert -w "$size" -h "$size" "$source" -o "$folder/mzpwdbook.png"
    convert "$folder/mzpwdbook.png" -strip -define png:color-type=6 "$folder/mzpwdbook.png"
done
