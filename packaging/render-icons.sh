#!/bin/sh
# Renders the application icon, resources/images/tolvane.svg, into the PNG sizes of the hicolor
# theme under packaging/icons/. The PNGs are committed, so that a build needs no SVG renderer; run
# this again after the SVG changes. Needs rsvg-convert (Debian: librsvg2-bin).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
svg=$here/../resources/images/tolvane.svg
for size in 16 22 32 48 64 128 256; do
    folder=$here/icons/hicolor/${size}x${size}/apps
    mkdir -p "$folder"
    rsvg-convert --width "$size" --height "$size" --output "$folder/tolvane.png" "$svg"
done
