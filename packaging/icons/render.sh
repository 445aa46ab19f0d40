#!/usr/bin/env bash
# Renders the icon's PNG sizes from its drawings (needs rsvg-convert, from
# the Debian package librsvg2-bin). The PNGs are kept in the repository, so
# building and packaging need no renderer.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32; do
  rsvg-convert -w $size -h $size orvex-small.svg -o orvex-$size.png
done
for size in 48 64 128 256; do
  rsvg-convert -w $size -h $size orvex.svg -o orvex-$size.png
done
