#!/usr/bin/env bash
# Makes the program icon's PNG sizes for the hicolor theme from packaging/icons/corvane.svg
# (which draws what ui/icons.cpp paints). Run it after changing the SVG and commit the PNGs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v rsvg-convert >/dev/null || bash "$root/scripts/install-deps.sh"
for size in 16 24 32 48 64 128 256; do
  out="$root/packaging/icons/${size}x${size}/corvane.png"
  mkdir -p "$(dirname "$out")"
  rsvg-convert --width "$size" --height "$size" "$root/packaging/icons/corvane.svg" --output "$out"
done
echo "packaging/icons/*/corvane.png written"
