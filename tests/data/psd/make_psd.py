#!/usr/bin/python3
"""Makes the Photoshop reference files and their expected pixels.

Each NAME.psd is written by ImageMagick from one 16-bit RGBA source
picture; NAME.rgb holds the pixels the reader must give, 8-bit red, green,
blue, rows top first. They come from the decode in this script (see
expected_rgb); for opaque RGB files it is checked against the source. Run from this folder with
ImageMagick's convert present.

(ImageMagick's own reader is not used for the expected pixels: it swaps the
bytes of 16-bit samples, cannot read its indexed files back and changes the
colours of pixels with alpha.)
"""
import os
import struct
import subprocess

W, H = 19, 13
CONVERT = "/usr/bin/convert"


def source_pixel(x, y):
    r = (x * 65535 // (W - 1)) ^ (y * 4099 & 0xFFFF)
    g = (y * 65535 // (H - 1) + x * 3001) & 0xFFFF
    b = ((x * y * 9973) + (0x8000 if (x // 3 + y // 2) % 2 else 0)) & 0xFFFF
    a = 65535 if (x + y) % 5 else (x * 7919 & 0xFFFF)
    return r, g, b, a


def source_rgb():
    return bytes(v * 255 // 65535 for y in range(H) for x in range(W) for v in source_pixel(x, y)[:3])


def source_pam(path):
    """A 16-bit RGBA picture with gradients, hard edges and varied alpha."""
    rows = []
    for y in range(H):
        for x in range(W):
            rows.append(struct.pack(">4H", *source_pixel(x, y)))
    header = f"P7\nWIDTH {W}\nHEIGHT {H}\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
    with open(path, "wb") as f:
        f.write(header.encode() + b"".join(rows))


RLE = ["-compress", "RLE"]
RAW = ["-compress", "none"]
NOALPHA = ["-alpha", "off"]
GRAY = NOALPHA + ["-colorspace", "Gray"]
MONO = GRAY + ["-threshold", "50%", "-type", "Bilevel", "-depth", "1"]

FILES = {
    "rgb8": NOALPHA + ["-depth", "8"] + RLE,
    "rgb16": NOALPHA + ["-depth", "16"] + RLE,
    "rgb16_raw": NOALPHA + ["-depth", "16"] + RAW,
    "rgba8_raw": ["-depth", "8"] + RAW,
    "rgba16": ["-depth", "16"] + RLE,
    "cmyk8_raw": NOALPHA + ["-colorspace", "CMYK", "-depth", "8"] + RAW,
    "cmyk16": NOALPHA + ["-colorspace", "CMYK", "-depth", "16"] + RLE,
    "gray8": GRAY + ["-depth", "8"] + RLE,
    "gray16": GRAY + ["-depth", "16"] + RLE,
    "gray16_raw": GRAY + ["-depth", "16"] + RAW,
    "graya8": ["-colorspace", "Gray", "-depth", "8"] + RLE,
    "pal8_raw": NOALPHA + ["-colors", "20", "-type", "Palette", "-depth", "8"] + RAW,
    "pala8": ["-colors", "20", "-type", "PaletteAlpha", "-depth", "8"] + RLE,
    "mono": MONO + RLE,
    "mono_raw": MONO + RAW,
}


def unpack_bits(data, size):
    out = bytearray()
    i = 0
    while i < len(data) and len(out) < size:
        n = data[i]
        i += 1
        if n < 128:
            out += data[i:i + n + 1]
            i += n + 1
        elif n > 128:
            out += bytes([data[i]]) * (257 - n)
            i += 1
    return bytes(out[:size])


def composite(path):
    """The header, colour-mode data and the planes of the merged image."""
    with open(path, "rb") as f:
        d = f.read()
    channels, height, width, depth, mode = struct.unpack(">HIIHH", d[12:26])
    (length,) = struct.unpack(">I", d[26:30])
    table = d[30:30 + length]
    p = 30 + length
    for _ in range(2):
        (skip,) = struct.unpack(">I", d[p:p + 4])
        p += 4 + skip
    (compression,) = struct.unpack(">H", d[p:p + 2])
    p += 2
    row_bytes = (width * depth + 7) // 8
    rows = []
    if compression == 1:
        entries = height * channels
        counts = struct.unpack(f">{entries}H", d[p:p + 2 * entries])
        if 2 * entries + sum(counts[:height]) > len(d) - p:
            # ImageMagick gives indexed images with alpha the table and the
            # rows of the first channel only.
            channels = 1
            entries = height
            counts = counts[:height]
        p += 2 * entries
        for n in counts:
            rows.append(unpack_bits(d[p:p + n], row_bytes))
            p += n
    else:
        for _ in range(height * channels):
            rows.append(d[p:p + row_bytes])
            p += row_bytes
    planes = [b"".join(rows[c * height:(c + 1) * height]) for c in range(channels)]
    return width, height, depth, mode, table, planes


def samples(plane, depth, count):
    """Samples of a plane as 16-bit values (8-bit ones widened by 257)."""
    if depth == 16:
        return struct.unpack(f">{count}H", plane)
    if depth == 8:
        return [v * 257 for v in plane]
    return [65535 * ((plane[i // 8] >> (7 - i % 8)) & 1) for i in range(count)]


def expected_rgb(name):
    """An independent decode of the stored merged image: 16-bit samples
    narrowed by v * 255 // 65535, CMYK ink through the library's rule,
    bitmap-mode 1 as black, indices looked up in the colour-mode planes."""
    width, height, depth, mode, table, planes = composite(name + ".psd")
    n = width * height
    if mode == 0:
        # One-bit rows carry padding; take each row's own bits.
        row_bytes = (width + 7) // 8
        out = bytearray()
        for y in range(height):
            bits = samples(planes[0][y * row_bytes:(y + 1) * row_bytes], 1, width)
            out += bytes(v for b in bits for v in (0 if b else 255,) * 3)
        return bytes(out)
    if mode == 2:
        m = len(table) // 3
        return bytes(v for i in planes[0] for v in (table[i], table[m + i], table[2 * m + i]))
    if mode == 1:
        gray = samples(planes[0], depth, n)
        return bytes(v * 255 // 65535 for g in gray for v in (g, g, g))
    if mode == 4:
        ink = [[65535 - v for v in samples(planes[c], depth, n)] for c in range(4)]
        out = bytearray()
        for i in range(n):
            k = ink[3][i]
            for c in range(3):
                x = ink[c][i]
                if depth == 8:
                    x, kk = x // 257, k // 257
                    out.append(max(0, min(255, 255 - (x - x * kk // 255 + kk))))
                else:
                    s = (x - x * k // 65535 + k) & 0xFFFF
                    out.append(max(0, min(255, 255 - s * 255 // 65535)))
        return bytes(out)
    rgb = [samples(planes[c], depth, n) for c in range(3)]
    return bytes(rgb[c][i] * 255 // 65535 for i in range(n) for c in range(3))


def main():
    source_pam("source.pam")
    try:
        for name, options in FILES.items():
            subprocess.run([CONVERT, "source.pam"] + options + [name + ".psd"], check=True)
            rgb = expected_rgb(name)
            if name.startswith("rgb") and not name.startswith("rgba"):
                assert rgb == source_rgb(), name
            with open(name + ".rgb", "wb") as f:
                f.write(rgb)
    finally:
        os.remove("source.pam")


if __name__ == "__main__":
    main()
