#!/bin/sh
# Renders the icon and the logo from icon.svg into images/, which are committed so that a build
# needs no image tools. Run it again after changing the design.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -eu
cd "$(dirname "$0")"
# No time stamps in the files: the same design gives the same bytes.
png="-strip -define png:exclude-chunks=date,time"
for size in 16 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" icon.svg | convert - -alpha off $png "images/icon-$size.png"
done
# The original icon: 32 x 32, opaque, at most 16 colours in a 4-bit palette.
rsvg-convert -w 32 -h 32 icon.svg | convert - -alpha off +dither -colors 16 $png \
    -define png:bit-depth=4 -define png:color-type=3 images/icon-32.png
# The logo: a 40 x 40 baseline JPEG.
rsvg-convert -w 40 -h 40 icon.svg | convert - -alpha off -strip -interlace none -quality 92 images/logo.jpg
