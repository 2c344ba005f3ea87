#!/usr/bin/env bash
# Makes the graphics test files: BMP files of every depth and compression
# written by ImageMagick (plus a few crafted ones the tool cannot write), JPEG
# files written by cjpeg and ImageMagick, and beside each the reference
# pixels of the tool's own reader (*.rgb: top-down red, green, blue bytes).
# Needs ImageMagick (convert) and libjpeg-turbo-progs (cjpeg, djpeg).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp" <<'PY'
import sys
out = sys.argv[1]
def ppm(name, w, h, f):
    with open(f"{out}/{name}.ppm", "w") as o:
        o.write(f"P3\n{w} {h}\n255\n")
        for y in range(h):
            o.write(" ".join("%d %d %d" % f(x, y) for x in range(w)) + "\n")
W, H = 13, 7
pal16 = [(i * 16, 255 - i * 16, (i * 37) % 256) for i in range(16)]
ppm("c2", W, H, lambda x, y: (255, 255, 255) if (x + y) % 3 == 0 else (0, 0, 0))
ppm("c16", W, H, lambda x, y: pal16[(x * 3 + y) % 16])
ppm("c200", W, H, lambda x, y: ((x * 19 + y * 7) % 256, (x * 5) % 256, (y * 36) % 256))
ppm("tc", W, H, lambda x, y: ((x * 19 + y * 7) % 256, (x * 41 + y * 3) % 256, (y * 36 + x) % 256))
ppm("photo", 37, 23, lambda x, y: ((x * 7 + y * 3) % 256, (128 + x * 3 - y * 5) % 256, (y * 11) % 256))
PY

convert "$tmp/c2.ppm" -type Palette BMP3:bmp1.bmp
convert "$tmp/c16.ppm" -type Palette BMP3:bmp4.bmp
convert "$tmp/c16.ppm" -type Palette BMP2:bmp4_os2.bmp
convert "$tmp/c200.ppm" -type Palette -compress None BMP3:bmp8.bmp
convert "$tmp/c200.ppm" -type Palette -compress RLE BMP3:bmp8_rle.bmp
convert "$tmp/tc.ppm" -define bmp:subtype=RGB555 BMP:bmp16_555_fields.bmp
convert "$tmp/tc.ppm" -define bmp:subtype=RGB565 BMP:bmp16_565_fields.bmp
convert "$tmp/tc.ppm" -type TrueColor BMP3:bmp24.bmp
convert "$tmp/tc.ppm" -type TrueColor BMP2:bmp24_os2.bmp
convert "$tmp/tc.ppm" -alpha set -channel A -fx 0.5 +channel -type TrueColorAlpha BMP:bmp32_v5_fields.bmp
for f in bmp1 bmp4 bmp4_os2 bmp8 bmp8_rle bmp16_555_fields bmp16_565_fields bmp24 bmp24_os2 bmp32_v5_fields; do
  convert "$f.bmp" -depth 8 rgb:"$f.rgb"
done

# Variants ImageMagick does not write, derived from its files; their
# pixels equal the file they come from, so they share its reference.
python3 - <<'PY'
import struct
def u32(d, o): return struct.unpack_from("<I", d, o)[0]
def rebuild(src, dst, header_size=None, height_sign=1, comp=None, drop_masks=False):
    d = bytearray(open(src, "rb").read())
    off, hs = u32(d, 10), u32(d, 14)
    header = d[14:14 + hs]
    w, h = struct.unpack_from("<ii", header, 4)
    bits = struct.unpack_from("<H", header, 14)[0]
    middle = d[14 + hs:off]
    pixels = d[off:]
    if header_size is not None:
        header = header[:header_size] + bytes(max(0, header_size - len(header)))
        struct.pack_into("<I", header, 0, header_size)
    if comp is not None:
        struct.pack_into("<I", header, 16, comp)
    if height_sign < 0:
        stride = (w * bits + 31) // 32 * 4
        rows = [pixels[i * stride:(i + 1) * stride] for i in range(h)]
        pixels = b"".join(reversed(rows))
        struct.pack_into("<i", header, 8, -h)
    out = bytearray(b"BM") + bytes(12) + header + middle + pixels
    struct.pack_into("<I", out, 2, len(out))
    struct.pack_into("<I", out, 10, 14 + len(header) + len(middle))
    open(dst, "wb").write(out)

# 16-bit x-5-5-5 without bit fields (info header of 40 bytes).
rebuild("bmp16_555_fields.bmp", "bmp16_555.bmp", header_size=40, comp=0)
# V4 header (108 bytes) with bit fields.
rebuild("bmp16_565_fields.bmp", "bmp16_565_v4.bmp", header_size=108)
# Top-down 24-bit.
rebuild("bmp24.bmp", "bmp24_topdown.bmp", height_sign=-1)

# 32-bit BI_RGB from the 24-bit file: a fourth byte of 0x80 per pixel.
d = open("bmp24.bmp", "rb").read()
w, h = struct.unpack_from("<ii", d, 18)
stride = (w * 24 + 31) // 32 * 4
px = bytearray()
for y in range(h):
    row = d[54 + y * stride:54 + y * stride + w * 3]
    for x in range(w):
        px += row[3 * x:3 * x + 3] + b"\x80"
hdr = bytearray(d[:54])
struct.pack_into("<H", hdr, 28, 32)
struct.pack_into("<I", hdr, 34, len(px))
struct.pack_into("<I", hdr, 2, 54 + len(px))
open("bmp32.bmp", "wb").write(hdr + px)

def bmp(name, w, h, bits, comp, palette, data, clr_used=0):
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, comp, len(data), 0, 0, clr_used, 0)
    off = 14 + len(info) + len(pal)
    head = b"BM" + struct.pack("<IHHI", off + len(data), 0, 0, off)
    open(name, "wb").write(head + info + pal + data)

gray16 = [(i * 17, i * 17, i * 17) for i in range(16)]
# RLE4, 6 x 3, bottom-up. File row 0 (bottom): run of 6 alternating 1/2.
# Row 1: absolute 3 pixels 3 4 5, then a run of 3 of 6; row 2: a delta of
# (2, 0), then a run of 2 of 15; end of bitmap.
rle4 = bytes([6, 0x12, 0, 0,
              0, 3, 0x34, 0x50, 3, 0x66, 0, 0,
              0, 2, 2, 0, 2, 0xFF, 0, 1])
bmp("rle4.bmp", 6, 3, 4, 2, gray16, rle4)
# RLE8 4 x 3 with runs past the row end, a delta past the right edge, an
# absolute run cut by the end of the file.
pal8 = [(i, 255 - i, i // 2) for i in range(256)]
rle8_bad = bytes([10, 7,          # run of 10 on a row of 4: 4 written, rest dropped
                  0, 0,           # end of line
                  0, 2, 200, 0,   # delta far right: nothing on this row
                  2, 9,           # dropped (x is past the edge)
                  0, 0,
                  0, 5, 1, 2])    # absolute run of 5 cut after 2 bytes
bmp("rle8_overrun.bmp", 4, 3, 8, 1, pal8, rle8_bad)
# A 4-bit file whose palette holds 4 colours while pixels use 0..7.
pal4 = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)]
row = bytes([0x01, 0x23, 0x45, 0x67])
bmp("short_palette.bmp", 8, 1, 4, 0, pal4, row, clr_used=4)
PY

# Palettes cut short by the pixel offset (only the colours in use stored, no
# colour count): an OS/2 file and a Windows file. The reference is Pillow's
# decoding (python3-pil), checked against ImageMagick's of the full file.
convert "$tmp/c200.ppm" -type Palette BMP2:"$tmp/os2_8.bmp"
/usr/bin/python3 - "$tmp" <<'PY'
import struct, subprocess, sys
from PIL import Image
tmp = sys.argv[1]
def cut_palette(src, dst):
    d = bytearray(open(src, "rb").read())
    off, hs = struct.unpack_from("<II", d, 10)
    entry = 3 if hs == 12 else 4
    pixels = d[off:]
    used = max(pixels)  # 8-bit rows: every byte is an index or row padding (0)
    palette = d[14 + hs:14 + hs + (used + 1) * entry]
    out = d[:14 + hs] + palette + pixels
    if hs >= 40:
        struct.pack_into("<I", out, 46, 0)  # no colour count: all 256 implied
    struct.pack_into("<II", out, 2, len(out), 0)
    struct.pack_into("<I", out, 10, 14 + hs + len(palette))
    open(dst, "wb").write(out)
    rgb = Image.open(dst).convert("RGB").tobytes()
    full = subprocess.run(["convert", src, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    assert rgb == full, dst
    open(dst[:-4] + ".rgb", "wb").write(rgb)
cut_palette(f"{tmp}/os2_8.bmp", "bmp8_os2_short_palette.bmp")
cut_palette("bmp8.bmp", "bmp8_cut_palette.bmp")
PY

# A colour count past the entries stored before the pixel offset (256
# counted, 252 stored), and bytes between a palette and the run-length data
# its offset names (no count, the colours in use stored, then 6 other
# bytes). Reference: Pillow, checked against ImageMagick's decoding of the
# file they come from.
convert "$tmp/photo.ppm" -colors 200 -type Palette -compress RLE BMP3:"$tmp/photo_rle.bmp"
/usr/bin/python3 - "$tmp" <<'PY'
import struct, subprocess, sys
from PIL import Image
tmp = sys.argv[1]
def write_checked(src, dst, out):
    open(dst, "wb").write(out)
    rgb = Image.open(dst).convert("RGB").tobytes()
    full = subprocess.run(["convert", src, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    assert rgb == full, dst
    open(dst[:-4] + ".rgb", "wb").write(rgb)
def repack(src, dst, entries, gap, count):
    d = bytearray(open(src, "rb").read())
    off, hs = struct.unpack_from("<II", d, 10)
    out = d[:14 + hs] + d[14 + hs:14 + hs + 4 * entries] + gap + d[off:]
    struct.pack_into("<I", out, 46, count)
    struct.pack_into("<II", out, 2, len(out), 0)
    struct.pack_into("<I", out, 10, 14 + hs + 4 * entries + len(gap))
    write_checked(src, dst, out)
assert max(Image.open("bmp8.bmp").getdata()) < 252
repack("bmp8.bmp", "bmp8_count_past_palette.bmp", 252, b"", 256)
used = max(Image.open(f"{tmp}/photo_rle.bmp").getdata()) + 1
repack(f"{tmp}/photo_rle.bmp", "bmp8_rle_gap.bmp", used, b"\xee" * 6, 0)

# Absolute runs of an odd number of bytes, each padded to 16 bits: RLE8
# runs of 3, 5 and 7 pixels, RLE4 runs of 2 and 6 (one and three bytes).
def rle(name, w, bits, palette, data):
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    h = data.count(b"\0\0")
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 1 if bits == 8 else 2, len(data), 0, 0, 0, 0)
    off = 14 + len(info) + len(pal)
    head = b"BM" + struct.pack("<IHHI", off + len(data), 0, 0, off)
    out = head + info + pal + data
    open(name, "wb").write(out)
    rgb = Image.open(name).convert("RGB").tobytes()
    assert rgb == subprocess.run(["convert", name, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    open(name[:-4] + ".rgb", "wb").write(rgb)
rle("rle8_odd_runs.bmp", 8, 8, [(i, 255 - i, (i * 7) % 256) for i in range(256)],
    bytes([0, 3, 10, 20, 30, 0, 5, 40, 0, 0,
           1, 7, 0, 5, 1, 2, 3, 4, 5, 0, 2, 9, 0, 0,
           0, 7, 60, 61, 62, 63, 64, 65, 66, 0, 1, 70, 0, 0, 0, 1]))
rle("rle4_odd_runs.bmp", 8, 4, [(i * 17, 255 - i * 17, (i * 40) % 256) for i in range(16)],
    bytes([0, 6, 0x12, 0x34, 0x56, 0, 2, 0x77, 0, 0,
           0, 2, 0x89, 0, 6, 0xAB, 0, 0, 0, 1]))
PY

# JPEG files: reference pixels from djpeg (same library and DCT method).
cjpeg -quality 85 "$tmp/photo.ppm" > jpeg_baseline.jpg
cjpeg -quality 85 -progressive "$tmp/photo.ppm" > jpeg_progressive.jpg
cjpeg -quality 85 -grayscale "$tmp/photo.ppm" > jpeg_gray.jpg
convert "$tmp/photo.ppm" -colorspace CMYK -quality 90 jpeg_cmyk.jpg
for f in jpeg_baseline jpeg_progressive; do
  djpeg -ppm "$f.jpg" | tail -c $((37 * 23 * 3)) > "$f.rgb"
done
djpeg -pnm jpeg_gray.jpg | tail -c $((37 * 23)) > jpeg_gray.gray
convert jpeg_cmyk.jpg -colorspace sRGB -depth 8 rgb:jpeg_cmyk.rgb
