#!/usr/bin/env bash
# Regenerates the reference strips of the decoder tests. Needs gcc, libtiff
# (libtiff-dev and libtiff-tools), ImageMagick's convert and python3; the
# outputs are committed, so the tests need none of them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -O1 -Wall -o "$work/make_tiff_strips" "$here/make_tiff_strips.c" -ltiff
rm -f "$here"/*.packed "$here"/*.rows "$here"/*.tables "$here"/*.image "$here"/*.gif* "$here"/fax_rows*

# A fax page of 200 rows, one row per strip (tiffcp; the MH copies come from
# make_tiff_strips), and libtiff's decoding of it as raw 8-bit RGB. Rows end
# in runs of either colour at every bit position, so many strips end with a
# code on the last bit of their last byte.
/usr/bin/convert -size 100x200 xc: -fx '((i*i+j*7)%53 < 5+(j%29)) ? 0 : 1' -type bilevel -depth 1 \
  -define quantum:polarity=min-is-white -compress none "$work/page.tif"
tiffcp -c g3 -r 1 "$work/page.tif" "$here/fax_rows_g3.tif"
tiffcp -c g3:fill -r 1 "$work/page.tif" "$here/fax_rows_g3fill.tif"
tiff2rgba -c none "$here/fax_rows_g3.tif" "$work/rgba.tif"
/usr/bin/convert "$work/rgba.tif" -alpha off -depth 8 "rgb:$here/fax_rows.rgb"

(cd "$here" && "$work/make_tiff_strips" 2>/dev/null)
python3 "$here/make_gif_data.py" "$here" "$work"
