#!/usr/bin/env bash
# Rebuilds res/app.ico from the SVG sources next to this script.
#
# Needs (Debian): librsvg2-bin (rsvg-convert), imagemagick (convert),
#                 icoutils (icotool)
#   apt-get install librsvg2-bin imagemagick icoutils
#
# app.ico is committed, so the build itself never needs these tools; run this
# only after editing an SVG.
#
# Sources:
#   icon-16.svg  hand-pixelled 16 px picture
#   icon-32.svg  32 px picture, chip and pins on whole pixels
#   icon.svg     everything from 48 px up
set -euo pipefail

res_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out="$res_dir/app.ico"

for tool in rsvg-convert convert icotool; do
  command -v "$tool" >/dev/null || { echo "make-icon: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source_for() {
  case $1 in
    16) echo "$res_dir/icon-16.svg" ;;
    32) echo "$res_dir/icon-32.svg" ;;
    *)  echo "$res_dir/icon.svg" ;;
  esac
}

for size in 16 32 48 64 256; do
  rsvg-convert -w "$size" -h "$size" "$(source_for "$size")" -o "$work/rgba-$size.png"
done

# Palette images only have on/off transparency (the AND mask), so cut the
# alpha at 50% here rather than leave it to icotool. No dithering: the small
# pictures are flat colours and dither would only add noise.
palette() { # size colours
  convert "$work/rgba-$1.png" -channel A -threshold 50% +channel \
    +dither -colors "$2" "png8:$work/pal$2-$1.png"
}
palette 16 16
palette 32 16
palette 16 256
palette 32 256
palette 48 256

# icotool -c takes -b before each file it applies to; entries keep this order.
# Built in the scratch directory and moved over app.ico only once checked.
ico="$work/app.ico"
icotool -c -o "$ico" \
  -b 4  "$work/pal16-16.png"  "$work/pal16-32.png" \
  -b 8  "$work/pal256-16.png" "$work/pal256-32.png" "$work/pal256-48.png" \
  -b 32 "$work/rgba-16.png"   "$work/rgba-32.png"   "$work/rgba-48.png" "$work/rgba-64.png" \
  -r    "$work/rgba-256.png"

# icotool only warns and keeps a deeper format when a picture has too many
# colours for -b, so check what actually went in.
expected="16x16x4 32x32x4 16x16x8 32x32x8 48x48x8 16x16x32 32x32x32 48x48x32 64x64x32 256x256x32"
actual=$(icotool -l "$ico" |
  sed -E 's/.*--width=([0-9]+) --height=([0-9]+) --bit-depth=([0-9]+).*/\1x\2x\3/' |
  paste -sd ' ')
if [ "$actual" != "$expected" ]; then
  echo "make-icon: unexpected entries in the new icon" >&2
  echo "  want: $expected" >&2
  echo "  got:  $actual" >&2
  exit 1
fi

# icotool -l does not say which entries are raw PNG; the 256 px one (the
# tenth) must be, or the file grows by some 260 KB. Its data offset is at
# byte 6 + 9*16 + 12 of the directory.
png_at=$(od -An --endian=little -t u4 -j 162 -N 4 "$ico" | tr -d ' ')
signature=$(od -An -t x1 -j "$png_at" -N 8 "$ico" | tr -d ' ')
if [ "$signature" != "89504e470d0a1a0a" ]; then
  echo "make-icon: the 256 px entry in the new icon is not stored as PNG" >&2
  exit 1
fi

# cat, not mv: the scratch file is mode 600.
cat "$ico" >"$out"
icotool -l "$out"
