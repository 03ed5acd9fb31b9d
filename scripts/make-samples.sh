#!/usr/bin/env bash
# Regenerates the sample images under samples/ that the demo and the scenario
# tests paste. Most are one flat colour stored as a one-colour palette image,
# so that even the 8000×6000 one stays a few KB on disk; what matters to the
# plug-in is only the pixel size that the host reads from the file. One is a
# many-coloured picture, so that the host's pictures show an image's own
# pixels being placed.
# The files are committed: run this only to change them.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v convert >/dev/null || { echo "needs ImageMagick's convert (apt-get install imagemagick)" >&2; exit 1; }

out=samples
mkdir -p "$out"
# No time stamps or tool comments inside, so that a rerun gives the same bytes.
clean=(-strip -define "png:exclude-chunks=date,time")

png() {  # name size colour
  convert -size "$2" "xc:$3" "${clean[@]}" -define png:bit-depth=1 -define png:color-type=3 \
    "PNG8:$out/$1"
}

png landscape.png 4000x3000 '#4f81bd'   # 4:3, wider than the screen's shape
png portrait.png  1080x1920 '#f29b38'   # 9:16, a phone shot
png square.png    1000x1000 '#5ba15b'   # 1:1
png tiny.png      16x9      '#8e5bb5'   # the screen's shape, far too small
png huge.png      8000x6000 '#7f8c99'   # 48 megapixels in a few KB
convert -size 1366x768 'xc:#c0504d' -strip -quality 60 "$out/wide.jpg"   # 1366×768 JPEG
# A photo-like 3:2 picture: a sky blended from six colours, a sun and hills,
# whose edges show where the host's pictures put the image's pixels.
convert -size 2400x1600 xc: \
  -sparse-color Shepards '0,0 #ff9a3c 1200,0 #ff5e62 2400,0 #6a4c93 0,900 #ffd166 2400,900 #4d96ff 1200,1100 #ffc6a8' \
  -fill '#fff4c2' -draw 'circle 1750,520 1750,690' \
  -fill '#2d6a4f' -draw 'ellipse 650,1650 1100,560 180,360' \
  -fill '#1b4332' -draw 'ellipse 1950,1700 950,470 180,360' \
  -fill '#74c69d' -draw 'ellipse 300,1600 500,180 180,360' \
  -blur 0x1 -strip -quality 70 "$out/photo.jpg"
printf 'This file is not an image.\n' >"$out/not-an-image.txt"

ls -l "$out"
