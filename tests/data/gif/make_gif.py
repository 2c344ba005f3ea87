#!/usr/bin/python3
"""Makes the GIF reference files and their expected pixels.

NAME.gif is written by ImageMagick or Pillow; NAME.rgb holds the first
frame's colours as Pillow decodes them (8-bit red, green, blue, rows top
first; transparency ignored, as the reader does). Run from this folder with
ImageMagick's convert and Pillow present.
"""
import os
import struct
import subprocess

from PIL import Image

W, H = 19, 13
CONVERT = "/usr/bin/convert"


def source(path, shift=0):
    rows = []
    for y in range(H):
        for x in range(W):
            r = (x * 255 // (W - 1) + shift) & 0xFF
            g = (y * 255 // (H - 1)) ^ (x * 37 & 0xFF)
            b = 255 if (x // 3 + y // 2) % 2 else (x * y * 7 & 0xFF)
            a = 255 if (x + y) % 5 else 0
            rows.append(struct.pack("4B", r, g, b, a))
    header = f"P7\nWIDTH {W}\nHEIGHT {H}\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
    with open(path, "wb") as f:
        f.write(header.encode() + b"".join(rows))
    return Image.frombytes("RGBA", (W, H), b"".join(rows)).convert("RGB")


def magick(args, out):
    subprocess.run([CONVERT] + args + [out], check=True)


def main():
    a = source("a.pam")
    b = source("b.pam", 90)
    try:
        magick(["a.pam", "-alpha", "off"], "plain.gif")
        magick(["a.pam", "-alpha", "off", "-interlace", "GIF"], "interlaced.gif")
        magick(["a.pam"], "transparent.gif")
        magick(["a.pam", "-alpha", "off", "-colors", "4"], "four.gif")
        # A comment holding separators, an animation loop block and several frames.
        magick(["-comment", "a,b;c!d", "-delay", "10", "-loop", "0", "a.pam", "b.pam", "-alpha", "off"],
               "frames.gif")
        # Pillow: interlaced, and frames with their own colour tables.
        # Pillow interlaces only pictures of 16 rows or more.
        a.resize((W, 3 * H), Image.NEAREST).quantize(64).save("pillow_interlaced.gif", interlace=True)
        pa = a.quantize(32)
        pb = b.quantize(200)
        pa.save("pillow_local.gif", save_all=True, append_images=[pb], interlace=False, optimize=False)
        for name in ["plain", "interlaced", "transparent", "four", "frames", "pillow_interlaced", "pillow_local"]:
            with Image.open(name + ".gif") as im:
                im.seek(0)
                rgb = im.convert("RGB").tobytes()
            with open(name + ".rgb", "wb") as f:
                f.write(rgb)
    finally:
        os.remove("a.pam")
        os.remove("b.pam")


if __name__ == "__main__":
    main()
