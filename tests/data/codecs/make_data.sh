#!/usr/bin/env bash
# Regenerates the reference strips of the decoder tests. Needs gcc, libtiff
# (libtiff-dev), ImageMagick's convert and python3; the outputs are committed,
# so the tests need none of them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -O1 -Wall -o "$work/make_tiff_strips" "$here/make_tiff_strips.c" -ltiff
rm -f "$here"/*.packed "$here"/*.rows "$here"/*.tables "$here"/*.image "$here"/*.gif*
(cd "$here" && "$work/make_tiff_strips" 2>/dev/null)
python3 "$here/make_gif_data.py" "$here" "$work"
