#!/usr/bin/env bash
# Renders every picture of the desktop program to PNG, at its own size (1x)
# and at twice that (2x), so that they can be looked at and checked for
# blur at the sizes the tree and the buttons use. Fails when an SVG does
# not parse or renders to nothing.
#
#   render_icons.sh OUTDIR [--sheet FILE]
#       writes OUTDIR/NAME.png and OUTDIR/NAME@2x.png for each SVG;
#       --sheet also writes a contact sheet: every icon at 1x and 2x,
#       magnified with hard pixel edges, on a light and on a dark ground,
#       plus the application icon from 16 to 256 pixels and the splash
#
# Needs rsvg-convert (Debian: librsvg2-bin); the sheet also needs
# ImageMagick's convert and montage (Debian: imagemagick).
set -euo pipefail

usage() {
  sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

die() {
  echo "render_icons.sh: $*" >&2
  exit 1
}

[ $# -ge 1 ] || usage
out=$1
shift
sheet=
while [ $# -gt 0 ]; do
  case $1 in
    --sheet) [ $# -ge 2 ] || usage; sheet=$2; shift 2 ;;
    *) usage ;;
  esac
done

icons=$(cd "$(dirname "$0")/../ui/resources/icons" && pwd)
command -v rsvg-convert >/dev/null || die "rsvg-convert not found (apt-get install librsvg2-bin)"
mkdir -p "$out"

# The size an SVG asks for, from its width attribute; rsvg-convert's zoom
# scales that, so 1x is the size the program shows.
width_of() {
  sed -n 's/.*<svg[^>]* width="\([0-9]*\)".*/\1/p' "$1" | head -n 1
}

failed=0
count=0
for svg in "$icons"/*.svg; do
  name=$(basename "$svg" .svg)
  if [ -z "$(width_of "$svg")" ]; then
    echo "render_icons.sh: $name.svg: no width on the svg element" >&2
    failed=1
    continue
  fi
  for zoom in 1 2; do
    suffix=
    [ $zoom = 1 ] || suffix=@${zoom}x
    png=$out/$name$suffix.png
    if ! rsvg-convert --zoom=$zoom --output="$png" "$svg" 2>"$out/$name.err"; then
      echo "render_icons.sh: $name.svg does not render:" >&2
      cat "$out/$name.err" >&2
      failed=1
      break
    elif [ ! -s "$png" ]; then
      echo "render_icons.sh: $name.svg rendered to an empty file" >&2
      failed=1
    fi
  done
  rm -f "$out/$name.err"
  count=$((count + 1))
done
[ $count -gt 0 ] || die "no SVG files in $icons"
[ $failed = 0 ] || die "some pictures failed"
echo "rendered $count pictures into $out"

[ -n "$sheet" ] || exit 0
command -v montage >/dev/null || die "montage not found (apt-get install imagemagick)"

# One strip per small icon: 1x magnified 8 times and 2x magnified 4 times
# (both show the pixels as rendered) on white, the same on a dark ground,
# then 1x and 2x at true size. Tree images and buttons go in separate
# blocks, so that strips of one size line up.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
blocks=()
for size in 16 24; do
  strips=()
  for svg in "$icons"/*.svg; do
    name=$(basename "$svg" .svg)
    [ "$(width_of "$svg")" = $size ] || continue
    parts=()
    for ground in white '#2b2f36'; do
      parts+=("$work/$name-${#parts[@]}.png")
      convert \( "$out/$name.png" -filter point -resize 800% \) \( "$out/$name@2x.png" -filter point -resize 400% \) \
        -background "$ground" -alpha remove -bordercolor "$ground" -border 4 +append "${parts[-1]}"
    done
    convert "$out/$name.png" "$out/$name@2x.png" -background white -alpha remove -bordercolor white -border 4 \
      -gravity center -append "$work/$name-true.png"
    convert "${parts[@]}" "$work/$name-true.png" -bordercolor white -border 2 -gravity center +append \
      "$work/strip-$name.png"
    strips+=(-label "$name" "$work/strip-$name.png")
  done
  [ ${#strips[@]} -gt 0 ] || continue
  montage "${strips[@]}" -tile 2x -geometry +8+6 -pointsize 16 -background '#e9edf1' "$work/block-$size.png"
  blocks+=("$work/block-$size.png")
done

# The picture strips of the Retrieval page at 2x, cut into rows of at most
# 1000 pixels (the link strip's rows are then its depths).
strips=()
for svg in "$icons"/*.svg; do
  name=$(basename "$svg" .svg)
  height=$(sed -n 's/.*<svg[^>]* height="\([0-9]*\)".*/\1/p' "$svg" | head -n 1)
  width=$(width_of "$svg")
  [ "$width" -gt $((height * 2)) ] || continue  # a strip, not an icon
  rows=$(((width + 499) / 500))
  row=$((width * 2 / rows))
  magnify=100%
  [ "$height" -gt 24 ] || magnify=400%  # a strip of tree-sized pictures, shown like the icons
  convert \( "$out/$name@2x.png" -crop "${row}x" +repage -filter point -resize $magnify -background white \
    -alpha remove -bordercolor white -border 4 -append \) \( -size x24 -background '#e9edf1' -pointsize 16 \
    label:"$name" \) -gravity center -append "$work/strip-$name.png"
  strips+=("$work/strip-$name.png")
done
if [ ${#strips[@]} -gt 0 ]; then
  convert "${strips[@]}" -background '#e9edf1' -gravity center -bordercolor '#e9edf1' -border 6 -append \
    "$work/block-strips.png"
  blocks+=("$work/block-strips.png")
fi

# The application icon from 16 to 256 pixels on both grounds, and the splash.
for size in 16 24 32 48 64 128 256; do
  rsvg-convert --width=$size --height=$size --output="$work/app-$size.png" "$icons/harvion.svg"
done
for ground in white '#2b2f36'; do
  convert "$work"/app-{16,24,32,48,64,128,256}.png -background "$ground" -alpha remove -bordercolor "$ground" \
    -border 6 -gravity south +append "$work/app-${ground#\#}.png"
done

convert "${blocks[@]}" "$work/app-white.png" "$work/app-2b2f36.png" "$out/splash.png" \
  -bordercolor '#e9edf1' -border 8 -background '#e9edf1' -gravity center -append +repage -depth 8 "$sheet"
echo "contact sheet: $sheet"
