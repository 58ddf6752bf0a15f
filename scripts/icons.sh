#!/usr/bin/env bash
# Renders the PNG icons from the hand-drawn SVG. The PNGs are committed, so
# a build needs no SVG renderer; run this after changing the SVG and commit
# what it writes.
set -euo pipefail
cd "$(dirname "$0")/.."
id=io.github.relan.relan
icons=data/icons/hicolor
for size in 16 32 48 64 128 256; do
  mkdir -p "$icons/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" "$icons/scalable/apps/$id.svg" \
    --output "$icons/${size}x${size}/apps/$id.png"
  echo "$icons/${size}x${size}/apps/$id.png"
done
