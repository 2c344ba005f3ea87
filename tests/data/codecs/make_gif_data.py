#!/usr/bin/env python3
"""GIF reference data: gray images with a known set of levels are written by
ImageMagick's GIF encoder; the image's LZW data are taken out of the file and
the expected palette indices are ImageMagick's decoding of the file looked up
in the file's colour table (the levels are gray and distinct). Output per case: gif_<name>.lzw (first byte: the initial code
size, then the LZW data of the image's sub-blocks joined) and
gif_<name>.indices (width x height palette indices)."""
import random
import subprocess
import sys
from pathlib import Path

out_dir = Path(sys.argv[1])
work = Path(sys.argv[2])


def image(width, height, levels, seed):
    rnd = random.Random(seed)
    pix = bytearray()
    for y in range(height):
        for x in range(width):
            zone = (x // 13 + y // 7) % 3
            if zone == 0:
                v = levels[(x // 5 + y) % len(levels)]
            elif zone == 1:
                v = levels[rnd.randrange(len(levels))]
            else:
                v = levels[y % len(levels)]
            pix.append(v)
    return pix


def parse_gif(data):
    assert data[:3] == b"GIF"
    flags = data[10]
    pos = 13
    table = []
    if flags & 0x80:
        n = 2 << (flags & 7)
        table = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
        pos += 3 * n
    while data[pos] == 0x21:  # extensions
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    assert data[pos] == 0x2C
    local = data[pos + 9]
    pos += 10
    if local & 0x80:
        n = 2 << (local & 7)
        table = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
        pos += 3 * n
    code_size = data[pos]
    pos += 1
    lzw = bytearray()
    while data[pos]:
        lzw += data[pos + 1:pos + 1 + data[pos]]
        pos += data[pos] + 1
    return code_size, bytes(lzw), table


cases = [
    ("two", 45, 21, [0, 255]),
    ("four", 61, 37, [0, 85, 170, 255]),
    ("full", 160, 120, list(range(256))),
]
for name, w, h, levels in cases:
    pix = image(w, h, levels, len(name))
    pgm = work / f"{name}.pgm"
    pgm.write_bytes(b"P5 %d %d 255\n" % (w, h) + bytes(pix))
    gif = work / f"{name}.gif"
    subprocess.run(["convert", str(pgm), str(gif)], check=True)
    code_size, lzw, table = parse_gif(gif.read_bytes())
    decoded = subprocess.run(["convert", str(gif), "-depth", "8", "rgb:-"], check=True,
                             capture_output=True).stdout
    assert len(decoded) == 3 * w * h
    lookup = {}
    for i, rgb in enumerate(table):
        lookup.setdefault(rgb, i)
    indices = bytes(lookup[tuple(decoded[3 * i:3 * i + 3])] for i in range(w * h))
    (out_dir / f"gif_{name}.lzw").write_bytes(bytes([code_size]) + lzw)
    (out_dir / f"gif_{name}.indices").write_bytes(indices)
