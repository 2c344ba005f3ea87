#!/usr/bin/env bash
# Makes the reference TIFF files of the TIFF reader tests with ImageMagick and
# the libtiff tools, and beside each picture the pixels libtiff decodes from
# it (through ImageMagick) as raw 8-bit RGB (<name>.rgb). Run from anywhere;
# the outputs are committed, so the tests need none of these tools.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 37 x 23 picture (odd width: rows are not whole words) with smooth ramps
# and a repeating pattern, so every sample value matters.
convert -size 37x23 xc: -channel R -fx 'i/w' -channel G -fx 'j/h' -channel B -fx '((i*3+j*5)%11)/10' \
  +channel -depth 8 "$work/src.ppm"
convert "$work/src.ppm" -colorspace gray -depth 8 "$work/gray.pgm"

rgb8="$work/rgb8.tif"
convert "$work/src.ppm" -compress none "$rgb8"
convert "$work/src.ppm" -depth 16 -compress none "$work/rgb16.tif"
convert "$work/gray.pgm" -compress none "$work/gray8.tif"
convert "$work/gray.pgm" -depth 16 -compress none "$work/gray16.tif"
for d in 1 2 4; do
  convert "$work/gray.pgm" -depth $d -compress none -define tiff:photometric=min-is-black "$work/gray$d.tif"
done
convert "$work/src.ppm" -colors 2 -type Palette -depth 1 -compress none "$work/pal1.tif"
convert "$work/src.ppm" -colors 4 -type Palette -depth 2 -compress none "$work/pal2.tif"
convert "$work/src.ppm" -colors 16 -type Palette -depth 4 -compress none "$work/pal4.tif"
convert "$work/src.ppm" -colors 200 -type Palette -compress none "$work/pal8.tif"
convert "$work/src.ppm" -colorspace CMYK -compress none "$work/cmyk.tif"
convert "$work/src.ppm" -colorspace Lab -compress none "$work/lab.tif"
convert "$work/src.ppm" \( "$work/src.ppm" -channel G -separate \) -alpha off -compose CopyOpacity -composite \
  -compress none "$work/rgba.tif"
convert "$work/gray.pgm" \( "$work/src.ppm" -channel R -separate \) -alpha off -compose CopyOpacity -composite \
  -compress none "$work/grayalpha.tif"

out() { tiffcp "$@"; }
# Uncompressed, little- and big-endian, strips of several rows.
out -c none -r 5 -L "$rgb8" rgb8_none_le.tif
out -c none -r 5 -B "$rgb8" rgb8_none_be.tif
out -c none -r 4 -B "$work/rgb16.tif" rgb16_none_be.tif
out -c none -r 4 -L "$work/rgb16.tif" rgb16_none_le.tif
out -c lzw:2 -r 6 -B "$work/rgb16.tif" rgb16_lzw_pred_be.tif
out -c none -r 7 "$work/gray8.tif" gray8_none.tif
out -c none -r 7 -B "$work/gray16.tif" gray16_none_be.tif
for d in 1 2 4; do out -c none -r 3 "$work/gray$d.tif" gray${d}_none.tif; done
for d in 1 2 4 8; do out -c none -r 6 "$work/pal$d.tif" pal${d}_none.tif; done
out -c none -r 6 -B "$work/pal8.tif" pal8_none_be.tif
out -c none -r 8 "$work/cmyk.tif" cmyk_none.tif
out -c none -r 8 "$work/lab.tif" lab_none.tif
out -c none -r 5 "$work/rgba.tif" rgba_none.tif
out -c lzw -r 5 "$work/grayalpha.tif" grayalpha_lzw.tif
# Every compression the reader decodes.
out -c lzw -r 5 "$rgb8" rgb8_lzw.tif
out -c lzw:2 -r 5 "$rgb8" rgb8_lzw_pred.tif
out -c lzw:2 -r 5 -B "$rgb8" rgb8_lzw_pred_be.tif
out -c zip -r 5 "$rgb8" rgb8_zip.tif
out -c zip:2 -r 5 "$rgb8" rgb8_zip_pred.tif
out -c packbits -r 5 "$rgb8" rgb8_packbits.tif
out -c lzw:2 -r 9 "$work/gray8.tif" gray8_lzw_pred.tif
out -c zip -r 4 "$work/pal4.tif" pal4_zip.tif
out -c packbits -r 4 "$work/gray1.tif" gray1_packbits.tif
out -c g3:1d -r 23 "$work/gray1.tif" gray1_g3.tif
out -c jpeg -r 16 "$rgb8" rgb8_jpeg_ycbcr.tif
out -c jpeg:r -r 8 "$rgb8" rgb8_jpeg_rgb.tif
out -c jpeg -r 8 "$work/gray8.tif" gray8_jpeg.tif
# White is zero: the same pixels read through an inverted scale.
cp gray8_none.tif gray8_miniswhite.tif && tiffset -s 262 0 gray8_miniswhite.tif
cp gray1_none.tif gray1_miniswhite.tif && tiffset -s 262 0 gray1_miniswhite.tif
# Tiles and separate planes.
out -c none -t -w 16 -l 16 "$rgb8" rgb8_tiled.tif
out -c none -p separate "$rgb8" rgb8_planar.tif

# One reference file per distinct decoded picture; references.txt names the
# reference of each file (tiles and separate planes have none: the reader
# does not decode them as libtiff does).
rm -f ./*.rgb references.txt
declare -A seen
for f in *.tif; do
  case "$f" in rgb8_tiled.tif | rgb8_planar.tif) continue ;; esac
  convert "$f" -alpha off -colorspace sRGB -depth 8 "rgb:$work/pixels"
  sum=$(md5sum < "$work/pixels" | cut -c1-32)
  if [ -z "${seen[$sum]:-}" ]; then
    seen[$sum]="${f%.tif}.rgb"
    cp "$work/pixels" "${seen[$sum]}"
  fi
  echo "$f ${seen[$sum]}" >> references.txt
done
