#!/usr/bin/env bash
# Makes the reference TIFF files of the TIFF reader tests with ImageMagick and
# the libtiff tools (and write_tiff_layouts.py for the two layouts no tool
# writes from a picture), and beside each picture the pixels libtiff decodes
# from it as raw 8-bit RGB (<name>.rgb). Run from anywhere; the outputs are
# committed, so the tests need none of these tools.
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
# Dithered, so that every byte of a 1-bit row shows its bit order.
convert "$work/gray.pgm" -dither FloydSteinberg -monochrome -depth 1 -compress none \
  -define tiff:photometric=min-is-black "$work/gray1d.tif"

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
# Tiles of 16 x 16 pixels (the right and bottom ones cut by the picture's
# edges) in every scheme the tools write, and tiles larger than the picture.
out -c none -t -w 16 -l 16 "$rgb8" rgb8_tiled.tif
out -c packbits -t -w 16 -l 16 "$rgb8" rgb8_tiled_packbits.tif
out -c lzw:2 -t -w 16 -l 16 "$rgb8" rgb8_tiled_lzw_pred.tif
out -c zip:2 -t -w 16 -l 16 -B "$rgb8" rgb8_tiled_zip_pred.tif
out -c jpeg -t -w 16 -l 16 "$rgb8" rgb8_tiled_jpeg.tif
out -c g3:1d -t -w 16 -l 16 "$work/gray1d.tif" gray1_tiled_g3.tif
out -c lzw -t -w 16 -l 16 "$work/gray4.tif" gray4_tiled_lzw.tif
out -c none -t "$work/pal4.tif" pal4_tiled.tif
# Separate planes, in strips and in tiles; tiffcp splits 8-bit samples only.
out -c none -p separate "$rgb8" rgb8_planar.tif
out -c lzw:2 -r 5 -p separate "$rgb8" rgb8_planar_lzw_pred.tif
out -c lzw -r 5 -p separate "$work/rgba.tif" rgba_planar_lzw.tif
out -c none -r 8 -p separate "$work/cmyk.tif" cmyk_planar.tif
out -c zip -t -w 16 -l 16 -p separate "$rgb8" rgb8_planar_tiled_zip.tif
convert "$work/rgb16.tif" -interlace plane -compress lzw -define tiff:rows-per-strip=5 rgb16_planar_lzw_pred.tif
convert "$work/rgba.tif" -depth 16 -interlace plane -compress zip rgba16_planar_zip.tif
convert "$work/rgba.tif" -depth 16 -interlace plane -compress lzw -define tiff:tile-geometry=16x16 \
  rgba16_planar_tiled_lzw.tif
convert "$work/grayalpha.tif" -interlace plane -compress none grayalpha_planar.tif
# Separate planes of one strip a row whose RowsPerStrip says one strip a
# plane (2^31 + 1 rows): libtiff cannot read them either; refused.
out -c none -r 1 -p separate "$rgb8" rgb8_planar_wrong_rows.tif
tiffset -s 278 2147483649 rgb8_planar_wrong_rows.tif
# YCbCr in units of 2 x 2 and 4 x 2 luma samples, and LZW of the coding
# before TIFF 5.0 (libtiff reads it with a warning).
python3 write_tiff_layouts.py ycbcr "$work/src.ppm" ycbcr22_none.tif 2 2 8
python3 write_tiff_layouts.py ycbcr "$work/src.ppm" ycbcr42_none.tif 4 2 6
python3 write_tiff_layouts.py oldlzw "$work/src.ppm" rgb8_oldlzw.tif 23
# Strip byte counts libtiff takes as bogus in an image of one strip: an
# uncompressed strip whose count is short of its rows (also the first of
# 12 strips whose RowsPerStrip covers the picture), and a compressed one
# whose count is 0 or missing. libtiff reads the first as far as its rows
# need and the second to the end of the file.
out -c none -r 23 -L "$rgb8" "$work/rgb8_one.tif"
python3 write_tiff_layouts.py counts "$work/rgb8_one.tif" rgb8_none_count_short.tif 1000
out -c none -r 2 -L "$rgb8" rgb8_none_rows5000.tif && tiffset -s 278 5000 rgb8_none_rows5000.tif
out -c lzw -r 23 -L "$rgb8" "$work/rgb8_lzw_one.tif"
python3 write_tiff_layouts.py counts "$work/rgb8_lzw_one.tif" rgb8_lzw_count0.tif 0
out -c zip -r 23 -L "$rgb8" "$work/rgb8_zip_one.tif"
python3 write_tiff_layouts.py counts "$work/rgb8_zip_one.tif" rgb8_zip_nocount.tif none
# Bits stored lowest first: libtiff reverses them for every scheme but JPEG
# (which has no bit order) and fax (whose decoder reads them so; the fax
# tests have their own files).
out -c none -f lsb2msb "$work/gray1d.tif" gray1_none_lsb.tif
out -c lzw -f lsb2msb "$work/gray1d.tif" gray1_lzw_lsb.tif
out -c none -f lsb2msb "$rgb8" rgb8_none_lsb.tif
out -c packbits -f lsb2msb "$rgb8" rgb8_packbits_lsb.tif
out -c jpeg -r 16 -f lsb2msb "$rgb8" rgb8_jpeg_lsb.tif
# Two-dimensional fax coding, which the reader refuses.
out -c g3:2d "$work/gray1d.tif" gray1_g3_2d.tif
for f in ycbcr22_none.tif ycbcr42_none.tif rgb8_oldlzw.tif; do tiffinfo "$f" > /dev/null; done

# One reference file per distinct decoded picture; references.txt names the
# reference of each file. The pixels are tiff2rgba's, but for files with an
# alpha sample: tiff2rgba premultiplies it into the colours, while the
# reader keeps colour and alpha apart, so those are compared with their
# colour samples as stored (through ImageMagick).
refused="gray1_g3_2d.tif rgb8_planar_wrong_rows.tif"
rm -f ./*.rgb references.txt
declare -A seen
for f in *.tif; do
  case " $refused " in *" $f "*) continue ;; esac
  if tiffinfo "$f" 2>/dev/null | grep -q "Extra Samples"; then
    convert "$f" -alpha off -colorspace sRGB -depth 8 "rgb:$work/pixels"
  else
    tiff2rgba -n "$f" "$work/rgba.tif" 2>/dev/null
    convert "$work/rgba.tif" -depth 8 "rgb:$work/pixels"
  fi
  sum=$(md5sum < "$work/pixels" | cut -c1-32)
  if [ -z "${seen[$sum]:-}" ]; then
    seen[$sum]="${f%.tif}.rgb"
    cp "$work/pixels" "${seen[$sum]}"
  fi
  echo "$f ${seen[$sum]}" >> references.txt
done
