#!/usr/bin/env python3
"""Makes the JPEG images of the comparison run tests: a few pictures with
copies that are scaled, re-encoded or partly painted over, and unrelated
pictures. Pure Python for the pixels, cjpeg for the encoding.

Run from this folder: python3 make_images.py
"""
import math
import os
import random
import subprocess
import tempfile

W, H = 120, 90


def picture(seed, w=W, h=H):
    """Smooth colour blobs over a gradient, as rows of (r, g, b)."""
    rnd = random.Random(seed)
    blobs = [(rnd.uniform(0, 1), rnd.uniform(0, 1), rnd.uniform(0.08, 0.3),
              [rnd.uniform(-300, 300) for _ in range(3)]) for _ in range(10)]
    base = [rnd.uniform(40, 215) for _ in range(3)]
    slope = [rnd.uniform(-160, 160) for _ in range(3)]
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            u, v = x / w, y / h
            px = []
            for c in range(3):
                value = base[c] + slope[c] * (u - v)
                for bx, by, radius, amp in blobs:
                    d2 = ((u - bx) ** 2 + (v - by) ** 2) / (radius * radius)
                    value += amp[c] * math.exp(-d2)
                px.append(max(0, min(255, int(value))))
            row.append(tuple(px))
        rows.append(row)
    return rows


def resize(rows, w, h):
    """Bilinear resampling."""
    sh, sw = len(rows), len(rows[0])
    out = []
    for y in range(h):
        fy = min(sh - 1.0, max(0.0, (y + 0.5) * sh / h - 0.5))
        y0 = int(fy)
        y1 = min(sh - 1, y0 + 1)
        ty = fy - y0
        row = []
        for x in range(w):
            fx = min(sw - 1.0, max(0.0, (x + 0.5) * sw / w - 0.5))
            x0 = int(fx)
            x1 = min(sw - 1, x0 + 1)
            tx = fx - x0
            px = []
            for c in range(3):
                top = rows[y0][x0][c] * (1 - tx) + rows[y0][x1][c] * tx
                bottom = rows[y1][x0][c] * (1 - tx) + rows[y1][x1][c] * tx
                px.append(int(round(top * (1 - ty) + bottom * ty)))
            row.append(tuple(px))
        out.append(row)
    return out


def paint(rows, share, seed):
    """Inverts a band of columns covering `share` of the picture."""
    out = [list(r) for r in rows]
    w = len(rows[0])
    start = random.Random(seed).randrange(0, w - int(w * share))
    for row in out:
        for x in range(start, start + int(w * share)):
            row[x] = tuple(255 - c for c in row[x])
    return out


def brighten(rows, amount):
    return [[tuple(min(255, c + amount) for c in px) for px in row] for row in rows]


def save(rows, name, quality):
    h, w = len(rows), len(rows[0])
    with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        f.write(bytes(c for row in rows for px in row for c in px))
        ppm = f.name
    try:
        with open(name, "wb") as out:
            subprocess.run(["cjpeg", "-quality", str(quality), ppm], stdout=out, check=True)
    finally:
        os.unlink(ppm)


def main():
    a, b, c, d = picture(1), picture(2), picture(3), picture(4)
    save(a, "a.jpg", 92)
    save(resize(a, 200, 150), "a_scaled.jpg", 90)
    save(a, "a_q35.jpg", 35)
    save(paint(a, 0.04, 11), "a_touched.jpg", 90)
    save(b, "b.jpg", 92)
    save(resize(b, 64, 48), "b_small.jpg", 90)
    save(resize(b, 160, 90), "b_wide.jpg", 85)
    save(c, "c.jpg", 92)
    save(paint(c, 0.18, 12), "c_part18.jpg", 92)
    save(paint(c, 0.32, 13), "c_part32.jpg", 92)
    save(d, "d.jpg", 92)
    save(brighten(d, 10), "d_bright.jpg", 92)
    for n in range(12):
        save(picture(300 + n), "u%02d.jpg" % n, 85)


if __name__ == "__main__":
    main()
