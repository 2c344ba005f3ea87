#!/usr/bin/python3
"""Makes the portable map reference files and their expected pixels.

netpbm_* are written by netpbm (plain and raw, every kind, maxima of 15,
1000 and 65535), pil_* by Pillow, all from one source picture. FILE.rgb (the
file name with .rgb added) holds the expected 8-bit red, green, blue of every
pixel, rows top first: Pillow's decode of the file, and for maxima other than
255 netpbm's own rescale to 255 (pnmdepth: v * 255 / maximum rounded to the
nearest), which Pillow matches where both are defined. Run from this folder
with netpbm and Pillow present.
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


def netpbm_rgb(data):
    """Red, green, blue bytes of netpbm's rescale of the file to 255."""
    image = Image.open(io.BytesIO(run(["pnmtopnm"], run(["pnmdepth", "255"], data))))
    image.load()
    return rgb_of(image)


# Maxima other than 255: one-byte samples for 15, two bytes (big-endian) for
# 1000 and 65535, all scaled to 0..255.
for name, src, maximum in (("netpbm_max15_plain.pgm", raw_pgm, 15), ("netpbm_max15_raw.ppm", raw_ppm, 15),
                           ("netpbm_max1000_raw.ppm", raw_ppm, 1000), ("netpbm_16bit_raw.pgm", raw_pgm, 65535),
                           ("netpbm_16bit_raw.ppm", raw_ppm, 65535), ("netpbm_16bit_plain.ppm", raw_ppm, 65535)):
    data = run(["pnmdepth", str(maximum)], src)
    if "plain" in name:
        data = run(["pnmtoplainpnm"], data)
    write(name, data)
    rgb = netpbm_rgb(data)
    if maximum != 1000:  # Pillow reads 16-bit gray maps as 'I', unscaled
        image = Image.open(io.BytesIO(data))
        image.load()
        assert rgb == rgb_of(image, (lambda v: v * 255 // 65535) if image.mode == "I" else (lambda v: v)), name
    write(name + ".rgb", rgb)

for name, image in (("pil_1.pbm", mono), ("pil_l.pgm", gray), ("pil_rgb.ppm", source)):
    data = pnm_bytes(image)
    write(name, data)
    expect(name, data)
