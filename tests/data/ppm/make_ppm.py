#!/usr/bin/python3
"""Makes the portable map reference files and their expected pixels.

netpbm_* are written by netpbm (plain and raw, every kind, maxima of 15 and
65535), pil_* by Pillow, all from one source picture. FILE.rgb (the file name with .rgb added) holds the
expected 8-bit red, green, blue of every pixel, rows top first: Pillow's
decode of the file, with samples of a maximum up to 255 kept unscaled (a
maximum of 15 gives 0..15) and those of larger maxima scaled by
v * 255 // maximum. Run from this folder with netpbm and Pillow present.
"""
import io
import subprocess

from PIL import Image

W, H = 13, 7


def pixel(x, y):
    r = (x * 255 // (W - 1)) ^ (y * 29 & 255)
    g = (y * 255 // (H - 1) + x * 17) & 255
    b = (x * y * 41 + (128 if (x + y) % 3 == 0 else 0)) & 255
    return r, g, b


source = Image.new("RGB", (W, H))
source.putdata([pixel(x, y) for y in range(H) for x in range(W)])
gray = source.convert("L")
mono = gray.point(lambda v: 255 if v >= 128 else 0).convert("1")


def pnm_bytes(image):
    out = io.BytesIO()
    image.save(out, "PPM")
    return out.getvalue()


def run(args, data):
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


def rgb_of(image, scale=lambda v: v):
    image = image.convert("RGB") if image.mode != "I" else image
    if image.mode == "I":
        return bytes(scale(v) for v in image.getdata() for _ in range(3))
    return bytes(scale(c) for p in image.getdata() for c in p)


def expect(name, data, scale=lambda v: v):
    """Writes FILE.rgb from Pillow's decode of the file."""
    image = Image.open(io.BytesIO(data))
    image.load()
    write(name + ".rgb", rgb_of(image, scale))


raw_pbm = pnm_bytes(mono)
raw_pgm = pnm_bytes(gray)
raw_ppm = pnm_bytes(source)

files = {
    "netpbm_raw.pbm": run(["pnmtopnm"], raw_pbm),
    "netpbm_plain.pbm": run(["pnmtoplainpnm"], raw_pbm),
    "netpbm_raw.pgm": run(["pnmtopnm"], raw_pgm),
    "netpbm_plain.pgm": run(["pnmtoplainpnm"], raw_pgm),
    "netpbm_raw.ppm": run(["pnmtopnm"], raw_ppm),
    "netpbm_plain.ppm": run(["pnmtoplainpnm"], raw_ppm),
}
for name, data in files.items():
    write(name, data)
    expect(name, data)

# Maximum 15: the samples stay 0..15, Pillow scales them by 17.
for name, src in (("netpbm_max15_plain.pgm", raw_pgm), ("netpbm_max15_raw.ppm", raw_ppm)):
    data = run(["pnmdepth", "15"], src)
    if "plain" in name:
        data = run(["pnmtoplainpnm"], data)
    write(name, data)
    expect(name, data, lambda v: v // 17)

# Maximum 65535: two bytes per raw sample, scaled down.
for name, src in (("netpbm_16bit_raw.pgm", raw_pgm), ("netpbm_16bit_raw.ppm", raw_ppm),
                  ("netpbm_16bit_plain.ppm", raw_ppm)):
    data = run(["pnmdepth", "65535"], src)
    if "plain" in name:
        data = run(["pnmtoplainpnm"], data)
    write(name, data)
    # Pillow reads 16-bit pixmaps as 8-bit already (v >> 8); gray maps as 'I'.
    image = Image.open(io.BytesIO(data))
    image.load()
    if image.mode == "I":
        write(name + ".rgb", rgb_of(image, lambda v: v * 255 // 65535))
    else:
        write(name + ".rgb", rgb_of(image))

for name, image in (("pil_1.pbm", mono), ("pil_l.pgm", gray), ("pil_rgb.ppm", source)):
    data = pnm_bytes(image)
    write(name, data)
    expect(name, data)
